// Whole games played in-process through the referee's exported calls: ten
// years on the default map and on generated maps up to 300 provinces and
// 20 powers, every order drawn from the candidates, with the library's
// invariants checked on every Position.  The games must see real retreats
// (dislodged units offered places and retreating), removals the referee
// makes for powers that leave them out, and an end.  Everything the
// referee shows of each game (messages, results, orders, refusals) hashes
// to a value recorded before its speed work, so that a faster referee is
// seen to play the same games.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "brox.h"
#include "tools/mapgen/mapgen.h"
#include "tools/mapgen/random.h"
#include "world/check.h"

namespace {

using Random = mapgen::Random;

std::vector<Order *> candidates_of(Unit *unit) {
    std::vector<Order *> all;
    for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order)) all.push_back(order);
    return all;
}

// What the games saw.
struct Tally {
    int phases = 0;
    int dislodged = 0;        // units dislodged by moves
    int offered = 0;          // of those, offered at least one retreat
    int retreated = 0;        // retreats that went through
    int default_removals = 0; // units the referee removed for their power
    int own_removals = 0;
    int builds = 0;
    int refused = 0;          // orders the rules refused (winter)
    uint64_t fingerprint = 0xcbf29ce484222325ull;  // of everything the referee showed

    void hash(const void *bytes, size_t size) {
        const auto *at = static_cast<const uint8_t *>(bytes);
        for (size_t i = 0; i < size; i++) fingerprint = (fingerprint ^ at[i]) * 0x100000001b3ull;
    }
    template <typename T> void hash_fields(const T &value) { hash(&value, sizeof value); }
};

// A player for every power: a token first, then a candidate with that token,
// so that the many supports do not crowd out moves; supports chosen last
// back what the supported unit does where they can.  In winter a power
// removes one unit fewer than it must now and then, and builds in distinct
// provinces, waiving one now and then.
class Player {
  public:
    Player(BroxReferee *referee, uint64_t seed) : referee_(referee), random_(seed) {}

    void order_phase(Tally *tally) {
        Position *position = brox_referee_position(referee_);
        chosen_.assign(position->unit_count, nullptr);
        if (position->season == SEASON_WINTER)
            order_winter(position, tally);
        else
            order_units(position);
    }

  private:
    void give(uint16_t unit, Order *order, Tally *tally) {
        uint16_t refusal = REFUSAL_NONE;
        if (brox_referee_order(referee_, unit, order, &refusal)) {
            chosen_[unit] = order;
            return;
        }
        EXPECT_NE(refusal, REFUSAL_NOT_LEGAL) << "a candidate was not taken as one";
        EXPECT_NE(tally, nullptr) << "a movement or retreat order refused: " << brox_refusal_text(refusal);
        if (tally) tally->refused++;
    }

    static bool backs(const Order *support, const Order *supported) {
        bool moving = supported && (supported->token == ORD_MOVE || supported->token == ORD_CONVOY_MOVE);
        if (!support->target) return !moving;
        return moving && supported->target && supported->target->province == support->target->province;
    }

    // Mostly moves and supports, so that attacks are backed and units are
    // dislodged; now and then any other token the unit has.
    uint16_t pick_token(const std::vector<Order *> &all) {
        std::vector<uint16_t> tokens;
        bool can_move = false, can_support = false;
        for (Order *order : all) {
            if (tokens.empty() || tokens.back() != order->token) tokens.push_back(order->token);
            can_move |= order->token == ORD_MOVE;
            can_support |= order->token == ORD_SUPPORT;
        }
        uint32_t roll = random_.below(10);
        if (can_move && roll < 5) return ORD_MOVE;
        if (can_support && roll < 9) return ORD_SUPPORT;
        return tokens[random_.below(static_cast<uint32_t>(tokens.size()))];
    }

