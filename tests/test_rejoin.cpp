// The rejoin file on its own: the files that must read as "no rejoin"
// (its bytes and the flows around it are tested with the session).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "session/rejoin.h"
#include "temp_dir.h"

namespace {

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
