// Starting, watching and stopping the processes of one game.  Every child
// leads a process group of its own, so that stopping it also stops what it
// started (a bot run through the shell, a wrapper script).
#include "tools/tournament/children.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

constexpr int POLL_MS = 20;

}  // namespace

bool child_start(Child *child, const std::vector<std::string> &argv, const std::string &directory,
                 const std::string &log_path, const std::vector<std::string> &environment, std::string *error) {
    int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0) {
        *error = "cannot write " + log_path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        *error = std::string("cannot start a process: ") + std::strerror(errno);
        close(log);
        return false;
    }
    if (pid == 0) {
        // The runner is single-threaded, so the child may allocate.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(125);  // the runner died before the line above
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal_number, &action, nullptr);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        int null_input = open("/dev/null", O_RDONLY);
        if (null_input >= 0) dup2(null_input, STDIN_FILENO);
        if (chdir(directory.c_str()) != 0) {
            dprintf(STDERR_FILENO, "cannot enter %s: %s\n", directory.c_str(), std::strerror(errno));
            _exit(126);
        }
        for (const std::string &variable : environment) putenv(const_cast<char *>(variable.c_str()));
        execv(args[0], args.data());
        dprintf(STDERR_FILENO, "cannot run %s: %s\n", args[0], std::strerror(errno));
        _exit(127);
    }
    // Also from this side, so that a signal to the group cannot miss it.
    setpgid(pid, pid);
    close(log);
    *child = Child{};
    child->pid = pid;
    child->running = true;
    return true;
}

bool child_running(Child *child) {
    if (!child->running) return false;
    siginfo_t info = {};
    if (waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        child->running = false;  // not our child any more: nothing to wait for
        return false;
    }
    if (info.si_pid != child->pid) return true;
    child->running = false;
    child->signalled = info.si_code != CLD_EXITED;
    child->code = info.si_status;
    return false;
}

void children_stop(const std::vector<Child *> &children, int grace_ms) {
    for (Child *child : children)
        if (child->pid > 0 && !child->reaped) kill(-child->pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(grace_ms);
    for (;;) {
        bool any = false;
        for (Child *child : children) any |= child_running(child);
        if (!any || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    }
    for (Child *child : children) {
        if (child->pid <= 0 || child->reaped) continue;
        kill(-child->pid, SIGKILL);
        int status = 0;
        if (waitpid(child->pid, &status, 0) == child->pid && child->running) {
            child->signalled = WIFSIGNALED(status);
            child->code = child->signalled ? WTERMSIG(status) : WEXITSTATUS(status);
        }
        child->running = false;
        child->reaped = true;
    }
    children_reap_orphans();
}

void children_adopt_orphans() { prctl(PR_SET_CHILD_SUBREAPER, 1); }

void children_reap_orphans() {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

std::string exit_description(const Child &child) {
    char text[160];
    if (child.signalled) {
        std::snprintf(text, sizeof text, "killed by signal %d (%s)", child.code, strsignal(child.code));
    } else if (child.code > 128 && child.code < 128 + NSIG) {
        // A shell reports a command that a signal ended as 128 + the signal.
        std::snprintf(text, sizeof text, "exit status %d (signal %d, %s)", child.code, child.code - 128,
                      strsignal(child.code - 128));
    } else if (child.code == 127) {
        std::snprintf(text, sizeof text, "exit status 127 (command not found)");
    } else {
        std::snprintf(text, sizeof text, "exit status %d", child.code);
    }
    return text;
}

bool child_succeeded(const Child &child) { return !child.running && !child.signalled && child.code == 0; }
