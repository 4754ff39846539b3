// MSG_CENTRE_OWNERSHIP: which power owns each supply centre, read by
// centre_table_build and the server's map-folder check, written by the
// server, the map generator and the tests.  Offsets count from the type
// word.
//
//   Offset  Width            Field
//   0       6                header (common/record.h)
//   6       2                entry_count
//   8       4 x entry_count  entries
//
// Entry:
//   0   2   power: the owner's index.  In a game of at most eleven powers
//           a centre nobody owns is listed under POWER_UNOWNED (11); in a
//           game of twelve or more, 11 is a power like any other and an
//           unowned centre is not listed.  Entries for powers at or above
//           the power count are skipped.
//   2   2   province index
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr size_t CENTRES_ENTRY_COUNT_AT = 6;
constexpr size_t CENTRES_ENTRIES_AT = 8;
constexpr size_t CENTRES_ENTRY_SIZE = 4;
constexpr size_t CENTRES_POWER_AT = 0;
constexpr size_t CENTRES_PROVINCE_AT = 2;

struct CentreOwnership {
    uint16_t power;
    uint16_t province;
};

// The bytes a message of `entry_count` entries takes, header included.
constexpr size_t centres_message_size(size_t entry_count) {
    return CENTRES_ENTRIES_AT + CENTRES_ENTRY_SIZE * entry_count;
}

// Whether a game of `power_count` powers lists its unowned centres under
// POWER_UNOWNED (only when 11 is no power of the game).
constexpr bool centres_lists_unowned(uint16_t power_count) { return power_count <= POWER_UNOWNED; }

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

// The entry count the message declares; it holds at least
// CENTRES_ENTRIES_AT bytes.
inline uint16_t centres_message_count(const uint8_t *message) { return get_u16(message, CENTRES_ENTRY_COUNT_AT); }

// The entries that can be read: the declared count, cut to what the
// message's length holds (none when it is too short for the count).
inline uint16_t centres_message_entries_held(const uint8_t *message) {
    size_t length = msg_length(message);
    if (length < CENTRES_ENTRIES_AT) return 0;
    size_t fitting = (length - CENTRES_ENTRIES_AT) / CENTRES_ENTRY_SIZE;
    uint16_t count = centres_message_count(message);
    return count > fitting ? static_cast<uint16_t>(fitting) : count;
}

inline CentreOwnership centres_message_entry(const uint8_t *message, uint16_t index) {
    const uint8_t *entry = message + centres_message_size(index);
    return {get_u16(entry, CENTRES_POWER_AT), get_u16(entry, CENTRES_PROVINCE_AT)};
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

// Writes a whole message, header included, into `message`, which holds
// centres_message_size(count) bytes.
inline void centres_message_write(uint8_t *message, const CentreOwnership *entries, uint16_t count) {
    msg_header_init(message, MSG_CENTRE_OWNERSHIP, static_cast<uint16_t>(centres_message_size(count)));
    put_u16(message, CENTRES_ENTRY_COUNT_AT, count);
    for (uint16_t e = 0; e < count; e++) {
        uint8_t *entry = message + centres_message_size(e);
        put_u16(entry, CENTRES_POWER_AT, entries[e].power);
        put_u16(entry, CENTRES_PROVINCE_AT, entries[e].province);
    }
}
