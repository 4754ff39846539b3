// The behaviour signature: ten years from each stored board, played with
// orders drawn by a fixed sequence, hash to the values below.  A change
// that only makes the library faster must leave every one of them as it
// is; a change meant to alter behaviour updates them and says why.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "signature.h"

namespace {

TEST(Signature, TenYearsFromEveryStoredBoardPlayAsBefore) {
    std::vector<std::pair<std::string, uint64_t>> parts;
    uint64_t signature = behaviour_signature(BROX_SIGNATURE_DIR, &parts);
    const std::vector<std::pair<std::string, uint64_t>> expected = {
        {"default", 0x47d8ad9e62ede5e4ull},
        {"convoys-14", 0xabb5c504661beedfull},
        // Its winters owe more builds than 100 units leave room for: the
        // slots that fit are dealt to the powers in turn (they used to go
        // to the lowest power indices first).
        {"large-20", 0x4d631bd67140f821ull},
    };
    EXPECT_EQ(parts, expected);
    EXPECT_EQ(signature, 0x3098f720943cc855ull);
}

}  // namespace
