// Connection side of the client library stand-in.
// This first version keeps no connection: connect succeeds and every record
// is accepted and dropped.  The TCP connection replaces it.
#include <cstddef>
#include <cstdint>

#define VORN_EXPORT __attribute__((visibility("default")))

extern "C" {

VORN_EXPORT int vorn_client_connect(void) { return 1; }

VORN_EXPORT int vorn_client_send_message(const uint8_t *record, size_t size) {
    return record != nullptr && size > 0;
}
}
