"""brox: bots for the Brox library in Python.

    import brox
    session = brox.Session(brox.maps.default(), power=0)
    position = session.position              # the opening, 1901 spring
    for unit in position.units_of(0):
        print(unit.name, [order.text for order in unit.candidates])
    position.choose("A STA - NOR")           # or unit.choose(order)
    following = position.adjudicate()        # the next phase

Modules: brox.maps (maps and their names), brox.position (Position, Unit,
Order, Location), brox.session (Session), brox.search (Agenda),
brox.server (run_bot: a bot on a game server), brox.game (Game: whole
games in-process, every rule of the server, and their game record),
brox.arrays (numpy arrays
for learning; needs numpy), brox.bots.random and brox.bots.search (bots to
run with python3 -m).  docs/python.md is the guide.

Importing checks that the library loaded is the version the package was
built for and that every record matches brox.h; ImportError says what to
do when not.
"""
from brox._lib import BUILT_FOR as __version__, LIBRARY_PATH
from brox import maps
from brox.errors import BroxError, FreedError, MapError, OrderError
from brox.game import Game, GameOverError, OrderRefused
from brox.maps import MapFiles, Names
from brox.position import Location, Order, Position, Unit, adjudicate
from brox.search import Agenda, Result
from brox.server import Ending, run_bot
from brox.session import Session

__all__ = ["Agenda", "BroxError", "Ending", "FreedError", "Game", "GameOverError", "LIBRARY_PATH", "Location",
           "MapError", "MapFiles", "Names", "Order", "OrderError", "OrderRefused", "Position", "Result",
           "Session", "Unit", "adjudicate", "maps", "run_bot", "__version__"]
