"""Whole games in-process, through the library's referee: every rule the
game server applies, without a server.

    game = brox.Game(brox.maps.default(), years=10)
    while not game.over:
        for power in range(game.power_count):
            for unit, orders in game.legal_orders(power).items():
                try:
                    game.order(random.choice(orders), unit)
                except brox.OrderRefused:  # a second build in one province
                    pass
        game.step()
        print(game.last.season, [r.outcome for r in game.last.orders])
    print(game.end_reason, game.winner, game.centre_counts())

The current phase is `game.position`, a Position whose orders go to the
game: `game.order(order)`, `unit.choose(order)`, `position.choose(text)`,
`choose_random` and brox.arrays all give them through the referee, which
checks each one (a refused order raises OrderRefused and stays in the
phase's record, as the server keeps it).  `step()` resolves the phase:
every unit without an order holds, a dislodged one disbands, a build slot
waives and missing removals are made.  `game.last` then tells what became
of every order.  The current and the last Position live until the next
step, `restart()` or `close()`; Positions you made from them with
adjudicate() live until the game is closed.

`Game(..., record=PATH)` writes the game record (game.jsonl, as
brox-server writes it; brox-replay draws it) as the game goes.  A Game
writes nothing else anywhere.
"""
import os
import random as _random

from brox._closing import Closing
from brox import maps as _maps
from brox._lib import ffi, lib
from brox.errors import BroxError, FreedError, MapError, OrderError
from brox.maps import MapFiles
from brox.position import Order, Position, Unit, World
from brox.record import RecordFile, entry_text
from brox.tokens import season_name

STOPPED = "the game was stopped"  # the record's final reason for a game closed or restarted early


def _text(pointer):
    return ffi.string(pointer).decode("utf-8", "replace") if pointer != ffi.NULL else None


def _check_int(value, what):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s is an int, not %s" % (what, type(value).__name__))
    return value


class OrderRefused(OrderError):
    """An order the game's rules refused: more removals than are due, a
    second build in one province.  `reason` is the record's words for it,
    `code` the REFUSAL_ code of brox.h, `order` its text.  The unit keeps
    what it had, and the refusal stays in the phase's record (game.last
    after the step, and game.jsonl), as the server keeps it."""

    def __init__(self, order, code):
        self.order = order
        self.code = code
        self.reason = _text(lib.brox_refusal_text(code))
        super().__init__("%s: refused: %s" % (order, self.reason))


class GameOverError(BroxError):
    """An order or a step for a game that is over; `restart()` it or start
    another."""


# ---------------------------------------------------------------------------
# What became of the last phase
# ---------------------------------------------------------------------------
class OrderResult:
    """What became of one unit's order in the phase last resolved.

    `unit_index` (in game.last_position.units), `power`, `unit` ("A STA";
    None for a build slot), `order` (its text as used), `kind`, `given`
    (True: its power gave it; False: the game's default), `outcome` (the
    record's word: "moved", "bounced", "cut", "dislodged", "retreated",
    "built", ...), `dislodged` (movement phases: this phase's moves
    dislodged the unit), `dislodged_by` (the unit that did, named where
    it stood, or None) and `retreats` (the Locations it is offered in the
    retreat phase that follows)."""
    __slots__ = ("unit_index", "power", "unit", "order", "kind", "given", "outcome", "dislodged",
                 "dislodged_by", "retreats")

    def __init__(self, **fields):
        for name, value in fields.items():
            setattr(self, name, value)

    def __repr__(self):
        return "<OrderResult %s: %s%s>" % (self.order, self.outcome,
                                           ", dislodged by %s" % self.dislodged_by if self.dislodged else "")


class Refusal:
    """A refused order: `entry` (the count of the power's orders given so
    far when it came), `order` (its text), `reason` (the record's words)
    and `code` (REFUSAL_)."""
    __slots__ = ("entry", "order", "reason", "code")

    def __init__(self, entry, order, reason, code):
        self.entry, self.order, self.reason, self.code = entry, order, reason, code

    def __repr__(self):
        return "<Refusal %s: %s>" % (self.order, self.reason)


