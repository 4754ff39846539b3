// WireStream: poll, receive, feed the frame reader.
#include "wire_stream.h"

#include <poll.h>
#include <sys/socket.h>

namespace {
constexpr size_t CHUNK = 65536;
}

WireStream::WireStream() : reader_(std::make_unique<WireReader>()), buffer_(new uint8_t[CHUNK]) {
    wire_reader_reset(reader_.get());
}

void WireStream::reset(int fd) {
    fd_ = fd;
    ended_ = false;
    offset_ = pending_ = 0;
    wire_reader_reset(reader_.get());
}

std::optional<std::vector<uint8_t>> WireStream::next(int timeout_ms) {
    for (;;) {
        if (pending_ > 0) {
            size_t used = 0;
            WireStatus status = wire_reader_feed(reader_.get(), buffer_.get() + offset_, pending_, &used);
            offset_ += used;
            pending_ -= used;
            if (status == WIRE_BROKEN) return std::nullopt;
            if (status == WIRE_RECORD) {
                const uint8_t *record = wire_reader_record(reader_.get());
                return std::vector<uint8_t>(record, record + wire_reader_size(reader_.get()));
            }
        }
        pollfd wait = {fd_, POLLIN, 0};
        if (poll(&wait, 1, timeout_ms) != 1) return std::nullopt;
        ssize_t got = recv(fd_, buffer_.get(), CHUNK, 0);
        if (got <= 0) {
            ended_ = true;
            return std::nullopt;
        }
        offset_ = 0;
        pending_ = static_cast<size_t>(got);
    }
}
