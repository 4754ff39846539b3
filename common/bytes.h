// Little-endian field access at explicit byte offsets.
// Callers check bounds first; these helpers never cast bytes to structs, so
// they are safe at any alignment, and usable in constant expressions.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

constexpr uint16_t get_u16(const uint8_t *base, size_t offset) {
    return static_cast<uint16_t>(base[offset] | (base[offset + 1] << 8));
}

constexpr uint32_t get_u32(const uint8_t *base, size_t offset) {
    return static_cast<uint32_t>(base[offset]) | (static_cast<uint32_t>(base[offset + 1]) << 8) |
           (static_cast<uint32_t>(base[offset + 2]) << 16) |
           (static_cast<uint32_t>(base[offset + 3]) << 24);
}

// On a little-endian machine a field is stored as one copy of the value:
// neighbouring fields written one after the other then combine into a few
// wide stores instead of a long chain of byte shifts.
constexpr void put_u16(uint8_t *base, size_t offset, uint16_t value) {
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
        std::memcpy(base + offset, &value, sizeof value);
        return;
    }
    base[offset] = static_cast<uint8_t>(value);
    base[offset + 1] = static_cast<uint8_t>(value >> 8);
}

constexpr void put_u32(uint8_t *base, size_t offset, uint32_t value) {
    if (!std::is_constant_evaluated() && std::endian::native == std::endian::little) {
        std::memcpy(base + offset, &value, sizeof value);
        return;
    }
    base[offset] = static_cast<uint8_t>(value);
    base[offset + 1] = static_cast<uint8_t>(value >> 8);
    base[offset + 2] = static_cast<uint8_t>(value >> 16);
    base[offset + 3] = static_cast<uint8_t>(value >> 24);
}
