// Wire framing of message records between the client library and a game
// server: each record travels as a 4-byte little-endian size followed by
// the record's bytes (kind byte first).  Shared by both ends of a
// connection; nothing here touches a socket except the two fd helpers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/record.h"

constexpr size_t WIRE_PREFIX_SIZE = 4;
// A message record: kind byte, then at least the 6 header bytes.
constexpr size_t WIRE_MIN_RECORD = RECORD_MIN_MESSAGE_SIZE;
// The largest record a 16-bit message length allows: 0xFFFF + 1.
constexpr size_t WIRE_MAX_RECORD = RECORD_MESSAGE_AT + MSG_MAX_LENGTH;

void wire_put_prefix(uint8_t *prefix, uint32_t size);
uint32_t wire_get_prefix(const uint8_t *prefix);

// Whether `size` bytes starting at `record` form a record that may travel
// on the wire: a KIND_MESSAGE record whose `length` is at least 6 and whose
// size is exactly `length` + 1.  Reads nothing beyond `size` bytes.
bool wire_record_valid(const uint8_t *record, size_t size);

// Incremental reader of a byte stream of frames.  Bytes are fed in chunks
// of any size; a record becomes available once its whole frame has
// arrived, and is checked before it is offered.
enum WireStatus {
    WIRE_NEED_MORE = 0, // every fed byte consumed, no whole frame yet
    WIRE_RECORD = 1,    // a record is ready: wire_reader_record / wire_reader_size
    WIRE_BROKEN = 2,    // the stream holds a frame that is not a valid record
};

struct WireReader {
    uint8_t prefix[WIRE_PREFIX_SIZE];
    uint32_t prefix_have;  // prefix bytes received so far
    uint32_t size;         // size announced by the prefix, once complete
    uint32_t body_have;    // record bytes received so far
    bool broken;           // sticky: once broken, nothing more is read
    uint8_t body[WIRE_MAX_RECORD];
};

void wire_reader_reset(WireReader *reader);

// Consumes bytes from `data` (at most `count`) and sets `*used` to how many
// it took.  Returns WIRE_RECORD as soon as a frame is complete and valid
// (the rest of `data` is left for the next call), WIRE_BROKEN when the
// announced size is out of bounds or the record fails wire_record_valid,
// and WIRE_NEED_MORE when `data` ran out first.  A ready record stays
// readable until the next feed.
WireStatus wire_reader_feed(WireReader *reader, const uint8_t *data, size_t count, size_t *used);

inline const uint8_t *wire_reader_record(const WireReader *reader) { return reader->body; }
inline size_t wire_reader_size(const WireReader *reader) { return reader->size; }

// Writes one frame (prefix and record) to a connected stream socket,
// retrying partial writes.  Returns 1 when every byte went out, 0 when the
// record is not valid for the wire (nothing written) or the socket failed.
// Never raises SIGPIPE.
int wire_send_frame(int fd, const uint8_t *record, size_t size);
