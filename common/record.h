// The message record shared with the client library: a kind byte, then the
// message, whose six-byte header every message starts with.  Reading a
// record's kind and a message's header, and writing that header.
//
//   Record byte  Message offset  Width  Field
//   0            -               1      kind: KIND_MESSAGE, KIND_STOP_A, KIND_STOP_B, KIND_EVENT
//   1            0               2      type: MSG_ token
//   3            2               2      length: bytes of the message from the type word, header included
//   5            4               1      flag: FLAG_PLAIN, FLAG_ACCEPT, FLAG_REJECT, FLAG_SUBMIT
//   6            5               1      reserved: never set or read
//   7            6               ...    body: length - 6 bytes, laid out per message type
//
// A message record always travels with size length + 1.  Readers and body
// writers work with the address of the type word (the message); message
// offsets count from it.  A KIND_EVENT record has no message: its layout
// is in common/event_record.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"

constexpr size_t RECORD_KIND_AT = 0;
constexpr size_t RECORD_MESSAGE_AT = 1;

constexpr size_t MSG_TYPE_AT = 0;
constexpr size_t MSG_LENGTH_AT = 2;
constexpr size_t MSG_FLAG_AT = 4;
constexpr size_t MSG_RESERVED_AT = 5;
constexpr size_t MSG_BODY_AT = 6;
constexpr size_t MSG_HEADER_SIZE = 6;

// The largest message a 16-bit length can describe, and the smallest
// record that holds a whole header.
constexpr size_t MSG_MAX_LENGTH = 0xFFFF;
constexpr size_t RECORD_MIN_MESSAGE_SIZE = RECORD_MESSAGE_AT + MSG_HEADER_SIZE;

inline uint8_t record_kind(const uint8_t *record) { return record[RECORD_KIND_AT]; }

// The message inside a record (the address of its type word).
inline uint8_t *record_message(uint8_t *record) { return record + RECORD_MESSAGE_AT; }
inline const uint8_t *record_message(const uint8_t *record) { return record + RECORD_MESSAGE_AT; }

inline uint16_t msg_type(const uint8_t *message) { return get_u16(message, MSG_TYPE_AT); }
inline uint16_t msg_length(const uint8_t *message) { return get_u16(message, MSG_LENGTH_AT); }
inline uint8_t msg_flag(const uint8_t *message) { return message[MSG_FLAG_AT]; }

inline void msg_set_type(uint8_t *message, uint16_t type) { put_u16(message, MSG_TYPE_AT, type); }
inline void msg_set_length(uint8_t *message, uint16_t length) { put_u16(message, MSG_LENGTH_AT, length); }
inline void msg_set_flag(uint8_t *message, uint8_t flag) { message[MSG_FLAG_AT] = flag; }
inline void msg_set_reserved(uint8_t *message, uint8_t value) { message[MSG_RESERVED_AT] = value; }

// The size a message record travels with: its length and the kind byte.
// Only for a KIND_MESSAGE record whose header is there to read.
inline size_t record_size(const uint8_t *record) {
    return static_cast<size_t>(msg_length(record_message(record))) + RECORD_MESSAGE_AT;
}

// Sets type, length and flag 1 in a message (no kind byte: a message built
// for the library's own reading, or a file holding one message) and returns
// it.  Touches nothing else.
inline uint8_t *msg_header_init(uint8_t *message, uint16_t type, uint16_t length) {
    msg_set_type(message, type);
    msg_set_length(message, length);
    msg_set_flag(message, FLAG_PLAIN);
    return message;
}

// Sets kind 2, type, length and flag 1 in a buffer of at least length + 1
// bytes and returns the address of the type word, where the body goes.
// Touches nothing else.
inline uint8_t *msg_init(uint8_t *record, uint16_t type, uint16_t length) {
    record[RECORD_KIND_AT] = KIND_MESSAGE;
    return msg_header_init(record_message(record), type, length);
}
