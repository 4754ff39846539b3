// Playing one game of a tournament: starting the server and the bots,
// watching them against the game's wall-clock limit, and judging how the
// game went from the processes' ends and the record.
#include "tools/tournament/game_job.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tools/common/child_process.h"
#include "tools/tournament/game_result.h"
#include "tools/tournament/record.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int POLL_MS = 50;
constexpr int STOP_GRACE_MS = 3000;       // from the termination signal to the kill
constexpr int BOT_EXIT_GRACE_MS = 10000;  // for the bots to leave once the game is over
constexpr int INTERRUPT_GRACE_MS = 2000;  // for this job's own interrupt to arrive
constexpr size_t LOG_EXCERPT = 240;       // characters of a log line quoted in an error
constexpr size_t LOG_TAIL = 64 << 10;     // bytes read from the end of a log for its last line
constexpr const char *SERVER_LOG = "server.log";
constexpr const char *BOT_LOG = "bot.log";
constexpr const char *BOTS_FOLDER = "bots";
constexpr const char *SECRETS_FILE = "seat-secrets.txt";  // the server's --seat-secrets, hidden from bots
constexpr const char *CONTAINMENT_LOG = "containment.log";
constexpr int SECRET_BYTES = 16;                    // random bytes of a seat secret, sent as hex
constexpr int SECRETS_WRITTEN = 20;                 // one per power of the largest map
constexpr int CONTAINMENT_PROBE_MS = 10000;
// What one bot may use: a file written past BOT_FILE_LIMIT ends it
// (SIGXFSZ), a folder grown past BOT_FOLDER_LIMIT fails the game with the
// bot to blame, and it cannot start processes once its user runs
// BOT_PROCESS_LIMIT.
constexpr long long BOT_FILE_LIMIT = 64LL << 20;
constexpr uintmax_t BOT_FOLDER_LIMIT = uintmax_t{256} << 20;
constexpr long long BOT_PROCESS_LIMIT = 4096;
constexpr int DISK_CHECK_MS = 1000;
// The final line's reason when the server was told to stop.
constexpr const char *STOPPED_REASON = "the server was stopped";

volatile sig_atomic_t interrupted = 0;

void note_interrupt(int) { interrupted = 1; }

