// Reading whole records from a socket through the wire framing, for tests
// that play the other end of a connection by hand.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/wire.h"

class WireStream {
  public:
    WireStream();
    WireStream(const WireStream &) = delete;
    WireStream &operator=(const WireStream &) = delete;

    // Starts over on another socket (or the same one, reconnected).
    void reset(int fd);
    // The next whole record; nothing when nothing comes within `timeout_ms`,
    // when the stream ends (then ended() is true) or when a frame is broken.
    std::optional<std::vector<uint8_t>> next(int timeout_ms);
    bool ended() const { return ended_; }

  private:
    int fd_ = -1;
    bool ended_ = false;
    std::unique_ptr<WireReader> reader_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t offset_ = 0;
    size_t pending_ = 0;
};
