// Building and sending message records.  Records built here live on the
// stack for the duration of the send call; bytes the format leaves unset
// are cleared, so nothing of the stack leaks to the server.  Each body is
// written by its message's own writer; every builder calls msg_init first.
#include "session/message.h"

#include "client/client.h"
#include "common/assignment_message.h"
#include "session/gof_message.h"
#include "session/join_message.h"
#include "session/map_name_message.h"
#include "session/rejoin_message.h"
#include "world/centres_message.h"
#include "world/map_message.h"
#include "world/position_message.h"

namespace {

int send_record(const uint8_t *record) { return vorn_client_send_message(record, record_size(record)); }

int send_answer(uint8_t *record, uint8_t flag) {
    msg_set_flag(record_message(record), flag);
    return send_record(record);
}

}  // namespace

int msg_send_accept(uint8_t *record) { return send_answer(record, FLAG_ACCEPT); }

int msg_send_reject(uint8_t *record) { return send_answer(record, FLAG_REJECT); }

extern "C" BROX_API int brox_build_send_gof(uint32_t value) {
    uint8_t record[RECORD_MESSAGE_AT + GOF_LENGTH] = {};
    gof_write(msg_init(record, MSG_GOF, GOF_LENGTH), value);
    return send_record(record);
}

extern "C" BROX_API uint16_t brox_record_type(const uint8_t *record) {
    if (!record || record_kind(record) != KIND_MESSAGE) return 0;
    return msg_type(record_message(record));
}

int send_join(const char *name, const char *version) {
    uint8_t record[RECORD_MESSAGE_AT + JOIN_LENGTH] = {};
    join_write(msg_init(record, MSG_JOIN, JOIN_LENGTH), name, version);
    return send_record(record);
}

int send_rejoin(uint16_t power, uint16_t passcode) {
    uint8_t record[RECORD_MESSAGE_AT + REJOIN_LENGTH] = {};
    rejoin_write(msg_init(record, MSG_REJOIN, REJOIN_LENGTH), {power, passcode});
    return send_record(record);
}

// A map name of no characters.
int send_map_name_request() {
    constexpr uint16_t length = map_name_message_length(0);
    uint8_t record[RECORD_MESSAGE_AT + length] = {};
    map_name_write(msg_init(record, MSG_MAP_NAME, length), "");
    return send_record(record);
}

// A definition of no powers, provinces or adjacencies.
int send_map_definition_request() {
    constexpr uint16_t length = map_message_size(0, 0);
    uint8_t record[RECORD_MESSAGE_AT + length] = {};
    map_message_write(msg_init(record, MSG_MAP_DEFINITION, length), 0, nullptr, 0, nullptr, 0);
    return send_record(record);
}

// An assignment whose body is not set.
int send_assignment_request() {
    uint8_t record[RECORD_MESSAGE_AT + ASSIGNMENT_LENGTH] = {};
    msg_init(record, MSG_ASSIGNMENT, ASSIGNMENT_LENGTH);
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
