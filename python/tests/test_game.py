"""In-process games through the referee: orders checked by the rules with
their reasons, what became of each phase, whole games on the default and a
twenty-power map, their game.jsonl against the schema and brox-replay,
many games at once, and bad input."""
import json
import os
import random
import subprocess

import numpy as np
import pytest

import brox
from brox.arrays import MAX_UNITS, Games, choose

SCHEMA = os.path.join(os.environ.get("BROX_SOURCE_DIR", ""), "docs", "game-record.schema.json")


def validator():
    jsonschema = pytest.importorskip("jsonschema", reason="needs python3-jsonschema")
    with open(SCHEMA, encoding="utf-8") as text:
        return jsonschema.Draft202012Validator(json.load(text))


def play_random(game, seed=1):
    rng = random.Random(seed)
    phases = 0
    while not game.over:
        game.choose_random(rng=rng)
        game.step()
        phases += 1
    return phases


def until(game, wanted, seed=1, limit=2000):
    """Random phases until wanted(game) holds (games started again as
    they end)."""
    rng = random.Random(seed)
    for _ in range(limit):
        if wanted(game):
            return
        if game.over:
            game.restart()
        game.choose_random(rng=rng)
        game.step()
    raise AssertionError("no such phase within %d phases" % limit)


def test_orders_given_one_by_one_and_what_became_of_them():
    with brox.Game() as game:
        assert (game.year, game.season, game.power_count, game.over) == (1901, "spring", 7, False)
        legal = game.legal_orders(0)
        assert legal and all(unit.power == 0 for unit in legal)
        assert game.orders_due(0) and not game.orders_received(0)
        # A move by text and one by Order; the second order of a unit replaces the first.
        unit, orders = next(iter(legal.items()))
        move = next(order for order in orders if order.kind == "move")
        game.order(orders[0])
        game.order(move.text)
        assert game.orders_received(0) and not game.orders_received(1)
        assert game.position.units[unit.index].order.text == move.text
        moved_to, move_text = move.target.province, move.text
        game.step()
        assert game.last_position.year == 1901 and (game.year, game.season) != (1901, "spring")
        last = game.last
        assert last.season == "spring" and len(last.orders) == len(game.last_position.units)
        mine = last.orders[unit.index]
        assert (mine.order, mine.given, mine.power) == (move_text, True, 0)
        assert all(not result.given and result.kind == "hold" for result in last.orders
                   if result.unit_index != unit.index)
        assert last.powers[0].entries == 2 and last.powers[0].received  # two given, one replaced and not last.powers[1].received
        assert mine.outcome in ("moved", "bounced")
        standing = {u.province for u in game.position.units if u.power == 0}
        assert (moved_to in standing) == (mine.outcome == "moved")


def test_outcomes_match_the_next_phase():
    with brox.Game(years=10) as game:
        checked = dislodged = 0
        rng = random.Random(4)
        while dislodged < 3:  # random orders seldom dislodge: a few games
            if game.over:
                game.restart()
            game.choose_random(rng=rng)
            game.step()
            last = game.last
            if last.season not in ("spring", "fall"):
                continue
            for result in last.orders:
                assert result.outcome in ("held", "moved", "bounced", "supported", "cut", "no-such-order",
                                          "dislodged", "carried", "not-carried")
            # Every unit this phase dislodged stands dislodged in the retreat phase,
            # offered exactly the places the result named.
            offered = {u.name: sorted(o.target.name for o in u.candidates if o.kind == "retreat")
                       for u in game.position.units if u.dislodged}
            for result in last.dislodgements:
                assert result.dislodged_by is not None
                assert offered.pop(result.unit) == sorted(place.name for place in result.retreats)
                dislodged += 1
            assert offered == {}
            if game.season in ("summer", "autumn"):  # only powers with a dislodged unit order
                assert [game.orders_due(p) for p in range(7)] == \
                    [any(u.dislodged for u in game.position.units_of(p)) for p in range(7)]
            checked += 1
        assert checked >= 20


def test_refused_orders_raise_with_the_reason_and_stay_in_the_record(tmp_path):
    record = tmp_path / "game.jsonl"
    with brox.Game(record=str(record)) as game:
        # A winter where a power builds in two slots or more.
        until(game, lambda g: g.season == "winter" and any(
            sum(u.is_slot for u in g.position.units_of(p)) >= 2 for p in range(g.power_count)), seed=2)
        power = next(p for p in range(game.power_count) if sum(u.is_slot for u in game.position.units_of(p)) >= 2)
        first, second = [u for u in game.position.units_of(power) if u.is_slot][:2]
        build = next(order for order in game.legal_orders(power)[first] if order.kind == "build")
        build_text = build.text
        game.order(build, first)
        with pytest.raises(brox.OrderRefused, match="a second build in one province") as refused:
            game.order(build, second)
        assert refused.value.reason == "a second build in one province" and refused.value.order == build_text
        assert game.position.units[second.index].order.kind == "waive"  # the slot keeps what it had
        game.step()
        [(who, refusal)] = game.last.refusals
        assert (who, refusal.order, refusal.entry, refusal.reason) == (power, build_text, 2, refused.value.reason)
        assert [r.outcome for r in game.last.orders if r.unit_index in (first.index, second.index)] == \
            ["built", "waived"]
        game.close()
    lines = [json.loads(line) for line in record.read_text().splitlines()]
    winter = [line for line in lines if line.get("season") == "winter" and "orders" in line][-1]
    [seat] = [p for p in winter["powers"] if p["power"] == power]
    assert seat["refusals"] == [{"entry": 2, "order": build_text, "reason": "a second build in one province"}]
    assert lines[-1]["final"] and lines[-1]["reason"] == "the game was stopped"