void catch_interrupts() {
    struct sigaction action = {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

struct BotProcess {
    int power = 0;
    const BotEntry *bot = nullptr;
    std::string folder;        // relative to the game's folder
    Child child;
};

struct Run {
    explicit Run(const GameJob &game_job) : job(game_job) {}
    const GameJob &job;
    Clock::time_point start = Clock::now();
    Clock::time_point limit;
    Child server;
    std::vector<BotProcess> bots;
    GameResult result;
    int port = 0;
    int powers = 0;
    bool record_finished = false;  // the record's final line has been seen
    std::vector<std::string> secrets;  // by power: each bot's seat secret
    Clock::time_point disk_checked;
};

// The last `most` bytes of a regular file, "" for anything else: a bot
// may leave a FIFO or a link in its own folder where its log was, and the
// job must never wait on it or read through it.
std::string read_file(const fs::path &path, size_t most = SIZE_MAX) {
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return "";
    struct stat about = {};
    std::string text;
    if (fstat(fd, &about) == 0 && S_ISREG(about.st_mode)) {
        auto size = static_cast<size_t>(about.st_size);
        size_t from = size > most ? size - most : 0;
        text.resize(size - from);
        ssize_t got = pread(fd, text.data(), text.size(), static_cast<off_t>(from));
        text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    }
    close(fd);
    return text;
}

// The last line of a log with something in it, printable characters
// only and cut short, for quoting in an error.
std::string last_line(const fs::path &path) {
    std::string text = read_file(path, LOG_TAIL);
    size_t end = text.find_last_not_of(" \t\r\n");
    if (end == std::string::npos) return "";
    size_t start = text.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    std::string line;
    for (char c : text.substr(start, end + 1 - start))
        if (static_cast<unsigned char>(c) >= 0x20) line += c;
    if (line.size() > LOG_EXCERPT) line = line.substr(0, LOG_EXCERPT) + "...";
    return line;
}

std::string log_says(const Run &run, const std::string &relative) {
    std::string line = last_line(fs::path(run.job.folder) / relative);
    return line.empty() ? "its log " + relative + " is empty" : "its log " + relative + " ends: " + line;
}

std::string bot_label(const BotProcess &bot) {
    return "bot " + bot.bot->name + " (power " + std::to_string(bot.power) + ")";
}

// Where the game had got to, for an error: "in 1902 fall".
std::string game_stage(const Run &run) {
    std::string phase = record_read(run.job.folder).last_phase;
    return phase.empty() ? "before the first phase was resolved" : "after " + phase;
}

// Whether this job has been interrupted, waiting a while for the signal
// when it has not been seen yet.  Slurm (scancel, or its time limit) and a
// terminal's Ctrl-C signal every process of the job at once, so a bot or
// the server may be seen to end from that signal before this process has
// noted its own: an end is blamed on a process only once no interrupt has
// come within INTERRUPT_GRACE_MS.
bool interrupted_after_all() {
    auto until = Clock::now() + std::chrono::milliseconds(INTERRUPT_GRACE_MS);
    while (!interrupted && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    return interrupted;
}

bool failing(Run *run, const std::string &error, const std::string &culprit = "") {
    run->result.status = GameStatus::FAILED;
    run->result.error = error;
    run->result.culprit = culprit;
    return false;
}

// Checks the limit and interrupts while waiting for `what` (null: while
// the game is played); false, with the failure noted, when the game must
// stop.  The record is read only then.  A bot that never joins is to blame
// for the time running out: `waiting_bot` names it while it is awaited.
bool may_go_on(Run *run, const char *what, const std::string &waiting_bot = "") {
    if (!interrupted && Clock::now() < run->limit) return true;
    std::string when = what ? what : game_stage(*run);
    if (interrupted) return failing(run, "the job was interrupted " + when);
    return failing(run, "timed out: the game's limit of " + std::to_string(run->job.limit_s) + " s ran out " + when,
                   waiting_bot);
}

// Whether the server has ended while it should not: `what` says when for
// its error, `when` for an interrupt's.
bool server_gone(Run *run, const std::string &what, const std::string &when) {
    if (child_running(&run->server)) return false;
    if (interrupted_after_all()) {
        failing(run, "the job was interrupted " + when);
        return true;
    }
    std::string line = last_line(fs::path(run->job.folder) / SERVER_LOG);
    failing(run, "the server ended (" + exit_description(run->server) + ") " + what +
                     (line.empty() ? "" : ": " + line));
    return true;
}

// The server and every bot lead a process group of their own, so that
// stopping one stops what it started (a bot run through the shell, a
// wrapper script), and die with the game's job.
ChildSetup process_setup(const std::string &directory, const std::string &log,
                         const std::vector<std::string> &environment) {
    ChildSetup setup;
    setup.directory = directory;
    setup.log_path = log;
    setup.environment = environment;
    setup.own_group = true;
    setup.dies_with_parent = true;
    return setup;
}

void wait_a_moment() { std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS)); }

// ---------------------------------------------------------------------------
// Starting
// ---------------------------------------------------------------------------

// Reads "port N" (the first line) and "waiting for N bots" from the
// server's log.
bool parse_server_start(const std::string &log, int *port, int *powers) {
    if (std::sscanf(log.c_str(), "port %d", port) != 1) return false;
    size_t at = log.find("\nwaiting for ");
    return at != std::string::npos && std::sscanf(log.c_str() + at, "\nwaiting for %d bots", powers) == 1 &&
           *powers > 0;
}

bool start_server(Run *run) {
    std::vector<std::string> argv = {run->job.server, "--port", "0", "--out", run->job.folder, "--seat-secrets",
                                     (fs::path(run->job.folder) / SECRETS_FILE).string()};
    argv.insert(argv.end(), run->job.server_args.begin(), run->job.server_args.end());
    fs::path log = fs::path(run->job.folder) / SERVER_LOG;
    std::string error;
    if (!child_start(&run->server, argv, process_setup(run->job.folder, log.string(), {}), &error))
        return failing(run, "the server could not be started: " + error);
    for (;;) {
        if (parse_server_start(read_file(log), &run->port, &run->powers)) return true;
        if (server_gone(run, "before it listened", "before the server listened")) return false;
        if (!may_go_on(run, "before the server listened")) return false;
        wait_a_moment();
    }
}

// Whether the server's log says that `power` has been taken by a bot.
bool joined(const std::string &log, int power) {
    std::string head = "power " + std::to_string(power) + " (";
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(head, 0) == 0 && line.find(" joined") != std::string::npos) return true;
    return false;
}

// The bytes of the files under a bot's folder (links not followed).
uintmax_t folder_bytes(const fs::path &folder) {
    uintmax_t total = 0;
    std::error_code failure;
    for (fs::recursive_directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
        std::error_code size_failure;
        if (!it->is_symlink(size_failure) && it->is_regular_file(size_failure))
            total += it->file_size(size_failure);
    }
    return total;
}

