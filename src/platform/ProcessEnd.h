#pragma once

#include "platform/os/OsFailure.h"

#include <cstdint>
#include <span>

class Exception;

// One start-up step of the program's parts and, where it has one, the step that undoes it
// in the final clean-up.
struct TStartStep {
  void (*Start)();
  void (*Finish)();
};

// Runs the program: the start-up steps in the order given (the main block hands over the
// program's own), then run() under the handler of last resort, then EndRun with the run's
// exit code (0 unless it set another). A failure during start-up undoes the steps done so
// far and ends the process by the runtime-error stop.
[[noreturn]] void RunProgram(std::span<const TStartStep> steps, void (*run)());
// The exit code of a run that reaches its end: 0 unless the run sets another here.
void SetRunExitCode(std::int32_t exitCode);

// Final clean-up (the start-up steps undone in reverse order), then the end of the process
// with the exit code.
[[noreturn]] void EndRun(std::int32_t exitCode);

// Shows the failure report, then EndRun(1).
[[noreturn]] void ReportFailure(const Exception& failure, const void* address);
[[noreturn]] void ReportFailure(const char* className, const void* address);

// The handler of last resort for a platform fault: the fault becomes a failure object of
// its class and is reported; before the report is set up, after it is taken down or while
// it is shown, the runtime-error stop ends the process instead.
[[noreturn]] void ReportFault(const TFault& fault);
