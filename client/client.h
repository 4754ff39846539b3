// The system's side of the client library: the two calls that reach the
// game server.  The tree header, node and the five tree calls are part of
// the public header, because bots walk the candidate and agenda trees.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

extern "C" {

// Starts connecting to the server.  The outcome arrives later as a
// KIND_EVENT record; the result carries no meaning for the system.
int vorn_client_connect(void);

// Sends one Message record of `size` bytes (its length + 1).  Returns
// non-zero when the client library took it.  The record may be released
// as soon as the call returns.
int vorn_client_send_message(const uint8_t *record, size_t size);
}
