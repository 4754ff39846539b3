// Fuzz target: the session fed a sequence of arbitrary records after
// brox_initialise and brox_game_join, then brox_terminate.  Input: an
// options byte, then records back to back as the client library delivers
// them: a kind byte, then for a message its header and `length` - 6 body
// bytes (the length clamped to what the input holds), for any other kind
// six bytes.
//
// Options: bit 0 writes a rejoin file first, so the session rejoins; bits
// 1-3 make every Nth send fail (0: none); bit 4 submits the bot's orders
// after every record while the session holds a Position.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "common/assignment_message.h"
#include "common/event_record.h"
#include "fuzz_checks.h"
#include "fuzz_input.h"
#include "fuzz_seams.h"

namespace {

// The session writes and deletes its rejoin file in the current directory:
// the target runs in a directory of its own under $TMPDIR (or /tmp), and
// every input removes the file it leaves.  The fuzzer's driver ends the
// process without exit handlers, so the empty directory stays behind; CI
// points TMPDIR into its scratch directory.  Paths given to the fuzzer
// (corpus, artifact prefix) must be absolute.
const char *const REJOIN_FILE = "broxgame.log";

// Records the session kept (release_record 0) and has not given back yet.
std::set<uint8_t *> kept;

void release_kept(uint8_t *record) {
    // Only a kept record may come back, and only once.
    fuzz_require(kept.erase(record) == 1);
    std::free(record);
}

// The next record of the input in a block of exactly its size, or null
// when the input is used up.
uint8_t *next_record(FuzzBytes &input, size_t *size) {
    if (!input.left()) return nullptr;
    uint8_t kind = input.next();
    size_t length = EVENT_RECORD_SIZE - RECORD_MESSAGE_AT;
    size_t taken = length;
    if (kind == KIND_MESSAGE) {
        length = fuzz_declared_length(input.here(), input.left());
        taken = length < FUZZ_HEADER_SIZE ? FUZZ_HEADER_SIZE : length;
    }
    *size = RECORD_MESSAGE_AT + taken;
    auto *record = static_cast<uint8_t *>(std::calloc(*size, 1));
    record[RECORD_KIND_AT] = kind;
    size_t available = input.left() < taken ? input.left() : taken;
    std::memcpy(record_message(record), input.here(), available);
    input.skip(available);
    if (kind == KIND_MESSAGE) msg_set_length(record_message(record), static_cast<uint16_t>(length));
    return record;
}

void write_rejoin_file(uint16_t power, uint16_t passcode) {
    std::FILE *file = std::fopen(REJOIN_FILE, "wb");
    if (!file) std::abort();
    uint8_t bytes[4] = {static_cast<uint8_t>(power), static_cast<uint8_t>(power >> 8),
                        static_cast<uint8_t>(passcode), static_cast<uint8_t>(passcode >> 8)};
    std::fwrite(bytes, 1, sizeof bytes, file);
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const char *base = std::getenv("TMPDIR");
    std::string directory = std::string(base && *base ? base : "/tmp") + "/brox-fuzz-session-XXXXXX";
    if (!mkdtemp(directory.data()) || chdir(directory.c_str()) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzBytes input(data, size);
    uint8_t options = input.next();
    if (options & 1) write_rejoin_file(input.next16(), input.next16());
    fuzz_seams::fail_sends_every((options >> 1) & 7);
    bool submit = options & 0x10;

    Session session;
    std::memset(&session, 0, sizeof session);
    brox_initialise(&session, release_kept);
    brox_game_join(&session, "fuzz", "1.0");
    int running = 1;
    size_t record_size = 0;
    while (running) {
        uint8_t *record = next_record(input, &record_size);
        if (!record) break;
        int release = 1;
        brox_process_msg(&session, record, &running, &release);
        if (release)
            std::free(record);
        else
            kept.insert(record);
        if (session.map) fuzz_check_map(session.map);
        if (session.position) {
            fuzz_require(session.map && session.position->map == session.map);
            fuzz_check_position(session.position);
            if (submit) brox_order_submit(nullptr, session.position, assignment_read(session.assignment).power);
        }
    }
    brox_terminate(&session);
    std::remove(REJOIN_FILE);
    // Every record the session kept has come back through release_msg.
    fuzz_require(kept.empty());
    return 0;
}
