// Turning fuzz input into messages and records the library may be given.
// The client library delivers a message of exactly `length` bytes (a record
// of length + 1), so each buffer here is allocated at exactly that size: a
// read past the message's length is a read past the block, which the
// address sanitizer reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/record.h"

// Header bytes of a message and the largest length a message can declare.
constexpr size_t FUZZ_HEADER_SIZE = MSG_HEADER_SIZE;
constexpr size_t FUZZ_MAX_LENGTH = MSG_MAX_LENGTH;

// The message length a stream of `size` input bytes yields: the declared
// length (input bytes 2-3) clamped to what the input holds.  A declared
// length below the header is kept as it is.
inline size_t fuzz_declared_length(const uint8_t *data, size_t size) {
    size_t available = size < FUZZ_MAX_LENGTH ? size : FUZZ_MAX_LENGTH;
    if (available < MSG_LENGTH_AT + 2) return available;
    size_t declared = msg_length(data);
    return declared < available ? declared : available;
}

// A message from the input with the given type word, in a buffer of exactly
// its length (at least the six header bytes, so that the header itself can
// be read whatever the length says).  Missing header bytes are zero.
inline std::vector<uint8_t> fuzz_message(const uint8_t *data, size_t size, uint16_t type) {
    size_t length = fuzz_declared_length(data, size);
    std::vector<uint8_t> message(length < FUZZ_HEADER_SIZE ? FUZZ_HEADER_SIZE : length, 0);
    for (size_t i = 0; i < length; i++) message[i] = data[i];
    msg_set_type(message.data(), type);
    msg_set_length(message.data(), static_cast<uint16_t>(length));
    return message;
}

// Reads input bytes in order, giving 0 once they run out.
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
