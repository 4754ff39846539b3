// MSG_ORDERS_PHASE: the tag the client library sends right before each
// orders message, naming the phase of the last position it delivered to
// the bot, so that the server can tell orders chosen for an earlier phase
// from orders for the phase it plays.  Written by the client library, read
// by the game server; the bot never sees it.  Offsets count from the type
// word.
//
//   Offset  Width  Field
//   0       6      header (common/record.h): length 10, flag FLAG_PLAIN
//   6       2      season: the season token of that position; 0 when no
//                  position has been delivered on this connection
//   8       2      year: its year; 0 with season 0
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "common/record.h"

constexpr uint16_t MSG_ORDERS_PHASE = 0x3048;
constexpr size_t PHASE_TAG_SEASON_AT = 6;
constexpr size_t PHASE_TAG_YEAR_AT = 8;
constexpr uint16_t PHASE_TAG_LENGTH = 10;

struct OrdersPhase {
    uint16_t season;
    uint16_t year;
};

// Whether a message (of `length` bytes by its header) is a phase tag that
// can be read.
inline bool phase_tag_readable(const uint8_t *message) {
    return msg_type(message) == MSG_ORDERS_PHASE && msg_length(message) == PHASE_TAG_LENGTH;
}

inline OrdersPhase phase_tag_read(const uint8_t *message) {
    return {get_u16(message, PHASE_TAG_SEASON_AT), get_u16(message, PHASE_TAG_YEAR_AT)};
}

// Writes a whole tag message into `message` (PHASE_TAG_LENGTH bytes).
inline void phase_tag_write(uint8_t *message, OrdersPhase phase) {
    msg_header_init(message, MSG_ORDERS_PHASE, PHASE_TAG_LENGTH);
    msg_set_reserved(message, 0);
    put_u16(message, PHASE_TAG_SEASON_AT, phase.season);
    put_u16(message, PHASE_TAG_YEAR_AT, phase.year);
}