// Every DISK_CHECK_MS, the bots' folders against BOT_FOLDER_LIMIT.
bool bots_within_disk(Run *run) {
    if (Clock::now() - run->disk_checked < std::chrono::milliseconds(DISK_CHECK_MS)) return true;
    run->disk_checked = Clock::now();
    for (const BotProcess &bot : run->bots)
        if (folder_bytes(fs::path(run->job.folder) / bot.folder) > BOT_FOLDER_LIMIT)
            return failing(run, bot_label(bot) + " filled its folder " + bot.folder + " past " +
                                    std::to_string(BOT_FOLDER_LIMIT >> 20) + " MB " + game_stage(*run),
                           bot.bot->name);
    return true;
}

// A bot that ended while the server still runs has failed, unless the game
// is over (the record's final line is written before the bots are told).
bool bots_still_fine(Run *run) {
    if (!bots_within_disk(run)) return false;
    for (BotProcess &bot : run->bots) {
        if (child_running(&bot.child)) continue;
        if (child_succeeded(bot.child) && !run->record_finished)
            run->record_finished = record_read(run->job.folder).finished;
        if (child_succeeded(bot.child) && run->record_finished) continue;
        if (interrupted_after_all()) return failing(run, "the job was interrupted " + game_stage(*run));
        return failing(run, bot_label(bot) + " stopped " + game_stage(*run) + ", before the game ended: " +
                                exit_description(bot.child) + "; " + log_says(*run, bot.folder + "/" + BOT_LOG),
                       bot.bot->name);
    }
    return true;
}

// The command line that runs a bot's shell command contained: in a PID
// namespace of its own (every process it starts ends with it, and it sees
// no other), killed with this job, the whole system read-only, and of the
// game's folder (and of the tournament's other games) only its own folder
// to be seen, writable.  Its temporary files go to its folder.
std::vector<std::string> contained(const std::string &game_folder, const std::string &bot_folder,
                                   const std::string &command) {
    std::vector<std::string> argv = {"bwrap", "--unshare-pid", "--die-with-parent", "--ro-bind", "/", "/",
                                     "--dev", "/dev", "--proc", "/proc"};
    fs::path game = fs::weakly_canonical(fs::absolute(game_folder));
    if (game.parent_path().filename() == GAMES_FOLDER) argv.insert(argv.end(), {"--tmpfs", game.parent_path().string()});
    argv.insert(argv.end(), {"--tmpfs", game.string(), "--bind", bot_folder, bot_folder, "--chdir", bot_folder,
                             "--setenv", "TMPDIR", bot_folder, "--", "/bin/sh", "-c", command});
    return argv;
}

// Whether bots can be contained here: bubblewrap must be installed and
// allowed to make namespaces.  The game fails, with what to do, when not.
bool containment_works(Run *run) {
    fs::path log = fs::path(run->job.folder) / CONTAINMENT_LOG;
    std::vector<std::string> argv = {"bwrap", "--unshare-pid", "--die-with-parent", "--ro-bind", "/", "/", "true"};
    ChildSetup setup = process_setup(run->job.folder, log.string(), {});
    setup.search_path = true;
    Child probe;
    std::string error;
    bool started = child_start(&probe, argv, setup, &error);
    if (started && !child_wait(&probe, CONTAINMENT_PROBE_MS)) children_stop({&probe}, STOP_GRACE_MS);
    if (started && child_succeeded(probe)) return true;
    std::string says = started ? exit_description(probe) : error;
    std::string line = last_line(log);
    return failing(run, "bots cannot be contained on this machine: \"bwrap --unshare-pid --die-with-parent "
                        "--ro-bind / / true\" failed (" + says + (line.empty() ? "" : ": " + line) +
                        "); install bubblewrap (Debian: apt-get install bubblewrap) and let users create "
                        "namespaces (sysctl kernel.unprivileged_userns_clone=1 where the kernel has it), "
                        "then run the game again");
}

// A seat secret for every power the server may have, each known only to
// the server (a file bots cannot see) and to the bot of that power (its
// environment).
bool write_secrets(Run *run) {
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string text;
    for (int power = 0; power < SECRETS_WRITTEN; power++) {
        unsigned char bytes[SECRET_BYTES];
        if (!random.read(reinterpret_cast<char *>(bytes), sizeof bytes))
            return failing(run, "cannot read the system's random source for the bots' seat secrets");
        std::string secret;
        for (unsigned char byte : bytes) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", byte);
            secret += hex;
        }
        run->secrets.push_back(secret);
        text += secret + "\n";
    }
    fs::path path = fs::path(run->job.folder) / SECRETS_FILE;
    std::error_code failure;
    fs::remove(path, failure);
    std::ofstream file(path, std::ios::binary);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, failure);
    if (!(file << text) || !file.flush()) return failing(run, "cannot write " + path.string());
    return true;
}

