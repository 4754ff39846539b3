// Composing the records the local game server sends.
#include "tools/server/messages.h"

#include <algorithm>

#include "common/record.h"
#include "world/centres.h"
#include "world/centres_message.h"
#include "world/map.h"
#include "world/position.h"

Record record_new(uint16_t type, uint16_t length, uint8_t flag) {
    Record record(RECORD_MESSAGE_AT + length, 0);
    msg_set_flag(msg_init(record.data(), type, length), flag);
    return record;
}

Record record_of_message(const std::vector<uint8_t> &message) {
    Record record(RECORD_MESSAGE_AT + message.size());
    record[RECORD_KIND_AT] = KIND_MESSAGE;
    std::copy(message.begin(), message.end(), record_message(record.data()));
    return record;
}

Record assignment_record(uint16_t power_token, uint16_t passcode) {
    Record record = record_new(MSG_ASSIGNMENT, ASSIGNMENT_LENGTH, FLAG_PLAIN);
    assignment_write(record_message(record.data()), {power_token, passcode});
    return record;
}

Record map_name_record(const std::string &name) {
    Record record = record_new(MSG_MAP_NAME, map_name_message_length(name.size()), FLAG_PLAIN);
    map_name_write(record_message(record.data()), name);
    return record;
}

Record rejoin_answer_record(const uint8_t *request_record, uint8_t flag) {
    Record record(request_record, request_record + RECORD_MESSAGE_AT + REJOIN_LENGTH);
    msg_set_flag(record_message(record.data()), flag);
    return record;
}

Record end_record(uint16_t type) { return record_new(type, MSG_HEADER_SIZE, FLAG_PLAIN); }

Record centres_record(const Map *map, const CentreTable *centres) {
    uint16_t nobody = map->power_count;
    std::vector<uint16_t> owner(map->province_count, nobody);
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = centres->lists[p];
        for (uint16_t c = 0; list && c < list->count; c++)
            if (list->provinces[c] < map->province_count) owner[list->provinces[c]] = p;
    }
    // Unowned centres are listed under POWER_UNOWNED only where 11 is no
    // power of the game; in larger games they are left out.
    bool list_unowned = centres_lists_unowned(map->power_count);
    std::vector<CentreOwnership> entries;
    for (uint16_t i = 0; i < map->province_count; i++) {
        if (map->provinces[i].centre_kind == CENTRE_NONE) continue;
        if (owner[i] != nobody) entries.push_back({owner[i], i});
        else if (list_unowned) entries.push_back({POWER_UNOWNED, i});
    }
    uint16_t count = static_cast<uint16_t>(entries.size());
    Record record = record_new(MSG_CENTRE_OWNERSHIP, static_cast<uint16_t>(centres_message_size(count)), FLAG_PLAIN);
    centres_message_write(record_message(record.data()), entries.data(), count);
    return record;
}

std::vector<uint8_t> position_message_compose(const Position *position,
                                              const RetreatOptions &retreats) {
    uint16_t placed = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) placed += position->units[u]->location != nullptr;
    std::vector<uint8_t> message(position_message_size(placed), 0);
    position_message_init(message.data(), {position->season, position->year}, placed);
    uint16_t written = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (!unit->location) continue;
        PositionUnitEntry entry{};
        entry.power = unit->power;
        entry.unit_type = unit->location->coast == COAST_ARMY ? UNIT_ARMY : UNIT_FLEET;
        entry.province = position_province_index(position, unit->location->province);
        entry.coast = unit->location->coast;
        entry.dislodged = unit->dislodged;
        if (unit->dislodged && u < retreats.size()) {
            const std::vector<RetreatOption> &options = retreats[u];
            entry.retreat_count = static_cast<uint16_t>(options.size() < MAX_RETREATS ? options.size() : MAX_RETREATS);
            for (uint16_t r = 0; r < entry.retreat_count; r++) entry.retreats[r] = {options[r].province, options[r].coast};
        }
        position_unit_write(position_message_unit(message.data(), written++), entry);
    }
    return message;
}
