// The agenda: a best-first search over choice vectors (one candidate or
// nothing per unit), each scored by adjudicating the Position with the
// choices applied.  Items live in two trees at once: by score, from which
// the best is taken, and by choice vector, which keeps duplicates out.
#include <cstddef>
#include <cstring>
#include <functional>

#include "adjudicator/adjudicator.h"
#include "brox.h"
#include "common/assignment_message.h"
#include "common/memory.h"
#include "common/record.h"
#include "search/agenda.h"
#include "search/arguments.h"
#include "world/arguments.h"
#include "world/order.h"

namespace {

// Element by element, as addresses, null lowest.
int compare_choices(const AgendaItem *a, const AgendaItem *b) {
    uint16_t count = a->position->unit_count;
    for (uint16_t u = 0; u < count && u < MAX_UNITS; u++) {
        if (a->choices[u] == b->choices[u]) continue;
        return std::less<const Order *>()(a->choices[u], b->choices[u]) ? -1 : 1;
    }
    return 0;
}

void node_reset(LumAvlNode *node) {
    node->left = node->right = node->parent = nullptr;
    node->height = node->spare = -1;
}

void tree_init(LumAvlTree *tree, LumAvlCompare compare, size_t node_offset) {
    tree->compare = compare;
    tree->root = tree->first = tree->last = nullptr;
    tree->reserved = 0;
    tree->node_offset = static_cast<uint16_t>(node_offset);
    tree->count = 0;
}

void tree_empty(LumAvlTree *tree, int release) {
    if (tree->root)
        lum_avl_node_empty(tree, tree->root,
                           [](void *item, int arg) { brox_agenda_item_free(static_cast<AgendaItem *>(item), arg); },
                           release);
    tree->root = tree->first = tree->last = nullptr;
    tree->count = 0;
}

// Puts the item into both trees unless its choice vector is there already.
bool agenda_take(Agenda *agenda, AgendaItem *item) {
    if (lum_avl_find(&agenda->by_choice, item)) return false;
    lum_avl_insert(&agenda->by_choice, &item->choice_node);
    lum_avl_insert(&agenda->by_score, &item->score_node);
    return true;
}

// A unit's order as the item chooses it: the chosen candidate, or a hold.
void apply_choice(Unit *unit, const Order *choice) {
    if (choice)
        unit->order = *choice;
    else
        order_set(&unit->order, ORD_HOLD, nullptr, nullptr);
}

// The Position of the previous trial and a copy of the message it was
// built from.  Within one searched Position the next Position depends on
// the next-position message alone, and most candidates (supports and
// convoys that change nothing) leave the next phase exactly as the previous
// trial left it; such a trial scores the previous Position again instead of
// building an equal one.  Between scores the Position is put back as built:
// the Units' orders and results are reset, and a Position whose candidate
// sets the scoring function changed is not used again.
struct Trials {
    uint8_t *message;  // as composed, before the build could change it
    size_t length;
    Position *next;
    uint32_t candidate_counts[MAX_UNITS];
};

void trials_forget(Trials *trials) {
    if (trials->next) brox_position_free(trials->next);
    mem_release(trials->message);
    trials->next = nullptr;
    trials->message = nullptr;
}

bool trials_match(const Trials *trials, const uint8_t *message) {
    size_t length = msg_length(message);
    if (!trials->next || trials->length != length || std::memcmp(trials->message, message, length)) return false;
    const Position *next = trials->next;
    for (uint16_t u = 0; u < next->unit_count; u++)
        if (next->units[u]->candidates.count != trials->candidate_counts[u]) return false;
    return true;
}

// Puts the kept Position back as built: holds, and waives for build slots.
void trials_reset(Trials *trials) {
    Position *next = trials->next;
    for (uint16_t u = 0; u < next->unit_count; u++) {
        Unit *unit = next->units[u];
        order_set(&unit->order, unit->location ? ORD_HOLD : ORD_WAIVE, nullptr, nullptr);
        unit->result = 0;
    }
}

// The Position of the next phase under the Units' current orders: the kept
// one when the message matches, else a new one, kept in its place unless
// there is no memory for the copy of its message (the caller then frees
// it).  Null when memory runs out or the season is none of the five.
Position *trials_next(Trials *trials, Position *position) {
    uint8_t *message = adjudicate_next_message(position);
    if (!message) return nullptr;
    if (trials_match(trials, message)) {
        next_message_release(message);
        trials_reset(trials);
        return trials->next;
    }
    trials_forget(trials);
    size_t length = msg_length(message);
    uint8_t *copy = static_cast<uint8_t *>(mem_alloc(length));
    if (copy) std::memcpy(copy, message, length);
    Position *next = next_position_build(position, message);
    next_message_release(message);
    if (!next || !copy) {
        mem_release(copy);
        return next;
    }
    trials->message = copy;
    trials->length = length;
    trials->next = next;
    for (uint16_t u = 0; u < next->unit_count; u++) trials->candidate_counts[u] = next->units[u]->candidates.count;
    return next;
}

// Scores one successor: the unit's order is already the candidate tried.
// A successor whose phase adjudicates to nothing is not scored or kept.
void try_successor(Agenda *agenda, AgendaItem *successor, Trials *trials) {
    Position *next = trials_next(trials, successor->position);
    if (next) {
        successor->score = agenda->score_fn(next, agenda->user_data);
        if (next != trials->next) brox_position_free(next);
        if (agenda_take(agenda, successor)) return;
    }
    brox_agenda_item_free(successor, 1);
}

}  // namespace

