"""The game record of a game played in-process: the lines of game.jsonl
(docs/game-record.md) as brox-server writes them, so that brox-replay
draws either record the same way.

A Game writes them through `RecordFile` (Game.record(path)): the map line
when the record opens, a phase line after every step, the final line
when the game ends (or is stopped).  Each line is built from the referee
exactly as the server builds its own; a test compares the two writers
line by line on the same games.
"""
import os

from brox._lib import ffi, lib
from brox.errors import BroxError, MapError
from brox.tokens import season_name

FINAL_PICTURE = "final-board.svg"
PICTURE_FOLDER = "phases"

# Offsets of an orders-message entry (244 bytes, little-endian), as
# brox.h lays out BroxRefusal.bytes.
_ENTRY_UNIT, _ENTRY_TOKEN, _ENTRY_TARGET, _ENTRY_TARGET_COAST = 0, 96, 98, 100
_ENTRY_OTHER, _ENTRY_ROUTE_LENGTH, _ENTRY_ROUTE = 104, 200, 202


# ---------------------------------------------------------------------------
# JSON, written as the tools write it: no spaces, strings quoted with only
# '"', '\' and control characters escaped.
# ---------------------------------------------------------------------------
def quote(text):
    out = ['"']
    for char in text:
        if char in '"\\':
            out.append("\\" + char)
        elif ord(char) < 0x20:
            out.append("\\u%04x" % ord(char))
        else:
            out.append(char)
    out.append('"')
    return "".join(out)


def _object(fields):
    return "{" + ",".join(quote(key) + ":" + value for key, value in fields) + "}"


def _array(values):
    return "[" + ",".join(values) + "]"


def _bool(value):
    return "true" if value else "false"


def _strings(values):
    return _array([quote(value) for value in values])


# ---------------------------------------------------------------------------
# The map line
# ---------------------------------------------------------------------------
def _point(point):
    return "[%d,%d]" % (int(point[0]), int(point[1]))


def layout_line(layout):
    """A map's layout (the dict of its layout.json) on one line, field by
    field as brox-mapgen writes it."""
    try:
        powers = layout["powers"]
        power_count = len(powers)
        parts = ['{"width":%d,"height":%d,"powers":[' % (int(layout["width"]), int(layout["height"]))]
        parts.append(",".join(
            '{"index":%d,"name":%s,"colour":%s}' % (i, quote(str(power["name"])), quote(str(power["colour"])))
            for i, power in enumerate(powers)))
        parts.append('],"provinces":[')
        provinces = []
        for i, province in enumerate(layout["provinces"]):
            home = province.get("home_power")
            home_text = str(int(home)) if home is not None and 0 <= int(home) < power_count else "null"
            coasts = ",".join('{"code":%d,"name":%s,"at":%s}' % (int(c["code"]), quote(str(c["name"])), _point(c["at"]))
                              for c in province.get("coasts", []))
            outline = ",".join(_array([_point(p) for p in loop]) for loop in province.get("outline", []))
            provinces.append(
                '{"index":%d,"name":%s,"abbreviation":%s,"terrain":%s,"centre":%s,"home_power":%s,'
                '"label":%s,"centre_mark":%s,"coasts":[%s],"outline":[%s]}'
                % (i, quote(str(province["name"])), quote(str(province["abbreviation"])),
                   quote(str(province["terrain"])), _bool(province["centre"]), home_text,
                   _point(province["label"]), _point(province["centre_mark"]), coasts, outline))
        parts.append(",".join(provinces))
        parts.append("]}")
        return "".join(parts)
    except (KeyError, TypeError, ValueError, IndexError) as error:
        raise MapError("the map's layout cannot be written to a record (%s: %s)"
                       % (type(error).__name__, error)) from error


def map_line(name, layout):
    """The first line: the map's name and its layout."""
    return '{"map":true,"name":%s,"layout":%s}' % (quote(name), layout_line(layout))


# ---------------------------------------------------------------------------
# Phase lines and the final line
# ---------------------------------------------------------------------------
class _Board:
    """What a line reads: a Position (cdata) of the game, its wrapper for
    the order texts, and the names."""

    def __init__(self, game, position, pointer, layout, bots):
        self.game = game
        self.position = position
        self.pointer = pointer
        self.names = game.names
        self.layout = layout
        self.bots = bots

    def unit_name(self, u):
        return self.position.units[u].name

    def location_name(self, index):
        return self.game.location(index).name

    def power_name(self, power):
        powers = self.layout["powers"]
        return str(powers[power]["name"]) if power < len(powers) else "Power %d" % power

    def abbreviation(self, province):
        provinces = self.layout["provinces"]
        return str(provinces[province]["abbreviation"]) if province < len(provinces) else "?%d" % province


def _is_movement(pointer):
    return pointer.season in (lib.SEASON_SPRING, lib.SEASON_FALL)


