// MSG_SEAT_SECRET: the secret of the bot's seat, which the client library
// sends right before each join and rejoin when the bot's environment holds
// one (BROX_SEAT_SECRET).  A tournament hands every bot a secret of its own;
// the game server seats a bot by it and takes a rejoin that carries it back
// at once, so that nobody without the secret can take the seat or keep the
// bot out of it.  Written by the client library, read by the game server;
// the bot never sees it.  Offsets count from the type word.
//
//   Offset  Width  Field
//   0       6      header (common/record.h): length 6 + the secret's size, flag FLAG_PLAIN
//   6       n      the secret's bytes, as the variable holds them (no NUL)
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/record.h"

constexpr uint16_t MSG_SEAT_SECRET = 0x3148;
constexpr size_t SEAT_SECRET_AT = 6;
// The environment variable the client library reads the secret from.
constexpr const char *SEAT_SECRET_VARIABLE = "BROX_SEAT_SECRET";
// What the server accepts as a secret: short ones could be found by trial.
constexpr size_t SEAT_SECRET_MIN = 16;
constexpr size_t SEAT_SECRET_MAX = 64;
// The largest secret the client library sends; the server refuses what is
// outside SEAT_SECRET_MIN to SEAT_SECRET_MAX with a reason.
constexpr size_t SEAT_SECRET_SENT_MAX = 1024;

// Whether a message is a seat-secret frame whose secret is of an accepted
// size.
inline bool seat_secret_readable(const uint8_t *message) {
    size_t length = msg_length(message);
    return msg_type(message) == MSG_SEAT_SECRET && length >= SEAT_SECRET_AT + SEAT_SECRET_MIN &&
           length <= SEAT_SECRET_AT + SEAT_SECRET_MAX;
}

inline std::string seat_secret_read(const uint8_t *message) {
    return std::string(reinterpret_cast<const char *>(message + SEAT_SECRET_AT), msg_length(message) - SEAT_SECRET_AT);
}

// Writes a whole frame into `message` (SEAT_SECRET_AT + size bytes); size
// is at most SEAT_SECRET_SENT_MAX.
inline void seat_secret_write(uint8_t *message, const char *secret, size_t size) {
    msg_header_init(message, MSG_SEAT_SECRET, static_cast<uint16_t>(SEAT_SECRET_AT + size));
    msg_set_reserved(message, 0);
    std::memcpy(message + SEAT_SECRET_AT, secret, size);
}