int compare_by_choice(const void *a, const void *b) {
    return compare_choices(static_cast<const AgendaItem *>(a), static_cast<const AgendaItem *>(b));
}

int compare_by_score(const void *a, const void *b) {
    const auto *x = static_cast<const AgendaItem *>(a);
    const auto *y = static_cast<const AgendaItem *>(b);
    if (x->score != y->score) return x->score < y->score ? -1 : 1;
    return compare_choices(x, y);
}

extern "C" {

BROX_API Agenda *brox_agenda_new(Position *position, BroxScoreFn score_fn, void *user_data) {
    if (!position || !score_fn) return nullptr;
    Agenda *agenda = static_cast<Agenda *>(mem_alloc(sizeof(Agenda)));
    AgendaItem *root = static_cast<AgendaItem *>(mem_alloc(sizeof(AgendaItem)));
    if (!agenda || !root) {
        mem_release(agenda);
        mem_release(root);
        return nullptr;
    }
    tree_init(&agenda->by_score, compare_by_score, offsetof(AgendaItem, score_node));
    tree_init(&agenda->by_choice, compare_by_choice, offsetof(AgendaItem, choice_node));
    agenda->score_fn = score_fn;
    agenda->user_data = user_data;
    node_reset(&root->score_node);
    node_reset(&root->choice_node);
    root->position = position;
    std::memset(root->choices, 0, sizeof root->choices);
    root->complete = 0;
    root->score = score_fn(position, user_data);
    agenda_take(agenda, root);
    return agenda;
}

BROX_API AgendaItem *brox_agenda_item_new(Session *session, AgendaItem *parent, uint16_t unit_index,
                                          Order *order) {
    if (!session || !parent || unit_index >= parent->position->unit_count) return nullptr;
    if (order && !unit_has_candidate(parent->position->units[unit_index], order)) return nullptr;
    AgendaItem *item = static_cast<AgendaItem *>(mem_alloc(sizeof(AgendaItem)));
    if (!item) return nullptr;
    std::memcpy(item, parent, sizeof(AgendaItem));
    if (unit_index < MAX_UNITS) item->choices[unit_index] = order;
    node_reset(&item->score_node);
    node_reset(&item->choice_node);
    if (item->complete) return item;
    // Complete once every unit of the searching power has a choice.
    item->complete = 1;
    const Position *position = item->position;
    uint16_t power = session_assigned_power(session);
    for (uint16_t u = 0; u < position->unit_count; u++) {
        if (position->units[u]->power == power && !item->choices[u]) {
            item->complete = 0;
            break;
        }
    }
    return item;
}

BROX_API void brox_agenda_add_item(Agenda *agenda, AgendaItem *item) {
    if (!agenda || !item || agenda_item_linked(item) || !agenda_matches_item(agenda, item)) return;
    agenda_take(agenda, item);
}

// Tries every candidate of every unit the item may expand, each with all
// other units ordered as the item chooses; leaves the Units' orders as the
// item chooses.  A successor that cannot be allocated is skipped.
BROX_API void brox_agenda_add_successors(Session *session, Agenda *agenda, AgendaItem *item) {
    if (!session || !agenda || !item || !agenda_matches_item(agenda, item)) return;
    Position *position = item->position;
    uint16_t power = session_assigned_power(session);
    for (uint16_t u = 0; u < position->unit_count; u++) apply_choice(position->units[u], item->choices[u]);
    Trials trials{};
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (!item->complete && unit->power != power) continue;
        LumAvlTree *candidates = &unit->candidates;
        for (void *entry = LUM_AVL_ITEM(candidates, candidates->first); entry;
             entry = lum_avl_next(candidates, &static_cast<Order *>(entry)->node)) {
            Order *candidate = static_cast<Order *>(entry);
            AgendaItem *successor = brox_agenda_item_new(session, item, u, candidate);
            if (!successor) continue;
            unit->order = *candidate;
            try_successor(agenda, successor, &trials);
        }
        apply_choice(unit, item->choices[u]);
    }
    trials_forget(&trials);
}

BROX_API int brox_agenda_step(Session *session, Agenda *agenda) {
    if (!session || !agenda || !agenda->by_score.last) return 0;
    AgendaItem *best = static_cast<AgendaItem *>(LUM_AVL_ITEM(&agenda->by_score, agenda->by_score.last));
    lum_avl_remove(&agenda->by_score, &best->score_node);
    lum_avl_remove(&agenda->by_choice, &best->choice_node);
    brox_agenda_add_successors(session, agenda, best);
    return 1;
}

// Every item is in both trees: the first pass only unlinks, the second
// frees each item once.
BROX_API void brox_agenda_free(Agenda *agenda) {
    if (!agenda) return;
    tree_empty(&agenda->by_score, 0);
    tree_empty(&agenda->by_choice, 1);
    mem_release(agenda);
}

// An item still in an agenda is the agenda's to free.
BROX_API void brox_agenda_item_free(AgendaItem *item, int release) {
    if (!release || !item || agenda_item_linked(item)) return;
    mem_release(item);
}

}  // extern "C"
