#include "platform/ProcessEnd.h"

#include "platform/Exceptions.h"
#include "platform/FailureReport.h"
#include "platform/FaultTable.h"
#include "platform/os/OsFailure.h"
#include "platform/os/OsProcess.h"

#include <cstdlib>
#include <exception>
#include <new>

namespace {

std::int32_t ExitCode = 0;
std::int32_t RunExitCode = 0;

void (*RunToRun)() = nullptr;

// The start-up steps handed to RunProgram; the final clean-up undoes those started in
// reverse order.
std::span<const TStartStep> StartSteps;
std::size_t StepsStarted = 0;

void FinishSteps() {
  while (StepsStarted > 0) {
    const TStartStep& step = StartSteps[--StepsStarted];
    if (step.Finish)
      step.Finish();
  }
}

// Start-up: a failure undoes what was done and ends the process by the runtime-error stop.
void StartUp() {
  int number = 0;
  const void* address = nullptr;
  try {
    StepsStarted = 0;
    for (const TStartStep& step : StartSteps) {
      step.Start();
      ++StepsStarted;
    }
    return;
  } catch (const Exception& e) {
    number = dynamic_cast<const EOutOfMemory*>(&e) ? RuntimeErrorOutOfMemory : RuntimeErrorFailure;
    address = e.Address;
  } catch (const std::bad_alloc&) {
    number = RuntimeErrorOutOfMemory;
  } catch (...) {
    number = RuntimeErrorFailure;
  }
  try {
    FinishSteps();
  } catch (...) {
    StepsStarted = 0;
  }
  RuntimeErrorStop(number, address);
}

// The handler of last resort for a failure that left the run: offered to the platform's
// filter first, then reported.
[[noreturn]] void LastResort(const Exception& failure, const void* address) {
  if (!FailureReportReady())
    RuntimeErrorStop(dynamic_cast<const EOutOfMemory*>(&failure) ? RuntimeErrorOutOfMemory
                                                                 : RuntimeErrorFailure,
                     address);
  if (!OsFailure().DebuggerFlag())
    OsFailure().OfferFailure(address);
  ReportFailure(failure, address);
}

[[noreturn]] void LastResortForeign(const char* className) {
  if (!FailureReportReady())
    RuntimeErrorStop(RuntimeErrorFailure, nullptr);
  if (!OsFailure().DebuggerFlag())
    OsFailure().OfferFailure(nullptr);
  ReportFailure(className, nullptr);
}

// A failure that cannot be handled at all (one raised while another unwinds, or leaving a
// function that must not fail): the runtime-error stop.
[[noreturn]] void Terminated() {
  RuntimeErrorStop(RuntimeErrorFailure, nullptr);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Start and end

void SetRunExitCode(std::int32_t exitCode) {
  RunExitCode = exitCode;
}

void RunProgram(std::span<const TStartStep> steps, void (*run)()) {
  OsProcess().RestrictLibrarySearch(); // before anything can load a library
  ExitCode = 0;
  RunExitCode = 0;
  StartSteps = steps;
  std::set_terminate(&Terminated);
  ReserveBoxTexts();
  OsFailure().CatchFaults(&ReportFault);
  OsFailure().GuardedRun(&StartUp);
  RunToRun = run;
  try {
    OsFailure().GuardedRun([] { RunToRun(); });
  } catch (const Exception& e) {
    LastResort(e, e.Address);
  } catch (const std::bad_alloc&) {
    if (!FailureReportReady())
      RuntimeErrorStop(RuntimeErrorOutOfMemory, nullptr);
    LastResort(OutOfMemoryFailure(), nullptr);
  } catch (...) {
    char name[128];
    CurrentForeignClassName(name);
    LastResortForeign(name);
  }
  EndRun(RunExitCode);
}

void EndRun(std::int32_t exitCode) {
  ExitCode = exitCode;
  try {
    FinishSteps();
  } catch (const std::bad_alloc&) {
    StepsStarted = 0;
    RuntimeErrorStop(RuntimeErrorOutOfMemory, nullptr);
  } catch (const Exception& e) {
    StepsStarted = 0;
    RuntimeErrorStop(RuntimeErrorFailure, e.Address);
  } catch (...) {
    StepsStarted = 0;
    RuntimeErrorStop(RuntimeErrorFailure, nullptr);
  }
  OsProcess().EndProcess(ExitCode);
  std::abort(); // the platform never comes back from ending the process
}

// ---------------------------------------------------------------------------------------
// Failures and faults that end the run

void ReportFailure(const Exception& failure, const void* address) {
  ShowFailureReport(failure, address);
  EndRun(1);
}

void ReportFailure(const char* className, const void* address) {
  ShowFailureReport(className, address);
  EndRun(1);
}

void ReportFault(const TFault& fault) {
  if (!BeginFailureReport())
    RuntimeErrorStop(RuntimeErrorOfFault(fault.Kind), fault.Address);
  std::unique_ptr<Exception> failure;
  try {
    failure = FaultFailure(fault);
  } catch (...) {
    ReportFailure(OutOfMemoryFailure(), fault.Address);
  }
  ReportFailure(*failure, fault.Address);
}
