// MSG_REJOIN: a restarted bot's request to play its power again, written by
// the session from the rejoin file and read by the server, which sends it
// back with flag FLAG_ACCEPT or FLAG_REJECT.  Offsets count from the type
// word.
//
//   Offset  Width  Field
//   0       6      header (common/record.h); length 10
//   6       2      power: the power token of the last assignment
//   8       2      passcode of the last assignment
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr uint16_t REJOIN_LENGTH = 10;
constexpr size_t REJOIN_POWER_AT = 6;
constexpr size_t REJOIN_PASSCODE_AT = 8;

struct RejoinRequest {
    uint16_t power;  // a power token
    uint16_t passcode;
};

// Reads a message of REJOIN_LENGTH bytes.
inline RejoinRequest rejoin_read(const uint8_t *message) {
    return {get_u16(message, REJOIN_POWER_AT), get_u16(message, REJOIN_PASSCODE_AT)};
}

// Writes the header and both fields into REJOIN_LENGTH bytes.
inline void rejoin_write(uint8_t *message, RejoinRequest request) {
    msg_header_init(message, MSG_REJOIN, REJOIN_LENGTH);
    put_u16(message, REJOIN_POWER_AT, request.power);
    put_u16(message, REJOIN_PASSCODE_AT, request.passcode);
}
