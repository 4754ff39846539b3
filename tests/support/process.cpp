// Starting, waiting for and stopping child processes; reading their logs.
#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

ChildProcess::ChildProcess(const std::vector<std::string> &argv, const std::string &directory,
                           const std::string &log_path) {
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ != 0) return;
    // In the child: only async-signal-safe calls until exec.
    int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log < 0 || chdir(directory.c_str()) != 0) _exit(126);
    dup2(log, STDOUT_FILENO);
    dup2(log, STDERR_FILENO);
    int null_input = open("/dev/null", O_RDONLY);
    if (null_input >= 0) dup2(null_input, STDIN_FILENO);
    execv(args[0], args.data());
    _exit(127);
}

ChildProcess::~ChildProcess() {
    if (pid_ <= 0 || status_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

std::optional<int> ChildProcess::wait(int timeout_ms) {
    if (status_ || pid_ <= 0) return status_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void ChildProcess::send_signal(int signal_number) {
    if (pid_ > 0 && !status_) kill(pid_, signal_number);
}

std::string read_text(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool wait_for_text(const std::string &path, const std::string &pattern, int timeout_ms) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (read_text(path).find(pattern) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
