"""The agenda search with a Python scoring function.

    agenda = brox.Agenda(position, score, power=3)
    best = agenda.search(steps=20)       # or step() by hand
    agenda.choose_best()                 # the power's units take its orders

`score(position)` gets the next phase under a trial's orders (for the
first item, the phase itself) and returns a whole number from 0 to
4294967295, higher better.  That Position lives only for the call.  An
exception raised in it (or a score that is not such a number) ends the
search: the agenda is closed and the exception is raised by `step` or
`search`.  `agenda.stop()`, from the scoring function or anywhere, ends a
`search` after the step under way.
"""
import operator
import time

from brox._closing import Closing
from brox._lib import ffi, lib
from brox.errors import BroxError, FreedError
from brox.position import Position

SCORE_MAX = 0xFFFFFFFF


@ffi.def_extern()
def brox_py_score(position, user_data):
    """The scoring function the library calls: the agenda's Python one,
    guarded.  After a failure the rest of the step scores 0 without
    calling Python; the step's caller raises the failure."""
    agenda = ffi.from_handle(user_data)
    if agenda._failure is not None:
        return 0
    view = Position(position, agenda._position._world, owned=False,
                    holder="the agenda (it lives only for the scoring call)")
    try:
        score = agenda._score(view)
        try:
            score = operator.index(score)
        except TypeError:
            raise TypeError("the scoring function returned %r (%s); it must return an int from 0 to %d"
                            % (score, type(score).__name__, SCORE_MAX)) from None
        if not 0 <= score <= SCORE_MAX:
            raise ValueError("the scoring function returned %d; it must return an int from 0 to %d"
                             % (score, SCORE_MAX))
        return score
    except BaseException as failure:  # KeyboardInterrupt too: raised after the step
        agenda._failure = failure
        return 0
    finally:
        view._release("it was handed to a scoring function and lives only for that call")


class Result:
    """An item the search took out: `score`, `complete` (every unit of the
    searching power has a choice) and `choices`, {Unit: Order} for every
    unit it chose for (other powers' units too, once complete)."""
    __slots__ = ("score", "complete", "choices")

    def __init__(self, score, complete, choices):
        self.score, self.complete, self.choices = score, complete, choices

    def orders(self, power):
        """The choices for one power's units."""
        return {unit: order for unit, order in self.choices.items() if unit.power == power}

    def __repr__(self):
        return "<Result score %d, %d choices%s>" % (self.score, len(self.choices),
                                                     ", complete" if self.complete else "")