// Starts the bot of `power` and waits until the server has seated it.  The
// bot carries the secret of its power's seat, the only seat the server
// lets it take, so that the seat's result is its own.
bool start_bot(Run *run, int power) {
    const GameJob &job = run->job;
    BotProcess bot;
    bot.power = power;
    bot.bot = &job.bots[static_cast<size_t>((power + job.rotation) % static_cast<int>(job.bots.size()))];
    char name[16];
    std::snprintf(name, sizeof name, "p%02d-", power);
    bot.folder = std::string(BOTS_FOLDER) + "/" + name + bot.bot->name;
    fs::path folder = fs::path(job.folder) / bot.folder;
    std::error_code failure;
    fs::create_directories(folder, failure);
    std::string port = std::to_string(run->port);
    std::vector<std::string> argv =
        contained(job.folder, fs::weakly_canonical(fs::absolute(folder)).string(), bot.bot->command + " -i 127.0.0.1 -p " + port);
    std::vector<std::string> environment = {"BROX_GAME=" + std::to_string(job.game),
                                            "BROX_POWER=" + std::to_string(power), "BROX_PORT=" + port,
                                            "BROX_BOT=" + bot.bot->name,
                                            "BROX_SEAT_SECRET=" + run->secrets[static_cast<size_t>(power)]};
    std::string error;
    run->result.bots.push_back(bot.bot->name);
    run->bots.push_back(bot);
    BotProcess &started = run->bots.back();
    ChildSetup setup = process_setup(folder.string(), (folder / BOT_LOG).string(), environment);
    setup.search_path = true;
    setup.file_size_limit = BOT_FILE_LIMIT;
    setup.process_limit = BOT_PROCESS_LIMIT;
    if (!child_start(&started.child, argv, setup, &error))
        return failing(run, bot_label(started) + " could not be started: " + error, started.bot->name);
    std::string log_name = started.folder + "/" + BOT_LOG;
    std::string what = "while " + bot_label(started) + " was joining";
    for (;;) {
        if (joined(read_file(fs::path(job.folder) / SERVER_LOG), power)) return true;
        if (!child_running(&started.child) && interrupted_after_all())
            return failing(run, "the job was interrupted " + what);
        if (!child_running(&started.child))
            return failing(run, bot_label(started) + " did not join: " + exit_description(started.child) + "; " +
                                    log_says(*run, log_name),
                           started.bot->name);
        // One that joined before may have gone since; the server would give
        // its power to the next bot.
        if (!bots_still_fine(run)) return false;
        if (server_gone(run, what, what)) return false;
        if (!may_go_on(run, what.c_str(), started.bot->name)) return false;
        wait_a_moment();
    }
}

// ---------------------------------------------------------------------------
// Playing and ending
// ---------------------------------------------------------------------------

// An interrupt is looked for before the bots: when the job is stopped
// from outside, its bots end too, and none of them is to blame.
bool play(Run *run) {
    while (child_running(&run->server)) {
        if (!may_go_on(run, nullptr)) return false;
        if (!bots_still_fine(run)) return false;
        wait_a_moment();
    }
    return true;
}

// The server has ended: judges its exit and the record, then gives the
// bots a while to leave.
bool judge_end(Run *run) {
    RecordSummary record = record_read(run->job.folder);
    std::string line = last_line(fs::path(run->job.folder) / SERVER_LOG);
    bool stopped = !child_succeeded(run->server) || !record.finished || record.reason == STOPPED_REASON;
    if (stopped && interrupted_after_all()) return failing(run, "the job was interrupted " + game_stage(*run));
    if (!child_succeeded(run->server))
        return failing(run, "the server ended (" + exit_description(run->server) + ") " + game_stage(*run) +
                                (line.empty() ? "" : ": " + line));
    if (!record.finished) return failing(run, "the server ended without the record's final line");
    if (record.reason == STOPPED_REASON) return failing(run, "the server was stopped " + game_stage(*run));
    run->result.end = record.end;
    run->result.reason = record.reason;

    Clock::time_point grace = Clock::now() + std::chrono::milliseconds(BOT_EXIT_GRACE_MS);
    for (BotProcess &bot : run->bots) {
        while (child_running(&bot.child) && Clock::now() < grace && !interrupted) wait_a_moment();
        if (bot.child.running && interrupted) break;  // stopped with the rest, no fault of its own
        if (bot.child.running) {
            run->result.warnings.push_back(bot_label(bot) + " was still running " +
                                           std::to_string(BOT_EXIT_GRACE_MS / 1000) +
                                           " s after the game ended and was stopped");
        } else if (!child_succeeded(bot.child)) {
            return failing(run, bot_label(bot) + " ended with " + exit_description(bot.child) +
                                    " after the game; " + log_says(*run, bot.folder + "/" + BOT_LOG),
                           bot.bot->name);
        }
    }
    return true;
}

