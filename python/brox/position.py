"""Positions, their units and orders as Python objects.

A Position is one phase of a game as the library built it: every Unit
carries its candidates (its legal orders) and a chosen order.  Units and
Orders point into their Position; once it is freed (the session replaced
it, a scoring function returned, `free()` was called, the session closed)
every one of them raises FreedError instead of reading freed memory.

Orders read in the usual notation with the map's province names:
"A STA H", "A STA - NOR", "F SEA S A STA - NOR", "F SEA S A STA",
"F SEA C A STA - NOR", "A STA - NOR via SEA", "A STA R NOR", "A STA D",
"build F NOR/north", "remove A STA", "waive".
"""
import random as _random
import weakref

from brox._lib import ffi, lib
from brox.errors import BroxError, FreedError, OrderError
from brox.tokens import order_kind, season_name

_FIELDS = 7  # brox_py_order_describe: fields before the route
_DESCRIBE_SIZE = _FIELDS + 20


class Location:
    """A place a unit can stand: `index` (shared by the Map and every
    Position on it), `province` (province index), `coast` (coast code) and
    `name` ("STA", "NOR/north")."""
    __slots__ = ("index", "province", "coast", "name")

    def __init__(self, index, province, coast, name):
        self.index, self.province, self.coast, self.name = index, province, coast, name

    @property
    def is_army_place(self):
        """True where an army stands (the army location of a land province)."""
        return self.coast == lib.COAST_ARMY

    def __eq__(self, other):
        return isinstance(other, Location) and other.index == self.index and other.name == self.name

    def __hash__(self):
        return hash((self.index, self.name))

    def __repr__(self):
        return "<Location %s>" % self.name

    def __str__(self):
        return self.name


class World:
    """What the Positions of one Map share: the Map, its names and the
    Positions built on it that are still alive.  A Session is one; the
    owner frees them all before the Map goes."""

    def __init__(self):
        self._positions = weakref.WeakSet()
        self._locations = None

    # Subclasses give the Map (cdata) and the names.
    def _map(self):
        raise NotImplementedError

    @property
    def names(self):
        raise NotImplementedError

    @property
    def power_count(self):
        """Powers on the map."""
        return self._map().power_count

    @property
    def province_count(self):
        """Provinces on the map."""
        return self._map().province_count

    @property
    def centre_count(self):
        """Supply centres on the map."""
        return self._map().centre_count

    def _adopt(self, position):
        self._positions.add(position)
        return position

    def _free_positions(self, why):
        for position in list(self._positions):
            position._release(why)
        self._positions = weakref.WeakSet()
        self._locations = None

    def location(self, index):
        """The Location of a location index of this world's Map."""
        if self._locations is None:
            self._locations = self._read_locations()
        if isinstance(index, bool) or not isinstance(index, int):
            raise TypeError("a location index is an int, not %s" % type(index).__name__)
        if not 0 <= index < len(self._locations):
            raise IndexError("location %d: the map has locations 0 to %d" % (index, len(self._locations) - 1))
        return self._locations[index]

    def _read_locations(self):
        game_map = self._map()
        names = self.names
        base = int(ffi.cast("uintptr_t", game_map.provinces))
        size = ffi.sizeof("Province")
        locations = []
        for index in range(game_map.location_count):
            place = game_map.locations[index]
            province = (int(ffi.cast("uintptr_t", place.province)) - base) // size
            locations.append(Location(index, province, place.coast, names.location(province, place.coast)))
        return locations


