// Writing, reading and deleting the rejoin file.  Each value goes through
// one stream write or read of one 2-byte item, stored low byte first
// whatever the machine's byte order.
#include "session/rejoin.h"

#include <cstdio>

#include "common/bytes.h"

namespace {

bool write_word(std::FILE *file, uint16_t value) {
    uint8_t bytes[2];
    put_u16(bytes, 0, value);
    return std::fwrite(bytes, sizeof bytes, 1, file) == 1;
}

bool read_word(std::FILE *file, uint16_t *value) {
    uint8_t bytes[2];
    if (std::fread(bytes, sizeof bytes, 1, file) != 1) return false;
    *value = get_u16(bytes, 0);
    return true;
}

}  // namespace

void rejoin_file_write(uint16_t power, uint16_t passcode) {
    std::FILE *file = std::fopen(REJOIN_FILE_NAME, "w");
    if (!file) return;
    if (write_word(file, power)) write_word(file, passcode);
    std::fclose(file);
}

int rejoin_file_read(uint16_t *power, uint16_t *passcode) {
    std::FILE *file = std::fopen(REJOIN_FILE_NAME, "r");
    if (!file) return 0;
    uint16_t read_power = 0;
    uint16_t read_passcode = 0;
    bool whole = read_word(file, &read_power) && read_word(file, &read_passcode);
    std::fclose(file);
    if (!whole) return 0;
    *power = read_power;
    *passcode = read_passcode;
    return 1;
}

void rejoin_file_delete() { std::remove(REJOIN_FILE_NAME); }
