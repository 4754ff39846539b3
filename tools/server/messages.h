// The records the local game server sends to bots: the assignment, the map
// name and definition, the rejoin answer, centre ownership, the position of
// a phase (with the retreat options of dislodged units) and the two end
// messages.  Each comes back as a whole record, kind byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"
#include "common/assignment_message.h"
#include "session/join_message.h"
#include "session/map_name_message.h"
#include "session/rejoin_message.h"
#include "tools/server/game.h"
#include "tools/server/retreat_options.h"

// Low byte of the power tokens the server hands out.
constexpr uint16_t POWER_CATEGORY = 0x41;

// A record of `length` message bytes with type and flag set, the rest zero.
Record record_new(uint16_t type, uint16_t length, uint8_t flag);
// The record form of a message given from its type word.
Record record_of_message(const std::vector<uint8_t> &message);

Record assignment_record(uint16_t power_token, uint16_t passcode);
Record map_name_record(const std::string &name);
// The received rejoin request sent back with flag 2 or 3.
Record rejoin_answer_record(const uint8_t *request_record, uint8_t flag);
Record end_record(uint16_t type);

// One entry per supply centre of the Map, in province order: its owner, or
// POWER_UNOWNED in games of at most eleven powers (larger games leave
// unowned centres out).
Record centres_record(const Map *map, const CentreTable *centres);

// The position message of the phase that `position` holds, from the type
// word: one entry per Unit that stands somewhere (winter build slots are
// left out), each with its retreat options when it was dislodged.  A
// unit's type follows its place: an army stands at COAST_ARMY, anything
// else is a fleet (a unit built at a fleet coast is a fleet).
std::vector<uint8_t> position_message_compose(const Position *position,
                                              const RetreatOptions &retreats);
