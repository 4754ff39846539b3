"""Builds the brox package against an installed Brox (cmake --install):

    BROX_PREFIX=/opt/brox pip install --no-build-isolation ./python

The prefix is $BROX_PREFIX, else the one whose brox.pc pkg-config finds
on $PKG_CONFIG_PATH or in the system's folders.  The extension links the
prefix's libbrox and libvorn (found again at run time through their
folder, kept in the extension) and does not copy them; the package runs
the prefix's brox-mapgen for maps.
"""
import glob
import os
import re
import sys
import tempfile

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import build_ffi  # noqa: E402  (beside this file)

SYSTEM_PC_FOLDERS = ["/usr/local/lib/pkgconfig", "/usr/local/lib/x86_64-linux-gnu/pkgconfig",
                     "/usr/lib/pkgconfig", "/usr/lib/x86_64-linux-gnu/pkgconfig"]


def find_pc():
    """The path of brox.pc: under $BROX_PREFIX, else on the pkg-config path."""
    prefix = os.environ.get("BROX_PREFIX")
    if prefix:
        found = sorted(glob.glob(os.path.join(prefix, "lib*", "pkgconfig", "brox.pc")) +
                       glob.glob(os.path.join(prefix, "lib*", "*", "pkgconfig", "brox.pc")))
        if not found:
            sys.exit("brox: no lib/pkgconfig/brox.pc under BROX_PREFIX=%s; install Brox there first "
                     "(cmake --install build --prefix %s)" % (prefix, prefix))
        return found[0]
    folders = [f for f in os.environ.get("PKG_CONFIG_PATH", "").split(os.pathsep) if f] + SYSTEM_PC_FOLDERS
    for folder in folders:
        if os.path.exists(os.path.join(folder, "brox.pc")):
            return os.path.join(folder, "brox.pc")
    sys.exit("brox: no installed Brox found; set BROX_PREFIX to the prefix of cmake --install "
             "(looked in %s)" % ", ".join(folders))


def read_pc(path):
    """The variables and the Version of a .pc file, ${...} expanded."""
    values = {"pcfiledir": os.path.dirname(os.path.abspath(path))}
    version = None

    def expand(text):
        return re.sub(r"\$\{(\w+)\}", lambda m: values.get(m.group(1), ""), text)

    with open(path, encoding="utf-8") as file:
        for line in file:
            line = line.strip()
            variable = re.match(r"^(\w+)=(.*)$", line)
            if variable:
                values[variable.group(1)] = expand(variable.group(2))
            elif line.startswith("Version:"):
                version = line.split(":", 1)[1].strip()
    for key in ("prefix", "libdir", "includedir"):
        values[key] = os.path.normpath(values[key])
    return values, version


PC, VERSION = read_pc(find_pc())
build_ffi.configure([PC["includedir"]], [PC["libdir"]], [PC["libdir"]], VERSION)


class BuildWithConfig(build_py):
    """Also writes brox/_config.py: where the prefix keeps the tools."""

    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "brox", "_config.py")
        with open(target, "w", encoding="utf-8") as config:
            config.write("# Written by setup.py: the folder of the Brox tools.\nTOOLS_DIR = %r\n"
                         % os.path.join(PC["prefix"], "bin"))


setup(
    name="brox",
    version=VERSION,
    description="Bots for the Brox library in Python: positions, orders, search, server play, arrays",
    packages=["brox", "brox.bots"],
    python_requires=">=3.9",
    install_requires=["cffi"],
    ext_modules=[build_ffi.ffibuilder.distutils_extension(tempfile.mkdtemp(prefix="brox-ffi-"), verbose=False)],
    cmdclass={"build_py": BuildWithConfig},
    zip_safe=False,
)
