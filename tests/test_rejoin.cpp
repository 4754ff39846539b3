// The rejoin file on its own: what must read as "no rejoin" and is never
// read, written or waited on through the name (a link, a FIFO, a
// directory, a file of another size), and a write cut short by a crash
// (its bytes and the flows around it are tested with the session).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "board.h"
#include "brox.h"
#include "doubles.h"
#include "session/rejoin.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void put(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The file as rejoin_file_write(0x0141, 0xBEEF) leaves it.
const std::string WRITTEN("\x41\x01\xEF\xBE", 4);

// Whether the name now holds a rejoin file written by the library: a
// regular file (not a link) of the owner's only, with exactly those bytes,
// and no temporary file left beside it.
void expect_written_file() {
    struct stat named;
    ASSERT_EQ(lstat(REJOIN_FILE_NAME, &named), 0);
    EXPECT_TRUE(S_ISREG(named.st_mode));
    EXPECT_EQ(named.st_mode & 0777, 0600u);
    EXPECT_EQ(contents(REJOIN_FILE_NAME), WRITTEN);
    for (const fs::directory_entry &entry : fs::directory_iterator("."))
        EXPECT_EQ(entry.path().filename().string().rfind("broxgame.log.", 0), std::string::npos)
            << entry.path();
    uint16_t power = 0, passcode = 0;
    EXPECT_EQ(rejoin_file_read(&power, &passcode), 1);
    EXPECT_EQ(power, 0x0141);
    EXPECT_EQ(passcode, 0xBEEF);
}

// Runs `call` and returns what it printed on standard error.
std::string errors_of(const std::function<void()> &call) {
    testing::internal::CaptureStderr();
    call();
    return testing::internal::GetCapturedStderr();
}

// Runs `body` in a child process, its standard error into *errors, ended by
// an alarm if it blocks for 10 s.  Returns the wait status.
int run_in_child(const std::function<int()> &body, std::string *errors) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return -1;
    pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDERR_FILENO);
        close(pipe_ends[0]);
        alarm(10);
        _exit(body());
    }
    close(pipe_ends[1]);
    char buffer[512];
    ssize_t n;
    while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0) errors->append(buffer, static_cast<size_t>(n));
    close(pipe_ends[0]);
    int status = -1;
    waitpid(child, &status, 0);
    return status;
}

class RejoinFile : public ::testing::Test {
  protected:
    TempDir dir;
};

TEST_F(RejoinFile, MissingOrWrongSizedFilesMeanAFreshJoin) {
    uint16_t power = 7, passcode = 9;
    EXPECT_EQ(errors_of([&] { EXPECT_EQ(rejoin_file_read(&power, &passcode), 0); }), "");  // a first start
    for (const char *bytes : {"", "\x01", "\x01\x02\x03", "\x01\x02\x03\x04\x05"}) {
        put(REJOIN_FILE_NAME, bytes);
        std::string errors = errors_of([&] { EXPECT_EQ(rejoin_file_read(&power, &passcode), 0); });
        EXPECT_EQ(errors, "[Brox Library] broxgame.log holds " + std::to_string(std::strlen(bytes)) +
                              " bytes, not 4: not a rejoin file, ignored, so this bot joins afresh\n");
    }
    EXPECT_EQ(power, 7);  // nothing half-read is handed out
    EXPECT_EQ(passcode, 9);

    rejoin_file_delete();
    EXPECT_FALSE(fs::exists(REJOIN_FILE_NAME));
    rejoin_file_delete();  // nothing there: ignored
    EXPECT_FALSE(fs::exists(REJOIN_FILE_NAME));
}

