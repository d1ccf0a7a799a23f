#pragma once

#include "platform/OsFailure.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class Exception;

// Runs the program: the start-up steps in order (texts, failure report with the
// pre-created failures, code-page facts, regional settings), then run() under the handler
// of last resort, then EndRun with the run's exit code (0 unless it set another). A failure during
// start-up undoes the steps done so far and ends the process by the runtime-error stop.
[[noreturn]] void RunProgram(void (*run)());
// The exit code of a run that reaches its end: 0 unless the run sets another here.
void SetRunExitCode(std::int32_t exitCode);

// Final clean-up (the start-up steps undone in reverse order), then the end of the process
// with the exit code.
[[noreturn]] void EndRun(std::int32_t exitCode);

// The failure report: set up at start-up, taken down in the final clean-up. Setting it up
// makes the two pre-created failures and routes exhausted memory to the first of them.
void SetUpFailureReport();
void TakeDownFailureReport();
bool FailureReportReady();

// The pre-created failures (only while the failure report is set up).
const Exception& OutOfMemoryFailure();
const Exception& InvalidPointerFailure();
// Raise the pre-created failures, with the caller's address.
[[noreturn]] void RaiseOutOfMemory();
[[noreturn]] void RaiseInvalidPointer();

// Fixed sizes of the report.
inline constexpr std::size_t ReportTextBuffer = 1024;  // text and its terminating zero
inline constexpr std::size_t ReportCaptionBuffer = 64; // caption and its terminating zero

// The text of the failure report for a failure raised at a code address, written into a
// buffer of 1024 bytes without taking any memory; returns its length (at most 1023).
std::size_t FormatFailureText(char (&out)[ReportTextBuffer], const Exception& failure,
                              const void* address);
// The same for a failure outside the Exception family, known by its class name only.
std::size_t FormatFailureText(char (&out)[ReportTextBuffer], const char* className,
                              const void* address);
std::string FailureText(const Exception& failure, const void* address);
std::string FailureText(const char* className, const void* address);

// Shows the failure report, then EndRun(1).
[[noreturn]] void ReportFailure(const Exception& failure, const void* address);
[[noreturn]] void ReportFailure(const char* className, const void* address);

// The handler of last resort for a platform fault: the fault becomes a failure object of
// its class and is reported; before the report is set up or after it is taken down, the
// runtime-error stop ends the process instead.
[[noreturn]] void ReportFault(const TFault& fault);
// The failure object of a platform fault, of its class and with the program's message for
// it, raised at the faulting instruction.
std::unique_ptr<Exception> FaultFailure(const TFault& fault);

// Runtime-error numbers of the fatal conditions.
inline constexpr int RuntimeErrorOutOfMemory = 203;
inline constexpr int RuntimeErrorInvalidPointer = 204;
inline constexpr int RuntimeErrorFailure = 217;
int RuntimeErrorOfFault(TFaultKind kind);

// "Runtime error NNN at XXXXXXXX": the number right-aligned in three places and the code
// offset in eight upper-case hexadecimal digits.
std::string RuntimeErrorText(int number, const void* address);
// Shows the runtime-error box (caption "Error") and ends the process with the number as
// its exit code.
[[noreturn]] void RuntimeErrorStop(int number, const void* address);

// The offset of a code address in its module, as the report writes it; the module's file
// name without its folder goes into name (at most 260 bytes).
std::uint32_t CodeOffset(const void* address, char (&name)[261]);
