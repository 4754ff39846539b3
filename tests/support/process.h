// Child processes for tests that run the real server and bots, through the
// tools' child-process module: started in a directory of their own with
// their output appended to a file, waited for with a time limit, and
// killed if a test leaves them running.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "tools/common/child_process.h"

class ChildProcess {
  public:
    // Runs argv[0] (a path) with its arguments in `directory`, standard
    // output and error appended to `log_path`.  Sanitizer builds report
    // leaks at exit, which makes the exit status non-zero.
    ChildProcess(const std::vector<std::string> &argv, const std::string &directory,
                 const std::string &log_path);
    ~ChildProcess();  // kills and reaps a child still running
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The exit status once the child has ended within `timeout_ms`; 128 +
    // the signal number when a signal ended it; nothing on timeout.
    std::optional<int> wait(int timeout_ms);
    void send_signal(int signal_number);
    pid_t pid() const { return child_.pid; }

  private:
    Child child_;
};

// The whole text of a file ("" when it cannot be read).
std::string read_text(const std::string &path);

// Waits up to `timeout_ms` for `pattern` to appear in the file; returns
// whether it did.
bool wait_for_text(const std::string &path, const std::string &pattern, int timeout_ms);
