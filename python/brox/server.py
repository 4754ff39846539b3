"""Playing on a game server: the receive loop of a bot.

    def play(position, power):
        position.choose_random(power)

    brox.run_bot(play, name="my bot")     # reads -n/-i/-p from sys.argv

`run_bot` connects through the client library, joins the game (or
rejoins it as the same power when the rejoin file "broxgame.log" is in
the current folder: the library writes that file there, so run each bot
in a folder of its own), hands the bot every new Position with its power,
submits the power's chosen orders, and returns when the game or the
session ends.
"""
import signal
import sys
import threading

from brox._lib import ffi, lib
from brox.errors import BroxError
from brox.maps import MapFiles, load as load_map
from brox.session import Session, names_for


class Ending:
    """How a bot's game ended: `reason` is "game over" (the server ended the
    game), "session ended" (the server ended the session; a rejoin stays
    possible), "stopped" (a stop: vorn_client_stop, SIGINT or SIGTERM) or
    "connection ended" (the connection failed or was lost).  `power` is
    the power played (None if none came), `phases` the positions handed to
    the bot, `rejoined` whether it came back as the power of its rejoin
    file."""
    __slots__ = ("reason", "power", "phases", "rejoined")

    def __init__(self, reason, power, phases, rejoined):
        self.reason, self.power, self.phases, self.rejoined = reason, power, phases, rejoined

    def __repr__(self):
        return "<Ending %s, power %s, %d phases%s>" % (self.reason, self.power, self.phases,
                                                       ", rejoined" if self.rejoined else "")


class _Connection:
    """The client library's side: configured from a command line, released
    and disconnected at the end."""

    def __init__(self, args):
        argv = [ffi.new("char[]", b"bot")] + [ffi.new("char[]", a.encode()) for a in args]
        self._argv = argv
        if not lib.vorn_client_configure(len(argv), ffi.new("char *[]", argv)):
            raise BroxError("the server's address in %s is not usable (-n host, -i address, -p 1 to "
                            "65535)" % " ".join(args))

    @staticmethod
    def receive(timeout_ms):
        return lib.vorn_client_receive(timeout_ms)

    @staticmethod
    def release(record):
        lib.vorn_client_release(record)


def run_bot(bot, name="python bot", version="1.0", args=None, maps=(), on_join=None):
    """Plays one game on a server with `bot(position, power)`, which sets
    the chosen orders of its power's units (its return value is ignored).

    args: the command line to read the server's address from (-n host,
      -i address, -p port; other arguments are skipped); default
      sys.argv[1:].  Without them: localhost, port 16713.
    maps: MapFiles (or map folders) whose names to use when the server
      plays one of them; the standard map's are found by themselves.
    on_join: called as on_join(session) before the first position goes to
      the bot (the power and the map are known then).
    Returns an Ending.  An exception in `bot` ends the session (the rejoin
    file stays, so a restarted bot rejoins) and is raised."""
    if not callable(bot):
        raise TypeError("run_bot takes a callable bot(position, power), not %s" % type(bot).__name__)
    for label, text in (("name", name), ("version", version)):
        if not isinstance(text, str):
            raise TypeError("run_bot: %s must be a str, not %s" % (label, type(text).__name__))
    known = [m if isinstance(m, MapFiles) else load_map(m) for m in maps]
    args = list(sys.argv[1:] if args is None else args)
    connection = _Connection(args)
    session = Session()
    session._known_maps = known
    lib.brox_initialise(session._c, ffi.addressof(lib, "vorn_client_release"))
    name_text, version_text = ffi.new("char[]", name.encode()[:64]), ffi.new("char[]", version.encode()[:64])
    session._texts = (name_text, version_text)  # brox_game_join keeps the pointers
    previous = _stop_on_signals()
    reason, phases, joined = "connection ended", 0, False
    try:
        lib.brox_game_join(session._c, name_text, version_text)
        running = True
        while running:
            record = connection.receive(1000)
            if record == ffi.NULL:
                continue
            kind, message_type = record[0], lib.brox_record_type(record)
            running, release = session._process(record)
            if release:
                connection.release(record)
            if kind in (lib.KIND_STOP_A, lib.KIND_STOP_B):
                reason = "stopped"
            elif message_type == lib.MSG_GAME_END:
                reason = "game over"
            elif message_type == lib.MSG_SESSION_END and reason != "game over":
                reason = "session ended"
            if message_type == lib.MSG_POSITION and running:
                position, power = session.position, session.power
                if position is None or power is None:
                    continue
                if not joined:
                    joined = True
                    if on_join is not None:
                        on_join(session)
                bot(position, power)
                phases += 1
                if position.alive:
                    position.submit(power)
        return Ending(reason, session.power, phases, bool(session._c.rejoining))
    finally:
        session.close()
        lib.vorn_client_disconnect()
        _restore_signals(previous)


def _stop_on_signals():
    """SIGINT and SIGTERM stop the loop (the rejoin file stays); only the
    main thread can set handlers."""
    if threading.current_thread() is not threading.main_thread():
        return None
    handler = lambda signum, frame: lib.vorn_client_stop()  # noqa: E731
    return {signum: signal.signal(signum, handler) for signum in (signal.SIGINT, signal.SIGTERM)}


def _restore_signals(previous):
    for signum, handler in (previous or {}).items():
        signal.signal(signum, handler)