def _units(board):
    pointer = board.pointer
    out = []
    for u in range(pointer.unit_count):
        unit = pointer.units[u]
        if unit.location == ffi.NULL:
            continue
        fields = [("power", str(unit.power)), ("unit", quote(board.unit_name(u)))]
        if unit.dislodged:
            places = []
            order = lib.brox_candidate_first(unit)
            while order != ffi.NULL:
                if order.token == lib.ORD_RETREAT and order.target != ffi.NULL:
                    places.append(board.location_name(order.target.location.index))
                order = lib.brox_candidate_next(unit, order)
            fields += [("dislodged", "true"), ("retreats", _strings(places))]
        out.append(_object(fields))
    return _array(out)


def _results(board):
    referee = board.game._c
    found = []
    for u in range(board.pointer.unit_count):
        result = ffi.new("BroxOrderResult *")
        found.append(result if lib.brox_referee_last_result(referee, u, result) else None)
    return found


def _orders(board, results):
    pointer = board.pointer
    movement = _is_movement(pointer)
    out = []
    for u in range(pointer.unit_count):
        unit = pointer.units[u]
        result = results[u]
        fields = [("power", str(unit.power)), ("order", quote(board.position.units[u].order.text)),
                  ("from", quote("bot" if result is not None and result.from_bot else "default")),
                  ("unit", quote(board.unit_name(u)) if unit.location != ffi.NULL else "null")]
        if result is not None:
            fields.append(("outcome", quote(ffi.string(lib.brox_outcome_text(result.outcome)).decode())))
            if movement:
                fields.append(("dislodged", _bool(result.dislodged)))
        out.append(_object(fields))
    return _array(out)


def _dislodgements(board, results):
    pointer = board.pointer
    out = []
    for u in range(pointer.unit_count):
        result = results[u]
        if result is None or not result.dislodged:
            continue
        by = result.dislodged_by
        out.append(_object([
            ("power", str(pointer.units[u].power)), ("unit", quote(board.unit_name(u))),
            ("by", quote(board.unit_name(by)) if by < pointer.unit_count else "null"),
            ("retreats", _strings([board.location_name(result.retreats[r]) for r in range(result.retreat_count)]))]))
    return _array(out)


def _refusals(board, power, count):
    referee = board.game._c
    refusal = ffi.new("BroxRefusal *")
    out = []
    for r in range(count):
        if not lib.brox_referee_last_refusal(referee, power, r, refusal):
            break
        out.append(_object([("entry", str(refusal.entry)),
                            ("order", quote(entry_text(board.game, bytes(ffi.buffer(refusal.bytes, 244))))),
                            ("reason", quote(ffi.string(lib.brox_refusal_text(refusal.refusal)).decode()))]))
    return _array(out)


def _powers(board, resolved):
    pointer = board.pointer
    referee = board.game._c
    orders = ffi.new("BroxPowerOrders *")
    winter = pointer.season == lib.SEASON_WINTER
    out = []
    for p in range(pointer.map.power_count):
        units = sum(1 for u in range(pointer.unit_count)
                    if pointer.units[u].power == p and pointer.units[u].location != ffi.NULL)
        centres = pointer.centres.lists[p]
        fields = [("power", str(p)), ("name", quote(board.power_name(p))),
                  ("bot", quote(board.bots[p] if p < len(board.bots) else "")), ("units", str(units)),
                  ("centres", str(centres.count if centres != ffi.NULL else 0))]
        if resolved and lib.brox_referee_last_orders(referee, p, orders):
            fields += [("orders_due", _bool(orders.due)), ("orders_received", _bool(orders.received)),
                       ("entries", str(orders.entries)), ("refused", str(orders.refused)),
                       ("refusals", _refusals(board, p, orders.refusals))]
            if winter:
                fields += [("adjustment", str(pointer.adjustment[p])), ("builds", str(orders.builds)),
                           ("removals", str(orders.removals))]
        out.append(_object(fields))
    return _array(out)


def _ownership(board):
    pointer = board.pointer
    game_map = pointer.map
    owner = [-1] * game_map.province_count
    for p in range(game_map.power_count):
        centres = pointer.centres.lists[p]
        if centres == ffi.NULL:
            continue
        for c in range(centres.count):
            if centres.provinces[c] < game_map.province_count:
                owner[centres.provinces[c]] = p
    is_centre = [game_map.provinces[i].centre_kind != lib.CENTRE_NONE for i in range(game_map.province_count)]
    ownership = _array([_strings([board.abbreviation(i) for i in range(game_map.province_count)
                                  if owner[i] == p and is_centre[i]]) for p in range(game_map.power_count)])
    unowned = _strings([board.abbreviation(i) for i in range(game_map.province_count) if owner[i] < 0 and is_centre[i]])
    return [("ownership", ownership), ("unowned", unowned)]


def _head(pointer):
    return [("year", str(pointer.year)), ("season", quote(season_name(pointer.season)))]


