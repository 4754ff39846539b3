// Parsing brox-tournament's command lines.  Complaints name the option and
// what it takes; every option is in the help.
#include "tools/tournament/options.h"

#include <unistd.h>

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "tools/common/option_value.h"
#include "tools/mapgen/mapgen.h"

namespace fs = std::filesystem;

namespace {

const char HELP[] = R"(Usage: brox-tournament --bot NAME=COMMAND [--bot NAME=COMMAND ...] [options]
       brox-tournament run DIR [--jobs N]
       brox-tournament merge DIR

Plays many games between bots and prints a table per bot: games, solo wins,
survivals and supply centres at the end, with 95% confidence intervals,
phases missed and orders refused; then each bot's difference in centres
from the first bot, paired by rotation, with a 95% interval.  Games that
repeat an earlier one move for move are found and left out.
Each game is one brox-server on a free loopback port with one bot per
power, in a folder of its own, and the bots take the powers in rotation.
The games are written as a job list, one command per line (DIR/jobs.txt),
and played here with GNU parallel, or on a Slurm cluster as a job array
(--plan-only shows how).

Options:
  --bot NAME=COMMAND  a bot: a short name (letters, digits, '.', '-', '_')
                      and the shell command that starts it.  Each bot runs
                      in a folder of its own with "-i 127.0.0.1 -p PORT"
                      appended to its command.  In game g, power p is played
                      by bot number (p + g - 1) mod the number of bots
  --games N           games to play, 1 to 100000 (default 10)
  --years N           game years per game, 1 to 100 (default 5)
  --deadline S        seconds the server waits for a phase's orders (default
                      20); a power whose orders have not come holds
  --seed N            seed of the first generated map (default 1): the games
                      of one rotation share a map, the next rotation plays
                      the map of the next seed
  --provinces N       generated maps: provinces, 8 to 300 (default 75)
  --powers N          generated maps: powers, 1 to 20 (default 7)
  --homes N           generated maps: home centres per power, 1 to 5
                      (default 3)
  --standard-map      play every game on the server's built-in map
  --map DIR           play every game on the map files in DIR, as
                      brox-mapgen writes them
  --server-arg ARG    pass ARG to every server as it is (repeat for more)
  --game-limit S      wall-clock limit of one game in seconds; when it runs
                      out the game's processes are stopped and the game
                      fails (default: every phase waiting its whole
                      deadline, plus a minute)
  --jobs N            games played at once (default: one per core)
  --out DIR           the tournament's folder, which must be new or empty
                      (default tournament-<date>-<time>)
  --server PATH       the brox-server to use (default: the one beside
                      brox-tournament)
  --plan-only         write the folder and its job list, show how to play
                      them here or on Slurm, and stop
  --help              show this text

  run DIR             play the games of DIR that have no result yet (a plan,
                      or an interrupted tournament), then print the table
  merge DIR           read every game of DIR and print the table; it is also
                      written to DIR/table.txt, with summary.csv, games.csv
                      and seats.csv

Every game's folder, DIR/games/NNNN/, holds the game record (game.jsonl),
the server's output and pictures, result.json, and one folder per bot with
its log (bots/pPP-NAME/bot.log).  Bots also find BROX_GAME, BROX_POWER,
BROX_PORT and BROX_BOT in their environment.
)";

constexpr const char *PROGRAM = "brox-tournament";
constexpr int MAX_GAMES = 100000;
constexpr int MAX_YEARS = 100;
constexpr int MAX_JOBS = 1024;
constexpr int MAX_LIMIT_S = 7 * 24 * 3600;
constexpr size_t MAX_BOT_NAME = 32;

