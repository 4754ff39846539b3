// Playing a tournament's job lines on this machine with GNU parallel.
#pragma once

#include <string>
#include <vector>

// Whether GNU parallel can be run; false with a reason (not installed, or
// another program of the same name) otherwise.
bool parallel_available(std::string *error);

// Runs `lines` (job lines of the tournament in `folder`) with GNU parallel,
// `jobs` at a time, and waits for them.  An interrupt (Ctrl-C) stops the
// running games, which still write their results; *interrupted says so.
// Returns false with a reason when parallel could not be run.
bool parallel_run(const std::string &folder, const std::vector<std::string> &lines, int jobs, bool *interrupted,
                  std::string *error);
