"""Maps: the three messages a game starts from, and the names of the map.

A map as brox-mapgen writes it is a folder of map.bin (the map
definition), centres.bin (centre ownership), position.bin (the opening)
and layout.json (names and drawing).  `load` reads such a folder;
`default` and `generate` run brox-mapgen into a temporary folder, so
nothing is written where the program runs.
"""
import functools
import json
import os
import subprocess
import tempfile

from brox._lib import lib
from brox.errors import MapError

try:
    from brox import _config
except ImportError:  # a source checkout that no build has configured
    _config = None

FILES = (("map.bin", lib.MSG_MAP_DEFINITION), ("centres.bin", lib.MSG_CENTRE_OWNERSHIP),
         ("position.bin", lib.MSG_POSITION))


def tool(name):
    """The path of a Brox command (brox-mapgen, brox-server, ...): from
    $BROX_TOOLS_DIR, else where the build put or installed it, else PATH."""
    folders = []
    if os.environ.get("BROX_TOOLS_DIR"):
        folders.append(os.environ["BROX_TOOLS_DIR"])
    if _config is not None:
        here = os.path.dirname(os.path.abspath(__file__))
        folders.append(os.path.normpath(os.path.join(here, _config.TOOLS_DIR)))
    folders += os.environ.get("PATH", "").split(os.pathsep)
    for folder in folders:
        path = os.path.join(folder, name)
        if folder and os.access(path, os.X_OK):
            return path
    raise FileNotFoundError(
        "brox: %s not found (looked in %s); set BROX_TOOLS_DIR to the folder that holds it"
        % (name, ", ".join(f for f in folders[:3] if f) or "nowhere"))


class Names:
    """Names of one map: a three-letter abbreviation per province, the
    provinces' full names, the powers' names and the named coasts.

    `Names.of_layout(layout)` reads them from a layout.json as brox-mapgen
    writes it; `Names.plain(provinces, powers)` makes names from indices
    ("P12", "power 3") for a map without a layout."""

    def __init__(self, provinces, full_names, powers, coasts):
        self.provinces = list(provinces)     # abbreviation by province index
        self.full_names = list(full_names)   # full name by province index
        self.powers = list(powers)           # name by power index
        self.coasts = dict(coasts)           # (province index, coast code) -> "north"
        self._index = {name.upper(): p for p, name in enumerate(self.provinces)}

    @classmethod
    def of_layout(cls, layout):
        try:
            provinces = layout["provinces"]
            coasts = {}
            for p, province in enumerate(provinces):
                for coast in province.get("coasts", []):
                    coasts[(p, int(coast["code"]))] = str(coast["name"])
            return cls([str(p["abbreviation"]) for p in provinces], [str(p["name"]) for p in provinces],
                       [str(power["name"]) for power in layout["powers"]], coasts)
        except (KeyError, TypeError, ValueError) as error:
            raise MapError("layout.json: not a map layout (%s)" % error) from error

    @classmethod
    def plain(cls, province_count, power_count):
        provinces = ["P%d" % p for p in range(province_count)]
        return cls(provinces, provinces, ["power %d" % p for p in range(power_count)], {})

    def province(self, index):
        """The abbreviation of province `index` ("P12" past the known ones)."""
        return self.provinces[index] if 0 <= index < len(self.provinces) else "P%d" % index

    def location(self, province, coast):
        """"STA", or "NOR/north" for a named coast of a two-coast province."""
        named = self.coasts.get((province, coast))
        return self.province(province) + ("/" + named if named else "")

    def province_index(self, name):
        """The index of a province by its abbreviation (any case), or None."""
        found = self._index.get(name.upper())
        if found is None and name[:1] in "Pp" and name[1:].isdigit():
            found = int(name[1:])
        return found

    def power(self, index):
        return self.powers[index] if 0 <= index < len(self.powers) else "power %d" % index


def _message_length(message):
    return message[2] | message[3] << 8 if len(message) >= 6 else -1


def _province_count(map_message):
    return map_message[8] | map_message[9] << 8


def _power_count(map_message):
    return map_message[6] | map_message[7] << 8


