// The records the local game server sends to bots: the assignment, the map
// name, the rejoin answer and the two end messages, and any message (the
// map definition, a phase's centre ownership and position, which the
// referee composes) as a record.  Each comes back as a whole record, kind
// byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"
#include "common/assignment_message.h"
#include "session/join_message.h"
#include "session/map_name_message.h"
#include "session/rejoin_message.h"
#include "tools/server/game_state.h"

// Low byte of the power tokens the server hands out.
constexpr uint16_t POWER_CATEGORY = 0x41;

// A record of `length` message bytes with type and flag set, the rest zero.
Record record_new(uint16_t type, uint16_t length, uint8_t flag);
// The record form of a message given from its type word.
Record record_of_message(const std::vector<uint8_t> &message);
Record record_of_message(const uint8_t *message, size_t size);
// The power token handed to the bot of power `power`.
uint16_t power_token(uint16_t power);

Record assignment_record(uint16_t power_token, uint16_t passcode);
Record map_name_record(const std::string &name);
// The received rejoin request sent back with flag 2 or 3.
Record rejoin_answer_record(const uint8_t *request_record, uint8_t flag);
Record end_record(uint16_t type);
