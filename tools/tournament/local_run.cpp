// Running job lines with GNU parallel: one game per job, the games' own
// lines as progress, and parallel's bar when a person is watching.
#include "tools/tournament/local_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr const char *PENDING_FILE = "pending-jobs.txt";
constexpr const char *JOBLOG_FILE = "joblog.txt";
// A stopped game gets five seconds to stop its own processes and write its
// result before parallel kills it.
constexpr const char *TERMINATION = "TERM,5000,KILL,25";

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

bool parallel_run(const std::string &folder, const std::vector<std::string> &lines, int jobs, bool *interrupted,
                  std::string *error) {
    fs::path pending = fs::path(folder) / PENDING_FILE;
    {
        std::ofstream file(pending, std::ios::binary | std::ios::trunc);
        for (const std::string &line : lines) file << line << "\n";
        file.close();
        if (!file) {
            *error = "cannot write " + pending.string();
            return false;
        }
    }
    std::vector<std::string> argv = {"parallel", "--will-cite", "--jobs", std::to_string(jobs), "--joblog",
                                     (fs::path(folder) / JOBLOG_FILE).string(), "--termseq", TERMINATION};
    if (isatty(STDERR_FILENO)) argv.push_back("--bar");
    argv.insert(argv.end(), {"-a", pending.string()});
    std::vector<char *> args;
    for (std::string &arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);

    // While parallel runs, an interrupt is only noted here: parallel passes
    // it on to the games, which stop cleanly.
    struct sigaction action = {}, old_int = {}, old_term = {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int);
    sigaction(SIGTERM, &action, &old_term);
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        setenv("PARALLEL_SHELL", "/bin/sh", 1);
        execvp(args[0], args.data());
        std::fprintf(stderr, "brox-tournament: cannot run parallel: %s\n", std::strerror(errno));
        _exit(127);
    }
    bool started = pid > 0;
    if (!started) *error = std::string("cannot start parallel: ") + std::strerror(errno);
    while (started && waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        // Passed on, in case it was meant for this process alone: parallel
        // then stops its running games.
        if (interrupt_seen) kill(pid, SIGINT);
    }
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    *interrupted = interrupt_seen;
    std::error_code ignored;
    fs::remove(pending, ignored);
    return started;
}
