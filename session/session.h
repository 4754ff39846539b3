// The session's internals: the handlers that brox_process_msg dispatches
// messages to, and the notice for connection events.  Each handler takes
// the session, the whole record (kind byte first) and the address of its
// type word, whose `length` the dispatcher has checked to be at least 6.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// Keeps the first 40 bytes of the assignment (zero past a shorter message)
// and writes its power and passcode to the rejoin file when the message
// holds them.  Returns 1.
int on_assignment(Session *session, uint8_t *record, uint8_t *message);

// The server's answer to a rejoin: accepted (flag 2) asks for the map
// name; any other flag deletes the rejoin file and joins afresh.  Returns
// the send result.
int on_rejoin_answer(Session *session, uint8_t *record, uint8_t *message);

// Keeps the record until the map definition arrives (handing an earlier
// kept one to release_msg first) and asks for the definition.  Returns the
// send result; on failure the record is not kept.
int on_map_name(Session *session, uint8_t *record, uint8_t *message);

// Replaces the Map (releasing the session's CentreTable and Position built
// on the old one), answers and releases the kept map-name record, and when
// rejoining asks for assignment, centre ownership and position, stopping
// at the first failed send.  Returns 1 when all three went out, 0 when one
// failed, else the answer's send result (1 when nothing was sent).
int on_map_definition(Session *session, uint8_t *record, uint8_t *message);

// Replaces the session's Position; ignored until a Map and a CentreTable
// exist.  Returns 1.
int on_position(Session *session, uint8_t *record, uint8_t *message);

// Replaces the session's CentreTable reference; ignored until a Map
// exists.  Returns 1.
int on_centre_ownership(Session *session, uint8_t *record, uint8_t *message);

// Shows the notice for a KIND_EVENT record (status at record bytes 1-4,
// code at 5-6) and returns the value for keep_running: 1 only for a
// connection that stands.
int show_connection_event(const uint8_t *event);