class Position:
    """One phase of a game.  Get one from a Session (`session.position`),
    from `adjudicate()`, or as the argument of an agenda's scoring
    function; do not construct it.

    Positions from `adjudicate()` are yours: free them with `free()` (or a
    `with` block) when a search makes many; otherwise they are freed when
    no longer referenced, and at the latest when their session closes."""

    def __init__(self, pointer, world, owned, holder=None):
        self._c = pointer
        self._world = world
        self._owned = owned
        self._units = None
        self._parsed = None
        self._agendas = weakref.WeakSet()
        self._why = None
        self._holder = holder or "its session"
        self._label = "%d %s" % (pointer.year, season_name(pointer.season))
        world._adopt(self)

    # -- lifetime ---------------------------------------------------------
    def _pointer(self):
        if self._c is None:
            raise FreedError("the %s position has been freed: %s" % (self._label, self._why))
        return self._c

    @property
    def alive(self):
        """False once the Position has been freed."""
        return self._c is not None

    def _release(self, why):
        """Frees (when ours) and invalidates the Position; every Unit, Order
        and Agenda on it raises FreedError from now on."""
        if self._c is None:
            return
        for agenda in list(self._agendas):
            agenda.close()  # refused while its scoring function runs
        pointer, self._c = self._c, None
        self._why = why
        self._units = None
        self._parsed = None
        if self._owned:
            lib.brox_position_free(pointer)

    def free(self):
        """Frees a Position that `adjudicate()` made.  The session's own
        Position and the one a scoring function is handed are not yours to
        free (BroxError).  A second call does nothing."""
        if self._c is not None and not self._owned:
            raise BroxError("the %s position belongs to %s; only positions from adjudicate() are "
                            "freed by their holder" % (self._label, self._holder))
        self._release("free() was called")

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self._owned:
            self._release("its with block ended")

    def __del__(self):
        try:
            if self._owned and self._c is not None:
                self._release("it was garbage collected")
        except Exception:  # interpreter shutdown: the library may be gone
            pass

    # -- the phase --------------------------------------------------------
    @property
    def year(self):
        return self._pointer().year

    @property
    def season(self):
        """"spring", "summer", "fall", "autumn" or "winter"."""
        return season_name(self._pointer().season)

    @property
    def season_token(self):
        return self._pointer().season

    @property
    def names(self):
        """The map's names (brox.Names)."""
        return self._world.names

    @property
    def province_count(self):
        return self._pointer().map.province_count

    @property
    def power_count(self):
        return self._pointer().map.power_count

    @property
    def centre_count(self):
        return self._pointer().map.centre_count

    def __repr__(self):
        if self._c is None:
            return "<Position %s, freed>" % self._label
        return "<Position %s, %d units>" % (self._label, self._c.unit_count)

    # -- units ------------------------------------------------------------
    @property
    def units(self):
        """Every Unit in the library's order: the units (dislodged ones
        too), then in winter the build slots."""
        pointer = self._pointer()
        if self._units is None:
            self._units = [Unit(self, pointer.units[u], u) for u in range(pointer.unit_count)]
        return self._units

    def unit(self, index):
        """The Unit at `index` of `units`."""
        units = self.units
        if isinstance(index, bool) or not isinstance(index, int):
            raise TypeError("a unit index is an int, not %s" % type(index).__name__)
        if not 0 <= index < len(units):
            raise IndexError("unit %d: the %s position has units 0 to %d"
                             % (index, self._label, len(units) - 1))
        return units[index]

    def units_of(self, power):
        """The Units and build slots of one power."""
        self._check_power(power)
        return [unit for unit in self.units if unit._c.power == power]

    def unit_at(self, province, dislodged=False):
        """The Unit standing in a province (by index or abbreviation), or
        None; with dislodged=True the dislodged unit there."""
        state = self._pointer().provinces[self._province(province)]
        found = state.dislodged_unit if dislodged else state.unit
        index = lib.brox_py_unit_index(self._c, found) if found != ffi.NULL else -1
        return self.units[index] if index >= 0 else None

    def _province(self, province):
        if isinstance(province, str):
            index = self.names.province_index(province)
            if index is None:
                raise OrderError("no province %r on this map" % province)
            province = index
        if isinstance(province, bool) or not isinstance(province, int):
            raise TypeError("a province is an index or an abbreviation, not %s" % type(province).__name__)
        count = self._pointer().map.province_count
        if not 0 <= province < count:
            raise IndexError("province %d: the map has provinces 0 to %d" % (province, count - 1))
        return province

    def _check_power(self, power):
        if isinstance(power, bool) or not isinstance(power, int):
            raise TypeError("a power is an int index, not %s" % type(power).__name__)
        count = self._pointer().map.power_count
        if not 0 <= power < count:
            raise IndexError("power %d: the map has powers 0 to %d" % (power, count - 1))
        return power

    # -- centres ----------------------------------------------------------
    def owner(self, province):
        """The power owning the supply centre in a province, or None (not a
        centre, or nobody's)."""
        pointer = self._pointer()
        owner = pointer.provinces[self._province(province)].owner
        return owner if owner < pointer.map.power_count else None

    def centre_counts(self):
        """Supply centres owned, per power (a list indexed by power)."""
        pointer = self._pointer()
        game_map = pointer.map
        counts = [0] * game_map.power_count
        for p in range(game_map.province_count):
            owner = pointer.provinces[p].owner
            if game_map.provinces[p].centre_kind != lib.CENTRE_NONE and owner < game_map.power_count:
                counts[owner] += 1
        return counts

    def is_centre(self, province):
        """True when a province (index or abbreviation) is a supply centre."""
        index = self._province(province)
        return self._c.map.provinces[index].centre_kind != lib.CENTRE_NONE

    def distance(self, start, end):
        """Fewest moves from one province to another (any unit type); 255
        when there is no way.  From a province to itself: the shortest way
        out and back."""
        return self._pointer().map.distance[self._province(start)][self._province(end)]

    def home_distance(self, power, province):
        """Fewest moves from the power's nearest home centre to a province;
        255 when none."""
        self._check_power(power)
        return self._pointer().map.home_distance[power][self._province(province)]

    def adjustment(self, power):
        """In winter: centres minus units of a power (builds due when
        positive, removals due when negative); 0 in other seasons."""
        self._check_power(power)
        pointer = self._pointer()
        return pointer.adjustment[power] if pointer.season == lib.SEASON_WINTER else 0

    def location(self, index):
        """The Location of a location index."""
        self._pointer()
        return self._world.location(index)

    # -- orders -----------------------------------------------------------
    def parse(self, text):
        """The candidate Order whose notation is `text` (case and spacing
        do not matter): "A STA - NOR", "build F NOR/north".  Raises
        OrderError when no candidate or more than one reads so."""
        if not isinstance(text, str):
            raise TypeError("parse takes a str, not %s" % type(text).__name__)
        if self._parsed is None:
            self._parsed = {}
            for unit in self.units:
                for order in unit.candidates:
                    self._parsed.setdefault(_normal(order.text), []).append(order)
        found = self._parsed.get(_normal(text), [])
        if len(found) == 1:
            return found[0]
        if found:
            raise OrderError("%r is a candidate of %d units: %s; choose through the unit"
                             % (text, len(found), ", ".join(o.unit.name for o in found)))
        raise OrderError("no candidate reads %r in the %s position%s"
                         % (text, self._label, self._hint(text)))

    def _hint(self, text):
        words = text.split()
        if len(words) >= 2 and words[0].upper() in ("A", "F"):
            index = self.names.province_index(words[1].split("/")[0])
            if index is not None and 0 <= index < self.province_count:
                unit = self.unit_at(index) or self.unit_at(index, dislodged=True)
                if unit is not None:
                    return "; %s can: %s" % (unit.name, ", ".join(o.text for o in unit.candidates) or "nothing")
            return "; no unit stands at %s" % words[1]
        return ""

    def choose(self, *orders):
        """Gives each order (an Order of this Position, or its text) to its
        unit.  A build goes to the first build slot of its power still
        waiving; a second build in the same province is refused."""
        for order in orders:
            if isinstance(order, str):
                order = self.parse(order)
            if not isinstance(order, Order):
                raise TypeError("choose takes Orders or their text, not %s" % type(order).__name__)
            order._check_of(self)
            if order.kind == "build":
                self._give_build(order)
            else:
                order.unit.choose(order)

    def _give_build(self, order):
        power = order.unit.power
        slots = [unit for unit in self.units_of(power) if unit.is_slot]
        for slot in slots:
            chosen = slot.order
            if chosen.kind == "build" and chosen.target.province == order.target.province:
                raise OrderError("%s: power %d already builds in %s"
                                 % (order.text, power, self.names.province(order.target.province)))
        for slot in slots:
            if slot.order.kind == "waive":
                slot.choose(order)
                return
        raise OrderError("%s: every build slot of power %d already builds" % (order.text, power))

    def choose_random(self, power=None, rng=_random):
        """Gives every unit of `power` (every power for None) an order drawn
        uniformly from its candidates with `rng` (anything with random()).
        Build slots draw a waive or a build in a province no earlier slot
        of the power takes."""
        pointer = self._pointer()
        if power is not None:
            self._check_power(power)
        count = pointer.unit_count
        draws = ffi.new("double[]", [rng.random() for _ in range(count)] or [0.0])
        lib.brox_py_choose_random(pointer, draws, count, -1 if power is None else power)

    def _give(self, unit, order):
        """Writes a checked candidate into the unit's chosen order; a build
        slot becomes a fleet for a build at a fleet location, an army
        otherwise."""
        pointer = unit._unit()
        pointer.order = order._c[0]
        if pointer.location == ffi.NULL:
            target = order._c.target
            fleet = order._c.token == lib.ORD_BUILD and target != ffi.NULL and target.coast != lib.COAST_ARMY
            pointer.unit_type = lib.UNIT_FLEET if fleet else lib.UNIT_ARMY

    def orders(self, power=None):
        """The chosen orders (of one power, or of all), as Orders."""
        units = self.units if power is None else self.units_of(power)
        return [unit.order for unit in units]

    def adjudicate(self):
        """The next phase under the units' chosen orders, as a new Position
        that is yours (see `free`).  This one is only read.  Dislodged
        units of the next Position are offered a disband only; retreat
        places come from a game's referee or server."""
        pointer = self._pointer()
        following = lib.brox_adjudicate(pointer)
        if following == ffi.NULL:
            raise BroxError("the library built no next position for %s (%d units; memory may have run "
                            "out)" % (self._label, pointer.unit_count))
        return Position(following, self._world, owned=True)

    def submit(self, power):
        """Sends one power's chosen orders to the game server (a session
        that has joined a game).  The library sends nothing when none of
        the power's units takes part in this phase."""
        self._check_power(power)
        lib.brox_order_submit(ffi.NULL, self._pointer(), power << 8)


