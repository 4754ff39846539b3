// The shipped allocator in a long search: once warm, trials on a real
// mid-game position take no new pages and the resident set stays put; the
// memory a thread keeps for reuse goes back when the thread ends; and under
// AddressSanitizer it keeps nothing, so that a use after free is reported.
// Linked with the library's own allocator, not the test double.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <iterator>
#include <string>
#include <cstdio>
#include <thread>
#include <vector>

#include "brox.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

std::vector<uint8_t> read_classic(const std::string &name) {
    std::ifstream file(std::string(BROX_CLASSIC_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct Usage {
    long faults;
    long max_resident_kb;
};

Usage usage_now() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {usage.ru_minflt + usage.ru_majflt, usage.ru_maxrss};
}

class SteadyState : public ::testing::Test {
  protected:
    void SetUp() override {
        if (SANITIZED) GTEST_SKIP() << "the sanitizers' allocator hands out fresh memory on purpose";
        std::vector<uint8_t> map_message = read_classic("map.bin");
        std::vector<uint8_t> centres_message = read_classic("midgame-1-centres.bin");
        message_ = read_classic("midgame-1-position.bin");
        ASSERT_FALSE(map_message.empty() || centres_message.empty() || message_.empty());
        map_ = map_build(map_message.data());
        ASSERT_NE(map_, nullptr);
        centres_ = centre_table_retain(centre_table_build(map_, centres_message.data()));
    }
    void TearDown() override {
        if (centres_) centre_table_release(map_, centres_);
        if (map_) map_release(map_);
    }
    Position *build() {
        std::vector<uint8_t> copy = message_;
        return position_build(map_, centres_, copy.data());
    }
    // Adjudicates and frees `trials` times.
    static void run(Position *position, int trials) {
        for (int t = 0; t < trials; t++) brox_position_free(brox_adjudicate(position));
    }

    Map *map_ = nullptr;
    CentreTable *centres_ = nullptr;
    std::vector<uint8_t> message_;
};

TEST_F(SteadyState, TenThousandTrialsTakeNoNewPages) {
    Position *position = build();
    ASSERT_NE(position, nullptr);
    run(position, 1000);
    Usage before = usage_now();
    run(position, 10000);
    Usage after = usage_now();
    EXPECT_LE(after.faults - before.faults, 20);
    EXPECT_LE(after.max_resident_kb - before.max_resident_kb, 256);
    brox_position_free(position);
}

// Each thread keeps a few blocks for reuse; were they kept after the thread
// ended, fifty threads would leave tens of megabytes behind.
TEST_F(SteadyState, ThreadsThatEndGiveTheirBlocksBack) {
    Position *position = build();
    ASSERT_NE(position, nullptr);
    std::thread([position] { run(position, 100); }).join();
    Usage before = usage_now();
    for (int t = 0; t < 50; t++) std::thread([position] { run(position, 100); }).join();
    Usage after = usage_now();
    EXPECT_LE(after.max_resident_kb - before.max_resident_kb, 4096);
    brox_position_free(position);
}

// Reads a freed Position's year, as a bot that kept the pointer would.
__attribute__((noinline)) int year_of(const Position *position) {
    return *static_cast<const volatile uint16_t *>(&position->year);
}

// A Position's block is large enough to be kept for reuse; were it kept
// under AddressSanitizer, reading it after the free would go unreported.
TEST(SanitizedAllocator, ReadingAFreedPositionIsReported) {
    if (!SANITIZED) GTEST_SKIP() << "only AddressSanitizer makes reading freed memory fail for sure";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<uint8_t> map_message = read_classic("map.bin");
    std::vector<uint8_t> centres_message = read_classic("midgame-1-centres.bin");
    std::vector<uint8_t> message = read_classic("midgame-1-position.bin");
    ASSERT_FALSE(map_message.empty() || centres_message.empty() || message.empty());
    Map *map = map_build(map_message.data());
    ASSERT_NE(map, nullptr);
    CentreTable *centres = centre_table_retain(centre_table_build(map, centres_message.data()));
    Position *position = position_build(map, centres, message.data());
    ASSERT_NE(position, nullptr);
    EXPECT_DEATH(
        {
            Position *next = brox_adjudicate(position);
            brox_position_free(next);
            std::printf("year %d\n", year_of(next));
        },
        "heap-use-after-free");
    brox_position_free(position);
    centre_table_release(map, centres);
    map_release(map);
}

}  // namespace