class PowerResult:
    """What one power did in the phase last resolved: `due` (it had
    something to order), `received` (it gave orders), `entries` (orders
    given), `refused`, `refusals` (Refusals), and in winter `builds` and
    `removals` it ordered (not those the game made for it)."""
    __slots__ = ("power", "due", "received", "entries", "refused", "refusals", "builds", "removals")

    def __init__(self, **fields):
        for name, value in fields.items():
            setattr(self, name, value)

    def __repr__(self):
        return "<PowerResult %d: %d orders, %d refused>" % (self.power, self.entries, self.refused)


class PhaseResult:
    """The phase last resolved: `year`, `season`, `orders` (an OrderResult
    per unit, in the order of its units) and `powers` (a PowerResult per
    power).  A snapshot: it stays readable after later steps."""
    __slots__ = ("year", "season", "orders", "powers")

    def __init__(self, year, season, orders, powers):
        self.year, self.season, self.orders, self.powers = year, season, orders, powers

    @property
    def dislodgements(self):
        """The OrderResults of the units this phase dislodged."""
        return [result for result in self.orders if result.dislodged]

    @property
    def refusals(self):
        """Every refused order, as (power, Refusal)."""
        return [(power.power, refusal) for power in self.powers for refusal in power.refusals]

    def __repr__(self):
        return "<PhaseResult %d %s: %d orders>" % (self.year, self.season, len(self.orders))


# ---------------------------------------------------------------------------
# The current phase
# ---------------------------------------------------------------------------
class GamePosition(Position):
    """The current phase of a Game.  Everything a Position offers, but its
    orders go to the game, which checks them: `choose`, `unit.choose`,
    `choose_random` and brox.arrays' choosing all go through
    `game.order`.  Each unit's `order` shows the order the game took for
    it (before one is given: hold, or waive for a build slot)."""

    def __init__(self, pointer, game):
        super().__init__(pointer, game, owned=False, holder="the game (the next step replaces it)")

    @property
    def game(self):
        return self._world

    def _give(self, unit, order):
        self._pointer()
        self._world._give(unit.index, order)

    def choose(self, *orders):
        """Gives each order (an Order of this Position, or its text) to the
        game (see Game.order)."""
        for order in orders:
            self._world.order(order)

    def choose_random(self, power=None, rng=_random):
        """See Game.choose_random."""
        self._pointer()
        return self._world.choose_random(power, rng)

    def submit(self, power):
        raise BroxError("a game's orders are taken as they are given (game.order); there is no server to "
                        "send them to")


