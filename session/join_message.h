// MSG_JOIN: the bot's name and version, written by the session when it
// joins a game and read by the server.  Offsets count from the type word.
//
//   Offset  Width  Field
//   0       6      header (common/record.h); length 136
//   6       65     name: at most 64 characters, NUL-terminated
//   71      65     version: at most 64 characters, NUL-terminated
//
// Bytes after each NUL up to the end of its field are not set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/record.h"

constexpr uint16_t JOIN_LENGTH = 136;
constexpr size_t JOIN_NAME_AT = 6;
constexpr size_t JOIN_VERSION_AT = 71;
constexpr size_t JOIN_TEXT_FIELD = 65;  // 64 characters and a NUL

// A join's two texts, each up to its NUL or the end of its field (a field
// a sender did not terminate gives 65 characters), NUL-terminated.
struct JoinTexts {
    char name[JOIN_TEXT_FIELD + 1];
    char version[JOIN_TEXT_FIELD + 1];
};

namespace join_detail {

// Copies at most 64 characters of `text` (null reads as empty) into a
// field and ends them with a NUL, so a long text is cut rather than
// overrunning the field.
inline void put_text(uint8_t *field, const char *text) {
    size_t length = 0;
    if (text)
        while (length < JOIN_TEXT_FIELD - 1 && text[length] != '\0') length++;
    for (size_t i = 0; i < length; i++) field[i] = static_cast<uint8_t>(text[i]);
    field[length] = 0;
}

inline void get_text(const uint8_t *field, char *text) {
    size_t length = 0;
    while (length < JOIN_TEXT_FIELD && field[length] != 0) length++;
    for (size_t i = 0; i < length; i++) text[i] = static_cast<char>(field[i]);
    text[length] = '\0';
}

}  // namespace join_detail

// Reads a message of JOIN_LENGTH bytes.
inline JoinTexts join_read(const uint8_t *message) {
    JoinTexts texts;
    join_detail::get_text(message + JOIN_NAME_AT, texts.name);
    join_detail::get_text(message + JOIN_VERSION_AT, texts.version);
    return texts;
}

// Writes the header and both texts into JOIN_LENGTH bytes.
inline void join_write(uint8_t *message, const char *name, const char *version) {
    msg_header_init(message, MSG_JOIN, JOIN_LENGTH);
    join_detail::put_text(message + JOIN_NAME_AT, name);
    join_detail::put_text(message + JOIN_VERSION_AT, version);
}