    void order_units(Position *position) {
        std::vector<uint16_t> supporters;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            std::vector<Order *> all = candidates_of(position->units[u]);
            if (all.empty()) continue;
            uint16_t token = pick_token(all);
            if (token == ORD_SUPPORT) {
                supporters.push_back(u);
                continue;
            }
            std::vector<Order *> same;
            for (Order *order : all)
                if (order->token == token) same.push_back(order);
            give(u, same[random_.below(static_cast<uint32_t>(same.size()))], nullptr);
        }
        // Supports back a move where they can, else a unit that stays.
        for (uint16_t u : supporters) {
            std::vector<Order *> supports, backing_moves, backing;
            for (Order *order : candidates_of(position->units[u])) {
                if (order->token != ORD_SUPPORT) continue;
                supports.push_back(order);
                uint16_t other = unit_index(position, order->other_unit);
                if (!backs(order, other < chosen_.size() ? chosen_[other] : nullptr)) continue;
                (order->target ? backing_moves : backing).push_back(order);
            }
            const std::vector<Order *> &from = !backing_moves.empty() ? backing_moves : !backing.empty() ? backing : supports;
            give(u, from[random_.below(static_cast<uint32_t>(from.size()))], nullptr);
        }
    }

    void order_winter(Position *position, Tally *tally) {
        for (uint16_t p = 0; p < position->map->power_count; p++) {
            std::vector<uint16_t> units, slots;
            for (uint16_t u = 0; u < position->unit_count; u++)
                if (position->units[u]->power == p) (position->units[u]->location ? units : slots).push_back(u);
            int16_t adjustment = position->adjustment[p];
            if (adjustment < 0) {
                size_t removals = static_cast<size_t>(-adjustment);
                if (random_.one_in(3)) removals--;  // the referee removes the rest
                if (random_.one_in(10)) removals += 1;  // one too many: refused
                random_.shuffle(units);
                for (size_t i = 0; i < removals && i < units.size(); i++)
                    for (Order *order : candidates_of(position->units[units[i]]))
                        if (order->token == ORD_REMOVE) give(units[i], order, tally);
            }
            if (slots.empty()) continue;
            std::vector<Order *> builds;
            for (Order *order : candidates_of(position->units[slots[0]]))
                if (order->token == ORD_BUILD) builds.push_back(order);
            random_.shuffle(builds);
            for (size_t s = 0; s < slots.size() && s < builds.size(); s++)
                if (!random_.one_in(8)) give(slots[s], builds[s], tally);  // distinct places, seldom one province twice
        }
    }

    static uint16_t unit_index(const Position *position, const Unit *unit) {
        for (uint16_t u = 0; u < position->unit_count; u++)
            if (position->units[u] == unit) return u;
        return REFEREE_NO_UNIT;
    }

    BroxReferee *referee_;
    Random random_;
    std::vector<Order *> chosen_;
};

// The current phase's messages, and what became of the last phase's orders
// and refusals, into the fingerprint.  Records are hashed field by field so
// that padding does not count.
void hash_phase(const BroxReferee *referee, Tally *tally) {
    size_t size = 0;
    const uint8_t *message = brox_referee_position_message(referee, &size);
    tally->hash(message, size);
    message = brox_referee_centres_message(referee, &size);
    tally->hash(message, size);
    const Position *last = brox_referee_last_position(referee);
    for (uint16_t u = 0; last && u < last->unit_count; u++) {
        BroxOrderResult r{};
        if (!brox_referee_last_result(referee, u, &r)) continue;
        for (uint16_t field : {r.outcome, r.resolution, uint16_t{r.from_bot}, uint16_t{r.dislodged}, r.dislodged_by,
                               r.retreat_count})
            tally->hash_fields(field);
        tally->hash(r.retreats, sizeof(uint16_t) * r.retreat_count);
    }
    for (uint16_t p = 0; last && p < last->map->power_count; p++) {
        BroxPowerOrders o{};
        if (!brox_referee_last_orders(referee, p, &o)) continue;
        for (uint16_t field : {uint16_t{o.due}, uint16_t{o.received}, o.entries, o.refused, o.refusals, o.builds,
                               o.removals})
            tally->hash_fields(field);
        BroxRefusal refusal{};
        for (uint16_t i = 0; brox_referee_last_refusal(referee, p, i, &refusal); i++) {
            tally->hash_fields(refusal.entry);
            tally->hash_fields(refusal.refusal);
            tally->hash(refusal.bytes, 244);
        }
    }
}

void count_phase(const BroxReferee *referee, Tally *tally) {
    const Position *last = brox_referee_last_position(referee);
    ASSERT_NE(last, nullptr);
    hash_phase(referee, tally);
    for (uint16_t u = 0; u < last->unit_count; u++) {
        BroxOrderResult result{};
        ASSERT_TRUE(brox_referee_last_result(referee, u, &result));
        tally->dislodged += result.dislodged;
        tally->offered += result.dislodged && result.retreat_count > 0;
        tally->retreated += result.outcome == OUTCOME_RETREATED;
        tally->builds += result.outcome == OUTCOME_BUILT;
        if (result.outcome == OUTCOME_REMOVED) (result.from_bot ? tally->own_removals : tally->default_removals)++;
    }
}

