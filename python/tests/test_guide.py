"""Every code block of docs/python.md runs: the blocks headed with a file
name are written as that file, the shell blocks run in order as one
script (installing, a virtual environment with pip offline, a
tournament), the Python blocks in order in one namespace."""
import contextlib
import io
import os
import re
import shutil
import subprocess
import sys

import pytest

SOURCE = os.environ.get("BROX_SOURCE_DIR", "")
BUILD = os.environ.get("BROX_BUILD_DIR", "")
GUIDE = os.path.join(SOURCE, "docs", "python.md")
BLOCK = re.compile(r"^```(\w+)(?: (\S+))?\n(.*?)^```$", re.S | re.M)


def blocks():
    """(language, file name or None, code) of every block; the code is
    padded with blank lines so that a traceback names the guide's line."""
    with open(GUIDE, encoding="utf-8") as guide:
        text = guide.read()
    return [(m.group(1), m.group(2), "\n" * text.count("\n", 0, m.start(3)) + m.group(3))
            for m in BLOCK.finditer(text)]


@pytest.fixture
def workspace(tmp_path):
    """A folder like a source checkout after the build: build/ (the real
    one) and python/ (a copy, so that pip's build files stay out of the
    source), with a home of its own."""
    os.symlink(BUILD, tmp_path / "build")
    shutil.copytree(os.path.join(SOURCE, "python"), tmp_path / "python",
                    ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
    (tmp_path / "home").mkdir()
    return tmp_path


def test_the_guide_has_blocks_of_every_kind():
    kinds = [(language, name is not None) for language, name, _ in blocks()]
    assert ("sh", False) in kinds and ("python", False) in kinds and ("python", True) in kinds
    assert {language for language, _ in kinds} == {"sh", "python"}


def test_every_block_of_the_guide_runs(workspace, monkeypatch):
    for language, name, code in blocks():
        if name:
            (workspace / name).write_text(code.lstrip("\n"))
    script = "set -euo pipefail\n" + "\n".join(code for language, name, code in blocks()
                                               if language == "sh" and not name)
    environment = dict(os.environ, HOME=str(workspace / "home"), PIP_NO_INDEX="1",
                       PIP_DISABLE_PIP_VERSION_CHECK="1",
                       PATH=os.path.dirname(sys.executable) + os.pathsep + os.environ["PATH"])
    environment.pop("PYTHONPATH")  # the guide says what to put there
    environment.pop("BROX_TOOLS_DIR")
    done = subprocess.run(["bash", "-c", script], cwd=str(workspace), env=environment,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=280)
    assert done.returncode == 0, done.stdout
    home = str(workspace / "home")
    assert "brox 0." in done.stdout
    assert os.path.join(home, "brox", "lib") in done.stdout  # the venv's package links the prefix ...
    venv = [name for _, _, names in os.walk(os.path.join(home, "brox-venv")) for name in names]
    assert "_config.py" in venv and not [n for n in venv if n.startswith(("libbrox", "libvorn"))]  # ... not a copy
    assert re.search(r"^bot .*\n(mine|random|c) ", done.stdout, re.M), done.stdout

    monkeypatch.chdir(workspace)
    namespace = {"__name__": "guide"}
    output = io.StringIO()
    with contextlib.redirect_stdout(output):
        for language, name, code in blocks():
            if language == "python" and not name:
                exec(compile(code, GUIDE, "exec"), namespace)
    printed = output.getvalue()
    assert "<Position 1901 spring, 22 units>" in printed and "freed:" in printed
    assert "the scoring function returned" in printed and "not of the 1901 fall position" in printed
    assert re.search(r"^the last year has been played \[.*\n\d+ lines in ", printed, re.M), printed
    assert printed.count("the last year has been played") == 5  # the game, then the four games of the batch
    assert sorted(os.listdir(workspace)) == ["build", "home", "my_bot.py", "python"]