def phase_line(game, layout, bots, picture):
    """The line of the phase the game resolved last; "" before its first
    step."""
    position = game.last_position
    if position is None:
        return ""
    board = _Board(game, position, position._pointer(), layout, bots)
    results = _results(board)
    fields = _head(board.pointer)
    fields += [("units", _units(board)), ("orders", _orders(board, results))]
    if _is_movement(board.pointer):
        fields.append(("dislodgements", _dislodgements(board, results)))
    fields.append(("powers", _powers(board, True)))
    fields += _ownership(board)
    fields.append(("picture", quote(picture)))
    return _object(fields)


def final_line(game, layout, bots, reason, picture=FINAL_PICTURE):
    """The last line: why the game ended and the board of its current
    phase."""
    position = game.position
    board = _Board(game, position, position._pointer(), layout, bots)
    fields = [("final", "true"), ("reason", quote(reason))] + _head(board.pointer)
    fields += [("units", _units(board)), ("powers", _powers(board, False))]
    fields += _ownership(board)
    fields.append(("picture", quote(picture)))
    return _object(fields)


def phase_picture(number, pointer):
    """"phases/0003-1901-fall.svg": the picture of the number-th phase line."""
    return "%s/%04d-%d-%s.svg" % (PICTURE_FOLDER, number, pointer.year, season_name(pointer.season))


# ---------------------------------------------------------------------------
# An orders-message entry in the notation (a refused order)
# ---------------------------------------------------------------------------
def _u16(data, offset):
    return data[offset] | data[offset + 1] << 8


def _place_of_token(game, token, coast):
    index = game._province_of_token().get(token)
    if index is None:
        return "?"
    return game.names.location(index, coast)


def _block_name(game, data, offset):
    unit_type = _u16(data, offset + 2)
    letter = "A" if unit_type == lib.UNIT_ARMY else "F" if unit_type == lib.UNIT_FLEET else "?"
    return letter + " " + _place_of_token(game, _u16(data, offset + 4), _u16(data, offset + 6))


def entry_text(game, data):
    """A 244-byte orders-message entry in short notation, as far as its
    tokens name things of the game's map ("?" elsewhere)."""
    own = _block_name(game, data, _ENTRY_UNIT)
    token = _u16(data, _ENTRY_TOKEN)
    target_token = _u16(data, _ENTRY_TARGET)
    target = _place_of_token(game, target_token, _u16(data, _ENTRY_TARGET_COAST))
    other = _block_name(game, data, _ENTRY_OTHER)
    if token == lib.ORD_HOLD:
        return own + " H"
    if token == lib.ORD_MOVE:
        return own + " - " + target
    if token == lib.ORD_SUPPORT:
        return own + " S " + other + (" - " + target if target_token != lib.TARGET_NONE else "")
    if token == lib.ORD_CONVOY:
        return own + " C " + other + " - " + target
    if token == lib.ORD_CONVOY_MOVE:
        length = min(_u16(data, _ENTRY_ROUTE_LENGTH), lib.MAX_ROUTE)
        route = "".join(" " + _place_of_token(game, _u16(data, _ENTRY_ROUTE + 2 * r), lib.COAST_SEA)
                        for r in range(length))
        return own + " - " + target + " via" + route
    if token == lib.ORD_RETREAT:
        return own + " R " + target
    if token == lib.ORD_DISBAND:
        return own + " D"
    if token == lib.ORD_BUILD:
        return "build " + own
    if token == lib.ORD_REMOVE:
        return "remove " + own
    if token == lib.ORD_WAIVE:
        return "waive"
    return own + " (order token 0x%04X)" % token


# ---------------------------------------------------------------------------
# The file
# ---------------------------------------------------------------------------
class RecordFile:
    """game.jsonl of one game, written line by line as the game goes (each
    line flushed, so that a reader sees every phase played so far)."""

    def __init__(self, game, path, bots):
        layout = game.map_files.layout
        if layout is None:
            raise MapError("the map %s has no layout (layout.json), which a game record needs to draw the "
                           "board; load the map from a folder brox-mapgen wrote" % game.map_files.name)
        self.path = os.fspath(path)
        self.layout = layout
        self.bots = bots
        self.phases = 0
        first = map_line(game.map_files.name, layout)
        try:
            self._file = open(self.path, "w", encoding="utf-8")
        except OSError as error:
            raise BroxError("cannot write the game record %s: %s" % (self.path, error.strerror)) from error
        self._write(first)

    def _write(self, line):
        if line:
            self._file.write(line + "\n")
            self._file.flush()

    def phase(self, game):
        """The line of the phase just resolved."""
        self.phases += 1
        self._write(phase_line(game, self.layout, self.bots,
                               phase_picture(self.phases, game.last_position._pointer())))

    def final(self, game, reason):
        """The final line; closes the file."""
        self._write(final_line(game, self.layout, self.bots, reason))
        self.close()

    def close(self):
        if self._file is not None:
            self._file.close()
            self._file = None