// Plays `years` years; returns the tally.  Every Position keeps the
// library's invariants.
Tally play(const GeneratedMap &map, uint16_t years, uint64_t seed) {
    Tally tally;
    const char *error = nullptr;
    BroxReferee *referee =
        brox_referee_new(map.map_message.data(), map.map_message.size(), map.centres_message.data(),
                         map.centres_message.size(), map.position_message.data(), map.position_message.size(), &error);
    EXPECT_NE(referee, nullptr) << error;
    if (!referee) return tally;
    uint16_t first_year = brox_referee_position(referee)->year;
    EXPECT_EQ(brox_referee_set_years(referee, years), 1);
    Player player(referee, seed);
    hash_phase(referee, &tally);
    while (!brox_referee_over(referee) && tally.phases < 10 * years) {
        Position *position = brox_referee_position(referee);
        const char *broken = position_check(position);
        EXPECT_EQ(broken, nullptr) << broken << " (" << position->year << ")";
        player.order_phase(&tally);
        if (!brox_referee_step(referee)) {
            ADD_FAILURE() << "a step failed";
            break;
        }
        tally.phases++;
        broken = position_check(brox_referee_last_position(referee));
        EXPECT_EQ(broken, nullptr) << broken;
        count_phase(referee, &tally);
    }
    // The game ended by one of its rules; at its last year's end unless a
    // power took the majority first.
    uint16_t end = brox_referee_over(referee);
    tally.hash_fields(end);
    const Position *final = brox_referee_position(referee);
    EXPECT_EQ(position_check(final), nullptr);
    if (end == END_LAST_YEAR) {
        EXPECT_EQ(final->season, SEASON_SPRING);
        EXPECT_EQ(final->year, first_year + years);
    } else {
        EXPECT_EQ(end, END_MAJORITY);
    }
    brox_referee_free(referee);
    return tally;
}

MapgenOptions sized(int provinces, int powers, int homes, uint64_t seed) {
    MapgenOptions options;
    options.seed = seed;
    options.provinces = provinces;
    options.powers = powers;
    options.homes = homes;
    return options;
}

TEST(RefereeGames, TenYearsOnTheDefaultMap) {
    GeneratedMap map = mapgen_default();
    Tally total;
    const uint64_t fingerprints[] = {0x4c0efcede6f6f24aull, 0x597083614a1c29e5ull, 0x2582926cc59fa063ull};
    for (uint64_t seed : {1u, 2u, 3u}) {
        Tally tally = play(map, 10, seed);
        EXPECT_EQ(tally.fingerprint, fingerprints[seed - 1]) << seed << ": the referee played another game";
        EXPECT_GE(tally.phases, 30) << seed;
        EXPECT_GT(tally.dislodged, 0) << seed;
        total.offered += tally.offered;
        total.retreated += tally.retreated;
        total.default_removals += tally.default_removals;
        total.own_removals += tally.own_removals;
        total.builds += tally.builds;
        total.refused += tally.refused;
    }
    EXPECT_GT(total.offered, 0);
    EXPECT_GT(total.retreated, 0);
    EXPECT_GT(total.default_removals, 0);
    EXPECT_GT(total.own_removals, 0);
    EXPECT_GT(total.builds, 0);
    EXPECT_GT(total.refused, 0);
}

TEST(RefereeGames, TenYearsOnGeneratedMapsUpToThreeHundredProvincesAndTwentyPowers) {
    const std::pair<MapgenOptions, uint64_t> games[] = {
        {sized(60, 5, 3, 7), 0xe6341d4855b3be50ull},
        {sized(150, 10, 3, 8), 0x93b2c61f90348295ull},
        {sized(300, 20, 3, 9), 0x2844e9fbe764fca8ull},
        {sized(300, 20, 5, 10), 0xa0dcf60549784cd3ull},
    };
    for (const auto &[options, fingerprint] : games) {
        SCOPED_TRACE(std::to_string(options.provinces) + " provinces, " + std::to_string(options.powers) + " powers");
        GeneratedMap map = mapgen_generate(options);
        ASSERT_FALSE(map.map_message.empty());
        Tally tally = play(map, 10, options.seed);
        EXPECT_EQ(tally.fingerprint, fingerprint) << "the referee played another game";
        EXPECT_GT(tally.dislodged, 0);
        EXPECT_GT(tally.retreated, 0);
        EXPECT_GT(tally.default_removals + tally.own_removals, 0);
    }
}

}  // namespace
