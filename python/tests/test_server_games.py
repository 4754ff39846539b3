"""Python bots on brox-server among the C example bots: a whole game, the
orders as the server recorded them, the bots' folders; and brox-tournament
running the Python bots as bot commands."""
import csv
import json
import os
import subprocess
import sys
import time

import pytest

import brox

BOT = os.environ.get("BROX_BOT")
pytestmark = pytest.mark.skipif(not BOT, reason="needs the example bot (BROX_BOT)")


def start_server(folder, *options):
    log = open(os.path.join(folder, "server.log"), "w")
    server = subprocess.Popen([brox.maps.tool("brox-server"), "--port", "0", "--out", os.path.join(folder, "record")]
                              + list(options), stdout=log, stderr=subprocess.STDOUT)
    for _ in range(200):
        with open(os.path.join(folder, "server.log")) as text:
            first = text.readline()
        if first.startswith("port "):
            return server, first.split()[1]
        time.sleep(0.05)
    server.kill()
    raise AssertionError("the server did not start")


def start_bot(folder, command):
    os.makedirs(folder)
    log = open(os.path.join(folder, "bot.log"), "w")
    return subprocess.Popen(command, cwd=folder, stdout=log, stderr=subprocess.STDOUT)


def read_record(folder):
    with open(os.path.join(folder, "record", "game.jsonl")) as lines:
        return [json.loads(line) for line in lines]


def printed_orders(log, prog):
    """{(year, season): [order text, ...]} from a bot's --verbose lines."""
    phases = {}
    for line in open(log).read().splitlines():
        words = line.split(": ", 2)
        if len(words) == 3 and words[0] == prog and words[1][:4].isdigit():
            year, season = words[1].split()
            phases[(int(year), season)] = words[2].split("; ") if words[2] else []
    return phases


def test_python_bots_play_a_whole_game_among_c_bots(tmp_path):
    folder = str(tmp_path)
    server, port = start_server(folder, "--years", "2", "--deadline", "60")
    address = ["-i", "127.0.0.1", "-p", port]
    python = [sys.executable, "-m"]
    commands = [python + ["brox.bots.random", "--seed", "5", "--verbose"] + address,
                python + ["brox.bots.search", "--steps", "4", "--verbose"] + address]
    commands += [[BOT, "--steps", "3"] + address] * 5
    bots = [start_bot(os.path.join(folder, "bot%d" % b), command) for b, command in enumerate(commands)]
    try:
        assert server.wait(timeout=240) == 0, open(os.path.join(folder, "server.log")).read()
        for bot in bots:
            assert bot.wait(timeout=30) == 0
    finally:
        for process in bots + [server]:
            if process.poll() is None:
                process.kill()

    record = read_record(folder)
    assert record[-1]["final"] and record[-1]["year"] == 1903
    for b, prog in ((0, "brox.bots.random"), (1, "brox.bots.search")):
        log = os.path.join(folder, "bot%d" % b, "bot.log")
        text = open(log).read()
        assert "%s: game over after" % prog in text, text
        power = int(text.split("%s: power " % prog)[1].split()[0])
        printed = printed_orders(log, prog)
        phases = [line for line in record if "orders" in line]
        assert len(printed) == len(phases)
        for line in phases:
            [seat] = [p for p in line["powers"] if p["power"] == power]
            assert seat["refused"] == 0, seat
            assert seat["orders_received"] == seat["orders_due"]
            mine = [o for o in line["orders"] if o["power"] == power]
            said = printed[(line["year"], line["season"])]
            # What the bot says it chose reads as the server records it.
            assert {o["order"] for o in mine if o["from"] == "bot"} <= set(said)
            assert set(said) <= {o["order"] for o in mine}
        # The bot wrote nothing in its folder; the rejoin file went with the game.
        assert sorted(os.listdir(os.path.join(folder, "bot%d" % b))) == ["bot.log"]


def test_brox_tournament_runs_the_python_bots(tmp_path):
    tournament = brox.maps.tool("brox-tournament")
    out = str(tmp_path / "tournament")
    python = sys.executable
    done = subprocess.run(
        [tournament, "--games", "2", "--years", "1", "--deadline", "30", "--out", out,
         "--bot", "random=%s -m brox.bots.random" % python,
         "--bot", "search=%s -m brox.bots.search --steps 2" % python,
         "--bot", "c=%s --steps 2" % BOT],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=280)
    assert done.returncode == 0, done.stdout
    with open(os.path.join(out, "summary.csv")) as table:
        rows = {row["bot"]: row for row in csv.DictReader(table)}
    assert set(rows) == {"random", "search", "c"}
    for row in rows.values():
        assert row["games"] == "2" and row["faults"] == "0", row
    with open(os.path.join(out, "games.csv")) as games:
        assert [row["status"] for row in csv.DictReader(games)] == ["played", "played"]


def test_an_exception_in_the_bot_ends_its_session_and_reaches_the_caller(tmp_path, monkeypatch):
    server, port = start_server(str(tmp_path), "--players", "1", "--years", "1", "--deadline", "5")
    monkeypatch.chdir(tmp_path)
    seen = []

    def bot(position, power):
        seen.append((position.year, position.season, power, len(position.units_of(power))))
        raise LookupError("no plan for %s" % position.units_of(power)[0].name)

    try:
        with pytest.raises(LookupError, match="no plan for [AF] [A-Z]{3}"):
            brox.run_bot(bot, name="failing", args=["-i", "127.0.0.1", "-p", port])
        assert seen == [(1901, "spring", seen[0][2], seen[0][3])] and seen[0][3] > 0
        assert os.path.exists(tmp_path / "broxgame.log")  # a restarted bot would rejoin
    finally:
        if server.poll() is None:
            server.kill()


def test_a_server_game_replayed_in_process_writes_the_same_record(tmp_path):
    """The orders the C bots gave on brox-server, given again to an
    in-process Game, make the same phases and the same game.jsonl, byte
    for byte."""
    folder = str(tmp_path)
    server, port = start_server(folder, "--years", "2", "--deadline", "60")
    bots = [start_bot(os.path.join(folder, "bot%d" % b), [BOT, "--steps", "2", "-i", "127.0.0.1", "-p", port])
            for b in range(7)]
    try:
        assert server.wait(timeout=240) == 0, open(os.path.join(folder, "server.log")).read()
    finally:
        for process in bots + [server]:
            if process.poll() is None:
                process.kill()
    with open(os.path.join(folder, "record", "game.jsonl")) as text:
        served = text.read().splitlines()
    phases = [json.loads(line) for line in served if '"orders"' in line]
    mine = os.path.join(folder, "in-process.jsonl")
    with brox.Game(years=2, record=mine, bots=[p["bot"] for p in phases[0]["powers"]]) as game:
        for phase in phases:
            assert (game.year, game.season) == (phase["year"], phase["season"])
            used = set()  # build slots given an order in this phase
            for order in phase["orders"]:
                if order["from"] != "bot":
                    continue
                unit = None
                if order["unit"] is None:  # a build or waive: the power's next slot
                    unit = next(u for u in game.position.units_of(order["power"]) if u.is_slot and u.index not in used)
                    used.add(unit.index)
                game.order(order["order"], unit)
            game.step()
        assert game.over
    with open(mine) as text:
        assert text.read().splitlines() == served
