// Fuzz target: the client library's frame reader.  The input after its
// first byte is a byte stream as a server might send it; it is read twice,
// once in one piece and once in chunks whose sizes the first byte seeds.
// Both readings must offer the same records and break at the same point,
// every record offered must be one the wire allows, and the reader must
// take every byte it is given until it offers a record or breaks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/record.h"
#include "fuzz_checks.h"
#include "platform/wire.h"

namespace {

struct Reading {
    std::vector<std::vector<uint8_t>> records;
    bool broken = false;
};

// Chunk sizes from 1 to 64 from a small linear congruential sequence.
class Chunks {
  public:
    explicit Chunks(uint8_t seed) : state_(seed * 2654435761u + 1) {}
    size_t next() {
        state_ = state_ * 1103515245u + 12345u;
        return 1 + ((state_ >> 16) & 63);
    }

  private:
    uint32_t state_;
};

void read_stream(WireReader *reader, const uint8_t *data, size_t size, Chunks *chunks, Reading *out) {
    wire_reader_reset(reader);
    size_t at = 0;
    while (at < size && !out->broken) {
        size_t count = size - at;
        if (chunks) {
            size_t wanted = chunks->next();
            if (wanted < count) count = wanted;
        }
        // Feed one chunk until the reader has taken all of it.
        size_t end = at + count;
        while (at < end) {
            size_t used = 0;
            WireStatus status = wire_reader_feed(reader, data + at, end - at, &used);
            fuzz_require(used <= end - at);
            at += used;
            if (status == WIRE_BROKEN) {
                out->broken = true;
                // Broken is final: nothing more is taken.
                status = wire_reader_feed(reader, data + at, size - at, &used);
                fuzz_require(status == WIRE_BROKEN && used == 0);
                break;
            }
            if (status == WIRE_NEED_MORE) {
                fuzz_require(at == end);
                continue;
            }
            const uint8_t *record = wire_reader_record(reader);
            size_t record_size = wire_reader_size(reader);
            fuzz_require(wire_record_valid(record, record_size));
            out->records.emplace_back(record, record + record_size);
        }
    }
}

WireReader *reader() {
    static WireReader *made = new WireReader;
    return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    Chunks chunks(data[0]);
    // A copy of exactly the stream's size, so a read past it is caught.
    std::vector<uint8_t> stream(data + 1, data + size);
    Reading whole;
    Reading chunked;
    read_stream(reader(), stream.data(), stream.size(), nullptr, &whole);
    read_stream(reader(), stream.data(), stream.size(), &chunks, &chunked);
    fuzz_require(whole.broken == chunked.broken);
    fuzz_require(whole.records == chunked.records);

    // The record check alone, on the stream read as one record.
    bool valid = wire_record_valid(stream.data(), stream.size());
    fuzz_require(!valid || (record_kind(stream.data()) == KIND_MESSAGE && record_size(stream.data()) == stream.size()));
    return 0;
}
