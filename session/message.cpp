// Building and sending message records.  Records built here live on the
// stack for the duration of the send call; bytes the format leaves unset
// are cleared, so nothing of the stack leaks to the server.
#include "session/message.h"

#include <cstring>

#include "client/client.h"
#include "world/centres_message.h"
#include "world/map_message.h"
#include "world/position_message.h"

namespace {

int send_record(const uint8_t *record) { return vorn_client_send_message(record, record_size(record)); }

int send_answer(uint8_t *record, uint8_t flag) {
    msg_set_flag(record_message(record), flag);
    return send_record(record);
}

// Copies at most 64 characters of `text` into a 65-byte field and ends it
// with a NUL, so a long text is cut rather than overrunning the field.
void put_text_field(uint8_t *message, size_t offset, const char *text) {
    size_t length = 0;
    if (text)
        while (length < JOIN_TEXT_FIELD - 1 && text[length] != '\0') length++;
    std::memcpy(message + offset, text ? text : "", length);
    message[offset + length] = 0;
}

}  // namespace

int msg_send_accept(uint8_t *record) { return send_answer(record, FLAG_ACCEPT); }

int msg_send_reject(uint8_t *record) { return send_answer(record, FLAG_REJECT); }

extern "C" BROX_API int brox_build_send_gof(uint32_t value) {
    uint8_t record[13] = {};
    uint8_t *message = msg_init(record, MSG_GOF, 12);
    put_u32(message, 8, value);
    return send_record(record);
}

extern "C" BROX_API uint16_t brox_record_type(const uint8_t *record) {
    if (!record || record_kind(record) != KIND_MESSAGE) return 0;
    return msg_type(record_message(record));
}

int send_join(const char *name, const char *version) {
    uint8_t record[137] = {};
    uint8_t *message = msg_init(record, MSG_JOIN, 136);
    put_text_field(message, 6, name);
    put_text_field(message, 6 + JOIN_TEXT_FIELD, version);
    return send_record(record);
}

int send_rejoin(uint16_t power, uint16_t passcode) {
    uint8_t record[11] = {};
    uint8_t *message = msg_init(record, MSG_REJOIN, 10);
    put_u16(message, 6, power);
    put_u16(message, 8, passcode);
    return send_record(record);
}

int send_map_name_request() {
    uint8_t record[17] = {};
    msg_init(record, MSG_MAP_NAME, 16);  // body: an empty name
    return send_record(record);
}

// A definition of no powers, provinces or adjacencies.
int send_map_definition_request() {
    constexpr uint16_t length = map_message_size(0, 0);
    uint8_t record[RECORD_MESSAGE_AT + length] = {};
    map_message_write(msg_init(record, MSG_MAP_DEFINITION, length), 0, nullptr, 0, nullptr, 0);
    return send_record(record);
}

int send_assignment_request() {
    uint8_t record[41] = {};
    msg_init(record, MSG_ASSIGNMENT, 40);
    return send_record(record);
}

// An ownership of no entries.
int send_centre_ownership_request() {
    constexpr uint16_t length = centres_message_size(0);
    uint8_t record[RECORD_MESSAGE_AT + length] = {};
    centres_message_write(msg_init(record, MSG_CENTRE_OWNERSHIP, length), nullptr, 0);
    return send_record(record);
}

// A position of no units, with the request's own word in its season.
int send_position_request() {
    constexpr uint16_t length = position_message_size(0);
    uint8_t record[RECORD_MESSAGE_AT + length] = {};
    position_message_init(msg_init(record, MSG_POSITION, length), {POSITION_REQUEST_SEASON, 0}, 0);
    return send_record(record);
}
