// Starting, watching, waiting for and stopping child processes.  Between
// fork and exec the child makes only async-signal-safe calls: everything
// it needs (arguments, environment, messages) is prepared before the fork.
#include "tools/common/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

extern char **environ;

namespace {

constexpr int POLL_MS = 20;

// The parent's environment with `additions` ("NAME=value") put in place
// of variables of the same name.
std::vector<std::string> environment_with(const std::vector<std::string> &additions) {
    std::vector<std::string> out;
    for (char **variable = environ; variable && *variable; variable++) {
        std::string entry = *variable;
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string &addition : additions) replaced |= addition.compare(0, name.size(), name) == 0;
        if (!replaced) out.push_back(entry);
    }
    out.insert(out.end(), additions.begin(), additions.end());
    return out;
}

std::vector<char *> pointers_to(std::vector<std::string> &words) {
    std::vector<char *> out;
    for (std::string &word : words) out.push_back(word.data());
    out.push_back(nullptr);
    return out;
}

void write_all(int fd, const char *text) {
    for (size_t left = std::strlen(text); left > 0;) {
        ssize_t wrote = write(fd, text, left);
        if (wrote <= 0) return;
        text += wrote;
        left -= static_cast<size_t>(wrote);
    }
}

// The child's part, up to exec.
[[noreturn]] void run_child(const ChildSetup &setup, int log, pid_t parent, char **argv, char **envp,
                            const std::string &cannot_enter, const std::string &cannot_run) {
    if (setup.own_group) setpgid(0, 0);
    if (setup.dies_with_parent) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(125);  // the parent died before the line above
    }
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal_number, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (log >= 0) {
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
    } else if (setup.output_fd >= 0) {
        dup2(setup.output_fd, STDOUT_FILENO);
    }
    if (setup.file_size_limit > 0) {
        rlimit limit = {static_cast<rlim_t>(setup.file_size_limit), static_cast<rlim_t>(setup.file_size_limit)};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (setup.process_limit > 0) {
        rlimit limit = {static_cast<rlim_t>(setup.process_limit), static_cast<rlim_t>(setup.process_limit)};
        setrlimit(RLIMIT_NPROC, &limit);
    }
    int null_input = open("/dev/null", O_RDONLY);
    if (null_input >= 0) dup2(null_input, STDIN_FILENO);
    if (!setup.directory.empty() && chdir(setup.directory.c_str()) != 0) {
        write_all(STDERR_FILENO, cannot_enter.c_str());
        write_all(STDERR_FILENO, strerror(errno));
        write_all(STDERR_FILENO, "\n");
        _exit(126);
    }
    if (setup.search_path)
        execvpe(argv[0], argv, envp);
    else
        execve(argv[0], argv, envp);
    write_all(STDERR_FILENO, cannot_run.c_str());
    write_all(STDERR_FILENO, strerror(errno));
    write_all(STDERR_FILENO, "\n");
    _exit(127);
}

void note_end(Child *child, int status) {
    child->running = false;
    child->signalled = WIFSIGNALED(status);
    child->code = child->signalled ? WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

bool child_start(Child *child, const std::vector<std::string> &argv, const ChildSetup &setup, std::string *error) {
    *child = Child{};
    if (argv.empty()) {
        *error = "no program to run";
        return false;
    }
    int log = -1;
    if (!setup.log_path.empty()) {
        int mode = O_WRONLY | O_CREAT | O_CLOEXEC | (setup.append_log ? O_APPEND : O_TRUNC);
        log = open(setup.log_path.c_str(), mode, 0644);
        if (log < 0) {
            *error = "cannot write " + setup.log_path + ": " + std::strerror(errno);
            return false;
        }
    }
    std::vector<std::string> words = argv;
    std::vector<char *> args = pointers_to(words);
    std::vector<std::string> variables = environment_with(setup.environment);
    std::vector<char *> envp = pointers_to(variables);
    std::string cannot_enter = "cannot enter " + setup.directory + ": ";
    std::string cannot_run = "cannot run " + argv[0] + ": ";
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) run_child(setup, log, parent, args.data(), envp.data(), cannot_enter, cannot_run);
    if (log >= 0) close(log);
    if (pid < 0) {
        *error = std::string("cannot start a process: ") + std::strerror(errno);
        return false;
    }
    // Also from this side, so that a signal to the group cannot miss it.
    if (setup.own_group) setpgid(pid, pid);
    child->pid = pid;
    child->own_group = setup.own_group;
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

bool child_wait(Child *child, int timeout_ms) {
    if (child->pid <= 0 || child->reaped) return true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(child->pid, &status, timeout_ms < 0 ? 0 : WNOHANG);
        if (done == child->pid) {
            note_end(child, status);
            child->reaped = true;
            return true;
        }
        if (done < 0 && errno == EINTR) continue;
        if (done < 0) {  // not our child any more
            child->running = false;
            child->reaped = true;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    }
}

void child_signal(const Child &child, int signal_number) {
    if (child.pid <= 0 || child.reaped) return;
    kill(child.own_group ? -child.pid : child.pid, signal_number);
}

void children_stop(const std::vector<Child *> &children, int grace_ms) {
    for (Child *child : children) child_signal(*child, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(grace_ms);
    for (;;) {
        bool any = false;
        for (Child *child : children) any |= child_running(child);
        if (!any || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(POLL_MS));
    }
    for (Child *child : children) {
        if (child->pid <= 0 || child->reaped) continue;
        // Once reaped the group id could be reused: the kill comes first,
        // for whatever the child left running in its group.
        child_signal(*child, SIGKILL);
        bool was_running = child->running;
        int status = 0;
        if (waitpid(child->pid, &status, 0) == child->pid && was_running) note_end(child, status);
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

int child_status(const Child &child) { return child.signalled ? 128 + child.code : child.code; }
