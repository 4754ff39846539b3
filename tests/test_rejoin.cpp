// The rejoin file on its own: its exact bytes, truncation on rewrite, and
// the files that must read as "no rejoin".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "session/rejoin.h"
#include "temp_dir.h"

namespace {

std::vector<uint8_t> file_bytes() {
    std::ifstream in("broxgame.log", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(RejoinFile, HoldsPowerThenPasscodeLowByteFirstAndIsRewrittenWhole) {
    TempDir dir;
    rejoin_file_write(0x0341, 0xBEEF);
    EXPECT_EQ(file_bytes(), (std::vector<uint8_t>{0x41, 0x03, 0xEF, 0xBE}));
    rejoin_file_write(0x0A0D, 0x0D0A);  // bytes a text mode could mangle
    EXPECT_EQ(file_bytes(), (std::vector<uint8_t>{0x0D, 0x0A, 0x0A, 0x0D}));
    uint16_t power = 0, passcode = 0;
    ASSERT_EQ(rejoin_file_read(&power, &passcode), 1);
    EXPECT_EQ(power, 0x0A0D);
    EXPECT_EQ(passcode, 0x0D0A);
}

TEST(RejoinFile, MissingOrShortFilesMeanAFreshJoin) {
    TempDir dir;
    uint16_t power = 7, passcode = 9;
    EXPECT_EQ(rejoin_file_read(&power, &passcode), 0);
    for (int size = 0; size < 4; size++) {
        std::ofstream("broxgame.log", std::ios::binary).write("\x01\x02\x03", size);
        EXPECT_EQ(rejoin_file_read(&power, &passcode), 0) << size << " bytes";
    }
    EXPECT_EQ(power, 7);  // nothing half-read is handed out
    EXPECT_EQ(passcode, 9);

    rejoin_file_delete();
    EXPECT_FALSE(std::filesystem::exists("broxgame.log"));
    rejoin_file_delete();  // nothing there: ignored
    EXPECT_FALSE(std::filesystem::exists("broxgame.log"));
}

}  // namespace