__attribute__((format(printf, 1, 2))) int complain(const char *format, ...) {
    std::fputs("brox-tournament: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    return PARSE_ERROR;
}

bool valid_bot_name(const std::string &name) {
    if (name.empty() || name.size() > MAX_BOT_NAME || name[0] == '.') return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
    return true;
}

// A bot command's program given by a relative path ("build/brox_bot" or
// "./bot") is made absolute, since the bot runs in a folder of its own.
std::string with_absolute_program(const std::string &command) {
    size_t start = command.find_first_not_of(" \t");
    if (start == std::string::npos) return command;
    size_t end = command.find_first_of(" \t", start);
    std::string program = command.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (program[0] == '/' || program.find('/') == std::string::npos ||
        program.find_first_of("'\"\\$`~;&|<>(){}*?[]") != std::string::npos)
        return command;
    std::error_code failure;
    fs::path absolute = fs::absolute(program, failure);
    if (failure || !fs::exists(absolute, failure)) return command;
    std::string rest = end == std::string::npos ? "" : command.substr(end);
    return command.substr(0, start) + absolute.lexically_normal().string() + rest;
}

// NAME=COMMAND into a bot.
int bot_value(const char *text, std::vector<BotEntry> *bots) {
    const char *equals = std::strchr(text, '=');
    std::string name = equals ? std::string(text, static_cast<size_t>(equals - text)) : "";
    std::string command = equals ? equals + 1 : "";
    if (!equals || command.find_first_not_of(" \t") == std::string::npos)
        return complain("--bot takes NAME=COMMAND, as in --bot \"v1=/path/to/brox_bot --steps 10\" (got \"%s\")",
                        text);
    if (!valid_bot_name(name))
        return complain("--bot: the name \"%s\" must be 1 to 32 letters, digits, '.', '-' or '_'", name.c_str());
    for (const BotEntry &bot : *bots)
        if (bot.name == name) return complain("--bot: the name \"%s\" is given twice", name.c_str());
    bots->push_back({name, with_absolute_program(command)});
    return PARSE_OK;
}

std::string default_folder() {
    char stamp[64];
    std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "tournament-%Y%m%d-%H%M%S", std::localtime(&now));
    return stamp;
}

std::string absolute_path(const std::string &path) {
    std::error_code failure;
    fs::path absolute = fs::absolute(path, failure);
    return failure ? path : absolute.lexically_normal().string();
}

bool one_line(const std::string &text) { return text.find_first_of("\n\r") == std::string::npos; }

// The settings read; checks what needs the whole command line.
int finish(TournamentOptions *options, const std::string &program, bool standard, bool seeded, bool mapped) {
    Tournament &tournament = options->tournament;
    if (tournament.bots.empty()) return complain("give the bots with --bot NAME=COMMAND (see --help)");
    // Every game is one line of the job list.
    bool single_lines = one_line(tournament.map_folder) && one_line(tournament.folder) && one_line(tournament.server);
    for (const BotEntry &bot : tournament.bots) single_lines = single_lines && one_line(bot.command);
    for (const std::string &arg : tournament.server_args) single_lines = single_lines && one_line(arg);
    if (!single_lines)
        return complain("a bot command, path or server argument holds a line break; write it on one line");
    if (standard + seeded + mapped > 1)
        return complain("--seed, --standard-map and --map choose the map in different ways: give one");
    bool sized = tournament.provinces || tournament.powers || tournament.homes;
    if (sized && (standard || mapped))
        return complain("--provinces, --powers and --homes size generated maps; --%s plays a map of its own",
                        standard ? "standard-map" : "map");
    if (standard) tournament.map = MapChoice::STANDARD;
    if (mapped) tournament.map = MapChoice::FOLDER;
    if (sized) {
        // The generator's own judgement, before any game is planned.
        MapgenOptions size = mapgen_default_options();
        if (tournament.provinces) size.provinces = tournament.provinces;
        if (tournament.powers) size.powers = tournament.powers;
        if (tournament.homes) size.homes = tournament.homes;
        std::string problem = mapgen_check_options(size);
        if (!problem.empty())
            return complain("maps of %d provinces, %d powers and %d home centres a power cannot be made: %s",
                            size.provinces, size.powers, size.homes, problem.c_str());
    }
    tournament.program = program;
    if (tournament.server.empty()) tournament.server = (fs::path(program).parent_path() / "brox-server").string();
    tournament.server = absolute_path(tournament.server);
    if (access(tournament.server.c_str(), X_OK) != 0)
        return complain("cannot run the server %s; give its path with --server PATH", tournament.server.c_str());
    if (tournament.folder.empty()) tournament.folder = default_folder();
    tournament.folder = absolute_path(tournament.folder);
    std::error_code failure;
    if (fs::exists(fs::path(tournament.folder) / PLAN_FILE, failure))
        return complain("%s already holds a tournament: play the rest of it with \"%s run %s\", or choose "
                        "another --out",
                        tournament.folder.c_str(), program.c_str(), tournament.folder.c_str());
    if (fs::exists(tournament.folder, failure) && !fs::is_empty(tournament.folder, failure))
        return complain("%s is not empty; choose a new folder with --out", tournament.folder.c_str());
    return PARSE_OK;
}

