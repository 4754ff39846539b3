// Running job lines with GNU parallel: one game per job, each game's line
// as it ends, and on a terminal a status line with the time to go.
#include "tools/tournament/local_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tools/common/child_process.h"

namespace fs = std::filesystem;

namespace {

constexpr const char *PENDING_FILE = "pending-jobs.txt";
constexpr const char *JOBLOG_FILE = "joblog.txt";
// A stopped game gets five seconds to stop its own processes and write its
// result before parallel kills it.
constexpr const char *TERMINATION = "TERM,5000,KILL,25";
constexpr int STATUS_MS = 1000;  // how often the status line is redrawn

volatile sig_atomic_t interrupt_seen = 0;

void note_interrupt(int) { interrupt_seen = 1; }

}  // namespace

bool parallel_available(std::string *error) {
    std::FILE *version = popen("parallel --version 2>/dev/null", "r");
    char line[256] = "";
    if (version) {
        if (!std::fgets(line, sizeof line, version)) line[0] = '\0';
        pclose(version);
    }
    if (std::strstr(line, "GNU parallel")) return true;
    *error = line[0] ? "the \"parallel\" program here is not GNU parallel (moreutils has one of the same name); "
                       "install GNU parallel (Debian: apt install parallel)"
                     : "GNU parallel is not installed (Debian: apt install parallel)";
    return false;
}

namespace {

// What the games have reported so far, from their one line each.
struct Progress {
    size_t games = 0;     // games to play in this run
    size_t played = 0;
    size_t failed = 0;
    int jobs = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool status_shown = false;
};

std::string minutes_and_seconds(double seconds) {
    char text[32];
    long whole = static_cast<long>(seconds + 0.5);
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// The status line under the games' lines: how many are done and running,
// and a guess at the time left from the pace so far.
std::string status_line(const Progress &progress) {
    size_t done = progress.played + progress.failed;
    size_t running = std::min(progress.games - done, static_cast<size_t>(progress.jobs));
    double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - progress.start).count();
    std::string line = std::to_string(done) + " of " + std::to_string(progress.games) + " games done (" +
                       std::to_string(progress.played) + " played, " + std::to_string(progress.failed) +
                       " failed), " + std::to_string(running) + " running; " + minutes_and_seconds(elapsed) +
                       " so far";
    if (done > 0 && done < progress.games)
        line += ", about " + minutes_and_seconds(elapsed / static_cast<double>(done) *
                                                 static_cast<double>(progress.games - done)) +
                " to go";
    return line;
}

// Prints the complete lines of `pending` (a game's report each), keeping
// the rest for later, and redraws the status line on a terminal.
void show(std::string *pending, Progress *progress, bool terminal) {
    if (terminal && progress->status_shown) std::fputs("\r\033[K", stdout);
    for (size_t end; (end = pending->find('\n')) != std::string::npos;) {
        std::string line = pending->substr(0, end + 1);
        pending->erase(0, end + 1);
        if (line.find(" played: ") != std::string::npos) progress->played++;
        if (line.find(" FAILED: ") != std::string::npos) progress->failed++;
        std::fputs(line.c_str(), stdout);
    }
    if (terminal) std::fputs(status_line(*progress).c_str(), stdout);
    progress->status_shown = terminal;
    std::fflush(stdout);
}

}  // namespace

bool parallel_run(const std::string &folder, const std::vector<std::string> &lines, int jobs, bool *interrupted,
                  std::string *error) {
    fs::path pending_jobs = fs::path(folder) / PENDING_FILE;
    {
        std::ofstream file(pending_jobs, std::ios::binary | std::ios::trunc);
        for (const std::string &line : lines) file << line << "\n";
        file.close();
        if (!file) {
            *error = "cannot write " + pending_jobs.string();
            return false;
        }
    }
    std::vector<std::string> argv = {"parallel", "--will-cite", "--jobs", std::to_string(jobs), "--joblog",
                                     (fs::path(folder) / JOBLOG_FILE).string(), "--termseq", TERMINATION,
                                     "-a", pending_jobs.string()};
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        *error = std::string("cannot start parallel: ") + std::strerror(errno);
        return false;
    }

    // While parallel runs, an interrupt is only noted here: parallel passes
    // it on to the games, which stop cleanly and write their results.
    struct sigaction action = {}, old_int = {}, old_term = {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int);
    sigaction(SIGTERM, &action, &old_term);
    std::fflush(stdout);
    ChildSetup setup;
    setup.output_fd = output[1];
    setup.environment = {"PARALLEL_SHELL=/bin/sh"};
    setup.search_path = true;
    Child parallel;
    std::string reason;
    bool started = child_start(&parallel, argv, setup, &reason);
    if (!started) *error = "cannot start parallel: " + reason;
    close(output[1]);

    Progress progress;
    progress.games = lines.size();
    progress.jobs = jobs;
    bool terminal = isatty(STDOUT_FILENO);
    bool passed_on = false;
    std::string pending;
    for (bool open = started; open;) {
        if (interrupt_seen && !passed_on) {
            // In case it was meant for this process alone.
            child_signal(parallel, SIGINT);
            passed_on = true;
        }
        pollfd watched = {output[0], POLLIN, 0};
        int ready = poll(&watched, 1, STATUS_MS);
        if (ready < 0) continue;  // interrupted
        if (ready > 0) {
            char buffer[4096];
            ssize_t got = read(output[0], buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) open = false;
            if (got > 0) pending.append(buffer, static_cast<size_t>(got));
        }
        show(&pending, &progress, terminal);
    }
    close(output[0]);
    if (terminal && progress.status_shown) std::fputs("\n", stdout);
    if (!pending.empty()) std::fputs((pending + "\n").c_str(), stdout);
    if (started) child_wait(&parallel, -1);
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    *interrupted = interrupt_seen;
    std::error_code ignored;
    fs::remove(pending_jobs, ignored);
    return started;
}
