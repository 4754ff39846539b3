// Message records: the envelope shared with the client library, the record
// initialiser, the accept and refuse answers, and the requests the session
// sends.  A record is one kind byte followed by the message; a message
// starts with its 16-bit type, its 16-bit length (counted from the type
// word), a flag byte and a reserved byte.  Offsets below count from the
// type word, i.e. from record byte 1.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"

constexpr size_t MSG_TYPE_AT = 0;
constexpr size_t MSG_LENGTH_AT = 2;
constexpr size_t MSG_FLAG_AT = 4;
constexpr size_t MSG_BODY_AT = 6;
constexpr size_t MSG_HEADER_SIZE = 6;

// The largest message a 16-bit length can describe.
constexpr size_t MSG_MAX_LENGTH = 0xFFFF;

// Field names of the join message: 64 characters and a NUL each.
constexpr size_t JOIN_TEXT_FIELD = 65;

inline uint16_t msg_type(const uint8_t *message) { return get_u16(message, MSG_TYPE_AT); }
inline uint16_t msg_length(const uint8_t *message) { return get_u16(message, MSG_LENGTH_AT); }
inline uint8_t msg_flag(const uint8_t *message) { return message[MSG_FLAG_AT]; }

// The message inside a record (the address of its type word).
inline uint8_t *record_message(uint8_t *record) { return record + 1; }
inline const uint8_t *record_message(const uint8_t *record) { return record + 1; }

// Sets kind 2, type, length and flag 1 in a buffer of at least length + 1
// bytes and returns the address of the type word.  Touches nothing else.
uint8_t *msg_init(uint8_t *record, uint16_t type, uint16_t length);

// Sends a received record back with flag 2 (accept) or 3 (refuse), size
// length + 1.  The record keeps the new flag.  Returns the send result.
int msg_send_accept(uint8_t *record);
int msg_send_reject(uint8_t *record);

// The session's own messages.  Each fills a record local to the call, sends
// it with size length + 1 and returns the send result.
int send_join(const char *name, const char *version);
int send_rejoin(uint16_t power, uint16_t passcode);
int send_map_name_request();
int send_map_definition_request();
int send_assignment_request();
int send_centre_ownership_request();
int send_position_request();