// Takes one option with its value.
int take_value(const char *option, const char *value, TournamentOptions *options, bool *seeded, bool *mapped) {
    Tournament &tournament = options->tournament;
    long long number = 0;
    if (!std::strcmp(option, "--bot")) return bot_value(value, &tournament.bots);
    if (!std::strcmp(option, "--games")) {
        if (!integer_option(PROGRAM, option, value, 1, MAX_GAMES, &number)) return PARSE_ERROR;
        tournament.games = static_cast<int>(number);
    } else if (!std::strcmp(option, "--years")) {
        if (!integer_option(PROGRAM, option, value, 1, MAX_YEARS, &number)) return PARSE_ERROR;
        tournament.years = static_cast<int>(number);
    } else if (!std::strcmp(option, "--deadline")) {
        if (!seconds_option(PROGRAM, option, value, 0, 86400, &tournament.deadline_s)) return PARSE_ERROR;
    } else if (!std::strcmp(option, "--seed")) {
        if (!integer_option(PROGRAM, option, value, 0, INT64_MAX / 2, &number)) return PARSE_ERROR;
        tournament.first_seed = static_cast<uint64_t>(number);
        *seeded = true;
    } else if (!std::strcmp(option, "--provinces")) {
        if (!integer_option(PROGRAM, option, value, MAPGEN_MIN_PROVINCES, MAX_PROVINCES, &number)) return PARSE_ERROR;
        tournament.provinces = static_cast<int>(number);
    } else if (!std::strcmp(option, "--powers")) {
        if (!integer_option(PROGRAM, option, value, 1, MAX_POWERS, &number)) return PARSE_ERROR;
        tournament.powers = static_cast<int>(number);
    } else if (!std::strcmp(option, "--homes")) {
        if (!integer_option(PROGRAM, option, value, MAPGEN_MIN_HOMES, MAPGEN_MAX_HOMES, &number)) return PARSE_ERROR;
        tournament.homes = static_cast<int>(number);
    } else if (!std::strcmp(option, "--map")) {
        if (!*value) return complain("--map needs a folder");
        tournament.map_folder = absolute_path(value);
        *mapped = true;
    } else if (!std::strcmp(option, "--server-arg")) {
        // Each game chooses the port and folder, seats a bot on every
        // power and reads the server's port and joins from its output.
        for (const char *reserved : {"--port", "--out", "--quiet", "--players", "--seat-secrets"})
            if (!std::strcmp(value, reserved))
                return complain("--server-arg %s: each game starts its server on a free port in its own folder "
                                "with a bot on every power, and reads its output; leave %s out",
                                value, value);
        // The map is the tournament's to choose, rotation by rotation.
        for (const char *map_option : {"--seed", "--map", "--provinces", "--powers", "--homes"})
            if (!std::strcmp(value, map_option))
                return complain("--server-arg %s: give %s to brox-tournament itself (see --help)", value,
                                !std::strcmp(value, "--map") ? "--map DIR or --standard-map" : value);
        tournament.server_args.push_back(value);
    } else if (!std::strcmp(option, "--game-limit")) {
        if (!integer_option(PROGRAM, option, value, 1, MAX_LIMIT_S, &number)) return PARSE_ERROR;
        tournament.game_limit_s = static_cast<int>(number);
    } else if (!std::strcmp(option, "--jobs")) {
        if (!integer_option(PROGRAM, option, value, 1, MAX_JOBS, &number)) return PARSE_ERROR;
        options->jobs = static_cast<int>(number);
    } else if (!std::strcmp(option, "--out")) {
        if (!*value) return complain("--out needs a folder");
        tournament.folder = value;
    } else if (!std::strcmp(option, "--server")) {
        if (!*value) return complain("--server needs a path");
        tournament.server = value;
    } else {
        return complain("unknown option %s (see --help)", option);
    }
    return PARSE_OK;
}

