"""The exceptions the package raises besides TypeError and IndexError."""


class BroxError(Exception):
    """Base of the package's own exceptions."""


class FreedError(BroxError, ReferenceError):
    """An object that points into a Position, a Session or an Agenda that
    has been freed: a Unit or Order of a Position the session replaced with
    the next phase, a Position handed to a scoring function after the call,
    anything of a closed Session.  Read the current Position again."""


class OrderError(BroxError, ValueError):
    """An order that does not fit where it is given: an Order of another
    Position, not among the unit's candidates, or text that names no
    candidate."""


class MapError(BroxError, ValueError):
    """A map folder, or map messages, that cannot be used: a file missing,
    damaged, or refused by the library."""
