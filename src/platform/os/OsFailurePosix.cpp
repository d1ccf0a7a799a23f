// Faults on POSIX systems: signals, handled on a stack of their own so that a stack
// overflow can be reported too. There is no platform filter to offer failures to.
#include "platform/os/OsFailure.h"
#include "platform/os/SysPosix.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

TFaultSink Sink = nullptr;
const int FaultSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGINT};
struct sigaction Previous[sizeof FaultSignals / sizeof FaultSignals[0]];
bool Catching = false;

// The stack the handler runs on; the report (a dialog started from here) needs room.
alignas(64) char HandlerStack[256 * 1024];

// Where the main thread's stack may grow to: an invalid access there is a stack overflow.
std::uintptr_t StackLow = 0, StackHigh = 0;

void FindStackRange() {
  std::FILE* maps = std::fopen("/proc/self/maps", "re");
  if (!maps)
    return;
  char line[512];
  while (std::fgets(line, sizeof line, maps)) {
    if (std::strstr(line, "[stack]")) {
      unsigned long low = 0, high = 0;
      if (std::sscanf(line, "%lx-%lx", &low, &high) == 2) {
        rlimit limit{};
        std::uintptr_t size = 8u << 20;
        if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
          size = static_cast<std::uintptr_t>(limit.rlim_cur);
        StackHigh = high;
        // The limit, with room for the gap the system keeps below the stack.
        StackLow = high > size + (1u << 20) ? high - size - (1u << 20) : 0;
      }
      break;
    }
  }
  std::fclose(maps);
}

struct TRegisters {
  const void* Instruction = nullptr;
  std::uintptr_t Stack = 0;
  bool Write = false;
};

TRegisters RegistersOf(void* context) {
  TRegisters r;
  const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
  r.Instruction = reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_RIP]);
  r.Stack = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
  r.Write = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0; // page-fault error code: write
#elif defined(__i386__)
  r.Instruction = reinterpret_cast<const void*>(uc->uc_mcontext.gregs[REG_EIP]);
  r.Stack = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
  r.Write = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#elif defined(__aarch64__)
  r.Instruction = reinterpret_cast<const void*>(uc->uc_mcontext.pc);
  r.Stack = static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
  (void)uc;
#endif
  return r;
}

// Whether the instruction is one that only the system may execute (x86: the general
// protection fault it raises arrives as SIGSEGV from the kernel).
bool PrivilegedInstruction(const void* at) {
#if defined(__x86_64__) || defined(__i386__)
  if (!at)
    return false;
  const auto* b = static_cast<const unsigned char*>(at);
  switch (b[0]) {
  case 0xF4: // hlt
  case 0xFA: // cli
  case 0xFB: // sti
  case 0xE4:
  case 0xE5:
  case 0xE6:
  case 0xE7: // in/out with an immediate port
  case 0xEC:
  case 0xED:
  case 0xEE:
  case 0xEF: // in/out with the port in dx
  case 0x6C:
  case 0x6D:
  case 0x6E:
  case 0x6F: // ins/outs
    return true;
  case 0x0F: // clts, invd, wbinvd, wrmsr, rdmsr, moves to and from control registers
    return b[1] == 0x06 || b[1] == 0x08 || b[1] == 0x09 || b[1] == 0x30 || b[1] == 0x32 ||
           (b[1] >= 0x20 && b[1] <= 0x23);
  default:
    return false;
  }
#else
  (void)at;
  return false;
#endif
}

// The kind of each arithmetic fault code; any other is TFaultKind::Other.
constexpr struct {
  int Code;
  TFaultKind Kind;
} ArithmeticKinds[] = {
    {FPE_INTDIV, TFaultKind::IntDivideByZero},   {FPE_INTOVF, TFaultKind::IntOverflow},
    {FPE_FLTDIV, TFaultKind::FloatDivideByZero}, {FPE_FLTOVF, TFaultKind::FloatOverflow},
    {FPE_FLTUND, TFaultKind::FloatUnderflow},    {FPE_FLTINV, TFaultKind::FloatInvalid},
    {FPE_FLTRES, TFaultKind::FloatInvalid},      {FPE_FLTSUB, TFaultKind::ArrayBounds},
};

TFaultKind ArithmeticKind(int code) {
  for (const auto& entry : ArithmeticKinds)
    if (entry.Code == code)
      return entry.Kind;
  return TFaultKind::Other;
}

void OnFault(int signal, siginfo_t* info, void* context) {
  const TRegisters regs = RegistersOf(context);
  TFault fault;
  fault.Code = static_cast<std::uint32_t>(signal) * 0x100u +
               static_cast<std::uint32_t>(info->si_code & 0xFF);
  fault.Address = regs.Instruction ? regs.Instruction : info->si_addr;
  switch (signal) {
  case SIGSEGV:
  case SIGBUS: {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (signal == SIGSEGV && info->si_code == SI_KERNEL && PrivilegedInstruction(regs.Instruction))
      fault.Kind = TFaultKind::Privileged;
    else if (signal == SIGSEGV && StackHigh && at >= StackLow && at < StackHigh &&
             at < regs.Stack + 65536)
      fault.Kind = TFaultKind::StackOverflow;
    else {
      fault.Kind = TFaultKind::AccessViolation;
      fault.AccessAddress = info->si_addr;
      fault.Write = regs.Write;
    }
    break;
  }
  case SIGFPE:
    fault.Kind = ArithmeticKind(info->si_code);
    break;
  case SIGILL:
    fault.Kind = (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG)
                     ? TFaultKind::Privileged
                     : TFaultKind::Other;
    break;
  case SIGINT:
    fault.Kind = TFaultKind::ControlC;
    break;
  default:
    fault.Kind = TFaultKind::Other;
  }
  if (Sink)
    Sink(fault);
  // Not reported: the system's own action for the signal.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

class TOsFailurePosix final : public TOsFailure {
public:
  void CatchFaults(TFaultSink sink) override {
    Sink = sink;
    if (Catching)
      return;
    FindStackRange();
    stack_t stack{};
    stack.ss_sp = HandlerStack;
    stack.ss_size = sizeof HandlerStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = &OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int s : FaultSignals)
      sigaddset(&action.sa_mask, s);
    for (std::size_t i = 0; i < sizeof FaultSignals / sizeof FaultSignals[0]; ++i)
      sigaction(FaultSignals[i], &action, &Previous[i]);
    Catching = true;
  }

  void GuardedRun(void (*run)()) override { run(); }

  bool DebuggerFlag() override { return false; }

  void OfferFailure(const void*) override {}

  TModuleInfo ModuleOf(const void* address) override {
    TModuleInfo module;
    Dl_info here{}, info{};
    const bool found = address && dladdr(address, &info) && info.dli_fbase;
    // The program itself: its file as the system names it.
    const bool program = !found || (dladdr(reinterpret_cast<void*>(&OnFault), &here) &&
                                    here.dli_fbase == info.dli_fbase);
    if (program) {
      const ssize_t n = SysPosix().readlink("/proc/self/exe", module.Path, sizeof module.Path - 1);
      module.Path[n > 0 ? n : 0] = '\0';
    } else {
      std::snprintf(module.Path, sizeof module.Path, "%s", info.dli_fname ? info.dli_fname : "");
    }
    module.Found = found;
    module.Base = found ? reinterpret_cast<std::uintptr_t>(info.dli_fbase) : 0;
    return module;
  }
};

} // namespace

template <> TOsFailure& TOsSlot<TOsFailure>::Native() {
  static TOsFailurePosix os;
  return os;
}
