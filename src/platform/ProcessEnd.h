#pragma once

#include <string>

class Exception;

// Runs the program: start-up (failure report, code-page facts, texts, regional
// settings), then run() under the handler of last resort, then EndRun(0).
[[noreturn]] void RunProgram(void (*run)());

// Final clean-up, then the end of the process with the exit code.
[[noreturn]] void EndRun(int exitCode);

// The text of the failure report for a failure (null: a failure outside the Exception
// family, known only by its class name) raised at a code address.
std::string FailureText(const Exception* failure, const char* className, const void* address);

// Shows the failure report, then EndRun(1).
[[noreturn]] void ReportFailure(const Exception* failure, const char* className,
                                const void* address);
