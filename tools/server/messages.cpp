// Composing the records the local game server sends.
#include "tools/server/messages.h"

#include <algorithm>

#include "common/record.h"

Record record_new(uint16_t type, uint16_t length, uint8_t flag) {
    Record record(RECORD_MESSAGE_AT + length, 0);
    msg_set_flag(msg_init(record.data(), type, length), flag);
    return record;
}

Record record_of_message(const std::vector<uint8_t> &message) {
    return record_of_message(message.data(), message.size());
}

Record record_of_message(const uint8_t *message, size_t size) {
    Record record(RECORD_MESSAGE_AT + size);
    record[RECORD_KIND_AT] = KIND_MESSAGE;
    std::copy(message, message + size, record_message(record.data()));
    return record;
}

uint16_t power_token(uint16_t power) { return static_cast<uint16_t>((power << 8) | POWER_CATEGORY); }

Record assignment_record(uint16_t power_token, uint16_t passcode) {
    Record record = record_new(MSG_ASSIGNMENT, ASSIGNMENT_LENGTH, FLAG_PLAIN);
    assignment_write(record_message(record.data()), {power_token, passcode});
    return record;
}

Record map_name_record(const std::string &name) {
    Record record = record_new(MSG_MAP_NAME, map_name_message_length(name.size()), FLAG_PLAIN);
    map_name_write(record_message(record.data()), name);
    return record;
}

Record rejoin_answer_record(const uint8_t *request_record, uint8_t flag) {
    Record record(request_record, request_record + RECORD_MESSAGE_AT + REJOIN_LENGTH);
    msg_set_flag(record_message(record.data()), flag);
    return record;
}

Record end_record(uint16_t type) { return record_new(type, MSG_HEADER_SIZE, FLAG_PLAIN); }
