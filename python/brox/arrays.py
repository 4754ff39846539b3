"""numpy arrays of Positions for learning, filled in C (one call per
Position, whatever its size).

The board: `board(position)` is an int16 array of shape (provinces, 10),
one row per province index, columns (BOARD_COLUMNS):

  0 terrain          1 inland, 2 sea, 3 coastal
  1 centre           0 not a supply centre, 1 neutral centre, 2 home centre
  2 home_power       the home centre's power, -1 for none
  3 centre_owner     the power owning the centre, -1 for nobody or no centre
  4 unit             0 none, 1 army, 2 fleet (the unit standing here)
  5 unit_power       its power, -1 for none
  6 unit_location    its location index (tells a fleet's coast), -1 for none
  7 dislodged        0 none, 1 army, 2 fleet (a dislodged unit here)
  8 dislodged_power  its power, -1 for none
  9 dislodged_location  its location index, -1 for none

`one_hot(boards, powers)` turns boards into float32 planes for a network.

Legal orders: every unit's candidates, in the library's order, are its
actions: `legal_mask(position, width)` is a bool array (units, width)
that is True for the candidate indices a unit has; `order_table`
describes each candidate (for a network that scores candidates by their
features); `choose(position, indices)` gives each unit the candidate of
that index.  A later build slot has no candidates of its own: its
indices are those of its power's first slot.

Batches: `boards`, `legal_masks` and `choose_random` take many Positions
(a list) and pay Python's price once per Position, not per unit.

Games: on a game's current Position (game.position), `choose` and
`choose_random` give their orders through the game, which checks each
one.  `Games` plays many in-process games of one map side by side: one
call draws or gives every unit's order in every game, one call steps them
all, one call reads every game's boards and candidate counts.
"""
import numpy as np

from brox._lib import ffi, lib
from brox.errors import BroxError, FreedError, OrderError
from brox.game import Game, GamePosition, OrderRefused
from brox.position import Position

BOARD_COLUMNS = ("terrain", "centre", "home_power", "centre_owner", "unit", "unit_power",
                 "unit_location", "dislodged", "dislodged_power", "dislodged_location")
ORDER_COLUMNS = ("unit", "candidate", "token", "location", "target", "target_province",
                 "other_unit", "other_location")
MAX_UNITS = lib.MAX_UNITS

assert len(BOARD_COLUMNS) == lib.BROX_PY_BOARD_FEATURES
assert len(ORDER_COLUMNS) == lib.BROX_PY_ORDER_COLUMNS


def _pointer(position):
    if not isinstance(position, Position):
        raise TypeError("expected a brox.Position, not %s" % type(position).__name__)
    return position._pointer()


def _c_array(array, ctype):
    return ffi.cast(ctype, ffi.from_buffer(array))


def board(position, out=None):
    """The board encoding of one Position (see the module's text), into
    `out` when given (int16, shape (provinces, 10))."""
    pointer = _pointer(position)
    shape = (pointer.map.province_count, lib.BROX_PY_BOARD_FEATURES)
    if out is None:
        out = np.empty(shape, dtype=np.int16)
    elif out.shape != shape or out.dtype != np.int16 or not out.flags.c_contiguous:
        raise ValueError("out must be a C-contiguous int16 array of shape %s, not %s %s"
                         % (shape, out.dtype, out.shape))
    lib.brox_py_board(pointer, _c_array(out, "int16_t *"))
    return out


def boards(positions):
    """Boards of many Positions of one map, stacked: (n, provinces, 10)."""
    positions = list(positions)
    if not positions:
        raise ValueError("boards needs at least one position")
    count = _pointer(positions[0]).map.province_count
    out = np.empty((len(positions), count, lib.BROX_PY_BOARD_FEATURES), dtype=np.int16)
    for i, position in enumerate(positions):
        if _pointer(position).map.province_count != count:
            raise ValueError("position %d is on a map of %d provinces, the first on one of %d"
                             % (i, position.province_count, count))
        lib.brox_py_board(position._c, _c_array(out[i], "int16_t *"))
    return out