def _normal(text):
    return " ".join(text.split()).upper()


class Unit:
    """A unit, or in winter a build slot (no location).  Read `candidates`
    (its legal orders), `order` (the chosen one) and choose with
    `choose(order)`."""
    __slots__ = ("_position", "_c", "index", "_candidates")

    def __init__(self, position, pointer, index):
        self._position = position
        self._c = pointer
        self.index = index          # place in position.units
        self._candidates = None

    def _unit(self):
        self._position._pointer()
        return self._c

    @property
    def position(self):
        return self._position

    @property
    def power(self):
        return self._unit().power

    @property
    def is_slot(self):
        """True for a winter build slot (a unit yet to be built)."""
        return self._unit().location == ffi.NULL

    @property
    def type(self):
        """"army" or "fleet" (a build slot: what it builds)."""
        return "fleet" if self._unit().unit_type == lib.UNIT_FLEET else "army"

    @property
    def dislodged(self):
        return bool(self._unit().dislodged)

    @property
    def location(self):
        """Its Location; None for a build slot."""
        place = self._unit().location
        if place == ffi.NULL:
            return None
        return self._position._world.location(place.location.index)

    @property
    def province(self):
        """Its province index; None for a build slot."""
        place = self.location
        return None if place is None else place.province

    @property
    def name(self):
        """"A STA", "F NOR/north"; "slot" for a build slot."""
        place = self.location
        if place is None:
            return "slot"
        return ("A " if place.is_army_place else "F ") + place.name

    @property
    def candidates(self):
        """Its legal orders, in the library's order (see brox.h).  A later
        build slot has none: it builds with the first slot's candidates."""
        unit = self._unit()
        if self._candidates is None:
            found = []
            order = lib.brox_candidate_first(unit)
            while order != ffi.NULL:
                found.append(Order(self._position, order, self.index, len(found)))
                order = lib.brox_candidate_next(unit, order)
            self._candidates = found
        return self._candidates

    def _choosable(self):
        """The candidates this unit chooses from: its own, or for a later
        build slot its power's first slot's."""
        own = self.candidates
        if own or not self.is_slot:
            return own
        for unit in self._position.units:
            if unit.is_slot and unit._c.power == self._c.power and unit.candidates:
                return unit.candidates
        return own

    @property
    def order(self):
        """The chosen order (hold until chosen; waive for a build slot)."""
        unit = self._unit()
        return Order(self._position, ffi.addressof(unit, "order"), self.index, None)

    def parse(self, text):
        """This unit's candidate whose notation is `text`."""
        if not isinstance(text, str):
            raise TypeError("parse takes a str, not %s" % type(text).__name__)
        wanted = _normal(text)
        for order in self._choosable():
            if _normal(order.text) == wanted:
                return order
        raise OrderError("%s has no candidate %r; it can: %s"
                         % (self.name, text, ", ".join(o.text for o in self._choosable()) or "nothing"))

    def choose(self, order):
        """Gives the unit an order: one of its candidates (an Order, or its
        notation).  A build slot takes a build or the waive of its power's
        first slot and becomes a fleet or an army to suit."""
        if isinstance(order, str):
            order = self.parse(order)
        if not isinstance(order, Order):
            raise TypeError("choose takes an Order or its text, not %s" % type(order).__name__)
        order._check_of(self._position)
        if order._candidate is None:
            raise OrderError("%s is a chosen order; give a candidate (unit.candidates)" % order.text)
        if not any(order is mine or order._c == mine._c for mine in self._choosable()):
            raise OrderError("%s is not a candidate of %s; it can: %s"
                             % (order.text, self.name, ", ".join(o.text for o in self._choosable()) or "nothing"))
        self._position._give(self, order)

    def __repr__(self):
        if not self._position.alive:
            return "<Unit %d of a freed position>" % self.index
        return "<Unit %d: %s of power %d%s>" % (self.index, self.name, self.power,
                                               ", dislodged" if self.dislodged else "")


