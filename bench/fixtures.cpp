// Benchmark fixtures on the default map.
#include "fixtures.h"

#include <utility>

#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

namespace {

BenchBoard load(const std::vector<uint8_t> &centres, const std::vector<uint8_t> &position) {
    static const GeneratedMap generated = mapgen_default();
    BenchBoard board;
    board.map = map_build(generated.map_message.data());
    board.centres = centre_table_retain(centre_table_build(board.map, centres.data()));
    board.message = position;
    return board;
}

std::vector<Order *> candidates_of(Unit *unit) {
    std::vector<Order *> orders;
    LumAvlTree *set = &unit->candidates;
    for (void *item = LUM_AVL_ITEM(set, set->first); item; item = lum_avl_next(set, &static_cast<Order *>(item)->node))
        orders.push_back(static_cast<Order *>(item));
    return orders;
}

}  // namespace

BenchBoard BenchBoard::opening() {
    GeneratedMap generated = mapgen_default();
    return load(generated.centres_message, generated.position_message);
}

BenchBoard BenchBoard::midgame() {
    GeneratedPosition midgame = mapgen_midgame_position();
    return load(midgame.centres_message, midgame.position_message);
}

BenchBoard::BenchBoard(BenchBoard &&other) noexcept
    : map(std::exchange(other.map, nullptr)),
      centres(std::exchange(other.centres, nullptr)),
      message(std::move(other.message)) {}

BenchBoard::~BenchBoard() {
    if (centres) centre_table_release(map, centres);
    if (map) map_release(map);
}

Position *BenchBoard::build() const {
    std::vector<uint8_t> copy = message;
    return position_build(map, centres, copy.data());
}

long candidate_total(const Position *position) {
    long total = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) total += position->units[u]->candidates.count;
    return total;
}

int choose_bench_orders(Position *position) {
    uint32_t state = 12345;
    auto draw = [&state](uint32_t range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    };
    for (uint16_t u = 0; u < position->unit_count; u++) {
        std::vector<Order *> orders = candidates_of(position->units[u]);
        std::vector<Order *> active;
        for (Order *order : orders)
            if (order->token == ORD_MOVE || order->token == ORD_SUPPORT) active.push_back(order);
        const std::vector<Order *> &pool = active.empty() || draw(4) == 0 ? orders : active;
        if (!pool.empty()) position->units[u]->order = *pool[draw(static_cast<uint32_t>(pool.size()))];
    }
    // The first convoyed move on offer, with its fleets convoying.
    for (uint16_t u = 0; u < position->unit_count; u++) {
        for (Order *order : candidates_of(position->units[u])) {
            if (order->token != ORD_CONVOY_MOVE) continue;
            position->units[u]->order = *order;
            for (uint16_t r = 0; r < order->route_length; r++) {
                Unit *fleet = order->route[r]->unit;
                for (Order *convoy : candidates_of(fleet))
                    if (convoy->token == ORD_CONVOY && convoy->other_unit == position->units[u] &&
                        convoy->target == order->target)
                        fleet->order = *convoy;
            }
            return 1;
        }
    }
    return 0;
}
