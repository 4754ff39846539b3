// The processes of one game (the server and its bots): each started in a
// process group of its own with its output in a log file, watched without
// blocking, and stopped with everything it started.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A child is left a zombie when it ends until children_stop reaps it, so
// that its process group id cannot be taken by an unrelated process while
// the group may still be signalled.
struct Child {
    pid_t pid = -1;         // also its process group
    bool running = false;
    bool reaped = false;
    bool signalled = false; // once ended: a signal ended it
    int code = 0;           // once ended: its exit status, or the signal
};

// Starts argv (argv[0] a path) in `directory`, in a new process group, with
// standard output and error written to `log_path` (truncated), standard
// input from /dev/null and `environment` ("NAME=value") added.  The child
// is killed if the caller dies.  Returns false with a reason when it could
// not be started.
bool child_start(Child *child, const std::vector<std::string> &argv, const std::string &directory,
                 const std::string &log_path, const std::vector<std::string> &environment, std::string *error);

// Notes whether the child has ended; returns true when it still runs.
bool child_running(Child *child);

// Stops every child's process group: a termination signal, up to
// `grace_ms` to end, then a kill; reaps them all.
void children_stop(const std::vector<Child *> &children, int grace_ms);

// Makes this process the reaper of its orphaned descendants, so that a
// bot's own children end up reaped here too.
void children_adopt_orphans();
// Reaps every ended descendant that is not waited for otherwise.
void children_reap_orphans();

// How an ended child ended: "exit status 3", "killed by signal 11
// (Segmentation fault)".
std::string exit_description(const Child &child);
// Whether it ended with exit status 0.
bool child_succeeded(const Child &child);
