// Wire framing: size prefixes, the record check applied to every frame in
// either direction, the incremental frame reader and the frame writer.
#include "platform/wire.h"

#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "brox.h"
#include "common/bytes.h"
#include "common/record.h"

void wire_put_prefix(uint8_t *prefix, uint32_t size) { put_u32(prefix, 0, size); }

uint32_t wire_get_prefix(const uint8_t *prefix) { return get_u32(prefix, 0); }

bool wire_record_valid(const uint8_t *record, size_t size) {
    if (!record || size < WIRE_MIN_RECORD || size > WIRE_MAX_RECORD) return false;
    if (record_kind(record) != KIND_MESSAGE) return false;
    return msg_length(record_message(record)) >= MSG_HEADER_SIZE && record_size(record) == size;
}

// ---------------------------------------------------------------------------
// Reading
// ---------------------------------------------------------------------------

void wire_reader_reset(WireReader *reader) {
    reader->prefix_have = 0;
    reader->size = 0;
    reader->body_have = 0;
    reader->broken = false;
}

namespace {

bool frame_complete(const WireReader *reader) {
    return reader->prefix_have == WIRE_PREFIX_SIZE && reader->body_have == reader->size;
}

}  // namespace

WireStatus wire_reader_feed(WireReader *reader, const uint8_t *data, size_t count, size_t *used) {
    *used = 0;
    if (reader->broken) return WIRE_BROKEN;
    // The record offered by the previous call has been taken: start afresh.
    if (frame_complete(reader)) {
        reader->prefix_have = 0;
        reader->body_have = 0;
        reader->size = 0;
    }
    size_t at = 0;
    while (reader->prefix_have < WIRE_PREFIX_SIZE) {
        if (at == count) {
            *used = at;
            return WIRE_NEED_MORE;
        }
        reader->prefix[reader->prefix_have++] = data[at++];
        if (reader->prefix_have == WIRE_PREFIX_SIZE) {
            reader->size = wire_get_prefix(reader->prefix);
            // Refused before any of the body is read, so a huge size never
            // becomes a huge read.
            if (reader->size < WIRE_MIN_RECORD || reader->size > WIRE_MAX_RECORD) {
                reader->broken = true;
                *used = at;
                return WIRE_BROKEN;
            }
        }
    }
    size_t wanted = reader->size - reader->body_have;
    size_t taken = count - at < wanted ? count - at : wanted;
    std::memcpy(reader->body + reader->body_have, data + at, taken);
    reader->body_have += static_cast<uint32_t>(taken);
    at += taken;
    *used = at;
    if (reader->body_have < reader->size) return WIRE_NEED_MORE;
    if (!wire_record_valid(reader->body, reader->size)) {
        reader->broken = true;
        return WIRE_BROKEN;
    }
    return WIRE_RECORD;
}

// ---------------------------------------------------------------------------
// Writing
// ---------------------------------------------------------------------------

namespace {

int send_all(int fd, const uint8_t *bytes, size_t count, int flags) {
    while (count > 0) {
        ssize_t sent = send(fd, bytes, count, flags | MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return 1;
}

}  // namespace

int wire_send_frame(int fd, const uint8_t *record, size_t size) {
    if (!wire_record_valid(record, size)) return 0;
    uint8_t prefix[WIRE_PREFIX_SIZE];
    wire_put_prefix(prefix, static_cast<uint32_t>(size));
    return send_all(fd, prefix, sizeof prefix, MSG_MORE) && send_all(fd, record, size, 0);
}