def one_hot(boards_array, powers):
    """float32 planes of boards (one board or a stack): per power, an army,
    a fleet, a dislodged unit and the centre owned (4 x powers planes),
    then a supply centre, a home centre, land and water: shape
    (..., provinces, 4 * powers + 4)."""
    array = np.asarray(boards_array)
    if array.shape[-1] != lib.BROX_PY_BOARD_FEATURES:
        raise ValueError("expected boards with %d columns, not %d" % (lib.BROX_PY_BOARD_FEATURES, array.shape[-1]))
    out = np.zeros(array.shape[:-1] + (4 * powers + 4,), dtype=np.float32)
    for column, unit_kind, plane in ((4, 1, 0), (4, 2, 1), (7, -1, 2)):
        owner_column = 5 if column == 4 else 8
        present = array[..., column] == unit_kind if unit_kind > 0 else array[..., column] > 0
        owner = array[..., owner_column]
        _scatter(out, present & (owner >= 0) & (owner < powers), owner * 4 + plane)
    owner = array[..., 3]
    _scatter(out, (owner >= 0) & (owner < powers), owner * 4 + 3)
    out[..., 4 * powers] = array[..., 1] > 0
    out[..., 4 * powers + 1] = array[..., 1] == 2
    out[..., 4 * powers + 2] = (array[..., 0] & 1) > 0
    out[..., 4 * powers + 3] = (array[..., 0] & 2) > 0
    return out


def _scatter(out, where, plane):
    index = np.nonzero(where)
    out[index + (plane[index],)] = 1.0


def candidate_counts(position):
    """Candidates per unit: int32 array (units,)."""
    pointer = _pointer(position)
    out = np.zeros(pointer.unit_count, dtype=np.int32)
    if pointer.unit_count:
        lib.brox_py_candidate_counts(pointer, _c_array(out, "int32_t *"))
    return out


def _choosable_counts(position):
    """Candidates each unit chooses from (a later build slot: its power's
    first slot's)."""
    counts = candidate_counts(position)
    for unit in position.units:
        if unit.is_slot and counts[unit.index] == 0:
            counts[unit.index] = len(unit._choosable())
    return counts


def legal_mask(position, width=None):
    """bool (units, width): True where a unit has a candidate of that
    index.  `width` defaults to the largest count; a unit with more
    candidates than `width` raises ValueError."""
    counts = _choosable_counts(position)
    largest = int(counts.max()) if counts.size else 0
    if width is None:
        width = largest
    elif largest > width:
        raise ValueError("a unit has %d candidates, more than the width %d" % (largest, width))
    return np.arange(width)[None, :] < counts[:, None]


def legal_masks(positions, width):
    """bool (n, MAX_UNITS, width) for many Positions; rows past a Position's
    units are all False."""
    positions = list(positions)
    out = np.zeros((len(positions), MAX_UNITS, width), dtype=bool)
    for i, position in enumerate(positions):
        mask = legal_mask(position, width)
        out[i, :mask.shape[0]] = mask
    return out


def order_table(position):
    """Every candidate of every unit, one row each (int32, columns
    ORDER_COLUMNS): unit index, candidate index, order token, the unit's
    location, the target location, the target province, the other unit's
    index and location; -1 where an order has none."""
    pointer = _pointer(position)
    rows = int(candidate_counts(position).sum())
    out = np.empty((rows, lib.BROX_PY_ORDER_COLUMNS), dtype=np.int32)
    if rows:
        lib.brox_py_order_table(pointer, _c_array(out, "int32_t *"), rows)
    return out


