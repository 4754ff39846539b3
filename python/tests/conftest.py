"""Shared fixtures: sessions on the default map and phases played at random."""
import os
import random
import subprocess

import pytest

import brox


@pytest.fixture
def session():
    with brox.Session(brox.maps.default(), power=0) as opened:
        yield opened


@pytest.fixture(scope="session")
def midgame(tmp_path_factory):
    """The default map's midgame position: every centre owned, fleets at
    sea beside armies on coasts (convoys)."""
    folder = tmp_path_factory.mktemp("midgame")
    subprocess.run([brox.maps.tool("brox-mapgen"), "--default", "--midgame", "--out", str(folder)],
                   check=True, stdout=subprocess.DEVNULL)
    return brox.maps.load(str(folder))


def play_until(position, wanted, seed=1, limit=200):
    """Phases drawn at random from `position` until wanted(next) holds;
    returns that Position (the ones between are freed)."""
    rng = random.Random(seed)
    current = position
    for _ in range(limit):
        current.choose_random(rng=rng)
        following = current.adjudicate()
        if current is not position:
            current.free()
        current = following
        if wanted(current):
            return current
    raise AssertionError("no such phase within %d phases" % limit)


def tools_dir():
    return os.environ["BROX_TOOLS_DIR"]
