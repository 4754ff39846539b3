// Writing, reading and deleting the rejoin file.  The name is never
// followed and never waited on: reading first looks at what stands there,
// opens it without following a link or waiting for a FIFO's writer, and
// checks again what it opened; writing fills a new file and renames it over
// the name.  Values are stored low byte first whatever the machine's byte
// order.
#include "session/rejoin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"

namespace {

constexpr size_t REJOIN_FILE_SIZE = 4;
constexpr size_t POWER_AT = 0;
constexpr size_t PASSCODE_AT = 2;

// One line on standard error, formatted whole before it is printed.
__attribute__((format(printf, 1, 2))) void report(const char *format, ...) {
    char text[300];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "[Brox Library] %s\n", text);
}

// What stands at the name, as the reports say it.
const char *kind_of(mode_t mode) {
    if (S_ISLNK(mode)) return "a symbolic link";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "an unknown kind of file";
}

void report_not_read(const char *what) {
    report("%s is %s, not a rejoin file: ignored, so this bot joins afresh", REJOIN_FILE_NAME, what);
}

void report_unreadable(int error) {
    report("%s cannot be read (%s): this bot joins afresh", REJOIN_FILE_NAME, std::strerror(error));
}

// Reads up to `size` bytes; returns how many, or -1 on an error.
ssize_t read_up_to(int descriptor, uint8_t *bytes, size_t size) {
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(descriptor, bytes + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

bool write_whole(int descriptor, const uint8_t *bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(descriptor, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// The 4 bytes of an open file, or a report and false when it is not a
// regular file of 4 bytes.  One byte more is asked for, so that a file that
// grew since it was looked at is not taken for a rejoin file.
bool read_opened(int descriptor, uint8_t (&bytes)[REJOIN_FILE_SIZE]) {
    struct stat opened;
    if (fstat(descriptor, &opened) != 0) {
        report_unreadable(errno);
        return false;
    }
    if (!S_ISREG(opened.st_mode)) {
        report_not_read(kind_of(opened.st_mode));
        return false;
    }
    if (opened.st_size != static_cast<off_t>(REJOIN_FILE_SIZE)) {
        report("%s holds %lld bytes, not %zu: not a rejoin file, ignored, so this bot joins afresh",
               REJOIN_FILE_NAME, static_cast<long long>(opened.st_size), REJOIN_FILE_SIZE);
        return false;
    }
    uint8_t buffer[REJOIN_FILE_SIZE + 1];
    ssize_t got = read_up_to(descriptor, buffer, sizeof buffer);
    if (got < 0) {
        report_unreadable(errno);
        return false;
    }
    if (got != static_cast<ssize_t>(REJOIN_FILE_SIZE)) {
        report("%s changed while it was read: ignored, so this bot joins afresh", REJOIN_FILE_NAME);
        return false;
    }
    std::memcpy(bytes, buffer, REJOIN_FILE_SIZE);
    return true;
}

}  // namespace

void rejoin_file_write(uint16_t power, uint16_t passcode) {
    struct stat named;
    bool present = lstat(REJOIN_FILE_NAME, &named) == 0;
    if (present && S_ISDIR(named.st_mode)) {
        report("%s is a directory: no rejoin file written, so this bot cannot rejoin after a restart "
               "(remove the directory)",
               REJOIN_FILE_NAME);
        return;
    }
    // A new file of the owner's only, created where the name is (a rename
    // does not cross file systems); never an existing one.
    char temporary[64];
    std::snprintf(temporary, sizeof temporary, "%s.XXXXXX", REJOIN_FILE_NAME);
    int descriptor = mkostemp(temporary, O_CLOEXEC);
    if (descriptor < 0) return;
    uint8_t bytes[REJOIN_FILE_SIZE];
    put_u16(bytes, POWER_AT, power);
    put_u16(bytes, PASSCODE_AT, passcode);
    // Synced before the rename, so that after a system crash the name holds
    // the old file or the whole new one.  Fuzzing builds skip the sync,
    // which would cost most of their runs.
    bool written = write_whole(descriptor, bytes, sizeof bytes);
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    written = written && fsync(descriptor) == 0;
#endif
    written = close(descriptor) == 0 && written;
    if (!written) {
        unlink(temporary);
        return;
    }
    // The rename replaces a link, not its target.
    if (rename(temporary, REJOIN_FILE_NAME) != 0) {
        int error = errno;
        unlink(temporary);
        report("%s cannot be replaced (%s): no rejoin file written, so this bot cannot rejoin after a restart",
               REJOIN_FILE_NAME, std::strerror(error));
        return;
    }
    if (present && S_ISLNK(named.st_mode))
        report("%s was a symbolic link: replaced by the rejoin file; the link's target was not touched",
               REJOIN_FILE_NAME);
    else if (present && !S_ISREG(named.st_mode))
        report("%s was %s: replaced by the rejoin file", REJOIN_FILE_NAME, kind_of(named.st_mode));
}

int rejoin_file_read(uint16_t *power, uint16_t *passcode) {
    // A look at what stands there first, so that nothing but a regular file
    // is ever opened (opening a device may do something).
    struct stat named;
    if (lstat(REJOIN_FILE_NAME, &named) != 0) {
        if (errno != ENOENT) report_unreadable(errno);
        return 0;  // no file: a first start
    }
    if (!S_ISREG(named.st_mode)) {
        report_not_read(kind_of(named.st_mode));
        return 0;
    }
    // Something else may have been put there since: the open follows no
    // link and does not wait for a FIFO's writer, and read_opened checks
    // what was opened.
    int descriptor = open(REJOIN_FILE_NAME, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ELOOP)
            report_not_read("a symbolic link");
        else if (errno != ENOENT)
            report_unreadable(errno);
        return 0;
    }
    uint8_t bytes[REJOIN_FILE_SIZE];
    bool whole = read_opened(descriptor, bytes);
    close(descriptor);
    if (!whole) return 0;
    *power = get_u16(bytes, POWER_AT);
    *passcode = get_u16(bytes, PASSCODE_AT);
    return 1;
}

void rejoin_file_delete() { unlink(REJOIN_FILE_NAME); }
