// The session's side of message records: the accept and refuse answers to
// received records, and the requests and messages the session sends.  The
// record envelope itself is common/record.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "common/record.h"

// Sends a received record back with flag 2 (accept) or 3 (refuse), size
// length + 1.  The record keeps the new flag.  Returns the send result.
int msg_send_accept(uint8_t *record);
int msg_send_reject(uint8_t *record);

// The session's own messages.  Each fills a record local to the call, sends
// it with size length + 1 and returns the send result.  A join's name and
// version are cut to 64 characters each.
int send_join(const char *name, const char *version);
int send_rejoin(uint16_t power, uint16_t passcode);
int send_map_name_request();
int send_map_definition_request();
int send_assignment_request();
int send_centre_ownership_request();
int send_position_request();
