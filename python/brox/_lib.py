"""Loads the extension brox._brox and checks it before anything uses it.

Two checks, both at import:
  - the libbrox the dynamic loader found is the version the extension was
    compiled for (its file name carries the full version: libbrox.so.0.2.0);
  - every record the package declares has the offsets and sizes the C
    compiler gave it from brox.h (cffi compares them when a record's fields
    are first laid out, so every one is laid out here).
Either failing raises ImportError with what to do.
"""
import os
import re
import sys

try:
    from brox._brox import ffi, lib
except ImportError as error:  # the extension is missing or of another Python
    raise ImportError(
        "brox: cannot load its compiled extension brox._brox (%s). It is built for one Python "
        "version; this is Python %d.%d. Build the package with this interpreter (cmake "
        "-DPython3_EXECUTABLE=%s, or pip install --no-build-isolation ./python)."
        % (error, sys.version_info[0], sys.version_info[1], sys.executable)) from error

RECORDS = ("LumAvlNode", "LumAvlTree", "ProvinceNeighbour", "Province", "Location", "Map",
           "CentreList", "CentreTable", "Order", "ProvinceState", "LocationState", "Unit",
           "Position", "Agenda", "AgendaItem", "Session", "BroxOrderResult", "BroxPowerOrders",
           "BroxRefusal")


def library_version(path):
    """The version in a libbrox file name ("libbrox.so.0.2.0" -> "0.2.0"),
    or None."""
    match = re.fullmatch(r"libbrox\.so\.(\d+\.\d+\.\d+)", os.path.basename(path))
    return match.group(1) if match else None


def loaded_library():
    """The path of the libbrox this process has loaded."""
    buffer = ffi.new("char[]", 4096)
    length = lib.brox_py_loaded_library(buffer, 4096)
    return ffi.string(buffer, length).decode("utf-8", "replace") if length else ""


def check_version(built_for, path):
    """Raises ImportError unless the library at `path` is version `built_for`."""
    found = library_version(path)
    if found != built_for:
        raise ImportError(
            "brox: the package was built for libbrox %s but the loader found %s (%s). Point the "
            "loader at the libraries it was built with (LD_LIBRARY_PATH), or build the package "
            "again against this library." % (built_for, path or "no file name",
                                             "version " + found if found else "version unknown"))


def check_records(module_ffi=ffi):
    """Lays out every record's fields: cffi compares each offset and size
    with the compiler's then, and raises ffi.error on a mismatch."""
    for name in RECORDS:
        try:
            module_ffi.typeof(name).fields
        except module_ffi.error as error:
            raise ImportError(
                "brox: the record %s differs from brox.h: %s. The package and the library come "
                "from different sources; build them together." % (name, error)) from error


BUILT_FOR = ffi.string(lib.brox_py_built_for()).decode()
LIBRARY_PATH = loaded_library()
check_version(BUILT_FOR, LIBRARY_PATH)
check_records()
