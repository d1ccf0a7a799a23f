#include "platform/ProcessEnd.h"

#include "datetime/RegionalFormats.h"
#include "platform/Exceptions.h"
#include "platform/OsFailure.h"
#include "platform/OsProcess.h"
#include "platform/OsUi.h"
#include "platform/ProcessFrame.h"
#include "platform/ReportTexts.h"
#include "platform/Texts.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define AQ_HAS_CXXABI 1
#endif

namespace {

const TText txtReportCaption{AQ_STR_REPORT_CAPTION, AQ_IDS_REPORT_CAPTION};
const TText txtReportTemplate{AQ_STR_REPORT_TEMPLATE, AQ_IDS_REPORT_TEMPLATE};
const TText txtOutOfMemory{AQ_STR_OUT_OF_MEMORY, AQ_IDS_OUT_OF_MEMORY};
const TText txtInvalidPointer{AQ_STR_INVALID_POINTER, AQ_IDS_INVALID_POINTER};
const TText txtAccessViolationInModule{AQ_STR_ACCESS_VIOLATION_IN_MODULE,
                                       AQ_IDS_ACCESS_VIOLATION_IN_MODULE};
const TText txtAccessViolation{AQ_STR_ACCESS_VIOLATION, AQ_IDS_ACCESS_VIOLATION};
const TText txtAccessRead{AQ_STR_ACCESS_READ, AQ_IDS_ACCESS_READ};
const TText txtAccessWrite{AQ_STR_ACCESS_WRITE, AQ_IDS_ACCESS_WRITE};
const TText txtDivByZero{AQ_STR_DIV_BY_ZERO, AQ_IDS_DIV_BY_ZERO};
const TText txtZeroDivide{AQ_STR_ZERO_DIVIDE, AQ_IDS_ZERO_DIVIDE};
const TText txtIntOverflow{AQ_STR_INT_OVERFLOW, AQ_IDS_INT_OVERFLOW};
const TText txtRangeError{AQ_STR_RANGE_ERROR, AQ_IDS_RANGE_ERROR};
const TText txtInvalidOp{AQ_STR_INVALID_OP, AQ_IDS_INVALID_OP};
const TText txtOverflow{AQ_STR_OVERFLOW, AQ_IDS_OVERFLOW};
const TText txtUnderflow{AQ_STR_UNDERFLOW, AQ_IDS_UNDERFLOW};
const TText txtStackOverflow{AQ_STR_STACK_OVERFLOW, AQ_IDS_STACK_OVERFLOW};
const TText txtPrivilege{AQ_STR_PRIVILEGE, AQ_IDS_PRIVILEGE};
const TText txtControlC{AQ_STR_CONTROL_C, AQ_IDS_CONTROL_C};
const TText txtExternalException{AQ_STR_EXTERNAL_EXCEPTION, AQ_IDS_EXTERNAL_EXCEPTION};

// The runtime-error stop speaks before the texts are loaded: plain ASCII.
const char* const RuntimeErrorCaption = "Error";
const char* const RuntimeErrorTemplate = "Runtime error %3d at %08X";

// ---------------------------------------------------------------------------------------
// Text into a fixed buffer

// Writes into a buffer of fixed size; what does not fit is cut, the end is always there.
class TFixedText {
public:
  TFixedText(char* out, std::size_t size) : Out(out), Size(size) { Out[0] = '\0'; }
  void Put(char c) {
    if (Len + 1 < Size) {
      Out[Len++] = c;
      Out[Len] = '\0';
    }
  }
  void Put(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
      Put(s[i]);
  }
  void Put(const char* s) { Put(s, std::strlen(s)); }
  // Upper-case hexadecimal digits, at least minDigits of them.
  void PutHex(std::uintmax_t v, int minDigits) {
    char digits[2 * sizeof v];
    int n = 0;
    do {
      digits[n++] = "0123456789ABCDEF"[v & 0xF];
      v >>= 4;
    } while (v);
    for (int i = n; i < minDigits; ++i)
      Put('0');
    while (n)
      Put(digits[--n]);
  }
  void PutDecimal(unsigned v, int width) {
    char digits[16];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    for (int i = n; i < width; ++i)
      Put(' ');
    while (n)
      Put(digits[--n]);
  }
  std::size_t Length() const { return Len; }

private:
  char* Out;
  std::size_t Size;
  std::size_t Len = 0;
};

// One value for a template: a text or a number.
struct TArg {
  const char* Text = nullptr;
  std::size_t TextLen = 0;
  std::uintmax_t Value = 0;
};
TArg TextArg(const char* s) {
  return TArg{s, std::strlen(s), 0};
}
TArg TextArg(const std::string& s) {
  return TArg{s.data(), s.size(), 0};
}
TArg NumberArg(std::uintmax_t v) {
  return TArg{nullptr, 0, v};
}
TArg AddressArg(const void* p) {
  return NumberArg(reinterpret_cast<std::uintptr_t>(p));
}

// Fills a template. "%s", "%p" and "%x" take the next value, "%N:s", "%N:p" and "%N:x"
// the value N (counted from 0); "%%" is a percent sign. s writes a text, p a number in at
// least eight upper-case hexadecimal digits, x a number in upper-case hexadecimal. The
// values are written as they are and never read as a template themselves.
void FillTemplate(TFixedText& out, const std::string& pattern, const TArg* args,
                  std::size_t count) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out.Put(c);
      continue;
    }
    std::size_t j = i + 1;
    if (pattern[j] == '%') {
      out.Put('%');
      i = j;
      continue;
    }
    std::size_t index = next;
    std::size_t k = j;
    std::size_t n = 0;
    while (k < pattern.size() && pattern[k] >= '0' && pattern[k] <= '9')
      n = n * 10 + static_cast<std::size_t>(pattern[k++] - '0');
    if (k > j && k < pattern.size() && pattern[k] == ':') {
      index = n;
      j = k + 1;
    }
    if (j >= pattern.size() || (pattern[j] != 's' && pattern[j] != 'p' && pattern[j] != 'x')) {
      out.Put(c); // not a placeholder: the percent sign stands for itself
      continue;
    }
    if (index < count) {
      const TArg& a = args[index];
      if (pattern[j] == 's')
        out.Put(a.Text ? a.Text : "", a.Text ? a.TextLen : 0);
      else
        out.PutHex(a.Value, pattern[j] == 'p' ? 8 : 1);
    }
    next = index + 1;
    i = j;
  }
}

