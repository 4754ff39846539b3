// Turning fuzz input into messages the library may be given: the bytes are
// copied into a buffer of their own and the message's length field is
// clamped to what the buffer holds, which is what the client library
// guarantees for every record it delivers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

// A message from `size` bytes of input with the given type word; the
// length field keeps the input's value when it fits, else the buffer size.
inline std::vector<uint8_t> fuzz_message(const uint8_t *data, size_t size, uint16_t type) {
    std::vector<uint8_t> message(data, data + size);
    if (message.size() < 6) message.resize(6, 0);
    if (message.size() > 0xFFFF) message.resize(0xFFFF);
    uint16_t declared = get_u16(message.data(), 2);
    if (declared > message.size()) declared = static_cast<uint16_t>(message.size());
    put_u16(message.data(), 0, type);
    put_u16(message.data(), 2, declared);
    return message;
}

// Reads input bytes one at a time, giving 0 once they run out.
class FuzzBytes {
  public:
    FuzzBytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    uint8_t next() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t next16() { return static_cast<uint16_t>(next() | (next() << 8)); }
    size_t left() const { return size_ - at_; }
    const uint8_t *here() const { return data_ + at_; }
    void skip(size_t count) { at_ += count < left() ? count : left(); }

  private:
    const uint8_t *data_;
    size_t size_;
    size_t at_ = 0;
};
