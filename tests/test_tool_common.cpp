// What every tool shares: option values read alike (numbers cut short,
// out of range, too large for any integer, not a number at all) with the
// complaint a user sees, and child processes started in their folder with
// their output logged and their environment, described when they end, and
// stopped with what they started.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "temp_dir.h"
#include "tools/common/child_process.h"
#include "tools/common/option_value.h"

namespace {

TEST(OptionValue, IntegersAndSecondsAreWholeTextsWithinTheirRange) {
    long long number = -7;
    EXPECT_EQ(integer_parse("12", 0, 20, &number), ValueParse::OK);
    EXPECT_EQ(number, 12);
    for (const char *text : {"", "1x", "x", "1.5", "0x10"}) {
        EXPECT_EQ(integer_parse(text, 0, 20, &number), ValueParse::NOT_A_NUMBER) << text;
    }
    for (const char *text : {"21", "-1", "99999999999999999999", "-99999999999999999999"})
        EXPECT_EQ(integer_parse(text, 0, 20, &number), ValueParse::OUT_OF_RANGE) << text;
    EXPECT_EQ(number, 12);  // untouched by the failures

    double seconds = -1;
    EXPECT_EQ(seconds_parse("0.5", 0, 10, &seconds), ValueParse::OK);
    EXPECT_EQ(seconds, 0.5);
    EXPECT_EQ(seconds_parse("0", 0, 10, &seconds), ValueParse::OUT_OF_RANGE);  // above 0 when lo is 0
    EXPECT_EQ(seconds_parse("0.1", 0.1, 10, &seconds), ValueParse::OK);       // lo itself otherwise
    EXPECT_EQ(seconds_parse("0.05", 0.1, 10, &seconds), ValueParse::OUT_OF_RANGE);
    EXPECT_EQ(seconds_parse("inf", 0, 10, &seconds), ValueParse::OUT_OF_RANGE);
    EXPECT_EQ(seconds_parse("1e999", 0, 10, &seconds), ValueParse::OUT_OF_RANGE);
    EXPECT_EQ(seconds_parse("nan", 0, 10, &seconds), ValueParse::NOT_A_NUMBER);
    EXPECT_EQ(seconds_parse("soon", 0, 10, &seconds), ValueParse::NOT_A_NUMBER);
    EXPECT_EQ(seconds, 0.1);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(integer_option("brox-x", "--years", "many", 1, 9, &number));
    EXPECT_FALSE(integer_option("brox-x", "--years", "10", 1, 9, &number));
    EXPECT_FALSE(seconds_option("brox-x", "--deadline", "0", 0, 60, &seconds));
    EXPECT_FALSE(seconds_option("brox-x", "--wait", "99", 0.5, 60, &seconds));
    EXPECT_TRUE(integer_option("brox-x", "--years", "9", 1, 9, &number));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "brox-x: --years: \"many\" is not a number\n"
              "brox-x: --years must be 1 to 9\n"
              "brox-x: --deadline must be more than 0 and at most 60 seconds\n"
              "brox-x: --wait must be 0.5 to 60 seconds\n");
}

std::string text_of(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ChildProcess, RunsInItsFolderWithItsEnvironmentAndSaysHowItEnded) {
    TempDir dir;
    Workspace space;
    ChildSetup setup;
    setup.directory = space.str();
    setup.log_path = space / "log.txt";
    setup.environment = {"BROX_CHILD_TEST=seven", "HOME=/elsewhere"};
    Child child;
    std::string error;
    ASSERT_TRUE(child_start(&child, {"/bin/sh", "-c", "pwd; echo $BROX_CHILD_TEST $HOME; echo oops >&2; exit 3"},
                            setup, &error))
        << error;
    ASSERT_TRUE(child_wait(&child, 10000));
    EXPECT_FALSE(child_succeeded(child));
    EXPECT_EQ(child_status(child), 3);
    EXPECT_EQ(exit_description(child), "exit status 3");
    EXPECT_EQ(text_of(space / "log.txt"), space.str() + "\nseven /elsewhere\noops\n");

    // A program that cannot run, a folder that cannot be entered.
    ASSERT_TRUE(child_start(&child, {"/no/such/program"}, setup, &error));
    ASSERT_TRUE(child_wait(&child, 10000));
    EXPECT_EQ(exit_description(child), "exit status 127 (command not found)");
    EXPECT_NE(text_of(space / "log.txt").find("cannot run /no/such/program: No such file"), std::string::npos);
    setup.directory = space / "missing";
    ASSERT_TRUE(child_start(&child, {"/bin/true"}, setup, &error));
    ASSERT_TRUE(child_wait(&child, 10000));
    EXPECT_EQ(child_status(child), 126);
    // A log that cannot be written: nothing is started.
    setup.log_path = space / "missing/log.txt";
    EXPECT_FALSE(child_start(&child, {"/bin/true"}, setup, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

bool process_gone(pid_t pid) {
    for (int i = 0; i < 200; i++) {
        if (kill(pid, 0) != 0 && errno == ESRCH) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(ChildProcess, StoppingAGroupLeaderStopsWhatItStartedAndASignalIsNamed) {
    Workspace space;
    ChildSetup setup;
    setup.log_path = space / "log.txt";
    setup.own_group = true;
    Child leader;
    std::string error;
    // A shell that ignores the polite signal and leaves a child of its own.
    std::string script = "trap '' TERM; sleep 600 & echo $! > " + space / "pid" + "; wait";
    ASSERT_TRUE(child_start(&leader, {"/bin/sh", "-c", script}, setup, &error)) << error;
    for (int i = 0; i < 500 && text_of(space / "pid").empty(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    pid_t sleeper = std::atoi(text_of(space / "pid").c_str());
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(child_running(&leader));
    children_stop({&leader}, 300);
    EXPECT_TRUE(leader.reaped);
    EXPECT_EQ(exit_description(leader), "killed by signal 9 (Killed)");
    EXPECT_TRUE(process_gone(sleeper));
}

}  // namespace
