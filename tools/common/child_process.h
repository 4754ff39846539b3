// Child processes of the tools and the tests: started in a folder of their
// own with standard input from /dev/null and their output in a log file
// (or a descriptor), watched without blocking, waited for with a time
// limit, signalled alone or with everything they started, and described
// once they have ended.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// How a child is started.
struct ChildSetup {
    std::string directory;                 // its working folder; "" for the current one
    std::string log_path;                  // standard output and error; "" to keep the parent's
    bool append_log = false;               // append to the log rather than truncate it
    int output_fd = -1;                    // without a log: standard output to this descriptor
    std::vector<std::string> environment;  // "NAME=value", added to the parent's environment
    bool own_group = false;                // leads a process group of its own
    bool dies_with_parent = false;         // killed when the process that started it dies
    bool search_path = false;              // argv[0] is looked up on PATH
    long long file_size_limit = 0;         // bytes: a write past it ends the child (SIGXFSZ); 0 for none
    long long process_limit = 0;           // processes of its user it may add to (RLIMIT_NPROC); 0 for none
};

// A child stays a zombie after it ends until child_wait or children_stop
// reaps it, so that its process id (and group id) cannot be taken by an
// unrelated process while it may still be signalled.
struct Child {
    pid_t pid = -1;
    bool own_group = false;  // signals go to its whole process group
    bool running = false;
    bool reaped = false;
    bool signalled = false;  // once ended: a signal ended it
    int code = 0;            // once ended: its exit status, or the signal
};

// Starts argv (at least one word) as `setup` says, with SIGINT, SIGTERM,
// SIGHUP and SIGPIPE at their defaults.  A program that cannot be run
// ends with status 127, one that cannot enter its folder with 126, each
// after a line on its standard error.  False, with a reason, when no
// process could be started.
bool child_start(Child *child, const std::vector<std::string> &argv, const ChildSetup &setup, std::string *error);

// Notes whether the child has ended, without reaping it; true while it runs.
bool child_running(Child *child);
// Waits up to `timeout_ms` (-1: for as long as it takes) for the child to
// end and reaps it; true when it has ended.
bool child_wait(Child *child, int timeout_ms);
// Sends `signal_number` to the child (to its process group when it leads
// one) while it has not been reaped.
void child_signal(const Child &child, int signal_number);

// Stops every child: a termination signal, up to `grace_ms` to end, then
// a kill; reaps them all.
void children_stop(const std::vector<Child *> &children, int grace_ms);

// Makes this process the reaper of its orphaned descendants, so that the
// children's own children end up reaped here too.
void children_adopt_orphans();
// Reaps every ended descendant that is not waited for otherwise.
void children_reap_orphans();

// How an ended child ended: "exit status 3", "killed by signal 11
// (Segmentation fault)", "exit status 137 (signal 9, Killed)" for a shell
// whose command a signal ended.
std::string exit_description(const Child &child);
// Whether it ended with exit status 0.
bool child_succeeded(const Child &child);
// Its exit status, or 128 + the signal that ended it (as a shell says).
int child_status(const Child &child);
