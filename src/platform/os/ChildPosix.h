#pragma once

// Starting a helper program on POSIX systems (dialogs, the desktop's file opener).

#include <string>
#include <vector>

struct TChildResult {
  bool Started = false; // the program was found and ran
  int ExitCode = -1;    // its exit status; -1 when it did not exit normally
  std::string Output;   // what it wrote to its standard output
};

// Runs a program found on PATH with the arguments given, waits for it and collects its
// standard output. Its standard input and standard error are /dev/null.
TChildResult RunChild(const std::vector<std::string>& argv);

// Whether a program of that name is on PATH.
bool OnPath(const std::string& program);
