// The connection-event record that the client library delivers to the bot:
// kind KIND_EVENT and no message, only a status and a code.
//
//   Record byte  Width  Field
//   0            1      kind: KIND_EVENT
//   1            4      status: with EVENT_CONNECT, 0 when the connection stands
//   5            2      code: EVENT_CONNECT, EVENT_OUT_OF_MEMORY, EVENT_CONNECTION_LOST
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr size_t EVENT_STATUS_AT = 1;
constexpr size_t EVENT_CODE_AT = 5;
constexpr size_t EVENT_RECORD_SIZE = 7;

struct ConnectionEvent {
    uint32_t status;
    uint16_t code;
};

using EventRecord = std::array<uint8_t, EVENT_RECORD_SIZE>;

// Reads the status and code of a KIND_EVENT record of EVENT_RECORD_SIZE bytes.
inline ConnectionEvent event_record_read(const uint8_t *record) {
    return {get_u32(record, EVENT_STATUS_AT), get_u16(record, EVENT_CODE_AT)};
}

// The whole record of an event; usable for records built at compile time.
constexpr EventRecord event_record_make(ConnectionEvent event) {
    EventRecord record{};
    record[RECORD_KIND_AT] = KIND_EVENT;
    put_u32(record.data(), EVENT_STATUS_AT, event.status);
    put_u16(record.data(), EVENT_CODE_AT, event.code);
    return record;
}
