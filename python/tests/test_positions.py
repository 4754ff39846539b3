"""Positions, units and orders as Python objects: reading, the notation
both ways, choosing, adjudicating, and what happens to objects of a freed
Position."""
import re

import pytest

import brox
from conftest import play_until

NOTATION = re.compile(
    r"^(?:[AF] \S+ (?:H|D|- \S+(?: via(?: \S+)+)?|R \S+|[SC] [AF] \S+(?: - \S+)?)"
    r"|build [AF] \S+|remove [AF] \S+|waive)$")


def all_candidates(position):
    return [(unit, order) for unit in position.units for order in unit.candidates]


def test_the_opening_reads_as_the_map_draws_it(session):
    position = session.position
    assert (position.year, position.season) == (1901, "spring")
    assert (position.province_count, position.power_count, position.centre_count) == (75, 7, 34)
    assert len(position.units) == 22
    assert session.power == 0
    abbreviations = position.names.provinces
    assert len(set(abbreviations)) == 75 and all(re.fullmatch("[A-Z]{3}", a) for a in abbreviations)
    for unit in position.units:
        place = unit.location
        assert unit.name == ("A " if unit.type == "army" else "F ") + place.name
        assert place.name.split("/")[0] == abbreviations[place.province]
        assert position.unit_at(place.name.split("/")[0]) is unit
        assert position.owner(place.province) == unit.power  # every unit opens on a home centre
    assert sum(position.centre_counts()) == 22
    assert {u.power for u in position.units_of(3)} == {3}


def test_every_candidate_reads_in_the_notation_and_parses_back(session, midgame):
    winter = play_until(session.position, lambda p: p.season == "winter" and
                        any(p.adjustment(w) for w in range(p.power_count)))
    positions = [session.position, winter, brox.Session(midgame, power=0).position]
    kinds = set()
    for position in positions:
        for unit, order in all_candidates(position):
            text = order.text
            assert NOTATION.match(text), text
            kinds.add(order.kind)
            assert unit.parse(text.lower()) is order
            try:
                assert position.parse("  " + text.replace(" ", "   ") + " ") is order
            except brox.OrderError as error:  # the same text for two units: a waive
                assert "candidate of" in str(error) and text == "waive"
    assert kinds >= {"hold", "move", "support", "convoy", "convoy_move", "build", "waive"}
    named_coast = [o for _, o in all_candidates(session.position) if o.target and "/" in o.target.name]
    assert named_coast, "the default map has two-coast provinces"


def test_moves_bounces_and_supports_are_adjudicated(session):
    position = session.position
    stay = position.unit_at("GOH")
    position.choose("A GOH - ZAE", "A CEG - LEZ", "A DRA - LEZ")
    assert [o.text for o in position.orders(0)] == ["A GOH - ZAE", "A DRA - LEZ", "F THI H", "A CEG - LEZ"]
    with position.adjudicate() as fall:
        assert (fall.year, fall.season) == (1901, "fall")
        assert fall.unit_at("ZAE").power == 0 and fall.unit_at("GOH") is None
        assert fall.unit_at("LEZ") is None  # the two moves bounced
        assert fall.unit_at("DRA") is not None and fall.unit_at("CEG") is not None
        assert position.unit_at("GOH") is stay  # the phase adjudicated is only read
        fall.choose("A DRA - LEZ", "A CEG S A DRA - LEZ")
        with fall.adjudicate() as winter:
            assert winter.unit_at("LEZ").power == 0 and winter.unit_at("DRA") is None


def test_builds_go_to_free_slots_and_stand_next_spring(session):
    winter = play_until(session.position, lambda p: p.season == "winter" and
                        any(p.adjustment(w) >= 2 for w in range(p.power_count)), seed=7)
    power = next(w for w in range(winter.power_count) if winter.adjustment(w) >= 2)
    slots = [u for u in winter.units_of(power) if u.is_slot]
    builds = [o for o in slots[0].candidates if o.kind == "build"]
    fleet = next((o for o in builds if not o.target.is_army_place), None)
    first = fleet or builds[0]
    second = next(o for o in builds if o.target.province != first.target.province)
    winter.choose(first.text, second)
    assert [s.order.text for s in slots[:2]] == [first.text, second.text]
    assert slots[0].type == ("fleet" if fleet else "army")
    with pytest.raises(brox.OrderError, match="power %d already builds in %s" % (power, first.target.name[:3])):
        winter.choose(first)
    slots[1].choose(slots[0].candidates[-1])  # the second slot waives again: a slot is free
    with pytest.raises(brox.OrderError, match="already builds in"):
        winter.choose(first)
    winter.choose(second)
    with winter.adjudicate() as spring:
        for build in (first, second):
            unit = spring.unit_at(build.target.province)
            assert unit.power == power and unit.location == build.target


def test_objects_of_a_freed_position_raise_instead_of_reading_freed_memory(session):
    opening = session.position
    unit, order = opening.units[0], opening.units[0].candidates[1]
    following = opening.adjudicate()
    kept_unit = following.units[0]
    session.load_position(brox.maps.default().position_message)
    for read in (lambda: unit.name, lambda: order.text, lambda: unit.candidates, lambda: opening.year,
                 lambda: unit.choose(order), lambda: opening.adjudicate()):
        with pytest.raises(brox.FreedError, match="replaced it"):
            read()
    assert kept_unit.name  # a Position adjudicated before stays the caller's
    following.free()
    with pytest.raises(brox.FreedError, match="free"):
        kept_unit.candidates
    later = session.position.adjudicate()
    session.close()
    with pytest.raises(brox.FreedError, match="closed"):
        later.units
    with pytest.raises(brox.FreedError):
        session.position
    assert "freed" in repr(later) and "freed" in repr(unit)


def test_a_large_map_of_twenty_powers_plays_and_parses():
    files = brox.maps.generate(3, provinces=300, powers=20, homes=3)
    with brox.Session(files, power=19) as session:
        assert session.power_count == 20 and session.province_count == 300
        later = play_until(session.position, lambda p: p.year == 1904, seed=3)
        for unit, order in all_candidates(later):
            assert unit.parse(order.text) is order
        assert later.names.powers == files.names.powers
