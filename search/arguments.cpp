// Checks of the agenda items a bot hands to the agenda calls.
#include "search/arguments.h"

bool agenda_item_linked(const AgendaItem *item) {
    return item->score_node.height != -1 || item->choice_node.height != -1;
}

bool agenda_matches_item(const Agenda *agenda, const AgendaItem *item) {
    const LumAvlTree *held = &agenda->by_choice;
    if (!held->root) return true;
    auto *sample = static_cast<const AgendaItem *>(LUM_AVL_ITEM(held, held->root));
    return sample->position == item->position;
}