void stop_everything(Run *run) {
    std::vector<Child *> children = {&run->server};
    for (BotProcess &bot : run->bots) children.push_back(&bot.child);
    children_stop(children, STOP_GRACE_MS);
}

// Clears what an earlier run of the same job left: its result and the
// bots' folders (a stale rejoin file would make a bot try to rejoin).
bool prepare_folder(Run *run) {
    std::error_code failure;
    fs::path folder(run->job.folder);
    fs::create_directories(folder, failure);
    if (!failure) fs::remove(folder / RESULT_FILE, failure);
    if (!failure) fs::remove_all(folder / BOTS_FOLDER, failure);
    if (!failure) return true;
    return failing(run, "cannot prepare the folder " + run->job.folder + ": " + failure.message());
}

std::string map_of(const GameJob &job) {
    for (size_t i = 0; i + 1 < job.server_args.size(); i++) {
        if (job.server_args[i] == "--seed") return "generated from seed " + job.server_args[i + 1];
        if (job.server_args[i] == "--map") return job.server_args[i + 1];
    }
    return "standard";
}

// "[3/10]": games of the tournament with a result, of all its games.
std::string progress(const GameJob &job) {
    int done = 0, all = 0;
    std::error_code failure;
    fs::path games = fs::path(job.folder).parent_path();
    for (fs::directory_iterator it(games, failure), end; !failure && it != end; it.increment(failure)) {
        if (!it->is_directory()) continue;
        all++;
        done += fs::exists(it->path() / RESULT_FILE);
    }
    return "[" + std::to_string(done) + "/" + std::to_string(all) + "]";
}

std::string centres_by_bot(const GameResult &result) {
    std::vector<std::pair<std::string, int>> totals;
    for (const Seat &seat : result.seats) {
        auto it = totals.begin();
        while (it != totals.end() && it->first != seat.bot) ++it;
        if (it == totals.end()) it = totals.insert(totals.end(), {seat.bot, 0});
        it->second += seat.centres;
    }
    std::string text;
    for (const auto &[bot, centres] : totals) text += (text.empty() ? "" : ", ") + bot + " " + std::to_string(centres);
    return text;
}

void print_outcome(const GameJob &job, const GameResult &result) {
    char head[64];
    std::snprintf(head, sizeof head, "game %04d", job.game);
    if (result.status == GameStatus::PLAYED) {
        std::printf("%s %s played: ended %s (%s) in %.1f s; centres %s\n", progress(job).c_str(), head,
                    result.end.c_str(), result.reason.c_str(), result.seconds, centres_by_bot(result).c_str());
    } else {
        std::printf("%s %s FAILED: %s\n", progress(job).c_str(), head, result.error.c_str());
    }
    for (const std::string &warning : result.warnings) std::printf("  %s: %s\n", head, warning.c_str());
    std::fflush(stdout);
}

}  // namespace

int game_job_run(const GameJob &job) {
    catch_interrupts();
    children_adopt_orphans();
    Run run(job);
    run.limit = run.start + std::chrono::seconds(job.limit_s);
    run.result.game = job.game;
    run.result.folder = job.folder;
    run.result.map = map_of(job);
    run.result.status = GameStatus::PLAYED;

    bool ok = prepare_folder(&run) && containment_works(&run) && write_secrets(&run) && start_server(&run);
    for (int power = 0; ok && power < run.powers; power++) ok = start_bot(&run, power);
    ok = ok && play(&run) && judge_end(&run);
    stop_everything(&run);
    run.result.seconds = std::chrono::duration<double>(Clock::now() - run.start).count();

    std::string error;
    if (!game_result_write(run.result, &error)) {
        std::fprintf(stderr, "brox-tournament: game %d: %s\n", job.game, error.c_str());
        return 2;
    }
    // Read back as the merge step will, which also checks the record.
    GameResult result = game_result_read(job.folder, job.game);
    print_outcome(job, result);
    return ok && result.status == GameStatus::PLAYED ? 0 : 1;
}
