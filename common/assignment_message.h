// MSG_ASSIGNMENT: the power the server gives the bot and the passcode that
// lets it rejoin.  The session keeps the message's first 40 bytes in
// Session `assignment`, where the agenda reads the searching power; the
// server writes it.  Offsets count from the type word.
//
//   Offset  Width  Field
//   0       6      header (common/record.h); length 40
//   6       2      power: the bot's power token; its high byte is the power index
//   8       2      passcode
//   10      30     not read
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr uint16_t ASSIGNMENT_LENGTH = 40;
constexpr size_t ASSIGNMENT_POWER_AT = 6;
constexpr size_t ASSIGNMENT_PASSCODE_AT = 8;
// The bytes that hold both fields.
constexpr size_t ASSIGNMENT_FIELDS_END = ASSIGNMENT_PASSCODE_AT + 2;

struct Assignment {
    uint16_t power;  // a power token
    uint16_t passcode;
};

// The power index a power token carries.
constexpr uint16_t power_token_index(uint16_t token) { return static_cast<uint16_t>(token >> 8); }

// Reads both fields of a message holding at least ASSIGNMENT_FIELDS_END
// bytes (the session's kept copy always does).
inline Assignment assignment_read(const uint8_t *message) {
    return {get_u16(message, ASSIGNMENT_POWER_AT), get_u16(message, ASSIGNMENT_PASSCODE_AT)};
}

// The power index of the assignment a Session keeps (`session.assignment`,
// ASSIGNMENT_LENGTH bytes), checked: POWER_NONE unless its type word is
// MSG_ASSIGNMENT (before the first assignment the bytes are whatever the
// bot's record held) and the index is below `power_count`.
inline uint16_t assignment_power(const uint8_t *kept, uint16_t power_count) {
    if (msg_type(kept) != MSG_ASSIGNMENT) return POWER_NONE;
    uint16_t power = power_token_index(assignment_read(kept).power);
    return power < power_count ? power : POWER_NONE;
}

// The power a Session was assigned: assignment_power of its kept assignment
// against its Map's power count (MAX_POWERS before the Map has come).
// POWER_NONE for a null session.
inline uint16_t session_assigned_power(const Session *session) {
    if (!session) return POWER_NONE;
    return assignment_power(session->assignment, session->map ? session->map->power_count : uint16_t{MAX_POWERS});
}

// Writes the header and both fields into ASSIGNMENT_LENGTH bytes; the bytes
// not read are left as they are.
inline void assignment_write(uint8_t *message, Assignment assignment) {
    msg_header_init(message, MSG_ASSIGNMENT, ASSIGNMENT_LENGTH);
    put_u16(message, ASSIGNMENT_POWER_AT, assignment.power);
    put_u16(message, ASSIGNMENT_PASSCODE_AT, assignment.passcode);
}
