#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Exception;

// The failure report: set up at start-up, taken down in the final clean-up. Setting it up
// makes the two pre-created failures and routes exhausted memory to the first of them.
void SetUpFailureReport();
void TakeDownFailureReport();
bool FailureReportReady();
// Marks the report as being shown; false when it is not set up or is shown already (a
// fault while reporting), where only the runtime-error stop is left.
bool BeginFailureReport();

// The pre-created failures (only while the failure report is set up).
const Exception& OutOfMemoryFailure();
const Exception& InvalidPointerFailure();
// Raise the pre-created failures, with the caller's address.
[[noreturn]] void RaiseOutOfMemory();
[[noreturn]] void RaiseInvalidPointer();

// Fixed sizes of the report.
inline constexpr std::size_t ReportTextBuffer = 1024;  // text and its terminating zero
inline constexpr std::size_t ReportCaptionBuffer = 64; // caption and its terminating zero
// The report's text and caption as the box shows them (UTF-8: up to four bytes for each
// byte of the ANSI form).
inline constexpr std::size_t ShownReportBuffer = 4 * ReportTextBuffer;
inline constexpr std::size_t ShownCaptionBuffer = 4 * ReportCaptionBuffer;

// The text of the failure report for a failure raised at a code address, written into a
// buffer of 1024 bytes without taking any memory; returns its length (at most 1023).
std::size_t FormatFailureText(char (&out)[ReportTextBuffer], const Exception& failure,
                              const void* address);
// The same for a failure outside the Exception family, known by its class name only.
std::size_t FormatFailureText(char (&out)[ReportTextBuffer], const char* className,
                              const void* address);
std::string FailureText(const Exception& failure, const void* address);
std::string FailureText(const char* className, const void* address);

// Shows the failure report's box (caption and icon of the report) and returns.
void ShowFailureReport(const Exception& failure, const void* address);
void ShowFailureReport(const char* className, const void* address);

// Makes room once for the texts handed to a box, so that showing the report or the
// runtime-error box takes no memory.
void ReserveBoxTexts();

// Runtime-error numbers of the fatal conditions.
inline constexpr int RuntimeErrorOutOfMemory = 203;
inline constexpr int RuntimeErrorInvalidPointer = 204;
inline constexpr int RuntimeErrorFailure = 217;

// "Runtime error NNN at XXXXXXXX": the number right-aligned in three places and the code
// offset in eight upper-case hexadecimal digits.
std::string RuntimeErrorText(int number, const void* address);
// Shows the runtime-error box (caption "Error") and ends the process with the number as
// its exit code, without any clean-up.
[[noreturn]] void RuntimeErrorStop(int number, const void* address);

// The class name of the failure being handled, when it is not an Exception: the name the
// language keeps for its type made readable ("std::runtime_error"), or "unknown".
void CurrentForeignClassName(char (&out)[128]);

// The offset of a code address in its module, as the report writes it; the module's file
// name without its folder goes into name (at most 260 bytes).
std::uint32_t CodeOffset(const void* address, char (&name)[261]);
