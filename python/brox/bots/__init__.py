"""Bots to run on a game server, each a module for python3 -m:

    python3 -m brox.bots.random [-n host | -i address] [-p port] [--seed N]
    python3 -m brox.bots.search [-n host | -i address] [-p port] [--steps N]

Both can be given to brox-tournament as bot commands.  Run each in a
folder of its own: the library keeps its rejoin file "broxgame.log" in
the current folder (brox-tournament does so by itself).
"""
import argparse
import sys

from brox.server import run_bot


def command_line(prog, description):
    """An argument parser that knows the server's options (-n, -i, -p)."""
    parser = argparse.ArgumentParser(prog=prog, description=description,
                                     epilog="Run each bot in a folder of its own: the rejoin file "
                                            "broxgame.log lives in the current folder.")
    parser.add_argument("-n", metavar="HOST", help="the game server's host name (default localhost)")
    parser.add_argument("-i", metavar="ADDRESS", help="the game server's numeric IPv4 or IPv6 address")
    parser.add_argument("-p", metavar="PORT", type=int, help="the game server's port (default 16713)")
    parser.add_argument("--verbose", action="store_true", help="print the orders of every phase")
    return parser


def server_args(options):
    """The server's options again, for the client library."""
    args = []
    for flag in ("n", "i", "p"):
        value = getattr(options, flag)
        if value is not None:
            args += ["-" + flag, str(value)]
    return args


def play(prog, bot, options, name):
    """Runs `bot` on the server and says how it went; the exit status: 0
    after the game or a stop, 1 when the connection failed or was lost."""
    def joined(session):
        print("%s: power %d%s" % (prog, session.power, " (rejoined)" if session._c.rejoining else ""),
              flush=True)
    def bot_saying_its_orders(position, power):
        bot(position, power)
        orders = [unit.order.text for unit in position.units_of(power) if unit.candidates or unit.is_slot]
        print("%s: %d %s: %s" % (prog, position.year, position.season, "; ".join(orders)), flush=True)

    ending = run_bot(bot_saying_its_orders if options.verbose else bot, name=name,
                     args=server_args(options), on_join=joined)
    print("%s: %s after %d phases" % (prog, ending.reason, ending.phases), flush=True)
    return 0 if ending.reason in ("game over", "stopped", "session ended") else 1


def exit_with(status):
    sys.stdout.flush()
    sys.exit(status)