class MapFiles:
    """A map and its opening: three messages (each from its type word on, as
    the library reads them) and the map's names.  `name` is what a server
    calls the map; `layout` the map's layout.json as read (a dict: what
    a game record needs to draw the board), or None when there was none.
    Immutable; one MapFiles may start any number of sessions or games."""

    def __init__(self, map_message, centres_message, position_message, names=None, name="map", layout=None):
        messages = (bytes(map_message), bytes(centres_message), bytes(position_message))
        for (file_name, expected), message in zip(FILES, messages):
            check_message(message, expected, file_name)
        self.map_message, self.centres_message, self.position_message = messages
        self.province_count = _province_count(self.map_message)
        self.power_count = _power_count(self.map_message)
        if names is None:
            names = Names.plain(self.province_count, self.power_count)
        if len(names.provinces) != self.province_count:
            raise MapError("the names are of a map of %d provinces, the map has %d"
                           % (len(names.provinces), self.province_count))
        self.names = names
        self.name = name
        self.layout = layout

    def __repr__(self):
        return "<MapFiles %s: %d provinces, %d powers>" % (self.name, self.province_count, self.power_count)


def check_message(message, expected_type, what):
    """Raises MapError unless `message` is one whole message of the type."""
    if len(message) < 6:
        raise MapError("%s: %d bytes, too short for a message" % (what, len(message)))
    found = message[0] | message[1] << 8
    if found != expected_type:
        raise MapError("%s: a message of type 0x%04X, expected 0x%04X" % (what, found, expected_type))
    if _message_length(message) != len(message):
        raise MapError("%s: the message says %d bytes, the file holds %d"
                       % (what, _message_length(message), len(message)))


def load(folder, name=None):
    """The map in `folder`, as brox-mapgen writes it: map.bin, centres.bin,
    position.bin and (for the names) layout.json.  Raises MapError naming
    the file that is missing or damaged."""
    messages = []
    for file_name, _ in FILES:
        path = os.path.join(folder, file_name)
        try:
            with open(path, "rb") as file:
                messages.append(file.read())
        except OSError as error:
            raise MapError("map folder %s: %s: %s" % (folder, file_name, error.strerror)) from error
    names = layout = None
    layout_path = os.path.join(folder, "layout.json")
    if os.path.exists(layout_path):
        try:
            with open(layout_path, encoding="utf-8") as file:
                layout = json.load(file)
            names = Names.of_layout(layout)
        except (OSError, ValueError) as error:
            raise MapError("map folder %s: layout.json: %s" % (folder, error)) from error
    try:
        return MapFiles(*messages, names=names,
                        name=name or os.path.basename(os.path.normpath(folder)) or "map", layout=layout)
    except MapError as error:
        raise MapError("map folder %s: %s" % (folder, error)) from error


def _mapgen(arguments, name):
    with tempfile.TemporaryDirectory(prefix="brox-map-") as folder:
        command = [tool("brox-mapgen")] + arguments + ["--out", folder]
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            raise MapError("brox-mapgen %s: %s" % (" ".join(arguments), done.stderr.strip()))
        return load(folder, name=name)


@functools.lru_cache(maxsize=1)
def default():
    """The built-in standard map (7 powers, 75 provinces, 34 supply centres)
    and its opening, as brox-server plays it without options."""
    return _mapgen(["--default"], "standard")


@functools.lru_cache(maxsize=8)
def generate(seed, provinces=75, powers=7, homes=3):
    """The map brox-mapgen makes from a seed and a size (8 to 300
    provinces, 1 to 20 powers, 1 to 5 home centres each), with its
    opening.  The same arguments give the same map on every build."""
    for label, value in (("seed", seed), ("provinces", provinces), ("powers", powers), ("homes", homes)):
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError("generate: %s must be an int, not %s" % (label, type(value).__name__))
    arguments = ["--seed", str(seed), "--provinces", str(provinces), "--powers", str(powers),
                 "--homes", str(homes)]
    return _mapgen(arguments, "seed-%d-provinces-%d-powers-%d-homes-%d" % (seed, provinces, powers, homes))
