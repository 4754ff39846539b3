"""Bad input gives a clear Python exception, never a crash: wrong types,
indices out of range, orders of another Position or unit, damaged maps."""
import pytest

import brox


def test_wrong_types_raise_type_error(session):
    position = session.position
    unit = position.units[0]
    cases = [
        (lambda: brox.Session("maps/standard"), "MapFiles"),
        (lambda: setattr(session, "power", "3"), "power is an int"),
        (lambda: setattr(session, "power", True), "power is an int"),
        (lambda: position.unit("0"), "unit index is an int"),
        (lambda: position.units_of(1.0), "power is an int"),
        (lambda: position.owner(2.5), "province is an index or an abbreviation"),
        (lambda: position.location("STA"), "location index is an int"),
        (lambda: position.parse(7), "parse takes a str"),
        (lambda: position.choose(None), "choose takes Orders"),
        (lambda: unit.choose(3), "choose takes an Order"),
        (lambda: unit.parse(b"A GOH H"), "parse takes a str"),
        (lambda: brox.adjudicate(unit), "adjudicate takes a brox.Position"),
        (lambda: brox.Agenda(unit, lambda p: 0), "Agenda takes a brox.Position"),
        (lambda: brox.Agenda(position, "score"), "must be callable"),
        (lambda: brox.maps.generate("1"), "seed must be an int"),
        (lambda: brox.run_bot(None), "run_bot takes a callable"),
        (lambda: brox.run_bot(print, name=b"bot"), "name must be a str"),
    ]
    for call, message in cases:
        with pytest.raises(TypeError, match=message):
            call()


def test_indices_out_of_range_raise_index_error(session):
    position = session.position
    cases = [
        (lambda: position.unit(22), "units 0 to 21"),
        (lambda: position.unit(-1), "units 0 to 21"),
        (lambda: position.units_of(7), "powers 0 to 6"),
        (lambda: position.owner(75), "provinces 0 to 74"),
        (lambda: position.adjustment(20), "powers 0 to 6"),
        (lambda: position.location(10000), "locations 0 to"),
        (lambda: setattr(session, "power", 7), "powers 0 to 6"),
        (lambda: brox.Agenda(position, lambda p: 0, power=9), "powers 0 to 6"),
    ]
    for call, message in cases:
        with pytest.raises(IndexError, match=message):
            call()
    with pytest.raises(brox.OrderError, match="no province 'XYZ'"):
        position.unit_at("XYZ")


def test_orders_of_another_position_or_unit_are_refused(session):
    position = session.position
    with position.adjudicate() as fall:
        foreign = fall.units[0].candidates[1]
        with pytest.raises(brox.OrderError, match="of the 1901 fall position, not of the 1901 spring"):
            position.units[0].choose(foreign)
        with pytest.raises(brox.OrderError, match="do not carry over"):
            position.choose(foreign)
    other_unit = position.units[1].candidates[1]
    with pytest.raises(brox.OrderError, match="is not a candidate of A GOH; it can: A GOH H"):
        position.units[0].choose(other_unit)
    with pytest.raises(brox.OrderError, match="chosen order"):
        position.units[0].choose(position.units[0].order)
    assert position.units[0].order.kind == "hold"  # nothing was changed


def test_text_that_names_no_candidate_says_what_the_unit_can_do(session):
    position = session.position
    with pytest.raises(brox.OrderError, match="A GOH can: A GOH H, A GOH - ZAE"):
        position.parse("A GOH - STA")
    with pytest.raises(brox.OrderError, match="no unit stands at QQQ"):
        position.parse("A QQQ H")
    with pytest.raises(brox.OrderError, match="has no candidate 'F GOH H'"):
        position.units[0].choose("F GOH H")


def test_a_freed_session_or_position_raises_freed_error():
    session = brox.Session(brox.maps.default(), power=0)
    position = session.position
    with pytest.raises(brox.BroxError, match="belongs to its session"):
        position.free()
    following = position.adjudicate()
    following.free()
    following.free()  # a second free does nothing
    with pytest.raises(brox.FreedError, match="free\\(\\) was called"):
        following.adjudicate()
    session.close()
    session.close()
    for call in (lambda: session.power, lambda: session.names, lambda: position.units,
                 lambda: brox.Agenda(position, lambda p: 0)):
        with pytest.raises(brox.FreedError):
            call()


def test_damaged_or_missing_map_files_are_named(tmp_path):
    files = brox.maps.default()
    with pytest.raises(brox.MapError, match="map.bin: No such file"):
        brox.maps.load(str(tmp_path))
    for name, data in (("map.bin", files.map_message), ("centres.bin", files.centres_message),
                       ("position.bin", files.position_message)):
        (tmp_path / name).write_bytes(data)
    (tmp_path / "position.bin").write_bytes(files.position_message[:-3])
    with pytest.raises(brox.MapError, match="position.bin: the message says"):
        brox.maps.load(str(tmp_path))
    (tmp_path / "position.bin").write_bytes(files.centres_message)
    with pytest.raises(brox.MapError, match="position.bin: a message of type 0x1548"):
        brox.maps.load(str(tmp_path))
    (tmp_path / "position.bin").write_bytes(files.position_message)
    (tmp_path / "layout.json").write_text('{"powers": []}')
    with pytest.raises(brox.MapError, match="not a map layout"):
        brox.maps.load(str(tmp_path))
    (tmp_path / "layout.json").unlink()
    loaded = brox.maps.load(str(tmp_path))
    assert loaded.names.province(3) == "P3"  # no layout: names from indices
    with brox.Session(loaded) as session:
        assert session.position.parse("A P0 H").unit.province == 0
    with pytest.raises(brox.MapError, match="provinces 8 to 300|--provinces"):
        brox.maps.generate(1, provinces=7)
