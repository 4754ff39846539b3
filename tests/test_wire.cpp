// Wire framing: frames split or joined in any way come out as the records
// that went in; frames that do not hold a sound record break the stream
// before anything of them is offered; the writer frames exactly.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "brox.h"
#include "common/record.h"
#include "platform/wire.h"

namespace {

// A message record of `size` bytes whose body bytes count up from `seed`.
std::vector<uint8_t> record_of_size(size_t size, uint8_t seed) {
    std::vector<uint8_t> record(size);
    msg_init(record.data(), MSG_POSITION, static_cast<uint16_t>(size - RECORD_MESSAGE_AT));
    for (size_t i = RECORD_MIN_MESSAGE_SIZE; i < size; i++) record[i] = static_cast<uint8_t>(seed + i);
    return record;
}

std::vector<uint8_t> frame(const std::vector<uint8_t> &record, uint32_t announced) {
    std::vector<uint8_t> bytes(4);
    wire_put_prefix(bytes.data(), announced);
    bytes.insert(bytes.end(), record.begin(), record.end());
    return bytes;
}

std::vector<uint8_t> frame(const std::vector<uint8_t> &record) {
    return frame(record, static_cast<uint32_t>(record.size()));
}

struct Outcome {
    std::vector<std::vector<uint8_t>> records;
    bool broken = false;
};

// Feeds a stream in chunks of `chunk` bytes, collecting every record.
Outcome read_stream(const std::vector<uint8_t> &stream, size_t chunk) {
    auto reader = std::make_unique<WireReader>();
    wire_reader_reset(reader.get());
    Outcome outcome;
    for (size_t at = 0; at < stream.size() && !outcome.broken;) {
        size_t count = std::min(chunk, stream.size() - at);
        size_t offered = count;
        while (offered > 0) {
            size_t used = 0;
            WireStatus status = wire_reader_feed(reader.get(), stream.data() + at, offered, &used);
            EXPECT_LE(used, offered);
            at += used;
            offered -= used;
            if (status == WIRE_BROKEN) {
                outcome.broken = true;
                break;
            }
            if (status == WIRE_NEED_MORE) {
                EXPECT_EQ(offered, 0u);
                break;
            }
            const uint8_t *record = wire_reader_record(reader.get());
            outcome.records.emplace_back(record, record + wire_reader_size(reader.get()));
        }
    }
    return outcome;
}

TEST(Wire, PrefixIsTheSizeLittleEndian) {
    uint8_t prefix[4];
    wire_put_prefix(prefix, 0x00010203);
    EXPECT_EQ(prefix[0], 0x03);
    EXPECT_EQ(prefix[1], 0x02);
    EXPECT_EQ(prefix[2], 0x01);
    EXPECT_EQ(prefix[3], 0x00);
    EXPECT_EQ(wire_get_prefix(prefix), 0x00010203u);
}

TEST(Wire, RecordsComeOutWholeHoweverTheStreamIsCut) {
    std::vector<std::vector<uint8_t>> records = {
        record_of_size(7, 1), record_of_size(300, 2), record_of_size(0x10000, 3),
        record_of_size(13, 4)};
    std::vector<uint8_t> stream;
    for (const auto &record : records) {
        std::vector<uint8_t> bytes = frame(record);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{4}, size_t{5}, size_t{4096}, stream.size()}) {
        Outcome outcome = read_stream(stream, chunk);
        EXPECT_FALSE(outcome.broken) << "chunk " << chunk;
        EXPECT_EQ(outcome.records, records) << "chunk " << chunk;
    }
}

TEST(Wire, FramesThatDoNotHoldASoundRecordBreakTheStream) {
    std::vector<uint8_t> good = record_of_size(20, 5);

    // The announced size and the record's own length disagree.
    std::vector<uint8_t> longer = good;
    msg_set_length(record_message(longer.data()), 20);
    std::vector<uint8_t> shorter = good;
    msg_set_length(record_message(shorter.data()), 18);
    // A length below the 6 header bytes, a kind that is not a message.
    std::vector<uint8_t> tiny_length = record_of_size(7, 0);
    msg_set_length(record_message(tiny_length.data()), 5);
    std::vector<uint8_t> event = good;
    event[RECORD_KIND_AT] = KIND_EVENT;

    for (const auto &bad : {longer, shorter, tiny_length, event}) {
        std::vector<uint8_t> stream = frame(good);
        std::vector<uint8_t> broken = frame(bad);
        stream.insert(stream.end(), broken.begin(), broken.end());
        Outcome outcome = read_stream(stream, 7);
        EXPECT_TRUE(outcome.broken);
        ASSERT_EQ(outcome.records.size(), 1u);  // the sound frame before it still arrives
        EXPECT_EQ(outcome.records[0], good);
    }
}

TEST(Wire, OutOfBoundSizesBreakTheStreamBeforeAnyBodyIsRead) {
    for (uint32_t size : {0u, 6u, 0x10001u, 0xFFFFFFFFu}) {
        auto reader = std::make_unique<WireReader>();
        wire_reader_reset(reader.get());
        std::vector<uint8_t> stream = frame(record_of_size(20, 0), size);
        size_t used = 0;
        EXPECT_EQ(wire_reader_feed(reader.get(), stream.data(), stream.size(), &used), WIRE_BROKEN)
            << size;
        EXPECT_EQ(used, 4u) << size;
        // Once broken, the reader takes nothing more.
        EXPECT_EQ(wire_reader_feed(reader.get(), stream.data() + 4, stream.size() - 4, &used),
                  WIRE_BROKEN);
        EXPECT_EQ(used, 0u);
    }
}

TEST(Wire, SenderFramesSoundRecordsAndRefusesOthers) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    std::vector<uint8_t> record = record_of_size(137, 9);
    EXPECT_EQ(wire_send_frame(ends[0], record.data(), record.size()), 1);
    EXPECT_EQ(wire_send_frame(ends[0], record.data(), record.size() - 1), 0);  // size is not length + 1
    std::vector<uint8_t> event = record;
    event[RECORD_KIND_AT] = KIND_EVENT;
    EXPECT_EQ(wire_send_frame(ends[0], event.data(), event.size()), 0);
    close(ends[0]);

    std::vector<uint8_t> received(1000);
    size_t total = 0;
    for (ssize_t got; (got = read(ends[1], received.data() + total, received.size() - total)) > 0;)
        total += static_cast<size_t>(got);
    received.resize(total);
    EXPECT_EQ(received, frame(record));  // the refused records wrote nothing

    EXPECT_EQ(wire_send_frame(ends[1], record.data(), record.size()), 0);  // peer gone, no SIGPIPE
    close(ends[1]);
}

}  // namespace
