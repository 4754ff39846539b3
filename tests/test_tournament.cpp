// Tournaments between example bots through the brox-tournament command: the
// table's counts checked against the game records, games that fail (a bot
// that does not start, crashes or never joins, a map the server refuses)
// reported while the others are kept, a job stopped as Slurm stops it
// blaming no bot, the Slurm batch script picking and
// playing a game of the job list, merging records with a solo win and lines
// of other kinds, and the intervals against textbook values.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process.h"
#include "temp_dir.h"
#include "tools/common/json_value.h"
#include "tools/tournament/stats.h"

namespace {

namespace fs = std::filesystem;

constexpr int TOURNAMENT_MS = 240000;  // a small tournament, sanitizer builds included
const std::string BOT = BROX_BOT_PATH;

// brox-tournament run in the current directory; its output in `log`.
int tournament(const std::vector<std::string> &options, const std::string &log) {
    std::vector<std::string> argv = {BROX_TOURNAMENT_PATH};
    argv.insert(argv.end(), options.begin(), options.end());
    ChildProcess process(argv, fs::current_path().string(), log);
    std::optional<int> status = process.wait(TOURNAMENT_MS);
    EXPECT_TRUE(status) << "brox-tournament did not finish:\n" << read_text(log);
    return status.value_or(-1);
}

// A shell command's exit status, its output in `log`.
int shell(const std::string &command, const std::string &log) {
    int status = std::system((command + " >" + log + " 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

// The fields of one CSV line; a quoted field may hold commas and doubled
// quotes.
std::vector<std::string> csv_fields(const std::string &line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); i++) {
        char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            i++;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// A CSV file as rows of fields keyed by the header.
std::vector<std::map<std::string, std::string>> csv_rows(const std::string &path) {
    std::vector<std::string> lines = lines_of(read_text(path));
    std::vector<std::map<std::string, std::string>> rows;
    if (lines.empty()) return rows;
    std::vector<std::string> header = csv_fields(lines[0]);
    for (size_t i = 1; i < lines.size(); i++) {
        std::vector<std::string> values = csv_fields(lines[i]);
        EXPECT_EQ(values.size(), header.size()) << path << ": " << lines[i];
        std::map<std::string, std::string> row;
        for (size_t c = 0; c < header.size() && c < values.size(); c++) row[header[c]] = values[c];
        rows.push_back(row);
    }
    return rows;
}

JsonValue json_file(const std::string &path) {
    JsonValue value;
    std::string error;
    EXPECT_TRUE(json_parse(read_text(path), &value, &error)) << path << ": " << error;
    return value;
}

// The record's final line.
JsonValue final_line(const std::string &game_folder) {
    for (const std::string &line : lines_of(read_text(game_folder + "/game.jsonl"))) {
        JsonValue value;
        if (json_parse(line, &value, nullptr) && value["final"].boolean) return value;
    }
    ADD_FAILURE() << "no final line in " << game_folder;
    return {};
}

std::string game_folder(const std::string &tournament_folder, int game) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d", game);
    return tournament_folder + "/games/" + name;
}

// What one bot did over the played games, counted from the records.
struct Tally {
    int games = 0, seats = 0, solo = 0, survived = 0, due = 0, missed = 0;
    double centres = 0;
};

// ---------------------------------------------------------------------------
// Two versions of a bot
// ---------------------------------------------------------------------------

TEST(Tournament, TwoSearchBudgetsOfTheExampleBotGetATableThatAddsUpFromTheRecords) {
    TempDir dir;
    const int games = 3;
    int status = tournament({"--bot", "small=" + BOT + " --steps 2", "--bot", "large=" + BOT + " --steps 6",
                             "--games", std::to_string(games), "--years", "1", "--seed", "7", "--provinces", "40",
                             "--powers", "4", "--homes", "2", "--jobs", "2", "--out", "t"},
                            "out.txt");
    std::string out = read_text("out.txt");
    ASSERT_EQ(status, 0) << out;
    for (int game = 1; game <= games; game++) {
        char progress[32];
        std::snprintf(progress, sizeof progress, "game %04d played", game);
        EXPECT_NE(out.find(progress), std::string::npos) << out;
    }
    EXPECT_NE(out.find("3 games on maps generated from seeds 7 to 8 (40 provinces, 4 powers, 2 home centres a power): "
                       "3 played, 0 failed"),
              std::string::npos)
        << out;
    // The first rotation is complete: the large bot against the small one.
    EXPECT_NE(out.find("Paired by rotation (1 complete rotation): mean centres per seat minus small's"),
              std::string::npos)
        << out;

    // Rotation and seeds, then the counts from every record's final line.
    std::map<std::string, Tally> tally;
    std::vector<std::map<std::string, std::string>> seats = csv_rows("t/seats.csv");
    size_t seat_row = 0;
    for (int game = 1; game <= games; game++) {
        std::string folder = game_folder("t", game);
        JsonValue result = json_file(folder + "/result.json");
        EXPECT_EQ(result["status"].text, "played");
        EXPECT_EQ(result["map"].text, "generated from seed " + std::to_string(7 + (game - 1) / 2));
        JsonValue last = final_line(folder);
        const auto &powers = last["powers"].items;
        ASSERT_EQ(powers.size(), 4u);
        ASSERT_EQ(result["bots"].items.size(), powers.size());
        // What each power had to order, from every phase line.
        for (const std::string &line : lines_of(read_text(folder + "/game.jsonl"))) {
            JsonValue phase;
            if (!json_parse(line, &phase, nullptr) || phase["final"].boolean || phase["map"].boolean) continue;
            for (const JsonValue &power : phase["powers"].items) {
                Tally &t = tally[result["bots"][static_cast<size_t>(power["power"].integer())].text];
                t.due += power["orders_due"].boolean;
                t.missed += power["orders_due"].boolean && !power["orders_received"].boolean;
            }
        }
        int total = static_cast<int>(last["unowned"].items.size());
        for (const JsonValue &power : powers) total += power["centres"].integer();
        std::map<std::string, bool> present;
        for (size_t p = 0; p < powers.size(); p++) {
            std::string bot = result["bots"][p].text;
            EXPECT_EQ(bot, (p + static_cast<size_t>(game) - 1) % 2 == 0 ? "small" : "large") << "game " << game;
            EXPECT_TRUE(fs::exists(folder + "/bots/p0" + std::to_string(p) + "-" + bot + "/bot.log"));
            int centres = powers[p]["centres"].integer(), units = powers[p]["units"].integer();
            Tally &t = tally[bot];
            t.seats++;
            t.solo += 2 * centres > total;
            t.survived += centres > 0 || units > 0;
            t.centres += centres;
            if (!present[bot]) t.games++;
            present[bot] = true;
            ASSERT_LT(seat_row, seats.size());
            EXPECT_EQ(seats[seat_row]["game"], std::to_string(game));
            EXPECT_EQ(seats[seat_row]["bot"], bot);
            EXPECT_EQ(seats[seat_row]["centres"], std::to_string(centres));
            seat_row++;
        }
    }
    EXPECT_EQ(seat_row, seats.size());

    std::vector<std::map<std::string, std::string>> summary = csv_rows("t/summary.csv");
    ASSERT_EQ(summary.size(), 2u);
    for (const auto &row : summary) {
        const Tally &t = tally[row.at("bot")];
        SCOPED_TRACE(row.at("bot"));
        EXPECT_EQ(std::stoi(row.at("games")), t.games);
        EXPECT_EQ(std::stoi(row.at("seats")), t.seats);
        EXPECT_EQ(std::stoi(row.at("solo_wins")), t.solo);
        EXPECT_EQ(std::stoi(row.at("survivals")), t.survived);
        EXPECT_NEAR(std::stod(row.at("mean_centres")), t.centres / t.seats, 1e-4);
        EXPECT_NEAR(std::stod(row.at("survival_rate")), static_cast<double>(t.survived) / t.seats, 1e-4);
        // Each interval holds its estimate.
        EXPECT_LE(std::stod(row.at("centres_low")), std::stod(row.at("mean_centres")));
        EXPECT_GE(std::stod(row.at("centres_high")), std::stod(row.at("mean_centres")));
        EXPECT_LE(std::stod(row.at("survival_low")), std::stod(row.at("survival_rate")));
        EXPECT_GE(std::stod(row.at("survival_high")), std::stod(row.at("survival_rate")));
        EXPECT_EQ(row.at("faults"), "0");
        EXPECT_EQ(std::stoi(row.at("orders_due")), t.due);
        EXPECT_GT(t.due, 0);
        EXPECT_EQ(std::stoi(row.at("missed")), t.missed);
        // The printed table shows the same numbers.
        char mean[16];
        std::snprintf(mean, sizeof mean, "%.2f", t.centres / t.seats);
        std::string table_row;
        for (const std::string &line : lines_of(out))
            if (line.rfind(row.at("bot") + " ", 0) == 0) table_row = line;
        EXPECT_NE(table_row.find(" " + std::to_string(t.seats) + " "), std::string::npos) << table_row;
        EXPECT_NE(table_row.find(mean), std::string::npos) << table_row;
    }
    EXPECT_EQ(read_text("t/table.txt"), out.substr(out.find("Tournament ")));
}

// The example bot chooses without chance: on one map, the games of the
// second rotation are those of the first again, and the table says so.
TEST(Tournament, DeterministicBotsOnOneMapRepeatTheirGamesAndTheTableLeavesTheRepeatsOut) {
    TempDir dir;
    int status = tournament({"--bot", "small=" + BOT + " --steps 2", "--bot", "large=" + BOT + " --steps 6",
                             "--games", "4", "--years", "1", "--standard-map", "--jobs", "2", "--out", "t"},
                            "out.txt");
    std::string out = read_text("out.txt");
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("4 games on the built-in standard map: 4 played, 0 failed (2 of them repeats)"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("game 0003 repeats game 0001, game 0004 repeats game 0002"), std::string::npos) << out;
    for (const auto &row : csv_rows("t/summary.csv")) EXPECT_EQ(row.at("games"), "2") << row.at("bot");
}

TEST(Tournament, MapSizesAreForGeneratedMapsAndSizesThatCannotBeMadeAreRefusedBeforeAnyPlan) {
    TempDir dir;
    struct Case {
        std::vector<std::string> options;
        const char *says;
    };
    const std::vector<Case> cases = {
        {{"--standard-map", "--powers", "4"}, "--provinces, --powers and --homes size generated maps; --standard-map"},
        {{"--provinces", "40", "--powers", "20"},
         "maps of 40 provinces, 20 powers and 3 home centres a power cannot be made: too many home centres"},
        {{"--homes", "6"}, "--homes must be 1 to 5"},
        {{"--server-arg", "--seed"}, "--server-arg --seed: give --seed to brox-tournament itself"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> options = {"--bot", "a=" + BOT, "--plan-only", "--out", "t"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        EXPECT_EQ(tournament(options, "refused.txt"), 2);
        EXPECT_NE(read_text("refused.txt").find(c.says), std::string::npos) << read_text("refused.txt");
        EXPECT_FALSE(fs::exists("t/jobs.txt"));
        fs::remove("refused.txt");
    }
}

// ---------------------------------------------------------------------------
// Games that fail
// ---------------------------------------------------------------------------

TEST(Tournament, BotsThatDoNotStartOrCrashFailTheirGamesAndTheOtherGamesCount) {
    TempDir dir;
    // Game 2: its program does not exist.  Game 3: killed once it has
    // joined.
    std::ofstream script("flaky.sh");
    script << "#!/bin/sh\n"
              "case $BROX_GAME in\n"
              "  2) exec ./no-such-bot \"$@\" ;;\n"
              "  3) " << BOT << " --steps 2 \"$@\" & bot=$!\n"
              "     until grep -q '^brox_bot: power' bot.log; do sleep 0.02; done\n"
              "     kill -KILL $bot; wait $bot; exit $? ;;\n"
              "esac\n"
              "exec " << BOT << " --steps 2 \"$@\"\n";
    script.close();
    fs::permissions("flaky.sh", fs::perms::owner_all);
    std::string flaky = (fs::current_path() / "flaky.sh").string();

    int status = tournament({"--bot", "steady=" + BOT + " --steps 2", "--bot", "flaky=" + flaky, "--games", "3",
                             "--years", "1", "--standard-map", "--jobs", "2", "--out", "t"},
                            "out.txt");
    std::string out = read_text("out.txt");
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("3 games on the built-in standard map: 1 played, 2 failed"), std::string::npos) << out;
    std::map<int, std::string> errors;
    for (const auto &row : csv_rows("t/games.csv")) errors[std::stoi(row.at("game"))] = row.at("error");
    EXPECT_EQ(errors[1], "");
    EXPECT_NE(errors[2].find("bot flaky (power 0) did not join: exit status 127"), std::string::npos) << errors[2];
    EXPECT_NE(errors[2].find("no-such-bot: not found"), std::string::npos) << errors[2];
    // Whichever of its powers 1, 3 and 5 is seen to go first.
    EXPECT_TRUE(std::regex_search(errors[3], std::regex("^bot flaky \\(power [135]\\) stopped .*before the game "
                                                        "ended: exit status 137 \\(signal 9, Killed\\)")))
        << errors[3];
    for (int game = 2; game <= 3; game++)
        EXPECT_NE(out.find("game 000" + std::to_string(game) + ": " + errors[game]), std::string::npos) << out;

    // Only game 1 counts: steady played powers 0, 2, 4 and 6 there.
    for (const auto &row : csv_rows("t/summary.csv")) {
        EXPECT_EQ(row.at("games"), "1");
        EXPECT_EQ(row.at("seats"), row.at("bot") == "steady" ? "4" : "3");
        EXPECT_EQ(row.at("faults"), row.at("bot") == "steady" ? "0" : "2");
    }
}

// Processes of this machine whose command line holds `word`.
int processes_with(const std::string &word) {
    int found = 0;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string command = read_text(entry.path().string() + "/cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        found += command.find(word) != std::string::npos;
    }
    return found;
}

TEST(Tournament, AGameThatRunsOutOfTimeOrCannotLoadItsMapFailsWithItsProcessesStopped) {
    TempDir dir;
    // A bot that never joins: the server waits for it until the game's
    // limit, and then the bot and the server are stopped.
    std::ofstream script("sleeper.sh");
    script << "#!/bin/sh\necho started > started.txt\nexec sleep 86398\n";
    script.close();
    fs::permissions("sleeper.sh", fs::perms::owner_all);
    int status = tournament({"--bot", "sleeper=" + (fs::current_path() / "sleeper.sh").string(), "--games", "1",
                             "--standard-map", "--game-limit", "3", "--out", "t"},
                            "out.txt");
    std::string out = read_text("out.txt");
    EXPECT_EQ(status, 1) << out;
    EXPECT_NE(out.find("game 0001: timed out: the game's limit of 3 s ran out while bot sleeper (power 0) was "
                       "joining"),
              std::string::npos)
        << out;
    EXPECT_TRUE(fs::exists(game_folder("t", 1) + "/bots/p00-sleeper/started.txt"));
    EXPECT_EQ(processes_with("sleep 86398"), 0);
    EXPECT_EQ(csv_rows("t/summary.csv").at(0).at("faults"), "1");

    // A map folder that cannot be played fails every game with the
    // server's own complaint.
    status = tournament({"--bot", "steady=" + BOT, "--games", "2", "--map", "no-such-map", "--out", "m"}, "map.txt");
    std::string map_out = read_text("map.txt");
    EXPECT_EQ(status, 1);
    EXPECT_NE(map_out.find("2 games on the map in " + (fs::current_path() / "no-such-map").string() +
                           ": 0 played, 2 failed"),
              std::string::npos)
        << map_out;
    EXPECT_NE(map_out.find("game 0002: the server ended (exit status "), std::string::npos) << map_out;
    EXPECT_NE(map_out.find("brox-server: "), std::string::npos) << map_out;
}

// A hostile bot looks for the other bots' folders and the seat secrets,
// leaves a process behind that ignores termination, in game 2 fills its
// folder and in game 3 leaves a FIFO for its log.  It sees only its own
// folder and its own secret, what it started ends with it, and games 2
// and 3 fail with it to blame.
TEST(Tournament, ABotSeesOnlyItsOwnFolderWhatItStartsEndsWithItAndItsDiskIsBounded) {
    TempDir dir;
    std::ofstream script("nosy.sh");
    script << "#!/bin/sh\n"
              "ls -a .. ../.. > seen.txt 2>&1\n"
              "cat ../../seat-secrets.txt >> seen.txt 2>&1\n"
              "echo \"secret $BROX_SEAT_SECRET\" >> seen.txt\n"
              "setsid sh -c 'trap \"\" TERM; exec sleep 86399' &\n"
              "if [ $BROX_GAME = 3 ]; then rm bot.log; mkfifo bot.log; exit 3; fi\n"
              "if [ $BROX_GAME = 2 ]; then\n"
              "  for n in 1 2 3 4 5; do head -c 62914560 /dev/zero > fill$n; done\n"
              "  sleep 5\n"
              "fi\n"
              "exec " << BOT << " --steps 2 \"$@\"\n";
    script.close();
    fs::permissions("nosy.sh", fs::perms::owner_all);
    int status = tournament({"--bot", "steady=" + BOT + " --steps 2", "--bot",
                             "nosy=" + (fs::current_path() / "nosy.sh").string(), "--games", "3", "--years", "1",
                             "--standard-map", "--jobs", "1", "--out", "t"},
                            "out.txt");
    std::string out = read_text("out.txt");
    EXPECT_EQ(status, 1) << out;
    EXPECT_EQ(processes_with("sleep 86399"), 0);

    JsonValue played = json_file(game_folder("t", 1) + "/result.json");
    EXPECT_EQ(played["status"].text, "played") << played["error"].text;
    std::string seen = read_text(game_folder("t", 1) + "/bots/p01-nosy/seen.txt");
    EXPECT_NE(seen.find("p01-nosy"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("p00-steady"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("p03-nosy"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("server.log"), std::string::npos) << seen;
    std::vector<std::string> secrets = lines_of(read_text(game_folder("t", 1) + "/seat-secrets.txt"));
    ASSERT_GE(secrets.size(), 7u);
    EXPECT_NE(seen.find("secret " + secrets[1] + "\n"), std::string::npos) << seen;  // its own, from its environment
    for (size_t p = 0; p < secrets.size(); p++)
        EXPECT_TRUE(p == 1 || seen.find(secrets[p]) == std::string::npos) << p;

    JsonValue filled = json_file(game_folder("t", 2) + "/result.json");
    EXPECT_EQ(filled["status"].text, "failed");
    EXPECT_EQ(filled["culprit"].text, "nosy");
    EXPECT_TRUE(std::regex_search(filled["error"].text, std::regex("^bot nosy \\(power 0\\) filled its folder "
                                                                    "bots/p00-nosy past 256 MB")))
        << filled["error"].text;

    // Game 3: a FIFO left where its log was is not waited on.
    JsonValue fifo = json_file(game_folder("t", 3) + "/result.json");
    EXPECT_EQ(fifo["culprit"].text, "nosy");
    EXPECT_EQ(fifo["error"].text.rfind("bot nosy (power 1) did not join: exit status 3; its log bots/p01-nosy/bot.log "
                                       "is empty", 0),
              0u)
        << fifo["error"].text;
}

// Where bubblewrap cannot make namespaces, no bot is started uncontained:
// every game fails saying so, with no bot to blame.
TEST(Tournament, AMachineThatCannotContainBotsFailsEveryGameSayingWhatToDo) {
    TempDir dir;
    fs::create_directories("bin");
    std::ofstream script("bin/bwrap");
    script << "#!/bin/sh\necho 'bwrap: No permissions to creating new namespace' >&2\nexit 1\n";
    script.close();
    fs::permissions("bin/bwrap", fs::perms::owner_all);
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", ((fs::current_path() / "bin").string() + ":" + path).c_str(), 1);
    int status = tournament({"--bot", "steady=" + BOT, "--games", "1", "--standard-map", "--out", "t"}, "out.txt");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(status, 1);
    JsonValue result = json_file(game_folder("t", 1) + "/result.json");
    EXPECT_EQ(result["status"].text, "failed");
    EXPECT_EQ(result["culprit"].text, "");
    EXPECT_EQ(result["error"].text.rfind("bots cannot be contained on this machine: ", 0), 0u) << result["error"].text;
    EXPECT_NE(result["error"].text.find("No permissions to creating new namespace"), std::string::npos);
    EXPECT_FALSE(fs::exists(game_folder("t", 1) + "/bots"));
}

// The process ids of `root` and of every process below it, parents before
// children, read from /proc as Slurm's process tracking reads them.
std::vector<pid_t> process_tree(pid_t root) {
    std::map<pid_t, std::vector<pid_t>> children;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string stat = read_text(entry.path().string() + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        children[parent].push_back(std::stoi(name));
    }
    std::vector<pid_t> tree = {root};
    for (size_t i = 0; i < tree.size(); i++)
        for (pid_t child : children[tree[i]]) tree.push_back(child);
    return tree;
}

// Slurm stops a task (scancel, or its time limit) by signalling every
// process of the task, the game's job and its server and bots alike.
// Whichever the job sees first, its own signal or its bots ending, the game
// is interrupted, and no bot is blamed for it.
TEST(Tournament, AJobWhoseWholeProcessTreeIsSignalledIsInterruptedWithNoBotToBlame) {
    TempDir dir;
    // Bots that think long, so that the games are still on when signalled.
    int status = tournament({"--bot", "slow=" + BOT + " --steps 100000", "--bot", "slower=" + BOT + " --steps 100000",
                             "--games", "2", "--years", "5", "--standard-map", "--plan-only", "--out", "t"},
                            "plan.txt");
    ASSERT_EQ(status, 0) << read_text("plan.txt");
    std::vector<std::string> lines = lines_of(read_text("t/jobs.txt"));
    ASSERT_EQ(lines.size(), 2u);
    std::vector<std::unique_ptr<ChildProcess>> jobs;
    for (int game = 1; game <= 2; game++) {
        jobs.push_back(std::make_unique<ChildProcess>(
            std::vector<std::string>{"/bin/sh", "-c", "exec " + lines[static_cast<size_t>(game - 1)]},
            fs::current_path().string(), "job" + std::to_string(game) + ".txt"));
        // Every power of the standard map has its bot.
        ASSERT_TRUE(wait_for_text(game_folder("t", game) + "/server.log", "power 6 (", 120000))
            << read_text(game_folder("t", game) + "/server.log");
    }
    // Game 1 as the processes come in /proc, the job first; game 2 the
    // other way round, the job a while after its bots and server.
    std::vector<pid_t> first = process_tree(jobs[0]->pid());
    std::vector<pid_t> second = process_tree(jobs[1]->pid());
    ASSERT_GE(first.size(), 9u);   // the job, the server and seven bots at least
    ASSERT_GE(second.size(), 9u);
    for (pid_t pid : first) kill(pid, SIGTERM);
    for (size_t i = second.size(); i-- > 1;) kill(second[i], SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(second[0], SIGTERM);

    for (int game = 1; game <= 2; game++) {
        SCOPED_TRACE("game " + std::to_string(game));
        EXPECT_EQ(jobs[static_cast<size_t>(game - 1)]->wait(TOURNAMENT_MS), 1);
        JsonValue result = json_file(game_folder("t", game) + "/result.json");
        EXPECT_EQ(result["status"].text, "failed");
        EXPECT_EQ(result["error"].text.rfind("the job was interrupted", 0), 0u) << result["error"].text;
        EXPECT_EQ(result["culprit"].text, "");
    }
    EXPECT_EQ(tournament({"merge", "t"}, "merge.txt"), 1);
    for (const auto &row : csv_rows("t/summary.csv")) EXPECT_EQ(row.at("faults"), "0") << row.at("bot");
}

// ---------------------------------------------------------------------------
// The job list on Slurm
// ---------------------------------------------------------------------------

TEST(Tournament, TheSlurmBatchScriptRunsTheGameOfItsArrayTask) {
    TempDir dir;
    const std::string script = BROX_SBATCH_PATH;
    EXPECT_EQ(shell("bash -n " + script, "syntax.txt"), 0) << read_text("syntax.txt");

    int status = tournament({"--bot", "a=" + BOT + " --steps 2", "--bot", "b=" + BOT + " --steps 4", "--games", "5",
                             "--years", "1", "--standard-map", "--plan-only", "--out", "t"},
                            "plan.txt");
    std::string plan = read_text("plan.txt");
    ASSERT_EQ(status, 0) << plan;
    std::string jobs = (fs::current_path() / "t/jobs.txt").string();
    EXPECT_NE(plan.find("sbatch --array=1-5 --time="), std::string::npos) << plan;
    EXPECT_NE(plan.find(jobs), std::string::npos) << plan;
    std::vector<std::string> lines = lines_of(read_text(jobs));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_FALSE(fs::exists("t/games/0001/result.json"));

    // A dry run names the line of the task, or the whole array.
    EXPECT_EQ(shell("SLURM_ARRAY_TASK_ID=3 " + script + " --dry-run " + jobs, "dry.txt"), 0);
    EXPECT_EQ(read_text("dry.txt"), "task 3 of 5 would run:\n" + lines[2] + "\n");
    // Without a task, the sbatch line that the plan printed, word for word,
    // from the script that the plan names.
    std::string plan_line = plan.substr(plan.find("  sbatch "));
    plan_line = plan_line.substr(0, plan_line.find('\n', plan_line.find('\n') + 1) + 1);
    EXPECT_NE(plan_line.find(" --time="), std::string::npos) << plan_line;
    EXPECT_NE(plan_line.find(" --output=" + (fs::current_path() / "t/slurm/%a.out").string()), std::string::npos)
        << plan_line;
    std::string planned_script = plan_line.substr(plan_line.find("\n    ") + 5);
    planned_script = planned_script.substr(0, planned_script.find(' '));
    std::string array = (fs::current_path() / "array.txt").string();
    EXPECT_EQ(shell("cd t && env -u SLURM_ARRAY_TASK_ID " + planned_script + " --dry-run jobs.txt", array), 0);
    EXPECT_EQ(read_text(array), "jobs.txt: 5 games; submit them with\n" + plan_line);
    EXPECT_EQ(shell("SLURM_ARRAY_TASK_ID=6 " + script + " --dry-run " + jobs, "range.txt"), 2);
    EXPECT_NE(read_text("range.txt").find("task 6 is not a game"), std::string::npos) << read_text("range.txt");
    EXPECT_EQ(shell("env -u SLURM_ARRAY_TASK_ID " + script + " " + jobs, "bare.txt"), 2);
    EXPECT_NE(read_text("bare.txt").find("SLURM_ARRAY_TASK_ID is unset"), std::string::npos);

    // As Slurm would run task 2; then the merge counts that game alone.
    EXPECT_EQ(shell("SLURM_ARRAY_TASK_ID=2 " + script + " " + jobs, "task.txt"), 0) << read_text("task.txt");
    EXPECT_NE(read_text("task.txt").find("game 0002 played"), std::string::npos) << read_text("task.txt");
    status = tournament({"merge", "t"}, "merge.txt");
    std::string table = read_text("merge.txt");
    EXPECT_EQ(status, 1);
    EXPECT_NE(table.find("5 games on the built-in standard map: 1 played, 0 failed, 4 without a result"),
              std::string::npos)
        << table;
    EXPECT_EQ(json_file("t/games/0002/result.json")["bots"][size_t{0}].text, "b");
}

// ---------------------------------------------------------------------------
// Merging records written elsewhere
// ---------------------------------------------------------------------------

void write_text(const std::string &path, const std::string &text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

TEST(Tournament, MergeCountsASoloWinAnEliminationAndSkipsRecordLinesItDoesNotKnow) {
    TempDir dir;
    write_text("t/tournament.json", R"({"bots":[{"name":"a","command":"x"},{"name":"b","command":"y"}],)"
                                    R"("games":3,"years":5,"deadline":20,"game_limit":560,"maps":"hand-made maps"})");
    // Game 1: power 0 (a) owns 18 of 34 centres, power 2 (a) is gone.  A
    // line of a kind not known yet comes before the final line, a dropped
    // connection after it.
    write_text("t/games/0001/result.json", R"({"game":1,"status":"played","bots":["a","b","a"],"seconds":3.5})");
    write_text("t/games/0001/game.jsonl",
               R"({"year":1905,"season":"spring","powers":[],"orders":[]})"
               "\n"
               R"({"comment":"a line of a later kind"})"
               "\n"
               R"({"final":true,"reason":"one power owns more than half the supply centres","year":1905,)"
               R"("season":"fall","powers":[{"power":0,"units":17,"centres":18},{"power":1,"units":10,"centres":10},)"
               R"({"power":2,"units":0,"centres":0}],"unowned":["X1","X2","X3","X4","X5","X6"]})"
               "\n"
               R"({"dropped":true,"year":1905,"season":"fall","seat":1,"peer":"127.0.0.1:4","reason":"closed",)"
               R"("detail":""})"
               "\n");
    // Game 2 failed; its error quotes a bot's log line that is not UTF-8.
    write_text("t/games/0002/result.json", R"({"game":2,"status":"failed","error":"bot b (power 1) stopped: caf)"
                                           "\xE9"
                                           R"(","culprit":"b","bots":["b","a"]})");
    fs::create_directories("t/games/0003");

    EXPECT_EQ(tournament({"merge", "t"}, "merge.txt"), 1);
    std::string table = read_text("merge.txt");
    EXPECT_NE(table.find("3 games on hand-made maps: 1 played, 1 failed, 1 without a result"), std::string::npos)
        << table;
    EXPECT_NE(table.find("game 0002: bot b (power 1) stopped: caf\xE9\n"), std::string::npos) << table;
    EXPECT_NE(table.find("game 0003: no result"), std::string::npos) << table;
    std::vector<std::map<std::string, std::string>> summary = csv_rows("t/summary.csv");
    ASSERT_EQ(summary.size(), 2u);
    std::map<std::string, std::string> &a = summary[0], &b = summary[1];
    EXPECT_EQ(a["seats"], "2");
    EXPECT_EQ(a["solo_wins"], "1");
    EXPECT_EQ(a["survivals"], "1");
    EXPECT_EQ(a["mean_centres"], "9.0000");
    EXPECT_EQ(a["faults"], "0");
    EXPECT_EQ(b["seats"], "1");
    EXPECT_EQ(b["solo_wins"], "0");
    EXPECT_EQ(b["survivals"], "1");
    EXPECT_EQ(b["centres_low"], "");  // no interval from one seat
    EXPECT_EQ(b["faults"], "1");
    std::vector<std::map<std::string, std::string>> games = csv_rows("t/games.csv");
    ASSERT_EQ(games.size(), 3u);
    EXPECT_EQ(games[0]["end"], "1905 fall");
    EXPECT_EQ(games[1]["status"], "failed");
    EXPECT_EQ(games[2]["status"], "missing");
}

// A hand-made played game of three powers: its result with the bots by
// power, one spring line with each power's orders (power 2 has nothing to
// order; `missed` powers sent nothing; power 1 had `refused` entries
// refused, with fields the tournament does not know), a `dropped` line if
// given, and the final line with the centres.
void write_game(int game, const std::vector<std::string> &bots, const std::vector<int> &centres,
                const std::vector<int> &missed = {}, int refused = 0, const std::string &dropped = "") {
    std::string folder = game_folder("t", game);
    std::string bot_list;
    for (const std::string &bot : bots) bot_list += (bot_list.empty() ? "\"" : ",\"") + bot + "\"";
    write_text(folder + "/result.json", "{\"game\":" + std::to_string(game) + R"(,"status":"played","bots":[)" +
                                            bot_list + "]}");
    std::string powers, final_powers;
    for (size_t p = 0; p < centres.size(); p++) {
        bool sent = std::find(missed.begin(), missed.end(), static_cast<int>(p)) == missed.end();
        int refusals = p == 1 ? refused : 0;
        powers += std::string(p ? "," : "") + "{\"power\":" + std::to_string(p) + ",\"orders_due\":" +
                  (p == 2 ? "false" : "true") + ",\"orders_received\":" + (sent && p != 2 ? "true" : "false") +
                  ",\"refused\":" + std::to_string(refusals) +
                  R"(,"refusals":[{"entry":1,"order":"A X H","reason":"orders for an earlier phase"}],"late":true})";
        final_powers += std::string(p ? "," : "") + "{\"power\":" + std::to_string(p) + ",\"units\":" +
                        std::to_string(centres[p]) + ",\"centres\":" + std::to_string(centres[p]) + "}";
    }
    write_text(folder + "/game.jsonl",
               R"({"map":true,"name":"hand-made","layout":{}})"
               "\n"
               R"({"year":1901,"season":"spring","powers":[)" + powers + "]}\n" + dropped +
                   R"({"final":true,"reason":"the last year has been played","year":1901,"season":"fall","powers":[)" +
                   final_powers + R"(],"unowned":["X1","X2","X3","X4","X5","X6","X7","X8","X9","X10"]})" + "\n");
}

// Two bots on three powers, three rotations of two games.  Game 5 plays
// game 1 again move for move (its dropped connection aside): it is left out
// of every count, and so is its rotation from the paired comparison.
// Game 6 has the record of game 3 with the seats swapped: it counts.
TEST(Tournament, MergeLeavesOutRepeatedGamesPairsTheBotsByRotationAndCountsMissedPhasesAndRefusals) {
    TempDir dir;
    write_text("t/tournament.json", R"({"bots":[{"name":"a","command":"x"},{"name":"b","command":"y"}],)"
                                    R"("games":6,"years":1,"deadline":20,"game_limit":560,"maps":"hand-made maps"})");
    std::vector<std::string> odd = {"a", "b", "a"}, even = {"b", "a", "b"};
    write_game(1, odd, {6, 2, 4}, {0}, 2);
    write_game(2, even, {3, 5, 1});
    write_game(3, odd, {4, 4, 4});
    write_game(4, even, {2, 6, 2});
    write_game(5, odd, {6, 2, 4}, {0}, 2,
               R"({"dropped":true,"year":1901,"season":"spring","seat":1,"peer":"127.0.0.1:9","reason":"closed","detail":""})"
               "\n");
    // Game 6 is game 3 with the bots on other powers: not a repeat, but
    // the table notes that the bots chose alike.
    write_game(6, even, {4, 4, 4});

    EXPECT_EQ(tournament({"merge", "t"}, "merge.txt"), 0);
    std::string table = read_text("merge.txt");
    EXPECT_NE(table.find("6 games on hand-made maps: 6 played, 0 failed (1 of them repeats)"), std::string::npos)
        << table;
    EXPECT_NE(table.find("WARNING: 1 of the 6 played games repeat an earlier game move for move"), std::string::npos)
        << table;
    EXPECT_NE(table.find("game 0005 repeats game 0001"), std::string::npos) << table;
    std::vector<std::map<std::string, std::string>> games = csv_rows("t/games.csv");
    ASSERT_EQ(games.size(), 6u);
    EXPECT_EQ(games[4]["repeat_of"], "1");
    EXPECT_EQ(games[0]["repeat_of"], "");
    EXPECT_EQ(games[5]["repeat_of"], "");
    EXPECT_NE(table.find("Note: 1 game plays an earlier game move for move with the bots on other powers"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("(game 0006 plays game 0003)"), std::string::npos) << table;

    std::vector<std::map<std::string, std::string>> summary = csv_rows("t/summary.csv");
    ASSERT_EQ(summary.size(), 2u);
    std::map<std::string, std::string> &a = summary[0], &b = summary[1];
    // Games 1, 2, 3, 4 and 6.
    EXPECT_EQ(a["seats"], "7");
    EXPECT_EQ(b["seats"], "8");
    EXPECT_EQ(a["orders_due"], "5");
    EXPECT_EQ(a["missed"], "1");
    EXPECT_EQ(a["refused"], "0");
    EXPECT_EQ(b["orders_due"], "5");
    EXPECT_EQ(b["missed"], "0");
    EXPECT_EQ(b["refused"], "2");
    // Rotation 1: a 15 centres in 3 seats, b 6 in 3: -3.  Rotation 2: a 14,
    // b 8: -2.  Mean -2.5, standard error 0.5, t(1) = 12.7062.
    EXPECT_EQ(a["paired_rotations"], "");
    EXPECT_EQ(b["paired_rotations"], "2");
    EXPECT_EQ(b["paired_difference"], "-2.5000");
    EXPECT_EQ(b["paired_low"], "-8.8531");
    EXPECT_EQ(b["paired_high"], "3.8531");
    EXPECT_NE(table.find("Paired by rotation (2 complete rotations): mean centres per seat minus a's"),
              std::string::npos)
        << table;
    std::string paired_row;
    for (const std::string &line : lines_of(table))
        if (line.rfind("  b ", 0) == 0) paired_row = line;
    EXPECT_NE(paired_row.find("-2.50  [-8.85, +3.85]"), std::string::npos) << table;
    std::string a_row;
    for (const std::string &line : lines_of(table))
        if (line.rfind("a ", 0) == 0) a_row = line;
    EXPECT_NE(a_row.find(" 1/5 "), std::string::npos) << a_row;
}

// ---------------------------------------------------------------------------
// The intervals
// ---------------------------------------------------------------------------

TEST(Tournament, IntervalsMatchTextbookValues) {
    // Wilson score intervals.
    Interval none = wilson_interval(0, 10), half = wilson_interval(5, 10), all = wilson_interval(10, 10);
    EXPECT_NEAR(none.low, 0.0, 1e-4);
    EXPECT_NEAR(none.high, 0.2775, 1e-4);
    EXPECT_NEAR(half.low, 0.2366, 1e-4);
    EXPECT_NEAR(half.high, 0.7634, 1e-4);
    EXPECT_NEAR(all.low, 0.7225, 1e-4);
    EXPECT_NEAR(all.high, 1.0, 1e-4);
    EXPECT_FALSE(wilson_interval(0, 0).known);

    // Student t quantiles on both sides of the table's end, and far out.
    EXPECT_NEAR(t_quantile_975(1), 12.7062, 1e-4);
    EXPECT_NEAR(t_quantile_975(30), 2.0423, 1e-4);
    EXPECT_NEAR(t_quantile_975(31), 2.0395, 1e-4);
    EXPECT_NEAR(t_quantile_975(60), 2.0003, 1e-4);
    EXPECT_NEAR(t_quantile_975(1000), 1.9623, 1e-4);

    // 2, 4, 6, 8: mean 5, standard error 1.2910, t(3) = 3.1824.
    Interval mean = mean_interval({2, 4, 6, 8});
    EXPECT_NEAR(mean.low, 0.8915, 1e-4);
    EXPECT_NEAR(mean.high, 9.1085, 1e-4);
    EXPECT_FALSE(mean_interval({3}).known);
}

}  // namespace
