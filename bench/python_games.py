#!/usr/bin/python3
"""Whole random games in-process from Python, beside the referee's C loop.

Ten-year games on the default map, every order drawn uniformly from the
unit's candidates, counted in games per CPU second of this process (one
core, as brox_bench counts its rates):

  python-per-unit  orders drawn in Python one unit at a time
                   (Game.candidate_counts, Game.order_index)
  python-game      one call per phase draws every order (Game.choose_random)
  python-batch     4 games side by side (--batch), one call per phase for all of
                   them (brox.arrays.Games: choose_random, step)
  c-loop           brox_bench's BM_RefereeGameTenYears, the same games
                   played in C, run by this script in the same run

Each is measured --repeats times; the median is printed beside the
lowest and highest.  Run from a build folder's parent:

    /usr/bin/python3 bench/python_games.py --build build

(needs the build's Python package, numpy and brox_bench).  Timings on a
shared machine are noisy: compare figures of one run only.  Larger
batches are slower per game once their games no longer fit the caches.
"""
import argparse
import os
import random
import re
import statistics
import subprocess
import sys
import time

YEARS = 10


def games_per_second(brox, seconds, play_phase):
    """Ten-year games on one Game for `seconds` of CPU time, each phase's
    orders given by play_phase(game, rng); games per CPU second."""
    rng = random.Random(1)
    games = 0
    with brox.Game(years=YEARS) as game:
        start = time.process_time()
        while time.process_time() - start < seconds:
            game.restart()
            while not game.over:
                play_phase(game, rng)
                game.step()
            games += 1
        return games / (time.process_time() - start)


def per_unit(brox, seconds):
    def draw_each_unit(game, rng):
        for unit, count in enumerate(game.candidate_counts()):
            if count:
                try:
                    game.order_index(unit, int(rng.random() * count))
                except brox.OrderRefused:  # a second build in one province, a removal too many
                    pass
    return games_per_second(brox, seconds, draw_each_unit)


def whole_game(brox, seconds):
    return games_per_second(brox, seconds, lambda game, rng: game.choose_random(rng=rng))


def batch(brox, seconds, size):
    import numpy as np
    from brox.arrays import Games
    rng = np.random.default_rng(1)
    games = 0
    with Games(size, years=YEARS) as batch_games:
        start = time.process_time()
        while time.process_time() - start < seconds:
            batch_games.restart()
            while not batch_games.over:
                batch_games.choose_random(rng)
                batch_games.step()
            games += size
        return games / (time.process_time() - start)


def c_loop(build, repeats, seconds):
    """brox_bench's games/s for each repetition of BM_RefereeGameTenYears."""
    done = subprocess.run([os.path.join(build, "bench", "brox_bench"),
                           "--benchmark_filter=^BM_RefereeGameTenYears$",
                           "--benchmark_repetitions=%d" % repeats, "--benchmark_min_time=%g" % seconds,
                           ],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, check=True)
    rates = []
    for line in done.stdout.splitlines():
        if line.startswith("BM_RefereeGameTenYears ") or line.startswith("BM_RefereeGameTenYears_"):
            if "_mean" in line or "_median" in line or "_stddev" in line or "_cv" in line:
                continue
            found = re.search(r"games/s=([0-9.]+)(k?)/s", line)
            if found:
                rates.append(float(found.group(1)) * (1000 if found.group(2) else 1))
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build", help="the build folder (default: build)")
    parser.add_argument("--repeats", type=int, default=5, help="measurements of each (default: 5)")
    parser.add_argument("--batch", type=int, default=4, help="games side by side in python-batch (default: 4)")
    parser.add_argument("--seconds", type=float, default=2.0, help="CPU seconds per measurement (default: 2)")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    sys.path.insert(0, os.path.join(build, "python"))
    os.environ.setdefault("BROX_TOOLS_DIR", os.path.join(build, "tools"))
    import brox

    print("10-year random games on the default map, games per CPU second, %d x %g s each"
          % (args.repeats, args.seconds))
    rows = [(name, [measure(brox, args.seconds) for _ in range(args.repeats)])
            for name, measure in (("python-per-unit", per_unit), ("python-game", whole_game),
                                  ("python-batch", lambda brox, seconds: batch(brox, seconds, args.batch)))]
    rows.append(("c-loop", c_loop(build, args.repeats, args.seconds)))
    for name, rates in rows:
        if rates:
            print("%-16s median %7.0f   (%.0f to %.0f)" % (name, statistics.median(rates), min(rates), max(rates)))
        else:
            print("%-16s no figure (brox_bench printed none)" % name)


if __name__ == "__main__":
    main()
