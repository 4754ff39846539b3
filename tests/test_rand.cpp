// brox_rand: the fixed sequences bots rely on, per-thread state, and
// arguments outside the documented range.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "brox.h"

namespace {

// Each case runs on a fresh thread, whose generator starts at 1.
template <typename F>
std::vector<int> on_fresh_thread(F draws) {
    std::vector<int> out;
    std::thread([&] { out = draws(); }).join();
    return out;
}

std::vector<int> draw(int count, uint16_t lo, uint16_t hi) {
    std::vector<int> out;
    for (int i = 0; i < count; i++) out.push_back(brox_rand(lo, hi));
    return out;
}

TEST(Rand, FreshThreadsGiveTheFixedSequences) {
    EXPECT_EQ(on_fresh_thread([] { return draw(5, 0, 99); }), (std::vector<int>{41, 67, 34, 0, 69}));
    EXPECT_EQ(on_fresh_thread([] { return draw(5, 10, 12); }), (std::vector<int>{12, 12, 11, 11, 12}));
    EXPECT_EQ(on_fresh_thread([] { return draw(4, 0, 32700); }), (std::vector<int>{41, 53, 28, 58}));
}

TEST(Rand, ASingleValueRangeConsumesOneDraw) {
    auto draws = on_fresh_thread([] {
        std::vector<int> out = {brox_rand(5, 5)};
        out.push_back(brox_rand(0, 99));  // the second draw, 18467
        return out;
    });
    EXPECT_EQ(draws, (std::vector<int>{5, 67}));
}

TEST(Rand, TheFullSpanAlwaysGivesZero) {
    EXPECT_EQ(on_fresh_thread([] { return draw(3, 0, 32767); }), (std::vector<int>{0, 0, 0}));
}

TEST(Rand, ThreadsDrawIndependently) {
    std::vector<int> first, second;
    std::thread a([&] {
        first = draw(3, 0, 99);
        std::this_thread::yield();
        auto more = draw(2, 0, 99);
        first.insert(first.end(), more.begin(), more.end());
    });
    std::thread b([&] { second = draw(5, 0, 99); });
    a.join();
    b.join();
    EXPECT_EQ(first, (std::vector<int>{41, 67, 34, 0, 69}));
    EXPECT_EQ(second, (std::vector<int>{41, 67, 34, 0, 69}));
}

TEST(Rand, ArgumentsOutsideTheLimitsStillGiveAValueInRange) {
    auto swapped = on_fresh_thread([] { return draw(50, 20, 10); });
    auto straight = on_fresh_thread([] { return draw(50, 10, 20); });
    EXPECT_EQ(swapped, straight);
    auto wide = on_fresh_thread([] { return draw(200, 100, 65000); });
    for (int value : wide) {
        EXPECT_GE(value, 100);
        EXPECT_LE(value, 65000);
    }
    EXPECT_GT(*std::max_element(wide.begin(), wide.end()), 40000);
    EXPECT_EQ(on_fresh_thread([] { return draw(1, 0, 65535); }).size(), 1u);
}

}  // namespace