// ---------------------------------------------------------------------------------------
// State

std::int32_t ExitCode = 0;
std::int32_t RunExitCode = 0;

std::unique_ptr<EOutOfMemory> PreOutOfMemory;
std::unique_ptr<EInvalidPointer> PreInvalidPointer;
std::new_handler PreviousNewHandler = nullptr;
bool ReportReady = false;
bool Reporting = false;

// The report's text and caption as the box shows them (UTF-8: up to four bytes for each
// byte of the ANSI form).
constexpr std::size_t ShownReportBuffer = 4 * ReportTextBuffer;
constexpr std::size_t ShownCaptionBuffer = 4 * ReportCaptionBuffer;

// The texts handed to the message box, with room made once, so that showing a report
// takes no memory.
std::string& BoxText() {
  static std::string text;
  text.reserve(ShownReportBuffer);
  return text;
}
std::string& BoxCaption() {
  static std::string caption;
  caption.reserve(ShownCaptionBuffer);
  return caption;
}

void (*RunToRun)() = nullptr;

// The start-up steps of the program's parts, in order; the final clean-up undoes them in
// reverse order.
struct TStartStep {
  void (*Start)();
  void (*Finish)();
};
const TStartStep StartSteps[] = {
    {&TText::LoadAll, nullptr},
    {&SetUpFailureReport, &TakeDownFailureReport},
    {&LoadCodePageFacts, nullptr},
    {&LoadRegionalFormats, nullptr}, // after the code-page facts
};
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

AQ_NOINLINE void OutOfMemoryHandler() {
  const void* address = AQ_RETURN_ADDRESS();
  if (!PreOutOfMemory)
    throw std::bad_alloc();
  EOutOfMemory failure(*PreOutOfMemory);
  failure.Address = address;
  throw failure;
}

