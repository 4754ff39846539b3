// Starting, waiting for and stopping child processes; reading their logs.
#include "process.h"

#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

ChildProcess::ChildProcess(const std::vector<std::string> &argv, const std::string &directory,
                           const std::string &log_path) {
    ChildSetup setup;
    setup.directory = directory;
    setup.log_path = log_path;
    setup.append_log = true;
    std::string error;
    child_start(&child_, argv, setup, &error);  // on failure pid() stays -1 and wait() gives nothing
}

ChildProcess::~ChildProcess() {
    if (child_.pid <= 0 || child_.reaped) return;
    child_signal(child_, SIGKILL);
    child_wait(&child_, -1);
}

std::optional<int> ChildProcess::wait(int timeout_ms) {
    if (child_.pid <= 0 || !child_wait(&child_, timeout_ms)) return std::nullopt;
    return child_status(child_);
}

void ChildProcess::send_signal(int signal_number) { child_signal(child_, signal_number); }

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
