// Faults on Windows: a frame-based handler of the program's own around the guarded code.
// A fault that reaches it is first offered to the platform's unhandled-failure filter
// (UnhandledExceptionFilter), unless a debugger is attached; what the filter lets through
// is handed to the sink on a stack of its own (a fiber), so that a stack overflow can be
// reported too.
#include "platform/os/OsFailure.h"

#include <exception>

// The headers' segment-register reads (NtCurrentTeb) look like reads through a null
// pointer to the compiler's bounds check.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#include <windows.h>
#pragma GCC diagnostic pop

namespace {

// Exceptions that are not faults: the language's own (thrown failures pass the guard on
// their way to the program's handler) and a failure the program offers to the filter.
constexpr DWORD GccThrow = 0x20474343;
constexpr DWORD GccUnwind = 0x21474343;
constexpr DWORD GccForcedUnwind = 0x22474343;
constexpr DWORD ProgramFailure = 0xE0415146;

TFaultSink Sink = nullptr;
void* ThreadFiber = nullptr;
void* ReportFiber = nullptr;
EXCEPTION_POINTERS* Pending = nullptr;
LONG PendingAnswer = EXCEPTION_CONTINUE_SEARCH;
bool OnReportFiber = false;
int Guarding = 0; // guarded runs in progress

// The kind of each fault code; any other is TFaultKind::Other.
constexpr struct {
  DWORD Code;
  TFaultKind Kind;
} FaultKinds[] = {
    {EXCEPTION_ACCESS_VIOLATION, TFaultKind::AccessViolation},
    {EXCEPTION_IN_PAGE_ERROR, TFaultKind::AccessViolation},
    {EXCEPTION_INT_DIVIDE_BY_ZERO, TFaultKind::IntDivideByZero},
    {EXCEPTION_INT_OVERFLOW, TFaultKind::IntOverflow},
    {EXCEPTION_ARRAY_BOUNDS_EXCEEDED, TFaultKind::ArrayBounds},
    {EXCEPTION_FLT_DIVIDE_BY_ZERO, TFaultKind::FloatDivideByZero},
    {EXCEPTION_FLT_INVALID_OPERATION, TFaultKind::FloatInvalid},
    {EXCEPTION_FLT_DENORMAL_OPERAND, TFaultKind::FloatInvalid},
    {EXCEPTION_FLT_INEXACT_RESULT, TFaultKind::FloatInvalid},
    {EXCEPTION_FLT_STACK_CHECK, TFaultKind::FloatInvalid},
    {0xC00002B4, TFaultKind::FloatInvalid}, // several floating-point faults at once
    {0xC00002B5, TFaultKind::FloatInvalid}, // several floating-point traps at once
    {EXCEPTION_FLT_OVERFLOW, TFaultKind::FloatOverflow},
    {EXCEPTION_FLT_UNDERFLOW, TFaultKind::FloatUnderflow},
    {EXCEPTION_STACK_OVERFLOW, TFaultKind::StackOverflow},
    {EXCEPTION_PRIV_INSTRUCTION, TFaultKind::Privileged},
    {STATUS_CONTROL_C_EXIT, TFaultKind::ControlC},
};

TFaultKind KindOf(DWORD code) {
  for (const auto& entry : FaultKinds)
    if (entry.Code == code)
      return entry.Kind;
  return TFaultKind::Other;
}

TFault FaultOf(const EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  TFault fault;
  fault.Code = record->ExceptionCode;
  fault.Address = record->ExceptionAddress;
  fault.Kind = KindOf(record->ExceptionCode);
  if (fault.Kind == TFaultKind::AccessViolation && record->NumberParameters >= 2) {
    fault.Write = record->ExceptionInformation[0] == 1;
    fault.AccessAddress = reinterpret_cast<const void*>(record->ExceptionInformation[1]);
  }
  return fault;
}

// Decides about the pending fault: offered to the platform's filter first; what it lets
// through goes to the sink and never comes back.
void Decide() {
  LONG answer = EXCEPTION_EXECUTE_HANDLER;
  if (!IsDebuggerPresent())
    answer = UnhandledExceptionFilter(Pending);
  if (answer == EXCEPTION_EXECUTE_HANDLER)
    Sink(FaultOf(Pending));
  PendingAnswer = answer == EXCEPTION_CONTINUE_EXECUTION ? EXCEPTION_CONTINUE_EXECUTION
                                                         : EXCEPTION_CONTINUE_SEARCH;
}

void CALLBACK ReportFiberMain(void*) {
  for (;;) {
    Decide();
    SwitchToFiber(ThreadFiber);
  }
}

LONG FaultFilter(EXCEPTION_POINTERS* pointers) {
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  if (!Sink || code == GccThrow || code == GccUnwind || code == GccForcedUnwind ||
      code == ProgramFailure)
    return EXCEPTION_CONTINUE_SEARCH;
  if (Pending && Pending->ExceptionRecord == pointers->ExceptionRecord)
    return PendingAnswer; // decided already, on its way in (stack overflow)
  Pending = pointers;
  if (ReportFiber && !OnReportFiber) {
    OnReportFiber = true;
    SwitchToFiber(ReportFiber);
    OnReportFiber = false;
  } else {
    Decide();
  }
  return PendingAnswer;
}

// A stack overflow is taken on its way in: with the stack exhausted, the platform may not
// manage to walk the frames to the guard's own handler (Wine cannot), so this does at once
// what that handler would do, and only for faults of the guarded code.
LONG CALLBACK StackOverflowFirst(EXCEPTION_POINTERS* pointers) {
  if (pointers->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW || Guarding == 0)
    return EXCEPTION_CONTINUE_SEARCH;
  return FaultFilter(pointers);
}

} // namespace

