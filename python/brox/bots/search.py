"""A small searching bot: in spring, fall and the retreats an agenda
search scored in Python by the supply centres its units hold and own and
how near they stand to centres it does not own; in winter, builds and
removals by simple rules.

    python3 -m brox.bots.search [-n host | -i address] [-p port] [--steps N]
"""
from brox.bots import command_line, exit_with, play
from brox.search import Agenda

FAR = 8  # moves counted for a unit with no unowned centre nearer


def centres_score(position, power):
    """A scoring function for `power` on the map of `position`."""
    centres = [p for p in range(position.province_count) if position.is_centre(p)]

    def moves_to_target(next_position, start):
        best = FAR
        for centre in centres:
            if next_position.owner(centre) == power:
                continue
            moves = 0 if centre == start else next_position.distance(start, centre)
            best = min(best, moves)
        return best

    def score(next_position):
        total = 0
        for centre in centres:
            unit = next_position.unit_at(centre)
            if unit is not None and unit.power == power:
                total += 100  # ours at the next winter
            elif next_position.owner(centre) == power:
                total += 30 if unit is not None else 90  # owned, and maybe lost
        for unit in next_position.units_of(power):
            if not unit.is_slot and not unit.dislodged:
                total += 40 + 5 * (FAR - moves_to_target(next_position, unit.province))
        return total
    return score


def choose_builds(position, power):
    """Builds in provinces of their own: a fleet while the power has fewer
    than half as many fleets as armies."""
    units = [u for u in position.units_of(power) if not u.is_slot]
    fleets = sum(u.type == "fleet" for u in units)
    armies = len(units) - fleets
    slots = [u for u in position.units_of(power) if u.is_slot]
    used = set()
    for slot in slots:
        builds = [o for o in slots[0].candidates if o.kind == "build" and o.target.province not in used]
        if not builds:
            return
        want_fleet = 2 * fleets < armies
        build = next((o for o in builds if (not o.target.is_army_place) == want_fleet), builds[0])
        slot.choose(build)
        used.add(build.target.province)
        if build.target.is_army_place:
            armies += 1
        else:
            fleets += 1


def choose_removals(position, power, due):
    """Removes the units farthest from the power's home centres."""
    units = [u for u in position.units_of(power) if any(o.kind == "remove" for o in u.candidates)]
    units.sort(key=lambda u: position.home_distance(power, u.province), reverse=True)
    for unit in units[:due]:
        unit.choose(next(o for o in unit.candidates if o.kind == "remove"))


def search_bot(steps):
    def bot(position, power):
        if position.season == "winter":
            adjustment = position.adjustment(power)
            if adjustment > 0:
                choose_builds(position, power)
            elif adjustment < 0:
                choose_removals(position, power, -adjustment)
            return
        with Agenda(position, centres_score(position, power), power=power) as agenda:
            agenda.search(steps=steps)
            agenda.choose_best()
    return bot


def main(argv=None):
    parser = command_line("brox.bots.search", "Searches its orders on a game server.")
    parser.add_argument("--steps", type=int, default=10, help="agenda steps per phase (default 10)")
    options = parser.parse_args(argv)
    if not 0 <= options.steps <= 1000:
        parser.error("--steps must be 0 to 1000")
    return play("brox.bots.search", search_bot(options.steps), options, "python search")


if __name__ == "__main__":
    exit_with(main())
