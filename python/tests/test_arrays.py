"""numpy arrays of Positions: the board encoding read against the objects,
masks and the order table against the candidates, choosing by index and
at random, and the batch helpers."""
import numpy as np
import pytest

import brox
import brox.arrays as arrays
from conftest import play_until


def retreat_or_winter(session):
    """A later phase with dislodged units (board columns 7-9) or builds."""
    return play_until(session.position, lambda p: any(u.dislodged for u in p.units), seed=2)


def test_the_board_says_what_the_position_says(session, midgame):
    positions = [session.position, retreat_or_winter(session), brox.Session(midgame).position]
    for position in positions:
        board = arrays.board(position)
        assert board.shape == (position.province_count, len(arrays.BOARD_COLUMNS)) and board.dtype == np.int16
        for province in range(position.province_count):
            row = dict(zip(arrays.BOARD_COLUMNS, board[province].tolist()))
            owner = position.owner(province)
            assert row["centre_owner"] == (-1 if owner is None else owner)
            for prefix, dislodged in (("unit", False), ("dislodged", True)):
                unit = position.unit_at(province, dislodged=dislodged)
                kind = prefix if prefix == "dislodged" else "unit"
                if unit is None:
                    assert row[kind] == 0 and row[prefix + "_power"] == -1 and row[prefix + "_location"] == -1
                else:
                    assert row[kind] == (1 if unit.type == "army" else 2)
                    assert row[prefix + "_power"] == unit.power
                    assert row[prefix + "_location"] == unit.location.index
        assert (board[:, 4] > 0).sum() + (board[:, 7] > 0).sum() == sum(not u.is_slot for u in position.units)
    assert (arrays.board(positions[1])[:, 7] > 0).any()
    planes = arrays.one_hot(arrays.boards(positions[:2]), 7)
    assert planes.shape == (2, 75, 32)
    assert planes[0, :, 0:28:4].sum() + planes[0, :, 1:28:4].sum() == 22  # armies and fleets


def test_masks_and_the_order_table_match_the_candidates(session):
    position = session.position
    mask = arrays.legal_mask(position)
    table = arrays.order_table(position)
    assert mask.shape[0] == len(position.units) and table.shape[0] == mask.sum()
    columns = {name: i for i, name in enumerate(arrays.ORDER_COLUMNS)}
    for row in table:
        unit = position.units[row[columns["unit"]]]
        order = unit.candidates[row[columns["candidate"]]]
        assert mask[unit.index, order.index]
        assert row[columns["token"]] == order.token
        assert row[columns["location"]] == unit.location.index
        assert row[columns["target"]] == (order.target.index if order.target else -1)
        assert row[columns["other_unit"]] == (order.other_unit.index if order.other_unit else -1)
    for unit in position.units:
        assert mask[unit.index].sum() == len(unit.candidates)
    masks = arrays.legal_masks([position, position], mask.shape[1])
    assert masks.shape == (2, arrays.MAX_UNITS, mask.shape[1]) and not masks[:, 22:].any()
    with pytest.raises(ValueError, match="more than the width"):
        arrays.legal_mask(position, 3)


def test_choosing_by_index_checks_every_index_first(session):
    position = session.position
    counts = arrays.candidate_counts(position)
    indices = counts - 1
    indices[1] = -1
    arrays.choose(position, indices)
    for unit in position.units:
        expected = unit.candidates[-1] if unit.index != 1 else unit.candidates[0]
        assert unit.order == expected
    before = [u.order.text for u in position.units]
    indices[5] = counts[5]
    with pytest.raises(IndexError, match="unit 5 .* has candidates 0 to %d, not %d" % (counts[5] - 1, counts[5])):
        arrays.choose(position, indices)
    assert [u.order.text for u in position.units] == before
    with pytest.raises(ValueError, match="one index per unit"):
        arrays.choose(position, indices[:3])


def test_random_orders_are_candidates_and_builds_take_distinct_provinces(session):
    rng = np.random.default_rng(5)
    position = session.position
    arrays.choose_random([position], rng, power=2)
    for unit in position.units:
        if unit.power == 2:
            assert unit.order in unit.candidates
        else:
            assert unit.order.kind == "hold"
    winter = play_until(position, lambda p: p.season == "winter" and
                        any(p.adjustment(w) >= 2 for w in range(p.power_count)), seed=7)
    for _ in range(20):
        arrays.choose_random(winter, rng)
        for power in range(winter.power_count):
            slots = [u for u in winter.units_of(power) if u.is_slot]
            builds = [s.order.target.province for s in slots if s.order.kind == "build"]
            assert len(builds) == len(set(builds))
            for slot in slots:
                assert slot.order in slots[0].candidates
                assert slot.type == ("army" if slot.order.kind != "build" or slot.order.target.is_army_place
                                     else "fleet")
    # Later slots choose from their first slot's candidates: the last is
    # the waive.
    first = {}
    for unit in winter.units:
        if unit.is_slot:
            first.setdefault(unit.power, unit)
    indices = [len(first[u.power].candidates) - 1 if u.is_slot else -1 for u in winter.units]
    arrays.choose(winter, indices)
    assert [u.order.kind for u in winter.units if u.is_slot] == ["waive"] * (len(indices) - indices.count(-1))
