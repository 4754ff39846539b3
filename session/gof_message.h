// MSG_GOF: a 32-bit value of the bot's own, sent by brox_build_send_gof.
// Offsets count from the type word.
//
//   Offset  Width  Field
//   0       6      header (common/record.h); length 12
//   6       2      not set
//   8       4      value
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

constexpr uint16_t GOF_LENGTH = 12;
constexpr size_t GOF_VALUE_AT = 8;

inline uint32_t gof_read(const uint8_t *message) { return get_u32(message, GOF_VALUE_AT); }

// Writes the header and the value into GOF_LENGTH bytes.
inline void gof_write(uint8_t *message, uint32_t value) {
    msg_header_init(message, MSG_GOF, GOF_LENGTH);
    put_u32(message, GOF_VALUE_AT, value);
}