def choose(position, indices):
    """Gives unit u its candidate indices[u] (-1 leaves its order).  Checks
    every index first: IndexError (nothing changed) for one out of range."""
    pointer = _pointer(position)
    array = np.ascontiguousarray(indices, dtype=np.int32)
    if array.shape != (pointer.unit_count,):
        raise ValueError("choose needs one index per unit: shape (%d,), not %s"
                         % (pointer.unit_count, array.shape))
    if array.size == 0:
        return
    game = _game_of(position)
    if game is not None:
        refusals = np.zeros(pointer.unit_count, dtype=np.int32)
        bad = lib.brox_py_referee_choose(game._open(), _c_array(array, "int32_t *"), pointer.unit_count,
                                         _c_array(refusals, "int32_t *"))
    else:
        bad = lib.brox_py_choose(pointer, _c_array(array, "int32_t *"), pointer.unit_count)
    if bad >= 0:
        unit = position.units[bad]
        raise IndexError("unit %d (%s) has candidates 0 to %d, not %d"
                         % (bad, unit.name, len(unit._choosable()) - 1, array[bad]))
    if bad != -1:
        raise OrderError("choose: the indices do not fit the position")
    if game is not None:
        game._raise_refusals(refusals, lambda u: position.units[u]._choosable()[array[u]].text)


def _game_of(position):
    """The Game whose current Position this is, or None."""
    return position.game if isinstance(position, GamePosition) else None


def choose_random(positions, rng, power=None):
    """Gives every unit (of `power`, or of every power) of each Position an
    order drawn uniformly from its candidates, with draws from a numpy
    Generator `rng`.  Build slots draw a waive or a build in a province
    no earlier slot of the power takes.  Takes one Position or a list."""
    if isinstance(positions, Position):
        positions = [positions]
    for position in positions:
        pointer = _pointer(position)
        if power is not None:
            position._check_power(power)
        draws = rng.random(max(1, pointer.unit_count))
        game = _game_of(position)
        if game is not None:
            game._choose_random_with(draws, power)
            continue
        lib.brox_py_choose_random(pointer, _c_array(draws, "double *"), pointer.unit_count,
                                  -1 if power is None else power)