def test_ten_years_on_the_default_map_record_validates_and_replays(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    out = tmp_path / "out"
    out.mkdir()
    check = validator()
    with brox.Game(years=10, bots="random") as game:
        game.record(str(out / "game.jsonl"))
        phases = play_random(game, seed=7)
        assert game.end_reason in ("the last year has been played",
                                   "one power owns more than half the supply centres")
        counts = game.centre_counts()
        assert sum(counts) <= game.centre_count and counts == [game.centres(p) for p in range(7)]
        if game.winner is None:
            assert (game.year, game.season) == (1911, "spring")
        else:
            assert 2 * counts[game.winner] > game.centre_count
        with pytest.raises(brox.GameOverError):
            game.step()
        with pytest.raises(brox.GameOverError):
            game.choose_random()
        reason = game.end_reason
    lines = (out / "game.jsonl").read_text().splitlines()
    assert len(lines) == phases + 2
    records = [json.loads(line) for line in lines]
    for line in records:
        check.validate(line)
    assert records[0]["map"] and records[-1]["reason"] == reason
    assert all(p["bot"] == "random" for p in records[1]["powers"])
    done = subprocess.run([brox.maps.tool("brox-replay"), str(out / "game.jsonl")],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=120)
    assert done.returncode == 0, done.stdout
    assert (out / "replay.html").exists() and (out / "final-board.svg").exists()
    assert len(os.listdir(out / "phases")) == phases
    assert os.listdir(tmp_path) == ["out"]  # nothing in the current folder


def test_ten_years_on_a_twenty_power_map_of_300_provinces(tmp_path):
    record = tmp_path / "game.jsonl"
    check = validator()
    with brox.Game(brox.maps.generate(7, provinces=300, powers=20), years=10, record=str(record)) as game:
        assert (game.power_count, game.province_count) == (20, 300)
        play_random(game, seed=3)
        assert game.over and len(game.centre_counts()) == 20
    for line in record.read_text().splitlines():
        check.validate(json.loads(line))


def test_a_map_folder_and_restart(tmp_path, monkeypatch):
    folder = tmp_path / "map"
    subprocess.run([brox.maps.tool("brox-mapgen"), "--seed", "11", "--provinces", "40", "--powers", "4",
                    "--out", str(folder)], check=True, stdout=subprocess.DEVNULL)
    monkeypatch.chdir(tmp_path)
    with brox.Game(str(folder), years=2) as game:
        assert (game.power_count, game.province_count, game.map_files.name) == (4, 40, "map")
        opening = [u.name for u in game.position.units]
        play_random(game)
        assert game.over and game.last is not None
        game.restart()
        assert not game.over and game.last is None and [u.name for u in game.position.units] == opening
    assert os.listdir(tmp_path) == ["map"]


def test_many_games_at_once():
    rng = np.random.default_rng(5)
    with Games(3, years=2) as games:
        counts, boards = games.read()
        assert boards.shape == (3, 75, 10) and (counts[:, :22] > 0).all() and (counts[:, 22:] == 0).all()
        # Indices of the last candidate of each unit, checked against the orders each game took.
        indices = np.where(counts > 0, counts - 1, -1)
        assert (games.choose(indices) == 0).all()
        last = [[u.candidates[-1].text for u in game.position.units] for game in games.games]
        assert [[u.order.text for u in game.position.units] for game in games.games] == last
        bad = indices.copy()
        bad[1, 3] = counts[1, 3]
        with pytest.raises(IndexError, match="game 1, unit 3"):
            games.choose(bad)
        while not games.over:
            games.choose_random(rng)
            over = games.step()
        assert (over == 2).all() and all(game.year == 1903 for game in games.games)
        games.restart()
        assert not games.over
        games.games[2].close()
        with pytest.raises(brox.FreedError, match="game 2"):
            games.step()


def test_arrays_choose_goes_through_the_game():
    with brox.Game() as game:
        def removals(g, p):
            due = -g.position.adjustment(p)
            return 0 < due < len(g.position.units_of(p))

        until(game, lambda g: g.season == "winter" and any(removals(g, p) for p in range(g.power_count)))
        power = next(p for p in range(game.power_count) if removals(game, p))
        units = game.position.units_of(power)
        due = -game.position.adjustment(power)
        indices = np.full(len(game.position.units), -1)
        for unit in units[:due + 1]:  # one removal more than is due
            indices[unit.index] = next(o.index for o in unit.candidates if o.kind == "remove")
        with pytest.raises(brox.OrderRefused, match="more removals than are due"):
            choose(game.position, indices)
        assert [u.order.kind for u in game.position.units_of(power)].count("remove") == due


def test_bad_input_raises(tmp_path):
    with pytest.raises(brox.MapError, match="no-such-map"):
        brox.Game(str(tmp_path / "no-such-map"))
    with pytest.raises(TypeError):
        brox.Game(42)
    other = brox.Game()
    game = brox.Game(years=1)
    try:
        with pytest.raises(IndexError, match="powers 0 to 6"):
            game.legal_orders(7)
        with pytest.raises(TypeError):
            game.centres("0")
        with pytest.raises(ValueError, match="years"):
            game.years = 70000
        with pytest.raises(brox.OrderError, match="another|not of the"):
            game.order(other.position.units[0].candidates[0])
        with pytest.raises(brox.OrderError, match="not a candidate"):
            game.order(game.position.units[1].candidates[0], game.position.units[0])
        with pytest.raises(IndexError):
            game.order_index(0, 99)
        with pytest.raises(IndexError):
            game.order_index(500, 0)
        with pytest.raises(TypeError):
            game.order_index("0", 0)
        with pytest.raises(brox.OrderError):
            game.order("A XYZ - ABC")
        position = game.position
        unit = position.units[0]
        game.step()
        with pytest.raises(brox.FreedError):
            unit.candidates
        with pytest.raises(brox.FreedError):
            game.order(unit.candidates[0])
    finally:
        game.close()
        other.close()
    for call in (lambda: game.step(), lambda: game.position, lambda: game.legal_orders(0),
                 lambda: game.order_index(0, 0), lambda: game.centre_counts(), lambda: game.restart()):
        with pytest.raises(brox.FreedError, match="closed"):
            call()
    game.close()  # a second close does nothing


def test_record_and_batch_mistakes(tmp_path):
    first = tmp_path / "first.jsonl"
    with brox.Game() as game:
        game.record(str(first))
        with pytest.raises(brox.BroxError, match="already writing"):
            game.record(str(tmp_path / "second.jsonl"))
        game.choose_random()
        game.step()
        game.restart()  # ends the record
        game.step()
        with pytest.raises(brox.BroxError, match="before the first step"):
            game.record(str(tmp_path / "late.jsonl"))
        game.restart()
        with pytest.raises(TypeError):
            game.record(5)
        with pytest.raises(brox.BroxError, match="no server"):
            game.position.submit(0)
    lines = [json.loads(line) for line in first.read_text().splitlines()]
    assert [sorted(line)[0] for line in lines] == ["layout", "dislodgements", "final"]
    assert lines[-1]["reason"] == "the game was stopped" and lines[-1]["season"] == "fall"
    default = brox.maps.default()
    bare = brox.MapFiles(default.map_message, default.centres_message, default.position_message)
    with brox.Game(bare) as game:
        with pytest.raises(brox.MapError, match="no layout"):
            game.record(str(tmp_path / "bare.jsonl"))
    assert not (tmp_path / "bare.jsonl").exists() and not (tmp_path / "late.jsonl").exists()

    with pytest.raises(ValueError):
        Games(0)
    with pytest.raises(TypeError):
        Games("2")
    with Games(2, years=1) as games:
        with pytest.raises(ValueError, match="shape"):
            games.choose(np.zeros((2, 5)))
        with pytest.raises(IndexError, match="powers 0 to 6"):
            games.choose_random(np.random.default_rng(), power=9)


def test_builds_without_a_unit_take_the_next_free_slot():
    def two_slots(g):
        return [p for p in range(g.power_count)
                if g.season == "winter" and sum(u.is_slot for u in g.position.units_of(p)) >= 2]

    with Games(1, years=10) as games:
        game = games.games[0]
        until(game, lambda g: two_slots(g), seed=2)
        power = two_slots(game)[0]
        slots = [u for u in game.position.units_of(power) if u.is_slot]
        builds = [o for o in game.legal_orders(power)[slots[0]] if o.kind == "build"]
        # The same build for two slots by index: the second is refused, the code returned.
        indices = np.full((1, MAX_UNITS), -1)
        indices[0, [slots[0].index, slots[1].index]] = builds[0].index
        refusals = games.choose(indices)
        assert refusals[0, slots[1].index] == brox.game.lib.REFUSAL_SECOND_BUILD
        assert (np.delete(refusals[0], slots[1].index) == 0).all()
        # By text, without a unit: each build goes to the next slot that does not build yet.
        game.order(builds[1].text)
        assert [u.order.text for u in slots[:2]] == [builds[0].text, builds[1].text]
        assert len(slots) == 2 and len(builds) > 2  # this seed's winter: a third build has no slot
        with pytest.raises(brox.OrderError, match="already builds"):
            game.order(builds[2].text)