// Class names of failures outside the Exception family, from the name the language keeps
// for the type: "St13runtime_error" becomes "std::runtime_error", "N2ns4TBadE" "ns::TBad".
void ReadableTypeName(const char* mangled, char (&out)[128]) {
  TFixedText name(out, sizeof out);
  const char* p = mangled;
  auto component = [&](bool first) {
    if (*p < '0' || *p > '9')
      return false;
    std::size_t n = 0;
    while (*p >= '0' && *p <= '9')
      n = n * 10 + static_cast<std::size_t>(*p++ - '0');
    if (std::strlen(p) < n)
      return false;
    if (!first)
      name.Put("::");
    if (n == 12 && std::strncmp(p, "_GLOBAL__N_1", 12) == 0)
      name.Put("(anonymous namespace)");
    else
      name.Put(p, n);
    p += n;
    return true;
  };
  bool ok = true;
  if (std::strncmp(p, "St", 2) == 0) {
    name.Put("std");
    p += 2;
    ok = component(false) && *p == '\0';
  } else if (*p == 'N') {
    ++p;
    bool first = true;
    if (std::strncmp(p, "St", 2) == 0) {
      name.Put("std");
      p += 2;
      first = false;
    }
    while (ok && *p && *p != 'E') {
      ok = component(first);
      first = false;
    }
    ok = ok && *p == 'E' && p[1] == '\0';
  } else {
    ok = component(true) && *p == '\0';
  }
  if (!ok) {
    TFixedText raw(out, sizeof out);
    raw.Put(mangled);
  }
}

// The class name of the failure being handled, when it is not an Exception.
void CurrentForeignClassName(char (&out)[128]) {
#ifdef AQ_HAS_CXXABI
  if (const std::type_info* type = abi::__cxa_current_exception_type()) {
    ReadableTypeName(type->name(), out);
    return;
  }
#endif
  TFixedText name(out, sizeof out);
  name.Put("unknown");
}

// The file name without its folder: the part after the last separator that is not the
// second byte of a double-byte character.
const char* FileNamePart(const char* path) {
  const char* name = path;
  for (const char* p = path; *p;) {
    const auto c = static_cast<unsigned char>(*p);
    if (LeadByteSet[c] && p[1]) {
      p += 2;
      continue;
    }
    if (*p == PathDelim)
      name = p + 1;
    ++p;
  }
  return name;
}

std::size_t FormatReport(char (&out)[ReportTextBuffer], const char* className,
                         const std::string* message, const void* address) {
  char module[261];
  const std::uint32_t offset = CodeOffset(address, module);
  const bool dot = message && !message->empty() && message->back() != '.';
  const TArg args[] = {TextArg(className), TextArg(module), NumberArg(offset),
                       message ? TextArg(*message) : TextArg(""), TextArg(dot ? "." : "")};
  TFixedText text(out, sizeof out);
  FillTemplate(text, txtReportTemplate(), args, sizeof args / sizeof args[0]);
  return text.Length();
}

// UTF-16 units of a UTF-8 text (two for a character beyond the first 65,536).
std::size_t Utf16Units(const char* s, std::size_t n) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0u) != 0x80u)
      units += c >= 0xF0u ? 2 : 1;
  }
  return units;
}

// The length of the first characters of a UTF-8 text that make up at most that many
// UTF-16 units.
std::size_t Utf8Prefix(const char* s, std::size_t n, std::size_t units) {
  std::size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t need = c >= 0xF0u ? 2 : 1;
    if (need > units)
      break;
    units -= need;
    ++i;
    while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0u) == 0x80u)
      ++i;
  }
  return i;
}

// The report as the box shows it, in UTF-8: the same template filled with the shown forms
// of its parts, in fixed buffers. Where the ANSI text had to be cut, this one keeps as
// many characters.
std::size_t FormatShownReport(char (&out)[ShownReportBuffer], const char* className,
                              const Exception* failure, const void* address, const char* ansiText,
                              std::size_t ansiLength) {
  static char module[261];
  static char shownModule[4 * 261];
  static char shownMessage[ShownReportBuffer];
  static char shownAnsi[ShownReportBuffer];
  const std::uint32_t offset = CodeOffset(address, module);
  OsProcess().Utf8FromAnsiInto(module, std::strlen(module), shownModule, sizeof shownModule);
  TArg message = TextArg("");
  bool dot = false;
  if (failure) {
    const std::string& ansi = failure->Message();
    dot = !ansi.empty() && ansi.back() != '.';
    if (const std::string* shown = failure->ShownMessage())
      message = TextArg(*shown);
    else
      message = TArg{
          shownMessage,
          OsProcess().Utf8FromAnsiInto(ansi.data(), ansi.size(), shownMessage, sizeof shownMessage),
          0};
  }
  const TArg args[] = {TextArg(className), TextArg(shownModule), NumberArg(offset), message,
                       TextArg(dot ? "." : "")};
  TFixedText text(out, sizeof out);
  FillTemplate(text, txtReportTemplate.Shown(), args, sizeof args / sizeof args[0]);
  std::size_t n = text.Length();
  if (ansiLength >= ReportTextBuffer - 1) {
    const std::size_t m =
        OsProcess().Utf8FromAnsiInto(ansiText, ansiLength, shownAnsi, sizeof shownAnsi);
    n = Utf8Prefix(out, n, Utf16Units(shownAnsi, m));
    out[n] = '\0';
  }
  return n;
}