class Order:
    """A candidate of a unit (`index` is its place among the candidates), or
    a unit's chosen order (`index` None).  `text` is its notation."""
    __slots__ = ("_position", "_c", "_unit_index", "_candidate", "_fields")

    def __init__(self, position, pointer, unit_index, candidate):
        self._position = position
        self._c = pointer
        self._unit_index = unit_index
        self._candidate = candidate
        self._fields = None

    def _check_of(self, position):
        if self._position is not position:
            raise OrderError("%s is an order of the %s position, not of the %s position; orders "
                             "do not carry over between positions"
                             % (self._text_or_freed(), self._position._label, position._label))
        position._pointer()

    def _text_or_freed(self):
        return self.text if self._position.alive else "an order"

    def _describe(self):
        position = self._position._pointer()
        if self._candidate is None or self._fields is None:
            out = ffi.new("int32_t[]", _DESCRIBE_SIZE)
            lib.brox_py_order_describe(position, self._c, out)
            fields = tuple(out[0:_FIELDS + out[5]])
            if self._candidate is None:
                return fields  # a chosen order changes: read it afresh
            self._fields = fields
        return self._fields

    @property
    def index(self):
        """Its place among its unit's candidates; None for a chosen order."""
        return self._candidate

    @property
    def token(self):
        return self._describe()[0]

    @property
    def kind(self):
        """"hold", "move", "support", "convoy", "convoy_move", "retreat",
        "disband", "build", "remove" or "waive"."""
        return order_kind(self._describe()[0])

    @property
    def unit(self):
        """The Unit the order belongs to."""
        return self._position.units[self._unit_index]

    @property
    def target(self):
        """The Location the order is about (destination, supported move's
        destination, landing, build place), or None."""
        location = self._describe()[1]
        return None if location < 0 else self._position._world.location(location)

    @property
    def other_unit(self):
        """The unit supported or convoyed, or None."""
        other = self._describe()[4]
        return None if other < 0 else self._position.units[other]

    @property
    def route(self):
        """Province indices of the convoying fleets, army side first."""
        return list(self._describe()[_FIELDS:])

    @property
    def text(self):
        return order_text(self._position, self._describe(), self._unit_index)

    def __str__(self):
        return self.text

    def __repr__(self):
        if not self._position.alive:
            return "<Order of a freed position>"
        return "<Order %s>" % self.text

    def __eq__(self, other):
        if not isinstance(other, Order):
            return NotImplemented
        return other._position is self._position and other._describe() == self._describe()

    def __hash__(self):
        return hash((id(self._position), self._describe()))