# ---------------------------------------------------------------------------
# Many games side by side
# ---------------------------------------------------------------------------
class Games:
    """`count` in-process games of one map, played side by side with one
    C call per step for all of them (orders drawn or chosen, the step,
    the arrays read), so that a loop over many games pays Python's price
    per game and step, not per unit.

    Games(count, map_files=None, years=10): map_files as for Game.  Each
    game is a Game (`games[g]`: its position, last phase, record ...);
    closing one of them leaves its place empty and the calls below raise
    FreedError.  Games that are over are left alone by every call until
    `restart`.  Rows of the arrays are games; columns are unit indices
    (MAX_UNITS wide, zero past a game's units)."""

    def __init__(self, count, map_files=None, years=10):
        if isinstance(count, bool) or not isinstance(count, int):
            raise TypeError("Games takes a count (int), not %s" % type(count).__name__)
        if count < 1:
            raise ValueError("Games: a count of at least 1, not %d" % count)
        self.games = []
        self._slots = ffi.new("BroxReferee *[]", count)
        try:
            for g in range(count):
                game = Game(map_files, years=years)
                map_files = game.map_files  # load a folder once
                self.games.append(game)
                self._slots[g] = game._c
                game._batches.append((self._slots, g))
        except BaseException:
            self.close()
            raise
        self.map_files = map_files
        self._over = np.zeros(count, dtype=np.uint16)  # END_ codes as the last step left them

    def __len__(self):
        return len(self.games)

    def _referees(self):
        for g, game in enumerate(self.games):
            if self._slots[g] == ffi.NULL:
                raise FreedError("game %d of the batch has been closed" % g)
        return self._slots

    def choose_random(self, rng, power=None):
        """Gives every unit (of `power`, or of every power) of every game
        that goes on an order drawn uniformly from its candidates, with
        draws from a numpy Generator `rng`; as Game.choose_random, the
        orders the rules refuse are left out silently."""
        referees = self._referees()
        if power is not None:
            self.games[0]._check_power(power)
        draws = rng.random((len(self.games), MAX_UNITS))
        lib.brox_py_games_choose_random(referees, len(self.games), _c_array(draws, "double *"), MAX_UNITS,
                                        -1 if power is None else power)

    def choose(self, indices):
        """Gives unit u of game g its candidate indices[g, u] (-1 leaves it;
        see arrays.choose; games that are over are skipped).  Every index is
        checked first: IndexError (nothing given) for one out of range.
        Returns the REFUSAL_ code of each order (int32, shape (games,
        MAX_UNITS); 0 where it was taken or not given)."""
        referees = self._referees()
        array = np.ascontiguousarray(indices, dtype=np.int32)
        if array.shape != (len(self.games), MAX_UNITS):
            raise ValueError("choose needs indices of shape (%d, %d), not %s"
                             % (len(self.games), MAX_UNITS, array.shape))
        refusals = np.zeros(array.shape, dtype=np.int32)
        bad = ffi.new("int *")
        found = lib.brox_py_games_choose(referees, len(self.games), _c_array(array, "int32_t *"), MAX_UNITS,
                                         _c_array(refusals, "int32_t *"), bad)
        if found >= 0:
            g, u = divmod(found, MAX_UNITS)
            counts = self.games[g].candidate_counts()
            if u >= len(counts):
                raise IndexError("game %d has %d units; unit %d takes -1, not %d"
                                 % (g, len(counts), u, array[g, u]))
            raise IndexError("game %d, unit %d has candidates 0 to %d, not %d"
                             % (g, u, counts[u] - 1, array[g, u]))
        return refusals

    def step(self):
        """Steps every game that goes on.  Returns each game's END_ code
        (uint16, 0 while it goes on; game.end_reason says it in words).
        Raises BroxError when a game could not step (the others did)."""
        referees = self._referees()
        for game in self.games:
            game._before_step()
        over = ffi.cast("uint16_t *", ffi.from_buffer(self._over))
        failed = lib.brox_py_games_step(referees, len(self.games), over)
        for game in self.games:
            game._after_step()
        if failed >= 0:
            why = lib.brox_referee_failure(referees[failed])
            raise BroxError("game %d could not step: %s"
                            % (failed, ffi.string(why).decode() if why != ffi.NULL else "?"))
        return self._over.copy()

    @property
    def over(self):
        """True once every game is over."""
        self._referees()
        return bool(self._over.all())

    def read(self, boards=True):
        """(counts, boards): the candidates each unit of each game chooses
        from (int32 (games, MAX_UNITS), as Game.candidate_counts), and
        every game's board (int16 (games, provinces, 10), as arrays.board;
        None when boards is False)."""
        referees = self._referees()
        counts = np.empty((len(self.games), MAX_UNITS), dtype=np.int32)
        out = None
        if boards:
            out = np.empty((len(self.games), self.games[0].province_count, lib.BROX_PY_BOARD_FEATURES),
                           dtype=np.int16)
        lib.brox_py_games_read(referees, len(self.games), _c_array(counts, "int32_t *"), MAX_UNITS,
                               _c_array(out, "int16_t *") if boards else ffi.NULL)
        return counts, out

    def legal_masks(self, width):
        """bool (games, MAX_UNITS, width): True where a unit has a
        candidate of that index (ValueError for a unit with more)."""
        counts, _ = self.read(boards=False)
        if counts.max(initial=0) > width:
            raise ValueError("a unit has %d candidates, more than the width %d" % (counts.max(), width))
        return np.arange(width)[None, None, :] < counts[:, :, None]

    def restart(self):
        """Starts every game again from the opening."""
        self._referees()
        for game in self.games:
            game.restart()
        self._over[:] = 0

    def close(self):
        """Closes every game.  A second call does nothing."""
        for game in self.games:
            game.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __repr__(self):
        return "<Games: %d on %s>" % (len(self.games), self.map_files.name if self.map_files else "?")
