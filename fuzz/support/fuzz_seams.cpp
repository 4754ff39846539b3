// Link seams for the fuzz targets: a client library that accepts every
// record and keeps none, and a notice that shows nothing, so a target never
// blocks or writes to a terminal.
#include <cstddef>
#include <cstdint>

#include "client/client.h"
#include "client/notice.h"

extern "C" int vorn_client_connect(void) { return 1; }

extern "C" int vorn_client_send_message(const uint8_t *record, size_t size) {
    return record != nullptr && size > 0;
}

void notice_show(const char *) {}