// A link to a small or empty file, or even to a whole rejoin file: never
// read, and the write replaces the link, leaving its target as it was.
TEST_F(RejoinFile, ASymbolicLinkIsNeitherReadNorWrittenThrough) {
    for (const std::string &target : {std::string(), std::string("ab"), std::string("\x01\x02\x03\x04", 4)}) {
        SCOPED_TRACE(target.size());
        put("target", target);
        fs::remove(REJOIN_FILE_NAME);
        fs::create_symlink("target", REJOIN_FILE_NAME);
        uint16_t power = 7, passcode = 9;
        std::string errors = errors_of([&] { EXPECT_EQ(rejoin_file_read(&power, &passcode), 0); });
        EXPECT_EQ(errors, "[Brox Library] broxgame.log is a symbolic link, not a rejoin file: ignored, "
                          "so this bot joins afresh\n");
        EXPECT_EQ(power, 7);

        errors = errors_of([] { rejoin_file_write(0x0141, 0xBEEF); });
        EXPECT_EQ(errors, "[Brox Library] broxgame.log was a symbolic link: replaced by the rejoin file; "
                          "the link's target was not touched\n");
        EXPECT_EQ(contents("target"), target);
        expect_written_file();
    }
}

TEST_F(RejoinFile, ADanglingSymbolicLinkCreatesNothingAtItsTarget) {
    fs::create_directory("elsewhere");
    fs::create_symlink("elsewhere/ghost", REJOIN_FILE_NAME);
    uint16_t power = 7, passcode = 9;
    std::string errors = errors_of([&] { EXPECT_EQ(rejoin_file_read(&power, &passcode), 0); });
    EXPECT_NE(errors.find("broxgame.log is a symbolic link, not a rejoin file"), std::string::npos) << errors;

    errors = errors_of([] { rejoin_file_write(0x0141, 0xBEEF); });
    EXPECT_NE(errors.find("broxgame.log was a symbolic link: replaced"), std::string::npos) << errors;
    EXPECT_FALSE(fs::exists("elsewhere/ghost"));
    expect_written_file();
}

// A FIFO nobody writes to: the join goes on as a fresh join at once, and
// the assignment's write replaces the FIFO.  Run in a child process, so
// that a call that blocks ends in the alarm, not in a hung test.
TEST_F(RejoinFile, AFIFOIsNeverWaitedOn) {
    ASSERT_EQ(mkfifo(REJOIN_FILE_NAME, 0600), 0);
    std::string errors;
    int status = run_in_child(
        [] {
            fake_client::reset();
            Session session;
            brox_initialise(&session, nullptr);
            brox_game_join(&session, "bot", "v1");
            bool fresh = fake_client::sent().size() == 1 &&
                         board::record_type(fake_client::sent()[0]) == MSG_JOIN && !session.rejoining;
            return fresh ? 0 : 1;
        },
        &errors);
    ASSERT_TRUE(WIFEXITED(status)) << "the join blocked on the FIFO";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the join was not a fresh join";
    EXPECT_EQ(errors, "[Brox Library] broxgame.log is a FIFO, not a rejoin file: ignored, "
                      "so this bot joins afresh\n");

    errors.clear();
    status = run_in_child(
        [] {
            rejoin_file_write(0x0141, 0xBEEF);
            return 0;
        },
        &errors);
    ASSERT_TRUE(WIFEXITED(status)) << "the write blocked on the FIFO";
    EXPECT_EQ(errors, "[Brox Library] broxgame.log was a FIFO: replaced by the rejoin file\n");
    expect_written_file();
}