bool takes_value(const char *option) {
    static const char *const with_values[] = {"--bot",        "--games",     "--years",      "--deadline",
                                              "--seed",       "--provinces", "--powers",     "--homes",
                                              "--map",        "--server-arg", "--game-limit", "--jobs",
                                              "--out",        "--server"};
    for (const char *known : with_values)
        if (!std::strcmp(option, known)) return true;
    return false;
}

}  // namespace

int tournament_options_parse(int argc, char **argv, const std::string &program, TournamentOptions *options) {
    bool standard = false, seeded = false, mapped = false;
    for (int i = 1; i < argc; i++) {
        const char *option = argv[i];
        if (!std::strcmp(option, "--help") || !std::strcmp(option, "-h")) {
            std::fputs(HELP, stdout);
            return PARSE_HELP;
        }
        if (!std::strcmp(option, "--standard-map")) {
            standard = true;
            continue;
        }
        if (!std::strcmp(option, "--plan-only")) {
            options->plan_only = true;
            continue;
        }
        if (!takes_value(option)) return complain("unknown option %s (see --help)", option);
        if (i + 1 >= argc) return complain("%s needs a value (see --help)", option);
        int status = take_value(option, argv[++i], options, &seeded, &mapped);
        if (status != PARSE_OK) return status;
    }
    return finish(options, program, standard, seeded, mapped);
}

int folder_options_parse(int argc, char **argv, bool with_jobs, std::string *folder, int *jobs) {
    const char *command = argv[1];
    for (int i = 2; i < argc; i++) {
        const char *arg = argv[i];
        if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
            std::fputs(HELP, stdout);
            return PARSE_HELP;
        }
        if (with_jobs && !std::strcmp(arg, "--jobs")) {
            long long number = 0;
            if (i + 1 >= argc) return complain("--jobs needs a value (see --help)");
            if (!integer_option(PROGRAM, arg, argv[++i], 1, MAX_JOBS, &number)) return PARSE_ERROR;
            *jobs = static_cast<int>(number);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return complain("unknown option %s (see --help)", arg);
        } else if (folder->empty()) {
            *folder = arg;
        } else {
            return complain("%s takes one folder (see --help)", command);
        }
    }
    if (folder->empty())
        return complain("%s needs the tournament's folder, as in \"brox-tournament %s DIR\"", command, command);
    return PARSE_OK;
}

int game_options_parse(int argc, char **argv, GameJob *job) {
    int i = 2;
    for (; i < argc && std::strcmp(argv[i], "--"); i++) {
        const char *option = argv[i];
        if (i + 1 >= argc) return complain("game: %s needs a value", option);
        const char *value = argv[++i];
        long long number = 0;
        if (!std::strcmp(option, "--game")) {
            if (!integer_option(PROGRAM, option, value, 1, MAX_GAMES, &number)) return PARSE_ERROR;
            job->game = static_cast<int>(number);
        } else if (!std::strcmp(option, "--out")) {
            job->folder = value;
        } else if (!std::strcmp(option, "--rotation")) {
            if (!integer_option(PROGRAM, option, value, 0, MAX_GAMES, &number)) return PARSE_ERROR;
            job->rotation = static_cast<int>(number);
        } else if (!std::strcmp(option, "--limit")) {
            if (!integer_option(PROGRAM, option, value, 1, MAX_LIMIT_S, &number)) return PARSE_ERROR;
            job->limit_s = static_cast<int>(number);
        } else if (!std::strcmp(option, "--server")) {
            job->server = value;
        } else if (!std::strcmp(option, "--bot")) {
            const char *equals = std::strchr(value, '=');
            if (!equals) return complain("game: --bot takes NAME=COMMAND, not \"%s\"", value);
            job->bots.push_back({std::string(value, static_cast<size_t>(equals - value)), equals + 1});
        } else {
            return complain("game: unknown option %s", option);
        }
    }
    for (i++; i < argc; i++) job->server_args.push_back(argv[i]);
    if (job->game == 0 || job->folder.empty() || job->limit_s == 0 || job->server.empty() || job->bots.empty())
        return complain("game needs --game, --out, --limit, --server and --bot: it runs the lines of a "
                        "tournament's jobs.txt");
    job->folder = absolute_path(job->folder);
    return PARSE_OK;
}
