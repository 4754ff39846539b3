"""The checks made when the package is imported: a library of another
version is refused, and so is a record whose layout differs from brox.h
(at compile time for a field of another type, at import for an offset)."""
import itertools
import os
import shutil
import subprocess
import sys

import cffi
import pytest

import brox
from brox import _lib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
import build_ffi  # noqa: E402

MODULE_NUMBERS = itertools.count()


def test_the_version_is_read_from_the_library_file_loaded():
    assert _lib.library_version("/opt/brox/lib/libbrox.so.0.2.0") == "0.2.0"
    assert _lib.library_version("/opt/brox/lib/libbrox.so") is None
    assert os.path.realpath(brox.LIBRARY_PATH) == brox.LIBRARY_PATH
    assert _lib.library_version(brox.LIBRARY_PATH) == brox.__version__
    with pytest.raises(ImportError, match="built for libbrox 0.2.0 but the loader found /x/libbrox.so.0.3.0"):
        _lib.check_version("0.2.0", "/x/libbrox.so.0.3.0")
    with pytest.raises(ImportError, match="version unknown"):
        _lib.check_version("0.2.0", "/x/libbrox-custom.so")


def test_a_library_of_another_version_is_refused_at_import(tmp_path):
    """The same library under another version's file name, put first on
    the loader's path, as a stale install would be."""
    major, minor, patch = brox.__version__.split(".")
    other = "libbrox.so.%s.%s.%d" % (major, minor, int(patch) + 7)
    shutil.copy(brox.LIBRARY_PATH, tmp_path / other)
    os.symlink(other, tmp_path / ("libbrox.so.%s.%s" % (major, minor)))
    environment = dict(os.environ, LD_LIBRARY_PATH=str(tmp_path))
    done = subprocess.run([sys.executable, "-c", "import brox"], env=environment, cwd=str(tmp_path),
                          stderr=subprocess.PIPE, text=True)
    assert done.returncode != 0
    assert ("ImportError: brox: the package was built for libbrox %s but the loader found %s"
            % (brox.__version__, tmp_path / other)) in done.stderr


def compile_records(tmp_path, records):
    """A module of the package's records as `records` declares them,
    compiled against brox.h."""
    builder = cffi.FFI()
    builder.cdef(records)
    include = os.path.join(os.environ["BROX_SOURCE_DIR"], "include")
    name = "records_%d" % next(MODULE_NUMBERS)  # a module name is imported once
    builder.set_source(name, "#include <brox.h>", include_dirs=[include],
                       extra_compile_args=["-Werror=incompatible-pointer-types"])
    builder.compile(tmpdir=str(tmp_path), verbose=False)
    sys.path.insert(0, str(tmp_path))
    try:
        module = __import__(name)
    finally:
        sys.path.remove(str(tmp_path))
    return module.ffi


def test_the_package_records_compile_and_check_as_they_are(tmp_path):
    _lib.check_records(compile_records(tmp_path, build_ffi.RECORDS))


def test_a_field_out_of_its_place_is_refused_at_import(tmp_path):
    swapped = build_ffi.RECORDS.replace("uint16_t unit_type;\n    uint16_t power;",
                                        "uint16_t power;\n    uint16_t unit_type;")
    assert swapped != build_ffi.RECORDS
    with pytest.raises(ImportError, match="the record Unit differs from brox.h.*wrong offset for field 'power' \\(cdef says 0, but C compiler says 2\\)"):
        _lib.check_records(compile_records(tmp_path, swapped))


def test_a_field_of_another_type_does_not_compile(tmp_path):
    retyped = build_ffi.RECORDS.replace("LocationState *location;\n    uint32_t dislodged;",
                                        "ProvinceState *location;\n    uint32_t dislodged;")
    assert retyped != build_ffi.RECORDS
    with pytest.raises(cffi.VerificationError):
        compile_records(tmp_path, retyped)
