// aqfaults: a test program that links the platform layer and ends through the program's
// own start-up, handler of last resort and final clean-up, after raising one kind of
// failure or fault on purpose, chosen by its argument:
//
//   aqfaults CASE [--print]
//
// With --print every message box is written to the standard error stream instead of being
// shown ("BOX <flags> <caption>", the text, "END"), so that a test can read the report.
#include "platform/Exceptions.h"
#include "platform/FailureReport.h"
#include "platform/ProcessEnd.h"
#include "platform/Texts.h"
#include "platform/os/OsFailure.h"
#include "platform/os/OsUi.h"
#include "unitFunc.h"

#include <cfenv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <float.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#endif

namespace {

std::string Case;

// Texts of the program, in the system's code page once the program has started.
const TText txtNotADate{"'2004/13/01' は正しい日付ではありません"};
const TText txtCannotOpen{"ファイル AutoQuillmer.ini は開けません"};

class TPrintingUi final : public TOsUi {
public:
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags,
              const TBoxWords&) override {
    std::fprintf(stderr, "BOX %u %s\n%s\nEND\n", flags, caption.c_str(), text.c_str());
    std::fflush(stderr);
    return IdOk;
  }
};

volatile int Zero = 0;
volatile int MinusOne = -1;
volatile int Smallest = INT_MIN;
volatile double ZeroDouble = 0.0;
volatile bool KeepGoing = true;
int* volatile NullPage = reinterpret_cast<int*>(0x10);
char* volatile Allocated = nullptr;

int Recurse(int depth) {
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  if (KeepGoing)
    return Recurse(depth + 1) + pad[0];
  return pad[0];
}

void EnableFloatTraps() {
#ifdef _WIN32
  _controlfp(static_cast<unsigned>(~_EM_ZERODIVIDE) & _MCW_EM, _MCW_EM);
#else
  feenableexcept(FE_DIVBYZERO);
#endif
}

void Fault() {
  if (Case == "access-read")
    std::printf("%d\n", *NullPage);
  else if (Case == "access-write")
    *NullPage = 1;
  else if (Case == "divzero")
    std::printf("%d\n", 100 / Zero);
  else if (Case == "intoverflow")
    std::printf("%d\n", Smallest / MinusOne);
  else if (Case == "fpdivzero") {
    EnableFloatTraps();
    std::printf("%f\n", 1.0 / ZeroDouble);
  } else if (Case == "stack")
    std::printf("%d\n", Recurse(0));
  else if (Case == "privileged") {
#if defined(__x86_64__) || defined(__i386__)
    __asm__ __volatile__("hlt");
#endif
  } else if (Case == "illegal")
    __builtin_trap();
  else if (Case == "controlc") {
#ifdef _WIN32
    RaiseException(STATUS_CONTROL_C_EXIT, 0, 0, nullptr);
#else
    std::raise(SIGINT);
#endif
  } else if (Case == "external") {
#ifdef _WIN32
    RaiseException(0xE0001234, 0, 0, nullptr);
#else
    std::raise(SIGBUS);
#endif
  }
}

void Run() {
  if (Case == "ok")
    return;
  if (Case == "convert")
    throw EConvertError(txtNotADate());
  if (Case == "fopen")
    throw EFOpenError(txtCannotOpen());
  if (Case == "foreign")
    throw std::runtime_error("not shown");
  if (Case == "memory") {
    volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
    Allocated = new char[huge];
    delete[] Allocated;
    return;
  }
  Fault();
}

} // namespace

int main(int argc, char** argv) {
  Case = argc > 1 ? argv[1] : "ok";
  static TPrintingUi printing;
  for (int i = 2; i < argc; ++i)
    if (std::strcmp(argv[i], "--print") == 0) {
      TOsSlot<TOsUi>::Use(&printing);
#ifdef _WIN32
      _setmode(_fileno(stderr), _O_BINARY); // the texts' bytes as they are
#endif
    }
  if (Case == "early-fault") {
    // A fault before the failure report is set up: the runtime-error stop.
    OsFailure().CatchFaults(&ReportFault);
    Case = "access-write";
    OsFailure().GuardedRun(&Fault);
  }
  RunProgram(ProgramStartSteps(), &Run);
}
