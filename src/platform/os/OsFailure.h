#pragma once

#include "platform/os/OsSlot.h"

#include <cstdint>

// What the platform reports of a fault that it raised in the program.
enum class TFaultKind {
  AccessViolation,   // invalid memory access
  IntDivideByZero,   // integer division by zero
  IntOverflow,       // integer overflow
  ArrayBounds,       // bounds check
  FloatDivideByZero, // floating-point division by zero
  FloatInvalid,      // invalid floating-point operation
  FloatOverflow,     // floating-point overflow
  FloatUnderflow,    // floating-point underflow
  StackOverflow,     // the stack is exhausted
  Privileged,        // privileged instruction
  ControlC,          // control-C
  Other              // any other fault
};

struct TFault {
  TFaultKind Kind = TFaultKind::Other;
  // The platform's code of the fault (Windows: the exception code; POSIX: the signal
  // number times 0x100 plus the signal's code).
  std::uint32_t Code = 0;
  const void* Address = nullptr;       // the faulting instruction
  const void* AccessAddress = nullptr; // invalid memory access: the address accessed
  bool Write = false;                  // invalid memory access: a write
};

// Where a fault goes once the platform has let it through; does not return.
using TFaultSink = void (*)(const TFault&);

// The module (the program's file or a library) that holds a code address.
struct TModuleInfo {
  bool Found = false;  // false: the address lies in no module; Path is then the program's
  char Path[261] = {}; // full path, cut to 260 bytes
  std::uintptr_t Base = 0;
};

// Faults, the platform's unhandled-failure filter and code addresses.
class TOsFailure {
public:
  virtual ~TOsFailure() = default;
  // From now on every platform fault of the program (invalid memory access, arithmetic
  // fault, stack overflow, privileged instruction, control-C) is first offered to the
  // platform's unhandled-failure filter (Windows: UnhandledExceptionFilter, unless a
  // debugger is attached) and, where that lets it through, handed to the sink on a stack
  // of its own.
  virtual void CatchFaults(TFaultSink sink) = 0;
  // Runs the function so that faults inside it are caught (Windows: under a frame-based
  // handler of its own).
  virtual void GuardedRun(void (*run)()) = 0;
  // True when a debugger is attached to the program.
  virtual bool DebuggerFlag() = 0;
  // Offers a failure raised by the program at a code address to the platform's
  // unhandled-failure filter. When the filter answers that the search should continue,
  // the platform ends the process in its own way and this does not return.
  virtual void OfferFailure(const void* address) = 0;
  // The module that holds the code address.
  virtual TModuleInfo ModuleOf(const void* address) = 0;
};

inline TOsFailure& OsFailure() {
  return TOsSlot<TOsFailure>::Get();
}