#if defined(__x86_64__)
// The filter of the guard's scope; __C_specific_handler calls it during the search. Named
// only in the scope table (assembly), so it is kept by its attribute.
extern "C" __attribute__((used)) LONG AqGuardFilter(EXCEPTION_POINTERS* pointers, void*) {
  return FaultFilter(pointers);
}

namespace {
// Runs the function inside a scope of the frame's own handler (__C_specific_handler, with
// the scope table written next to the frame's unwind data). The function lives in .text
// itself, which the scope table's ".text" switches back to.
__attribute__((noinline, section(".text"))) void GuardedCall(void (*run)()) {
  __asm__ __volatile__(".l_aqguard_start:\n"
                       "\t.seh_handler __C_specific_handler, @except\n"
                       "\t.seh_handlerdata\n"
                       "\t.long 1\n"
                       "\t.rva .l_aqguard_start, .l_aqguard_end, AqGuardFilter, .l_aqguard_end\n"
                       "\t.text\n" ::
                           : "memory");
  run();
  __asm__ __volatile__("\tnop\n"
                       ".l_aqguard_end:\n"
                       "\tnop\n" ::
                           : "memory");
}
} // namespace
#else
namespace {
EXCEPTION_DISPOSITION NTAPI GuardHandler(EXCEPTION_RECORD* record, void*, CONTEXT* context, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND))
    return ExceptionContinueSearch;
  EXCEPTION_POINTERS pointers{record, context};
  return FaultFilter(&pointers) == EXCEPTION_CONTINUE_EXECUTION ? ExceptionContinueExecution
                                                                : ExceptionContinueSearch;
}

// Runs the function with a registration of the frame's own handler at the head of the
// thread's handler list, taken off again however the function is left.
void GuardedCall(void (*run)()) {
  NT_TIB* tib = reinterpret_cast<NT_TIB*>(NtCurrentTeb());
  EXCEPTION_REGISTRATION_RECORD registration{};
  registration.Next = tib->ExceptionList;
  registration.Handler = &GuardHandler;
  tib->ExceptionList = &registration;
  struct TUnregister {
    NT_TIB* Tib;
    EXCEPTION_REGISTRATION_RECORD* Next;
    ~TUnregister() { Tib->ExceptionList = Next; }
  } unregister{tib, registration.Next};
  run();
}
} // namespace
#endif

namespace {

class TOsFailureWin final : public TOsFailure {
public:
  void CatchFaults(TFaultSink sink) override {
    Sink = sink;
    if (ReportFiber)
      return;
    // The thread becomes a fiber, so that the report can run on a stack of its own (a
    // thread that is a fiber already keeps reporting on its own stack).
    ThreadFiber = ConvertThreadToFiber(nullptr);
    if (ThreadFiber)
      ReportFiber = CreateFiber(1024 * 1024, &ReportFiberMain, nullptr);
    if (ReportFiber)
      AddVectoredExceptionHandler(1, &StackOverflowFirst);
  }

  void GuardedRun(void (*run)()) override {
    struct TGuarding {
      TGuarding() { ++Guarding; }
      ~TGuarding() { --Guarding; }
    } guarding;
    GuardedCall(run);
  }

  bool DebuggerFlag() override { return IsDebuggerPresent() != 0; }

  void OfferFailure(const void* address) override {
    EXCEPTION_RECORD record{};
    record.ExceptionCode = ProgramFailure;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = const_cast<void*>(address);
    CONTEXT context{};
    RtlCaptureContext(&context);
    EXCEPTION_POINTERS pointers{&record, &context};
    if (UnhandledExceptionFilter(&pointers) == EXCEPTION_CONTINUE_SEARCH)
      // Left to the platform: raised where nothing handles it.
      RaiseException(ProgramFailure, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  }

  TModuleInfo ModuleOf(const void* address) override {
    TModuleInfo module;
    HMODULE handle = nullptr;
    module.Found = address && GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                                 static_cast<LPCSTR>(address), &handle);
    if (!module.Found)
      handle = nullptr;
    const DWORD n = GetModuleFileNameA(handle, module.Path, sizeof module.Path);
    module.Path[n < sizeof module.Path ? n : sizeof module.Path - 1] = '\0';
    module.Base = reinterpret_cast<std::uintptr_t>(handle);
    return module;
  }
};

} // namespace

template <> TOsFailure& TOsSlot<TOsFailure>::Native() {
  static TOsFailureWin os;
  return os;
}
