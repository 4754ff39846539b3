"""The agenda with a Python scoring function: what it finds, how it stops,
and a failing scoring function that ends the search."""
import time

import pytest

import brox


def test_a_search_finds_moves_and_its_best_becomes_the_orders(session):
    position = session.position
    seen = []

    def score(next_position):
        seen.append((next_position.year, next_position.season))
        # Power 0's units standing where no unit of power 0 stood in spring.
        before = {unit.province for unit in position.units_of(0)}
        return sum(1 for unit in next_position.units_of(0) if unit.province not in before)

    with brox.Agenda(position, score) as agenda:
        assert agenda.power == 0
        result = agenda.search(steps=5)
        assert seen[0] == (1901, "spring") and set(seen[1:]) == {(1901, "fall")}
        chosen = result.orders(0)
        assert result.score == len(chosen) >= 2
        assert all(order.kind == "move" and order in unit.candidates for unit, order in chosen.items())
        assert agenda.choose_best() is result
    for unit in position.units_of(0):
        assert unit.order == chosen.get(unit, unit.candidates[0])  # the rest hold
    assert unit.candidates[0].kind == "hold"


def test_the_searching_power_is_the_sessions_or_the_one_given(session):
    position = session.position
    powers = set()

    def score(next_position):
        return 0

    with brox.Agenda(position, score, power=4) as agenda:
        agenda.search(steps=3)
        for unit in agenda.result.choices:
            powers.add(unit.power)
    assert powers == {4}
    session.power = 2
    with brox.Agenda(position, score) as agenda:
        assert agenda.power == 2


def test_an_exception_in_the_scoring_function_stops_the_search_and_reaches_the_caller(session):
    calls = []

    class Broken(Exception):
        pass

    def score(position):
        calls.append(position)
        if len(calls) == 3:
            raise Broken("third call")
        return 1

    agenda = brox.Agenda(session.position, score)
    with pytest.raises(Broken, match="third call"):
        agenda.search(steps=10)
    assert len(calls) == 3  # not called again after the failure
    with pytest.raises(brox.FreedError):
        agenda.step()  # the failed agenda was closed
    with pytest.raises(brox.FreedError):
        calls[0].units  # the Position handed to the scoring function lived for the call


def test_a_failure_scoring_the_root_fails_the_agenda_at_once(session):
    with pytest.raises(ZeroDivisionError):
        brox.Agenda(session.position, lambda position: 1 // 0)


@pytest.mark.parametrize("returned, error", [(2.5, TypeError), ("7", TypeError), (None, TypeError),
                                             (-1, ValueError), (2 ** 32, ValueError)])
def test_a_score_that_is_not_a_whole_number_in_range_is_refused(session, returned, error):
    with pytest.raises(error, match="scoring function returned"):
        brox.Agenda(session.position, lambda position: returned).search(steps=1)


def test_stop_and_a_time_limit_end_a_search_early(session):
    steps, after_stop = [], []

    def score(position):
        if len(steps) == 2 and not after_stop:
            agenda.stop()
        if len(steps) == 2:
            after_stop.append(position)
        return 1

    agenda = brox.Agenda(session.position, score)
    original = agenda.step
    agenda.step = lambda: steps.append(1) or original()
    agenda.search(steps=50)
    assert len(steps) == 2
    assert len(after_stop) > 1  # the step under way when stop() came was finished
    started = time.monotonic()
    agenda.search(seconds=0.2)
    assert time.monotonic() - started < 5
    agenda.close()


def test_an_agenda_goes_with_its_position_and_the_scoring_function_cannot_free_it(session):
    root = session.position.adjudicate()

    def free_the_root(position):
        root.free()
        return 0

    with pytest.raises(brox.BroxError):
        brox.Agenda(root, free_the_root)
    assert root.alive
    agenda = brox.Agenda(root, lambda position: 0)
    root.free()
    with pytest.raises(brox.FreedError, match="position was freed"):
        agenda.search(steps=1)


def test_the_scoring_function_may_look_further_ahead(session):
    depths = []

    def score(position):
        with position.adjudicate() as further:
            depths.append((further.year, further.season))
            return len(further.units_of(0))

    with brox.Agenda(session.position, score) as agenda:
        agenda.search(steps=2)
    assert depths[0] == (1901, "fall") and depths[1] == (1902, "spring")