[[noreturn]] void ShowReport(const char* className, const Exception* failure, const void* address) {
  Reporting = true;
  static char text[ReportTextBuffer];
  static char shown[ShownReportBuffer];
  const std::size_t n =
      FormatReport(text, className, failure ? &failure->Message() : nullptr, address);
  BoxText().assign(shown, FormatShownReport(shown, className, failure, address, text, n));
  BoxCaption().assign(txtReportCaption.Shown(), 0, ShownCaptionBuffer - 1);
  OsUi().ShowBox(BoxText(), BoxCaption(), MbIconHand | MbTaskModal);
  EndRun(1);
}

// The handler of last resort for a failure that left the run: offered to the platform's
// filter first, then reported.
[[noreturn]] void LastResort(const Exception& failure, const void* address) {
  if (!ReportReady)
    RuntimeErrorStop(dynamic_cast<const EOutOfMemory*>(&failure) ? RuntimeErrorOutOfMemory
                                                                 : RuntimeErrorFailure,
                     address);
  if (!OsFailure().DebuggerFlag())
    OsFailure().OfferFailure(address);
  ReportFailure(failure, address);
}

[[noreturn]] void LastResortForeign(const char* className) {
  if (!ReportReady)
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

void RunProgram(void (*run)()) {
  OsProcess().RestrictLibrarySearch(); // before anything can load a library
  ExitCode = 0;
  RunExitCode = 0;
  std::set_terminate(&Terminated);
  BoxText();
  BoxCaption();
  OsFailure().CatchFaults(&ReportFault);
  OsFailure().GuardedRun(&StartUp);
  RunToRun = run;
  try {
    OsFailure().GuardedRun([] { RunToRun(); });
  } catch (const Exception& e) {
    LastResort(e, e.Address);
  } catch (const std::bad_alloc&) {
    if (!ReportReady)
      RuntimeErrorStop(RuntimeErrorOutOfMemory, nullptr);
    LastResort(*PreOutOfMemory, nullptr);
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
// The failure report and the pre-created failures

void SetUpFailureReport() {
  PreOutOfMemory = std::make_unique<EOutOfMemory>(txtOutOfMemory);
  PreInvalidPointer = std::make_unique<EInvalidPointer>(txtInvalidPointer);
  PreviousNewHandler = std::set_new_handler(&OutOfMemoryHandler);
  Reporting = false;
  ReportReady = true;
}

void TakeDownFailureReport() {
  ReportReady = false;
  std::set_new_handler(PreviousNewHandler);
  PreviousNewHandler = nullptr;
  PreInvalidPointer.reset();
  PreOutOfMemory.reset();
}

bool FailureReportReady() {
  return ReportReady;
}

const Exception& OutOfMemoryFailure() {
  return *PreOutOfMemory;
}
const Exception& InvalidPointerFailure() {
  return *PreInvalidPointer;
}

AQ_NOINLINE void RaiseOutOfMemory() {
  const void* address = AQ_RETURN_ADDRESS();
  if (!PreOutOfMemory)
    throw std::bad_alloc();
  EOutOfMemory failure(*PreOutOfMemory);
  failure.Address = address;
  throw failure;
}

AQ_NOINLINE void RaiseInvalidPointer() {
  const void* address = AQ_RETURN_ADDRESS();
  if (!PreInvalidPointer)
    RuntimeErrorStop(RuntimeErrorInvalidPointer, address);
  EInvalidPointer failure(*PreInvalidPointer);
  failure.Address = address;
  throw failure;
}

// ---------------------------------------------------------------------------------------
// Report text

std::uint32_t CodeOffset(const void* address, char (&name)[261]) {
  const TModuleInfo module = OsFailure().ModuleOf(address);
  TFixedText out(name, sizeof name);
  out.Put(FileNamePart(module.Path));
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
  return static_cast<std::uint32_t>(module.Found ? at - module.Base : at - 4096);
}

std::size_t FormatFailureText(char (&out)[ReportTextBuffer], const Exception& failure,
                              const void* address) {
  return FormatReport(out, failure.ClassName(), &failure.Message(), address);
}

std::size_t FormatFailureText(char (&out)[ReportTextBuffer], const char* className,
                              const void* address) {
  return FormatReport(out, className, nullptr, address);
}

std::string FailureText(const Exception& failure, const void* address) {
  char text[ReportTextBuffer];
  return std::string(text, FormatFailureText(text, failure, address));
}

std::string FailureText(const char* className, const void* address) {
  char text[ReportTextBuffer];
  return std::string(text, FormatFailureText(text, className, address));
}

void ReportFailure(const Exception& failure, const void* address) {
  ShowReport(failure.ClassName(), &failure, address);
}

void ReportFailure(const char* className, const void* address) {
  ShowReport(className, nullptr, address);
}

// ---------------------------------------------------------------------------------------
// Platform faults

namespace {

template <class E>
std::unique_ptr<EExternal> MakeFault(std::string message, std::string shown, unsigned code) {
  return std::make_unique<E>(std::move(message), std::move(shown), code);
}

// The faults whose message is a fixed text, with their failure classes.
struct TFixedFault {
  TFaultKind Kind;
  const TText* Message;
  std::unique_ptr<EExternal> (*Make)(std::string, std::string, unsigned);
};
const TFixedFault FixedFaults[] = {
    {TFaultKind::IntDivideByZero, &txtDivByZero, &MakeFault<EDivByZero>},
    {TFaultKind::IntOverflow, &txtIntOverflow, &MakeFault<EIntOverflow>},
    {TFaultKind::ArrayBounds, &txtRangeError, &MakeFault<ERangeError>},
    {TFaultKind::FloatDivideByZero, &txtZeroDivide, &MakeFault<EZeroDivide>},
    {TFaultKind::FloatInvalid, &txtInvalidOp, &MakeFault<EInvalidOp>},
    {TFaultKind::FloatOverflow, &txtOverflow, &MakeFault<EOverflow>},
    {TFaultKind::FloatUnderflow, &txtUnderflow, &MakeFault<EUnderflow>},
    {TFaultKind::StackOverflow, &txtStackOverflow, &MakeFault<EStackOverflow>},
    {TFaultKind::Privileged, &txtPrivilege, &MakeFault<EPrivilege>},
    {TFaultKind::ControlC, &txtControlC, &MakeFault<EControlC>},
};

// A fault's message from its template, in the ANSI code page and as shown (UTF-8).
struct TFaultMessage {
  std::string Ansi, Shown;
};

TFaultMessage AccessViolationMessage(const TFault& fault) {
  char text[ReportTextBuffer];
  char shown[ShownReportBuffer];
  TFixedText out(text, sizeof text);
  TFixedText outShown(shown, sizeof shown);
  const TModuleInfo module = OsFailure().ModuleOf(fault.Address);
  const TText& access = fault.Write ? txtAccessWrite : txtAccessRead;
  if (module.Found) {
    const std::string name = FileNamePart(module.Path);
    const std::string shownName = OsProcess().Utf8FromAnsi(name);
    const TArg args[] = {AddressArg(fault.Address), TextArg(name), TextArg(access()),
                         AddressArg(fault.AccessAddress)};
    FillTemplate(out, txtAccessViolationInModule(), args, 4);
    const TArg shownArgs[] = {AddressArg(fault.Address), TextArg(shownName),
                              TextArg(access.Shown()), AddressArg(fault.AccessAddress)};
    FillTemplate(outShown, txtAccessViolationInModule.Shown(), shownArgs, 4);
  } else {
    const TArg args[] = {AddressArg(fault.Address), TextArg(access()),
                         AddressArg(fault.AccessAddress)};
    FillTemplate(out, txtAccessViolation(), args, 3);
    const TArg shownArgs[] = {AddressArg(fault.Address), TextArg(access.Shown()),
                              AddressArg(fault.AccessAddress)};
    FillTemplate(outShown, txtAccessViolation.Shown(), shownArgs, 3);
  }
  return {std::string(text, out.Length()), std::string(shown, outShown.Length())};
}

TFaultMessage ExternalExceptionMessage(const TFault& fault) {
  char text[ReportTextBuffer];
  char shown[ShownReportBuffer];
  TFixedText out(text, sizeof text);
  TFixedText outShown(shown, sizeof shown);
  const TArg args[] = {NumberArg(fault.Code)};
  FillTemplate(out, txtExternalException(), args, 1);
  FillTemplate(outShown, txtExternalException.Shown(), args, 1);
  return {std::string(text, out.Length()), std::string(shown, outShown.Length())};
}

} // namespace

std::unique_ptr<Exception> FaultFailure(const TFault& fault) {
  std::unique_ptr<EExternal> failure;
  if (fault.Kind == TFaultKind::AccessViolation) {
    TFaultMessage m = AccessViolationMessage(fault);
    failure = std::make_unique<EAccessViolation>(std::move(m.Ansi), std::move(m.Shown), fault.Code);
  } else {
    for (const TFixedFault& f : FixedFaults)
      if (f.Kind == fault.Kind)
        failure = f.Make((*f.Message)(), f.Message->Shown(), fault.Code);
  }
  if (!failure) {
    TFaultMessage m = ExternalExceptionMessage(fault);
    failure =
        std::make_unique<EExternalException>(std::move(m.Ansi), std::move(m.Shown), fault.Code);
  }
  failure->Address = fault.Address;
  return failure;
}

int RuntimeErrorOfFault(TFaultKind kind) {
  switch (kind) {
  case TFaultKind::IntDivideByZero:
  case TFaultKind::FloatDivideByZero:
    return 200;
  case TFaultKind::ArrayBounds:
    return 201;
  case TFaultKind::StackOverflow:
    return 202;
  case TFaultKind::FloatOverflow:
    return 205;
  case TFaultKind::FloatUnderflow:
    return 206;
  case TFaultKind::FloatInvalid:
    return 207;
  case TFaultKind::IntOverflow:
    return 215;
  case TFaultKind::AccessViolation:
    return 216;
  case TFaultKind::Privileged:
    return 218;
  case TFaultKind::ControlC:
  case TFaultKind::Other:
    return 217;
  }
  return 217;
}

void ReportFault(const TFault& fault) {
  if (!ReportReady || Reporting)
    RuntimeErrorStop(RuntimeErrorOfFault(fault.Kind), fault.Address);
  Reporting = true;
  std::unique_ptr<Exception> failure;
  try {
    failure = FaultFailure(fault);
  } catch (...) {
    ReportFailure(*PreOutOfMemory, fault.Address);
  }
  ReportFailure(*failure, fault.Address);
}

// ---------------------------------------------------------------------------------------
// Runtime-error stop

namespace {
std::size_t FormatRuntimeError(char (&out)[64], int number, const void* address) {
  char module[261];
  const std::uint32_t offset = CodeOffset(address, module);
  TFixedText text(out, sizeof out);
  // "Runtime error %3d at %08X"
  const char* t = RuntimeErrorTemplate;
  for (; *t; ++t) {
    if (t[0] == '%' && t[1] == '3' && t[2] == 'd') {
      text.PutDecimal(static_cast<unsigned>(number), 3);
      t += 2;
    } else if (t[0] == '%' && t[1] == '0' && t[2] == '8' && t[3] == 'X') {
      text.PutHex(offset, 8);
      t += 3;
    } else {
      text.Put(*t);
    }
  }
  return text.Length();
}
} // namespace

std::string RuntimeErrorText(int number, const void* address) {
  char text[64];
  return std::string(text, FormatRuntimeError(text, number, address));
}

void RuntimeErrorStop(int number, const void* address) {
  static char text[64];
  const std::size_t n = FormatRuntimeError(text, number, address);
  BoxText().assign(text, n);
  BoxCaption().assign(RuntimeErrorCaption);
  OsUi().ShowBox(BoxText(), BoxCaption(), MbOk);
  ExitCode = number;
  OsProcess().EndProcess(ExitCode);
  std::abort(); // the platform never comes back from ending the process
}
