#pragma once

// Starting a helper program on POSIX systems (dialogs, the desktop's file opener).

#include <string>
#include <vector>

struct TChildResult {
  bool Started = false; // the program was found and ran
  bool Ended = false;   // it ended within the time given (it is left running otherwise)
  int ExitCode = -1;    // its exit status; -1 when it did not exit normally or still runs
  std::string Output;   // what it wrote to its standard output before it ended
};

// Runs a program found on PATH with the arguments given and waits for it, at most waitMs
// milliseconds when waitMs is not negative, then collects its standard output. Its
// standard input and standard error are /dev/null, and its standard output is a file of
// its own, not a pipe: whatever the program leaves behind (an application it starts that
// keeps running) cannot keep the launcher waiting. None of the launcher's own descriptors
// reach the program.
TChildResult RunChild(const std::vector<std::string>& argv, int waitMs = -1);

// Whether a program of that name is on PATH.
bool OnPath(const std::string& program);
