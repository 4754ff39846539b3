// Reading a phase's names into a board state.  Each order names its unit
// by power and name; in a retreat phase a dislodged unit and the unit that
// took its place share a province, and the retreat or disband belongs to
// the dislodged one.
#include "tools/replay/phase_board.h"

#include <sstream>
#include <vector>

namespace {

std::vector<std::string> words_of(const std::string &text) {
    std::vector<std::string> words;
    std::istringstream stream(text);
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

bool unit_letter(const std::string &word, bool *fleet) {
    if (word != "A" && word != "F") return false;
    *fleet = word == "F";
    return true;
}

struct Reader {
    const Layout &layout;
    const BoardState &state;

    // The unit named "A STA" (letter and place), of `power` unless it is
    // -1; with `dislodged_first`, a dislodged one is preferred.
    int find_unit(int power, bool fleet, const BoardPlace &place, bool dislodged_first) const {
        int found = -1;
        for (size_t u = 0; u < state.units.size(); u++) {
            const BoardUnit &unit = state.units[u];
            if (unit.fleet != fleet || unit.place.province != place.province || unit.place.coast != place.coast)
                continue;
            if (power >= 0 && unit.power != power) continue;
            if (found < 0 || unit.dislodged == dislodged_first) found = static_cast<int>(u);
            if (unit.dislodged == dislodged_first) break;
        }
        return found;
    }
    // The unit of two words at `at`: "A" "STA".
    int unit_at(const std::vector<std::string> &words, size_t at, int power, bool dislodged_first) const {
        bool fleet = false;
        if (at + 1 >= words.size() || !unit_letter(words[at], &fleet)) return -1;
        BoardPlace place = phase_place(layout, words[at + 1]);
        return place.province == BOARD_NOWHERE ? -1 : find_unit(power, fleet, place, dislodged_first);
    }
    BoardPlace place_at(const std::vector<std::string> &words, size_t at) const {
        return at < words.size() ? phase_place(layout, words[at]) : BoardPlace{};
    }

    // Reads an order's text; false when it is not one the board draws.
    bool read(const RecordOrder &record, BoardOrder *order) const {
        std::vector<std::string> words = words_of(record.text);
        order->power = record.power;
        order->outcome = record.outcome;
        if (words.empty()) return false;
        if (words[0] == "waive") {
            order->kind = BoardOrderKind::WAIVE;
            return true;
        }
        if (words[0] == "build") {
            order->kind = BoardOrderKind::BUILD;
            order->target = place_at(words, 2);
            return words.size() == 3 && unit_letter(words[1], &order->fleet);
        }
        if (words[0] == "remove") {
            order->kind = BoardOrderKind::REMOVE;
            order->unit = unit_at(words, 1, record.power, false);
            return order->unit >= 0;
        }
        if (words.size() < 3) return false;
        const std::string &verb = words[2];
        bool retreating = verb == "R" || verb == "D";
        order->unit = unit_at(words, 0, record.power, retreating);
        if (order->unit < 0) return false;
        if (verb == "H") order->kind = BoardOrderKind::HOLD;
        else if (verb == "D") order->kind = BoardOrderKind::DISBAND;
        else if (verb == "R") order->kind = BoardOrderKind::RETREAT;
        else if (verb == "-") order->kind = BoardOrderKind::MOVE;
        else if (verb == "S") order->kind = BoardOrderKind::SUPPORT;
        else if (verb == "C") order->kind = BoardOrderKind::CONVOY;
        else return false;
        if (order->kind == BoardOrderKind::RETREAT || order->kind == BoardOrderKind::MOVE) {
            order->target = place_at(words, 3);
            if (order->kind == BoardOrderKind::MOVE && words.size() > 4 && words[4] == "via") {
                order->kind = BoardOrderKind::CONVOY_MOVE;
                for (size_t w = 5; w < words.size(); w++) order->via.push_back(phase_place(layout, words[w]).province);
            }
        }
        if (order->kind == BoardOrderKind::SUPPORT || order->kind == BoardOrderKind::CONVOY) {
            // "S A STA" holds; "S A STA - NOR" and "C A STA - NOR" move.
            order->other = unit_at(words, 3, -1, false);
            if (order->other < 0) return false;
            if (words.size() >= 7 && words[5] == "-") order->target = place_at(words, 6);
        }
        return true;
    }
};

}  // namespace

BoardPlace phase_place(const Layout &layout, const std::string &name) {
    BoardPlace place;
    size_t slash = name.find('/');
    std::string abbreviation = name.substr(0, slash);
    for (size_t p = 0; p < layout.provinces.size(); p++)
        if (layout.provinces[p].abbreviation == abbreviation) place.province = p;
    if (place.province != BOARD_NOWHERE && slash != std::string::npos) place.coast = name.substr(slash + 1);
    return place;
}

BoardState phase_board(const Layout &layout, const RecordPhase &phase) {
    BoardState state;
    state.phase = record_phase_title(phase);
    state.owners.assign(layout.provinces.size(), -1);
    for (size_t power = 0; power < phase.ownership.size(); power++)
        for (const std::string &centre : phase.ownership[power]) {
            BoardPlace place = phase_place(layout, centre);
            if (place.province != BOARD_NOWHERE) state.owners[place.province] = static_cast<int>(power);
        }
    for (const RecordPower &power : phase.powers) {
        if (power.power < 0 || power.power >= MAX_POWERS) continue;
        if (state.centre_counts.size() <= static_cast<size_t>(power.power))
            state.centre_counts.resize(static_cast<size_t>(power.power) + 1, 0);
        state.centre_counts[static_cast<size_t>(power.power)] = power.centres;
    }
    for (const RecordUnit &unit : phase.units) {
        std::vector<std::string> words = words_of(unit.name);
        BoardUnit drawn;
        if (words.size() != 2 || !unit_letter(words[0], &drawn.fleet)) continue;
        drawn.power = unit.power;
        drawn.place = phase_place(layout, words[1]);
        drawn.dislodged = unit.dislodged;
        if (drawn.place.province != BOARD_NOWHERE) state.units.push_back(drawn);
    }
    Reader reader{layout, state};
    std::vector<BoardOrder> orders;
    std::vector<int> dislodged;
    for (const RecordOrder &record : phase.orders) {
        BoardOrder order;
        if (!reader.read(record, &order)) continue;
        if (record.dislodged && order.unit >= 0) dislodged.push_back(order.unit);
        orders.push_back(std::move(order));
    }
    state.orders = std::move(orders);
    state.dislodged = std::move(dislodged);
    return state;
}
