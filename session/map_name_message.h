// MSG_MAP_NAME: the name of the game's map.  The server sends it; the
// session keeps the record and sends it back as accepted or refused once
// the map definition has come, and asks for it with an empty name.
// Offsets count from the type word.
//
//   Offset  Width           Field
//   0       6               header (common/record.h); length at least 16
//   6       length - 6     name, NUL-terminated; the bytes after the NUL are not set
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "brox.h"
#include "common/record.h"

constexpr size_t MAP_NAME_AT = 6;
constexpr uint16_t MAP_NAME_MIN_LENGTH = 16;

// The length of a message carrying a name of `name_length` characters.
constexpr uint16_t map_name_message_length(size_t name_length) {
    size_t length = MAP_NAME_AT + name_length + 1;
    return static_cast<uint16_t>(length < MAP_NAME_MIN_LENGTH ? MAP_NAME_MIN_LENGTH : length);
}

// The name up to its NUL; false when the message's length holds no NUL
// after the header.
inline bool map_name_read(const uint8_t *message, std::string_view *name) {
    size_t length = msg_length(message);
    for (size_t at = MAP_NAME_AT; at < length; at++)
        if (message[at] == 0) {
            *name = std::string_view(reinterpret_cast<const char *>(message + MAP_NAME_AT), at - MAP_NAME_AT);
            return true;
        }
    return false;
}

// Writes the header and the name with its NUL into
// map_name_message_length(name.size()) bytes; the bytes after the NUL are
// left as they are.
inline void map_name_write(uint8_t *message, std::string_view name) {
    msg_header_init(message, MSG_MAP_NAME, map_name_message_length(name.size()));
    for (size_t i = 0; i < name.size(); i++) message[MAP_NAME_AT + i] = static_cast<uint8_t>(name[i]);
    message[MAP_NAME_AT + name.size()] = 0;
}