# ---------------------------------------------------------------------------
# The game
# ---------------------------------------------------------------------------
class Game(World, Closing):
    """One game played in-process with every rule of the game server.

    Game(map_files=None, years=None, record=None, bots=None):
      map_files  a MapFiles (brox.maps.default(), generate(...), load(...))
                 or the path of a map folder brox-mapgen wrote; None: the
                 default map
      years      the game ends at the spring after this many years (None or
                 0: only when one power owns more than half the centres)
      record     a path: write the game record there as the game goes
                 (see `record`)
      bots       names per power for the record's "bot" fields (a list, or
                 one name for all; default "")
    Close it with `close()` or a `with` block; everything of it raises
    FreedError afterwards."""

    def __init__(self, map_files=None, years=None, record=None, bots=None):
        super().__init__()
        self._c = None
        self._record = None
        self._batches = []
        if map_files is None:
            map_files = _maps.default()
        elif isinstance(map_files, (str, os.PathLike)):
            map_files = _maps.load(os.fspath(map_files))
        elif not isinstance(map_files, MapFiles):
            raise TypeError("Game takes a brox.MapFiles (brox.maps.default, generate or load) or a map folder, "
                            "not %s" % type(map_files).__name__)
        self.map_files = map_files
        self._bots = self._bot_names(bots)
        error = ffi.new("const char **")
        messages = (map_files.map_message, map_files.centres_message, map_files.position_message)
        pointer = lib.brox_referee_new(messages[0], len(messages[0]), messages[1], len(messages[1]),
                                       messages[2], len(messages[2]), error)
        if pointer == ffi.NULL:
            raise MapError("the referee refused the map %s: %s" % (map_files.name, _text(error[0]) or "?"))
        self._c = pointer
        self._first_year = lib.brox_referee_position(pointer).year
        self._current = None        # GamePosition of the current phase, once asked for
        self._last_view = None      # Position of the phase last resolved, once asked for
        self._last_result = None    # PhaseResult, once asked for
        self._counts = ffi.new("int32_t[]", lib.MAX_UNITS)
        self._tokens = None
        self._years = 0
        if years is not None:
            self.years = years
        if record is not None:
            self.record(record)

    def _bot_names(self, bots):
        count = self.map_files.power_count
        if bots is None:
            return [""] * count
        if isinstance(bots, str):
            return [bots] * count
        names = list(bots)
        if len(names) != count or not all(isinstance(name, str) for name in names):
            raise TypeError("bots: one str per power (%d), or one str for all" % count)
        return names

    # -- what it holds ----------------------------------------------------
    def _open(self):
        if self._c is None:
            raise FreedError("the game has been closed")
        return self._c

    def _map(self):
        return lib.brox_referee_position(self._open()).map

    @property
    def names(self):
        """The map's names (brox.Names)."""
        return self.map_files.names

    @property
    def years(self):
        """The years the game lasts (0: no limit).  Settable."""
        self._open()
        return self._years

    @years.setter
    def years(self, years):
        _check_int(years, "years")
        referee = self._open()
        if not 0 <= years <= 0xFFFF - self._first_year or not lib.brox_referee_set_years(referee, years):
            raise ValueError("years: %d; the game opens in %d and ends in 65535 at the latest: 0 to %d"
                             % (years, self._first_year, 0xFFFF - self._first_year))
        self._years = years

    @property
    def position(self):
        """The current phase (a GamePosition), valid until the next step,
        restart or close."""
        pointer = lib.brox_referee_position(self._open())
        if self._current is None:
            self._current = GamePosition(pointer, self)
        return self._current

    @property
    def year(self):
        return lib.brox_referee_position(self._open()).year

    @property
    def season(self):
        """"spring", "summer", "fall", "autumn" or "winter"."""
        return season_name(lib.brox_referee_position(self._open()).season)

    @property
    def over(self):
        """True once the game is over (see end_reason)."""
        return lib.brox_referee_over(self._open()) != lib.END_NONE

    @property
    def end_reason(self):
        """Why the game is over, in the record's words ("the last year has
        been played", "one power owns more than half the supply
        centres"); None while it goes on."""
        end = lib.brox_referee_over(self._open())
        return None if end == lib.END_NONE else _text(lib.brox_end_text(end))

    @property
    def winner(self):
        """The power that owns more than half the supply centres, or None."""
        counts = self.centre_counts()
        total = self.centre_count
        for power, count in enumerate(counts):
            if 2 * count > total:
                return power
        return None

    def centres(self, power):
        """Supply centres the power owns in the current phase."""
        self._check_power(power)
        return lib.brox_referee_centre_count(self._c, power)

    def centre_counts(self):
        """Supply centres owned, per power (a list indexed by power)."""
        referee = self._open()
        return [lib.brox_referee_centre_count(referee, p) for p in range(self.power_count)]

    def orders_due(self, power):
        """True when the power has something to order in the current phase
        (units in a movement phase, dislodged units in a retreat phase,
        removals, or builds with a home centre free); False once over."""
        self._check_power(power)
        return bool(lib.brox_referee_orders_due(self._c, power))

    def orders_received(self, power):
        """True once the power has given an order in the current phase
        (taken or refused)."""
        self._check_power(power)
        return bool(lib.brox_referee_orders_received(self._c, power))

    def _check_power(self, power):
        _check_int(power, "a power")
        count = self._map().power_count
        if not 0 <= power < count:
            raise IndexError("power %d: the map has powers 0 to %d" % (power, count - 1))
        return power

    # -- orders -----------------------------------------------------------
    def legal_orders(self, power):
        """{Unit: [Order, ...]} for every unit of the power that has orders
        to choose from in the current phase (every build slot: its power's
        builds and waive)."""
        self._check_power(power)
        found = {}
        for unit in self.position.units_of(power):
            orders = unit._choosable()
            if orders:
                found[unit] = orders
        return found

    def candidate_counts(self):
        """The number of candidates each unit of the current phase chooses
        from (a list by unit index; a later build slot counts its power's
        first slot's): the range of order_index."""
        count = lib.brox_py_choosable_counts(lib.brox_referee_position(self._open()), self._counts)
        return ffi.unpack(self._counts, count)

    def order(self, order, unit=None):
        """Gives an order for the current phase: an Order of game.position
        (a candidate, from legal_orders or unit.candidates) or its text
        ("A STA - NOR", "build F NOR/north").  `unit` (a Unit of
        game.position, or its index) says which unit takes it; by default
        the unit whose candidate it is, and a build or waive goes to the
        first build slot of its power that does not build yet.  An order
        given earlier to the same unit is replaced.

        Raises OrderRefused when the rules refuse it (kept in the record),
        OrderError when it is no candidate of the unit, GameOverError once
        the game is over."""
        position = self.position
        if unit is not None:
            unit = self._unit_of(position, unit)
        if isinstance(order, str):
            order = unit.parse(order) if unit is not None else position.parse(order)
        if not isinstance(order, Order):
            raise TypeError("order takes an Order or its text, not %s" % type(order).__name__)
        order._check_of(position)
        if order._candidate is None:
            raise OrderError("%s is a chosen order; give a candidate (game.legal_orders, unit.candidates)"
                             % order.text)
        if unit is None:
            unit = order.unit
            if unit.is_slot:
                unit = self._slot_for(position, unit.power, order)
        elif not any(order is mine or order._c == mine._c for mine in unit._choosable()):
            raise OrderError("%s is not a candidate of %s; it can: %s"
                             % (order.text, unit.name, ", ".join(o.text for o in unit._choosable()) or "nothing"))
        self._give(unit.index, order)

    @staticmethod
    def _unit_of(position, unit):
        if isinstance(unit, Unit):
            if unit.position is not position:
                raise OrderError("%r is a unit of another position; use game.position's units" % unit)
            return unit
        return position.unit(unit)

    @staticmethod
    def _slot_for(position, power, order):
        slots = [unit for unit in position.units_of(power) if unit.is_slot]
        for slot in slots:
            if slot.order.kind != "build":
                return slot
        raise OrderError("%s: every build slot of power %d already builds; give the order to one of them "
                         "(unit=) to replace its build" % (order.text, power))

    def _give(self, unit_index, order):
        code = lib.brox_py_referee_order(self._c, unit_index, order._c)
        if code != lib.REFUSAL_NONE:
            self._refused(code, unit_index, lambda: order.text)

    def _refused(self, code, unit_index, text):
        if code == lib.BROX_PY_NO_GAME:
            self._open()
            raise FreedError("the game has been closed")
        if code == lib.REFUSAL_GAME_OVER:
            raise GameOverError("the game is over (%s): it takes no more orders; restart() it or start "
                                "another Game" % self.end_reason)
        if code == lib.BROX_PY_BAD_UNIT:
            count = lib.brox_referee_position(self._c).unit_count
            raise IndexError("unit %d: the %d %s position has units 0 to %d"
                             % (unit_index, self.year, self.season, count - 1))
        if code == lib.BROX_PY_BAD_CANDIDATE:
            counts = self.candidate_counts()
            raise IndexError("unit %d (%s) has candidates 0 to %d, not %s"
                             % (unit_index, self.position.units[unit_index].name, counts[unit_index] - 1, text()))
        if code == lib.REFUSAL_NOT_LEGAL:
            raise OrderError("%s is not an order unit %d may be given" % (text(), unit_index))
        raise OrderRefused(text(), code)

    def order_index(self, unit, candidate):
        """Gives unit `unit` (its index in game.position.units) its
        candidate of index `candidate` (0 to candidate_counts()[unit] - 1:
        its place in unit.candidates, or for a later build slot in its
        power's first slot's).  The fast way to give orders one by one: no
        Python object is made.  Raises as `order` does, and IndexError for
        an index out of range."""
        referee = self._open()
        try:
            code = lib.brox_py_referee_order_index(referee, unit, candidate)
        except (TypeError, OverflowError):
            _check_int(unit, "a unit index")
            _check_int(candidate, "a candidate index")
            raise IndexError("unit %d, candidate %d: out of range" % (unit, candidate)) from None
        if code != lib.REFUSAL_NONE:
            self._refused(code, unit, lambda: self._candidate_text(unit, candidate))

    def _candidate_text(self, unit, candidate):
        if lib.brox_referee_position(self._c).unit_count <= unit:
            return str(candidate)
        orders = self.position.units[unit]._choosable()
        return orders[candidate].text if 0 <= candidate < len(orders) else str(candidate)

    def choose_random(self, power=None, rng=_random):
        """Gives every unit (of `power`, or of every power) an order drawn
        uniformly from its candidates with `rng` (anything with random()),
        in one call; build slots draw a waive or a build in a province no
        earlier slot of the power takes.  Returns the number of orders the
        rules refused (removals beyond those due); those units keep what
        they had."""
        pointer = lib.brox_referee_position(self._open())
        return self._choose_random_with([rng.random() for _ in range(pointer.unit_count)], power)

    def _choose_random_with(self, draws, power):
        """choose_random with a draw in [0, 1) per unit (a list or a numpy
        float64 array)."""
        pointer = lib.brox_referee_position(self._open())
        if power is not None:
            self._check_power(power)
        if lib.brox_referee_over(self._c):
            raise GameOverError("the game is over (%s): it takes no more orders" % self.end_reason)
        count, given = pointer.unit_count, len(draws)
        if isinstance(draws, list):
            draws = ffi.new("double[]", draws or [0.0])
        else:
            draws = ffi.cast("double *", ffi.from_buffer(draws))
        refused = lib.brox_py_referee_choose_random(self._c, draws, given, -1 if power is None else power)
        if refused < 0:
            raise BroxError("choose_random: %d draws for %d units" % (given, count))
        return refused

    def _raise_refusals(self, refusals, text):
        """After orders given by index (refusals[u]: unit u's REFUSAL_
        code, 0 for taken): raises as `order` does for the first one
        refused."""
        for unit, code in enumerate(refusals):
            if code != lib.REFUSAL_NONE:
                self._refused(int(code), unit, lambda: text(unit))

    def orders(self, power=None):
        """The orders taken so far in the current phase (of one power, or of
        all): each unit's Order (hold or waive where none was given)."""
        return self.position.orders(power)

    # -- stepping ---------------------------------------------------------
    def step(self):
        """Resolves the current phase: defaults for every unit without an
        order, adjudication, the retreats offered, the next phase and the
        end.  The current and last Positions (and what points into them)
        raise FreedError afterwards.  Raises GameOverError once the game is
        over, BroxError when the library could not build the next phase
        (the game then stays as it was)."""
        referee = self._open()
        self._before_step()
        if not lib.brox_referee_step(referee):
            if lib.brox_referee_over(referee):
                raise GameOverError("the game is over (%s): restart() it or start another Game" % self.end_reason)
            raise BroxError("the game could not step: %s" % (_text(lib.brox_referee_failure(referee)) or "?"))
        self._after_step()

    def _before_step(self):
        if self._current is not None or self._last_view is not None:
            self._drop_views("the game stepped to the next phase")
        self._last_result = None

    def _after_step(self):
        if self._record is not None:
            self._record.phase(self)
            end = lib.brox_referee_over(self._c)
            if end != lib.END_NONE:
                self._record.final(self, _text(lib.brox_end_text(end)))
                self._record = None

    def _drop_views(self, why):
        for view in (self._current, self._last_view):
            if view is not None:
                view._release(why)
        self._current = self._last_view = None

    @property
    def last_position(self):
        """The phase last resolved, every unit's `order` as it was used
        (defaults included); None before the first step.  Valid until the
        next step, restart or close."""
        pointer = lib.brox_referee_last_position(self._open())
        if pointer == ffi.NULL:
            return None
        if self._last_view is None:
            self._last_view = Position(pointer, self, owned=False,
                                       holder="the game (its last phase; the next step replaces it)")
        return self._last_view

    @property
    def last(self):
        """What became of the phase last resolved (a PhaseResult), or None
        before the first step."""
        position = self.last_position
        if position is None:
            return None
        if self._last_result is None:
            self._last_result = self._read_last(position)
        return self._last_result

    def _read_last(self, position):
        referee = self._c
        pointer = position._pointer()
        movement = pointer.season in (lib.SEASON_SPRING, lib.SEASON_FALL)
        units = position.units
        orders = []
        result = ffi.new("BroxOrderResult *")
        for unit in units:
            if not lib.brox_referee_last_result(referee, unit.index, result):
                continue
            order = unit.order
            by = result.dislodged_by
            orders.append(OrderResult(
                unit_index=unit.index, power=unit.power, unit=None if unit.is_slot else unit.name,
                order=order.text, kind=order.kind, given=bool(result.from_bot),
                outcome=_text(lib.brox_outcome_text(result.outcome)),
                dislodged=bool(result.dislodged) and movement,
                dislodged_by=units[by].name if result.dislodged and by < len(units) else None,
                retreats=[self.location(result.retreats[r]) for r in range(result.retreat_count)]))
        powers = []
        tally = ffi.new("BroxPowerOrders *")
        refusal = ffi.new("BroxRefusal *")
        for power in range(pointer.map.power_count):
            if not lib.brox_referee_last_orders(referee, power, tally):
                continue
            refusals = []
            for r in range(tally.refusals):
                if lib.brox_referee_last_refusal(referee, power, r, refusal):
                    refusals.append(Refusal(refusal.entry, entry_text(self, bytes(ffi.buffer(refusal.bytes, 244))),
                                            _text(lib.brox_refusal_text(refusal.refusal)), refusal.refusal))
            powers.append(PowerResult(power=power, due=bool(tally.due), received=bool(tally.received),
                                      entries=tally.entries, refused=tally.refused, refusals=refusals,
                                      builds=tally.builds, removals=tally.removals))
        return PhaseResult(pointer.year, season_name(pointer.season), orders, powers)

    def _province_of_token(self):
        """{province token: province index} of the map."""
        if self._tokens is None:
            game_map = self._map()
            self._tokens = {game_map.provinces[p].token: p for p in range(game_map.province_count)}
        return self._tokens

    # -- the record -------------------------------------------------------
    def record(self, path, bots=None):
        """Writes this game's record to `path` (game.jsonl in the format of
        docs/game-record.md) as it goes: the map line now, a line per
        phase at each step, the final line when the game ends (or "the game
        was stopped" when it is restarted or closed first).  Give the path
        before the first step (or after restart).  `bots`: names per power
        for the record (see Game).  `brox-replay PATH` draws it.  Needs a
        map with a layout (a folder brox-mapgen wrote, default, generate)."""
        referee = self._open()
        if self._record is not None:
            raise BroxError("the game is already writing its record to %s" % self._record.path)
        if lib.brox_referee_last_position(referee) != ffi.NULL:
            raise BroxError("a record starts at the opening: call record() before the first step, or after "
                            "restart()")
        if not isinstance(path, (str, os.PathLike)):
            raise TypeError("record takes a path, not %s" % type(path).__name__)
        if bots is not None:
            self._bots = self._bot_names(bots)
        self._record = RecordFile(self, path, self._bots)

    def _stop_record(self):
        if self._record is not None:
            record, self._record = self._record, None
            record.final(self, STOPPED)

    # -- the end ----------------------------------------------------------
    def restart(self):
        """Starts the game again from its opening (the map and years kept):
        no orders, no last phase, not over.  A record being written ends
        with "the game was stopped"."""
        referee = self._open()
        self._stop_record()
        self._before_step()
        if not lib.brox_referee_restart(referee):
            raise MemoryError("the game could not restart: out of memory (it goes on as it was)")

    def close(self):
        """Frees the game and every Position of its map (adjudicated ones
        too).  A record being written ends first.  A second call does
        nothing."""
        if self._c is None:
            return
        try:
            self._stop_record()
        finally:
            self._free_positions("its game was closed")
            self._current = self._last_view = None
            for slots, index in self._batches:
                slots[index] = ffi.NULL
            lib.brox_referee_free(self._c)
            self._c = None

    def __repr__(self):
        if self._c is None:
            return "<Game, closed>"
        state = self.end_reason or "%d %s" % (self.year, self.season)
        return "<Game on %s: %s>" % (self.map_files.name, state)