def order_text(position, fields, unit_index):
    """The notation of an order from its described fields."""
    token, target_location, _, _, other, _, _ = fields[:_FIELDS]
    world = position._world
    names = world.names
    unit = position.units[unit_index]
    self_name = unit.name
    target = world.location(target_location).name if target_location >= 0 else "?"
    other_name = position.units[other].name if other >= 0 else "?"
    if token == lib.ORD_HOLD:
        return self_name + " H"
    if token == lib.ORD_MOVE:
        return self_name + " - " + target
    if token == lib.ORD_SUPPORT:
        return self_name + " S " + other_name + (" - " + target if target_location >= 0 else "")
    if token == lib.ORD_CONVOY:
        return self_name + " C " + other_name + " - " + target
    if token == lib.ORD_CONVOY_MOVE:
        route = " ".join(names.province(p) for p in fields[_FIELDS:])
        return self_name + " - " + target + " via " + route
    if token == lib.ORD_RETREAT:
        return self_name + " R " + target
    if token == lib.ORD_DISBAND:
        return self_name + " D"
    if token == lib.ORD_BUILD:
        if target_location < 0:
            return "waive"
        letter = "A " if world.location(target_location).is_army_place else "F "
        return "build " + letter + target
    if token == lib.ORD_REMOVE:
        return "remove " + self_name
    if token == lib.ORD_WAIVE:
        return "waive"
    return self_name + " ?"


def adjudicate(position):
    """The next phase of `position` under its units' chosen orders (see
    Position.adjudicate)."""
    if not isinstance(position, Position):
        raise TypeError("adjudicate takes a brox.Position, not %s" % type(position).__name__)
    return position.adjudicate()
