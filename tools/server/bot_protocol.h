// One bot's side of the game: every record a bot sends (join, rejoin, the
// set-up requests and answers, orders) is taken here, checked before use,
// and answered through the link's outbox.  No socket is involved, so the
// handling can be driven record by record (tests, fuzzing).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/server/game_state.h"

enum class RecordVerdict {
    KEEP,  // the link stays open
    CLOSE, // the record was malformed: close the link now
};

// Takes one record (kind byte first, `size` bytes, as a wire frame carried
// it) that link `link` sent.  Any byte string is accepted as input: a record
// that is not a valid message record, or a message that cannot be read as
// its type (a join, rejoin or orders message of the wrong length, orders
// whose count does not match the length, an orders phase tag that is not
// 10 bytes), gives CLOSE with the reason in
// *why (when given), and the caller then closes the connection and calls
// game_link_drop.  Types the server does not expect from a bot are ignored,
// as are requests from a link that has no power, and everything from a
// link whose rejoin is held or that is being let go.  Orders may complete
// the phase, which is then resolved at once.  The record may also end the
// link itself (a rejoin past the rejoin limits): the link is then CLOSED
// when the call returns, with the verdict KEEP.
RecordVerdict server_take_record(Game *game, uint32_t link, const uint8_t *record, size_t size,
                                 std::string *why = nullptr);