class Agenda(Closing):
    """A best-first search over the candidates of `position`'s units for
    `power` (by default its session's power), scored by `score`.  Free it
    with `close()` or a `with` block; it is closed with its Position.

    While it searches, the library writes every unit's chosen order: set
    orders after the search (`choose_best`)."""

    def __init__(self, position, score, power=None):
        if not isinstance(position, Position):
            raise TypeError("Agenda takes a brox.Position, not %s" % type(position).__name__)
        if not callable(score):
            raise TypeError("the scoring function must be callable, not %s" % type(score).__name__)
        pointer = position._pointer()
        if power is None:
            power = getattr(position._world, "power", None)
            if power is None:
                raise BroxError("the agenda searches for one power: give power=")
        position._check_power(power)
        self._position = position
        self._score = score
        self.power = power
        self._failure = None
        self._stopping = False
        self._in_step = False
        self._taken = 0
        self._kept = ffi.NULL
        self._kept_result = None
        # The searching power, as the session's assignment carries it.
        self._session = ffi.new("Session *")
        lib.brox_initialise(self._session, ffi.NULL)
        self._session.assignment[0:2] = lib.MSG_ASSIGNMENT.to_bytes(2, "little")
        self._session.assignment[2] = 40
        self._session.assignment[6] = 0x41
        self._session.assignment[7] = power
        self._handle = ffi.new_handle(self)
        self._c = ffi.NULL
        position._agendas.add(self)
        self._in_step = True  # the root is scored now
        try:
            self._c = lib.brox_agenda_new(pointer, lib.brox_py_score, self._handle)
        finally:
            self._in_step = False
        if self._c == ffi.NULL and self._failure is None:
            raise MemoryError("the library could not create an agenda")
        self._raise_failure()

    def _agenda(self):
        if self._c == ffi.NULL:
            raise FreedError("the agenda has been closed" + (
                "" if self._position.alive else ": its position was freed"))
        return self._c

    def _raise_failure(self):
        failure = self._failure
        if failure is not None:
            self.close()
            raise failure

    def step(self):
        """Takes the best item out and adds its successors, each scored.
        Returns False when the agenda was empty."""
        agenda = self._agenda()
        if self._in_step:
            raise BroxError("the scoring function must not step its own agenda")
        best = lib.brox_py_agenda_best(agenda)
        if best == ffi.NULL:
            return False
        self._in_step = True
        try:
            lib.brox_agenda_step(self._session, agenda)
        finally:
            self._in_step = False
        self._keep(best)
        self._raise_failure()
        return True

    def _keep(self, item):
        """The item a step took out is ours: keep the best one after the
        root (scored on this phase, not the next), free the others."""
        self._taken += 1
        if self._taken > 1 and (self._kept == ffi.NULL or item.score > self._kept.score):
            lib.brox_agenda_item_free(self._kept, 1)
            self._kept = item
            self._kept_result = None
        else:
            lib.brox_agenda_item_free(item, 1)

    def search(self, steps=None, seconds=None):
        """Steps until `steps` steps, `seconds` of wall-clock time, an empty
        agenda or `stop()`, whichever comes first; at least one of the two
        limits must be given.  Returns `result`."""
        if steps is None and seconds is None:
            raise ValueError("search needs steps= or seconds=")
        for label, value in (("steps", steps), ("seconds", seconds)):
            if value is not None and (isinstance(value, bool) or not isinstance(value, (int, float))):
                raise TypeError("%s must be a number, not %s" % (label, type(value).__name__))
        deadline = None if seconds is None else time.monotonic() + seconds
        self._stopping = False
        done = 0
        while not self._stopping and (steps is None or done < steps):
            if deadline is not None and time.monotonic() >= deadline:
                break
            if not self.step():
                break
            done += 1
        return self.result

    def stop(self):
        """Ends the running `search` after the step under way."""
        self._stopping = True

    @property
    def best(self):
        """The best item still in the agenda (the next to be stepped), as a
        Result, or None when it is empty."""
        item = lib.brox_py_agenda_best(self._agenda())
        return None if item == ffi.NULL else self._result(item)

    @property
    def result(self):
        """The best item taken out so far, the root excepted, or None."""
        self._agenda()
        if self._kept == ffi.NULL:
            return None
        if self._kept_result is None:
            self._kept_result = self._result(self._kept)
        return self._kept_result

    def _result(self, item):
        units = self._position.units
        choices = {}
        for u, unit in enumerate(units):
            choice = item.choices[u]
            if choice == ffi.NULL:
                continue
            for order in unit._choosable():
                if order._c == choice:
                    choices[unit] = order
                    break
        return Result(item.score, bool(item.complete), choices)

    def choose_best(self):
        """Gives each unit of the searching power its order in `result`;
        units it chose nothing for get their default (disband when
        dislodged, hold; a build slot waives).  Returns `result`."""
        result = self.result
        choices = result.choices if result is not None else {}
        for unit in self._position.units_of(self.power):
            order = choices.get(unit)
            if order is None:
                order = default_order(unit)
            if order is not None:
                unit.choose(order)
        return result

    def close(self):
        """Frees the agenda and the items it kept.  A second call does
        nothing; the scoring function may not close its own agenda."""
        if self._in_step:
            raise BroxError("the scoring function must not close its own agenda")
        if self._c == ffi.NULL:
            return
        lib.brox_agenda_item_free(self._kept, 1)
        self._kept = ffi.NULL
        lib.brox_agenda_free(self._c)
        self._c = ffi.NULL


def default_order(unit):
    """A unit's default candidate: disband when dislodged, else hold (a
    build slot: waive); None when it has no such candidate."""
    wanted = "disband" if unit.dislodged else "waive" if unit.is_slot else "hold"
    for order in unit.candidates:
        if order.kind == wanted:
            return order
    return None
