// The example bots as processes: the bot of docs/writing-a-bot.md played,
// seven of them against the brox-server command over loopback for two
// years, one stopped after the first phase and started again from its
// folder; and both bots' command lines refusing what they cannot use.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "game_run.h"

namespace {

namespace fs = std::filesystem;

// Even bots search 6 steps a phase; odd ones up to 1000 steps, bounded by
// a budget of 30 ms.
std::unique_ptr<ChildProcess> start_bot(const Workspace &space, const std::string &port, int bot,
                                        const std::string &log) {
    std::string folder = space / ("bot" + std::to_string(bot));
    fs::create_directories(folder);
    std::vector<std::string> argv = {BROX_GUIDE_BOT_PATH, "-i", "127.0.0.1", "-p", port, "--steps", "6"};
    if (bot % 2) argv.insert(argv.end(), {"--steps", "1000", "--budget", "30"});
    return std::make_unique<ChildProcess>(argv, folder, folder + "/" + log);
}

// The bot's first line after joining: "guide_bot: power N".
std::string power_line(const std::string &log) {
    std::string text = read_text(log);
    size_t at = text.find("guide_bot: power ");
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

TEST(ExampleBots, SevenGuideBotsPlayTwoYearsAndOneRejoinsAfterARestart) {
    Workspace space;
    Server server(space, {"--years", "2", "--deadline", "60"});
    ASSERT_NE(server.port, 0) << read_text(server.log);
    std::string port = std::to_string(server.port);
    std::vector<std::unique_ptr<ChildProcess>> bots;
    for (int b = 0; b < BOT_COUNT; b++) bots.push_back(start_bot(space, port, b, "bot.log"));

    // Bot 3 is stopped and started again while the others are paused: a
    // power whose bot has gone is not waited for, and they would otherwise
    // play on to the end first.
    ASSERT_TRUE(wait_for_text(server.log, "1901 spring", GAME_MS)) << read_text(server.log);
    std::string joined = power_line(space / "bot3/bot.log");
    ASSERT_FALSE(joined.empty());
    int restarted_power = std::atoi(joined.c_str() + std::string("guide_bot: power ").size());
    for (int b = 0; b < BOT_COUNT; b++)
        if (b != 3) bots[static_cast<size_t>(b)]->send_signal(SIGSTOP);
    bots[3]->send_signal(SIGTERM);
    EXPECT_EQ(bots[3]->wait(EXIT_MS), 0);
    EXPECT_NE(read_text(space / "bot3/bot.log").find("guide_bot: stopped"), std::string::npos);
    bots[3] = start_bot(space, port, 3, "again.log");
    EXPECT_TRUE(wait_for_text(server.log, "): rejoined", GAME_MS)) << read_text(server.log);
    for (int b = 0; b < BOT_COUNT; b++)
        if (b != 3) bots[static_cast<size_t>(b)]->send_signal(SIGCONT);

    EXPECT_EQ(server.process->wait(GAME_MS), 0) << read_text(server.log);
    for (int b = 0; b < BOT_COUNT; b++) {
        std::string log = space / ("bot" + std::to_string(b) + (b == 3 ? "/again.log" : "/bot.log"));
        EXPECT_EQ(bots[static_cast<size_t>(b)]->wait(EXIT_MS), 0) << read_text(log);
        EXPECT_NE(read_text(log).find("guide_bot: game over"), std::string::npos) << read_text(log);
    }
    EXPECT_EQ(power_line(space / "bot3/again.log"), joined + " (rejoined)");

    // Every phase: orders from every power that owed some, none refused
    // (the restarted one's defaults stood in while it was gone); and the
    // bots built in some winter.
    std::vector<JsonValue> record = game_record(space);
    ASSERT_FALSE(record.empty());
    EXPECT_TRUE(record.back()["final"].boolean);
    EXPECT_EQ(record.back()["year"].integer(), 1903);
    int phases = 0, builds = 0;
    bool restarted_last_received = false;  // in its last phase with orders due
    for (size_t i = 0; i + 1 < record.size(); i++) {
        const JsonValue &phase = record[i];
        phases++;
        std::string when = std::to_string(phase["year"].integer()) + " " + phase["season"].text;
        for (const JsonValue &power : phase["powers"].items) {
            if (power["orders_due"].boolean && power["power"].integer() == restarted_power)
                restarted_last_received = power["orders_received"].boolean;
            if (power["orders_due"].boolean && power["power"].integer() != restarted_power) {
                EXPECT_TRUE(power["orders_received"].boolean) << when << ", power " << power["power"].integer();
            }
            // The restarted bot may send the orders of a phase that was
            // settled without it while it came back: those are refused.
            if (power["power"].integer() != restarted_power) {
                EXPECT_EQ(power["refused"].integer(), 0) << when;
            }
            builds += power["builds"].integer();
        }
    }
    EXPECT_TRUE(restarted_last_received);
    EXPECT_GE(phases, 5);
    EXPECT_GT(builds, 0);
}

// The guide quotes its bot: every C block of docs/writing-a-bot.md stands,
// character for character, in examples/guide_bot/guide_bot.c.
TEST(ExampleBots, TheGuideQuotesItsBotVerbatim) {
    std::string guide = read_text(BROX_GUIDE_PATH);
    std::string source = read_text(BROX_GUIDE_SOURCE_PATH);
    ASSERT_FALSE(guide.empty());
    ASSERT_FALSE(source.empty());
    const std::string open = "\n```c\n", close = "\n```\n";
    int blocks = 0;
    for (size_t at = guide.find(open); at != std::string::npos; at = guide.find(open, at)) {
        size_t start = at + open.size();
        size_t end = guide.find(close, start - 1);
        ASSERT_NE(end, std::string::npos) << "a C block without its end";
        std::string block = guide.substr(start, end - start);
        EXPECT_NE(source.find(block), std::string::npos) << "not in guide_bot.c:\n" << block;
        blocks++;
        at = end + close.size() - 1;
    }
    EXPECT_GE(blocks, 12);
}

// Each complaint names what is wrong; --help is not a complaint.
TEST(ExampleBots, CommandLinesSayWhatIsWrong) {
    Workspace space;
    struct Case {
        const char *program;
        std::vector<std::string> arguments;
        const char *says;
        int status;
    };
    const char *guide = BROX_GUIDE_BOT_PATH;
    const char *bot = BROX_BOT_PATH;
    const Case cases[] = {
        {guide, {"--help"}, "Usage: guide_bot", 0},
        {guide, {"--steps", "many"}, "guide_bot: --steps: \"many\" is not a number", 2},
        {guide, {"--steps", "1001"}, "guide_bot: --steps must be 0 to 1000", 2},
        {guide, {"-p", "70000"}, "guide_bot: -p must be 1 to 65535", 2},
        {guide, {"-p", "http"}, "guide_bot: -p: \"http\" is not a number", 2},
        {guide, {"-i", "local"}, "guide_bot: -i: \"local\" is not a numeric IPv4 or IPv6 address", 2},
        {guide, {"--steps"}, "guide_bot: --steps needs a value (see --help)", 2},
        {guide, {"--budget", "0"}, "guide_bot: --budget must be 1 to 60000", 2},
        {guide, {"--budget", "soon"}, "guide_bot: --budget: \"soon\" is not a number", 2},
        {guide, {"--fast"}, "guide_bot: unknown option --fast (see --help)", 2},
        {guide, {"--fast", "1"}, "guide_bot: unknown option --fast (see --help)", 2},
        {bot, {"--help"}, "Usage: brox_bot", 0},
        {bot, {"--steps", "-1"}, "brox_bot: --steps must be 0 to 100000", 2},
        {bot, {"--steps", "3x"}, "brox_bot: --steps: \"3x\" is not a number", 2},
        {bot, {"-p", "0"}, "brox_bot: -p must be 1 to 65535", 2},
        {bot, {"-n", ""}, "brox_bot: -n: \"\" is not a usable host name", 2},
        {bot, {"--name", std::string(65, 'x')}, "brox_bot: --name must be at most 64 characters", 2},
        {bot, {"--verbose", "-p"}, "brox_bot: -p needs a value (see --help)", 2},
        {bot, {"--quiet"}, "brox_bot: unknown option --quiet (see --help)", 2},
    };
    int n = 0;
    for (const Case &c : cases) {
        std::vector<std::string> argv = {c.program};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        std::string log = space / ("run" + std::to_string(n++) + ".log");
        ChildProcess run(argv, space.str(), log);
        EXPECT_EQ(run.wait(EXIT_MS), c.status) << c.says;
        EXPECT_NE(read_text(log).find(c.says), std::string::npos) << read_text(log);
    }
}

}  // namespace
