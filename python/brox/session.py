"""The Session: the library's record of one game, as a Python object.

Offline, a Session is built from a map and its opening (brox.maps) and
gives the opening Position; its power is set by assignment
(`session.power = 3`), which the agenda searches for.  Nothing is written
to disk.  On a game server, brox.server.run_bot drives a Session through
the client library.
"""
from brox._closing import Closing
from brox._lib import ffi, lib
from brox.errors import FreedError, MapError
from brox.maps import MapFiles, Names, check_message, default as default_map
from brox.position import Position, World

# The power category of a power token's low byte; the library reads only
# the high byte (the power index).
POWER_CATEGORY = 0x41
ASSIGNMENT_LENGTH = 40


class Session(World, Closing):
    """One game's Map, centre ownership and current Position.

    Session(map_files, power=None) starts offline from a map's messages
    (brox.maps.load, default or generate): `position` is the opening.
    Session() is empty until records are processed (brox.server does that).
    Close it with `close()` or a `with` block: every Position, Unit and
    Order of it raises FreedError afterwards."""

    def __init__(self, map_files=None, power=None):
        super().__init__()
        self._c = ffi.new("Session *")
        lib.brox_initialise(self._c, ffi.NULL)
        self._closed = False
        self._position = None
        self._map_files = None
        self._names = None
        self.map_name = None          # the map's name, as a server gives it
        self._map_message = None      # the map definition, as received
        self._known_maps = ()         # MapFiles whose names a server's map may take
        if map_files is not None:
            if not isinstance(map_files, MapFiles):
                raise TypeError("Session takes a brox.MapFiles (brox.maps.load, default or generate), "
                                "not %s" % type(map_files).__name__)
            self._start_offline(map_files)
        if power is not None:
            self.power = power

    def _start_offline(self, map_files):
        self._map_files = map_files
        self.map_name = map_files.name
        self._feed(map_files.map_message)
        if self._c.map == ffi.NULL:
            raise MapError("the library refused the map %s (more than 300 provinces or 20 powers)"
                           % map_files.name)
        self.load_position(map_files.position_message, map_files.centres_message)

    # -- records ----------------------------------------------------------
    def _feed(self, message):
        """Processes one message given from its type word on."""
        record = ffi.new("uint8_t[]", bytes([lib.KIND_MESSAGE]) + bytes(message))
        return self._process(record)

    def _process(self, record):
        """Hands one record (cdata, kind byte first) to brox_process_msg,
        invalidating first what it is about to free.  Returns
        (keep_running, release_record)."""
        self._open()
        kind_type = lib.brox_record_type(record)
        if kind_type == lib.MSG_MAP_DEFINITION:
            self._free_positions("the session received a new map")
            self._position = None
            self._names = None
            length = record[3] | record[4] << 8
            self._map_message = bytes(ffi.buffer(record + 1, length))
        elif kind_type == lib.MSG_POSITION and self._position is not None:
            self._position._release("the session replaced it with the next position")
            self._position = None
        elif kind_type == lib.MSG_MAP_NAME:
            length = record[3] | record[4] << 8
            name = bytes(ffi.buffer(record + 7, max(0, length - 6)))
            self.map_name = name.split(b"\0", 1)[0].decode("utf-8", "replace")
        keep_running = ffi.new("int *")
        release = ffi.new("int *")
        lib.brox_process_msg(self._c, record, keep_running, release)
        return keep_running[0], release[0]

    def load_position(self, position_message, centres_message=None):
        """Replaces the Position by one built from a position message (from
        its type word on), after a centre-ownership message when one is
        given.  The previous Position raises FreedError from now on."""
        self._open()
        if self._c.map == ffi.NULL:
            raise MapError("the session has no map yet")
        if centres_message is not None:
            check_message(bytes(centres_message), lib.MSG_CENTRE_OWNERSHIP, "the centre-ownership message")
            self._feed(centres_message)
            if self._c.centres == ffi.NULL:
                raise MapError("the library refused the centre-ownership message")
        check_message(bytes(position_message), lib.MSG_POSITION, "the position message")
        self._feed(position_message)
        if self._c.position == ffi.NULL:
            raise MapError("the library built no Position from the position message")
        return self.position

    # -- what it holds ----------------------------------------------------
    def _open(self):
        if self._closed:
            raise FreedError("the session has been closed")
        return self._c

    def _map(self):
        game_map = self._open().map
        if game_map == ffi.NULL:
            raise MapError("the session has no map yet")
        return game_map

    @property
    def position(self):
        """The current Position, or None before one came.  It stays valid
        until the next position message or the session's close."""
        pointer = self._open().position
        if pointer == ffi.NULL:
            return None
        if self._position is None or self._position._c != pointer:
            self._position = Position(pointer, self, owned=False,
                                      holder="its session (the next position replaces it)")
        return self._position

    @property
    def power(self):
        """The power this session plays (the agenda searches for it), or
        None before one is assigned."""
        power = lib.brox_session_power(self._open())
        return None if power == lib.POWER_NONE else power

    @power.setter
    def power(self, power):
        count = self._map().power_count
        if isinstance(power, bool) or not isinstance(power, int):
            raise TypeError("a power is an int index, not %s" % type(power).__name__)
        if not 0 <= power < count:
            raise IndexError("power %d: the map has powers 0 to %d" % (power, count - 1))
        # The assignment as the session keeps a received one: the message
        # from its type word, the power token at offsets 6-7.  No rejoin
        # file is written: there is no game to rejoin.
        assignment = bytearray(ASSIGNMENT_LENGTH)
        assignment[0:2] = lib.MSG_ASSIGNMENT.to_bytes(2, "little")
        assignment[2:4] = ASSIGNMENT_LENGTH.to_bytes(2, "little")
        assignment[4] = lib.FLAG_PLAIN
        assignment[6:8] = (power << 8 | POWER_CATEGORY).to_bytes(2, "little")
        ffi.memmove(self._c.assignment, bytes(assignment), ASSIGNMENT_LENGTH)

    @property
    def names(self):
        """The map's names: those of the MapFiles it started from; on a
        server, those of the standard map when that is the map played,
        else names made from indices ("P12")."""
        game_map = self._map()
        if self._names is None:
            if self._map_files is not None:
                self._names = self._map_files.names
            else:
                self._names = names_for(self.map_name, self._map_message, game_map, self._known_maps)
        return self._names

    # -- the end ----------------------------------------------------------
    def close(self):
        """Frees the Map, the Position and every Position adjudicated from
        them.  A second call does nothing."""
        if self._closed:
            return
        self._free_positions("its session was closed")
        self._position = None
        lib.brox_terminate(self._c)
        self._closed = True

    def __repr__(self):
        if self._closed:
            return "<Session, closed>"
        power = self.power
        return "<Session on %s, power %s>" % (self.map_name or "no map", "none" if power is None else power)


def names_for(map_name, map_message, game_map, known=()):
    """Names for a map received from a server: those of a known MapFiles
    (the standard map, or any in `known`) whose map definition is the one
    received, else names made from indices."""
    candidates = list(known)
    if map_name == "standard":
        try:
            candidates.append(default_map())
        except (OSError, MapError):
            pass  # no brox-mapgen here: plain names
    for files in candidates:
        if map_message is not None and files.map_message == map_message:
            return files.names
    return Names.plain(game_map.province_count, game_map.power_count)