// A directory (here with a file in it) cannot be replaced: it is reported
// when read and when written, and left as it is, deletes included.
TEST_F(RejoinFile, ADirectoryIsReportedAndLeftAlone) {
    fs::create_directory(REJOIN_FILE_NAME);
    put(std::string(REJOIN_FILE_NAME) + "/kept", "kept");
    uint16_t power = 7, passcode = 9;
    std::string errors = errors_of([&] { EXPECT_EQ(rejoin_file_read(&power, &passcode), 0); });
    EXPECT_EQ(errors, "[Brox Library] broxgame.log is a directory, not a rejoin file: ignored, "
                      "so this bot joins afresh\n");

    errors = errors_of([] { rejoin_file_write(0x0141, 0xBEEF); });
    EXPECT_EQ(errors, "[Brox Library] broxgame.log is a directory: no rejoin file written, so this bot "
                      "cannot rejoin after a restart (remove the directory)\n");
    rejoin_file_delete();
    EXPECT_TRUE(fs::is_directory(REJOIN_FILE_NAME));
    EXPECT_EQ(contents(std::string(REJOIN_FILE_NAME) + "/kept"), "kept");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

// A socket, and a device where this user may make one (the null device's
// numbers): reported, never opened, and replaced by the write.
TEST_F(RejoinFile, SocketsAndDevicesAreReportedAndReplaced) {
    auto expect_reported_and_replaced = [](const std::string &kind) {
        SCOPED_TRACE(kind);
        uint16_t power = 7, passcode = 9;
        std::string errors = errors_of([&] { EXPECT_EQ(rejoin_file_read(&power, &passcode), 0); });
        EXPECT_EQ(errors, "[Brox Library] broxgame.log is " + kind +
                              ", not a rejoin file: ignored, so this bot joins afresh\n");
        errors = errors_of([] { rejoin_file_write(0x0141, 0xBEEF); });
        EXPECT_EQ(errors, "[Brox Library] broxgame.log was " + kind + ": replaced by the rejoin file\n");
        expect_written_file();
    };

    int unix_socket = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(unix_socket, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, REJOIN_FILE_NAME);
    ASSERT_EQ(bind(unix_socket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    expect_reported_and_replaced("a socket");
    close(unix_socket);

    fs::remove(REJOIN_FILE_NAME);
    if (mknod(REJOIN_FILE_NAME, S_IFCHR | 0600, makedev(1, 3)) != 0) {
        std::printf("no device made (%s): that half is left out\n", std::strerror(errno));
        return;
    }
    expect_reported_and_replaced("a device");
}

// The file size limit stops the write after 2 of its 4 bytes: with the
// limit's signal the process dies there (a crash in mid-write), without it
// the write fails.  Either way the name still holds the old file, whole.
TEST_F(RejoinFile, AWriteCutShortLeavesTheOldFileWhole) {
    rejoin_file_write(0x0341, 0x1234);
    const std::string old = contents(REJOIN_FILE_NAME);
    ASSERT_EQ(old, std::string("\x41\x03\x34\x12", 4));
    for (bool crash : {false, true}) {
        SCOPED_TRACE(crash ? "killed by the signal" : "write fails");
        std::string errors;
        int status = run_in_child(
            [crash] {
                rlimit no_core{0, 0};
                setrlimit(RLIMIT_CORE, &no_core);
                rlimit two_bytes{2, 2};
                setrlimit(RLIMIT_FSIZE, &two_bytes);
                if (!crash) signal(SIGXFSZ, SIG_IGN);
                rejoin_file_write(0x0141, 0xBEEF);
                return 0;
            },
            &errors);
        if (crash) {
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the write was not cut short";
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            // A failed write leaves nothing behind (a crash leaves its new
            // file, unnamed as the rejoin file).
            for (const fs::directory_entry &entry : fs::directory_iterator("."))
                EXPECT_EQ(entry.path().filename(), REJOIN_FILE_NAME);
        }
        EXPECT_EQ(contents(REJOIN_FILE_NAME), old);
        uint16_t power = 0, passcode = 0;
        EXPECT_EQ(rejoin_file_read(&power, &passcode), 1);
        EXPECT_EQ(power, 0x0341);
        EXPECT_EQ(passcode, 0x1234);
    }
    rejoin_file_write(0x0141, 0xBEEF);  // a later write goes through (the crash's leftover aside)
    EXPECT_EQ(contents(REJOIN_FILE_NAME), WRITTEN);
}

}  // namespace
