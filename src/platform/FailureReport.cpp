#include "platform/FailureReport.h"

#include "platform/Exceptions.h"
#include "platform/FixedText.h"
#include "platform/Texts.h"
#include "platform/os/CodeAddress.h"
#include "platform/os/OsFailure.h"
#include "platform/os/OsProcess.h"
#include "platform/os/OsUi.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define AQ_HAS_CXXABI 1
#endif

// The boxes of the failure report and of the runtime-error stop, with room made once, so
// that showing a report takes no memory: rows of the table filled in place.
class TReportBox {
public:
  static void Reserve() {
    Text();
    Caption();
  }
  static TBoxText& Text() {
    static TBoxText text = txtReportTemplate;
    text.Reserve(ShownReportBuffer);
    return text;
  }
  static void Show(const TText& caption, unsigned flags) {
    Caption().Fill(caption, nullptr, 0);
    ShowBox(Text(), Caption(), flags);
  }

private:
  static TBoxText& Caption() {
    static TBoxText caption = txtReportCaption;
    caption.Reserve(ShownCaptionBuffer);
    return caption;
  }
};

namespace {

std::unique_ptr<EOutOfMemory> PreOutOfMemory;
std::unique_ptr<EInvalidPointer> PreInvalidPointer;
std::new_handler PreviousNewHandler = nullptr;
bool ReportReady = false;
bool Reporting = false;

// Throws the prepared out-of-memory failure, naming the code that asked for the memory
// (a plain bad_alloc before the report is prepared).
[[noreturn]] void ThrowOutOfMemory(const void* address) {
  if (!PreOutOfMemory)
    throw std::bad_alloc();
  EOutOfMemory failure(*PreOutOfMemory);
  failure.Address = address;
  throw failure;
}

AQ_NOINLINE void OutOfMemoryHandler() {
  ThrowOutOfMemory(AQ_RETURN_ADDRESS());
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

// The report as the box shows it, in UTF-8: the same template filled with the shown forms
// of its parts, in fixed buffers. Where the ANSI text had to be cut, this one keeps as
// many characters.
void FillShownReport(TBoxText& out, const char* className, const Exception* failure,
                     const void* address, const char* ansiText, std::size_t ansiLength) {
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
  out.Fill(txtReportTemplate, args, sizeof args / sizeof args[0]);
  if (ansiLength >= ReportTextBuffer - 1) {
    const std::size_t m =
        OsProcess().Utf8FromAnsiInto(ansiText, ansiLength, shownAnsi, sizeof shownAnsi);
    out.CutToUnits(Utf16Units(shownAnsi, m));
  }
}

void ShowReport(const char* className, const Exception* failure, const void* address) {
  Reporting = true;
  static char text[ReportTextBuffer];
  const std::size_t n =
      FormatReport(text, className, failure ? &failure->Message() : nullptr, address);
  FillShownReport(TReportBox::Text(), className, failure, address, text, n);
  TReportBox::Show(txtReportCaption, MbIconHand | MbTaskModal);
}

// The values of the runtime-error stop: the number, right-aligned in three places, and the
// code offset.
struct TRuntimeErrorValues {
  TRuntimeErrorValues(int number, const void* address) {
    char module[261];
    const std::uint32_t offset = CodeOffset(address, module);
    TFixedText digits(Digits, sizeof Digits);
    digits.PutDecimal(static_cast<unsigned>(number), 3);
    Args[0] = TArg{Digits, digits.Length(), 0};
    Args[1] = NumberArg(offset);
  }
  char Digits[16];
  TArg Args[2];
};

} // namespace

// ---------------------------------------------------------------------------------------
// Setting up and taking down

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

bool BeginFailureReport() {
  if (!ReportReady || Reporting)
    return false;
  Reporting = true;
  return true;
}

// ---------------------------------------------------------------------------------------
// The pre-created failures

const Exception& OutOfMemoryFailure() {
  return *PreOutOfMemory;
}
const Exception& InvalidPointerFailure() {
  return *PreInvalidPointer;
}

AQ_NOINLINE void RaiseOutOfMemory() {
  ThrowOutOfMemory(AQ_RETURN_ADDRESS());
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
// The report's text and box

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

void ShowFailureReport(const Exception& failure, const void* address) {
  ShowReport(failure.ClassName(), &failure, address);
}

void ShowFailureReport(const char* className, const void* address) {
  ShowReport(className, nullptr, address);
}

void ReserveBoxTexts() {
  TReportBox::Reserve();
}

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

// ---------------------------------------------------------------------------------------
// The runtime-error stop

std::string RuntimeErrorText(int number, const void* address) {
  const TRuntimeErrorValues values(number, address);
  char text[64];
  TFixedText out(text, sizeof text);
  FillTemplate(out, txtRuntimeError.Shown(), values.Args, 2);
  return std::string(text, out.Length());
}

void RuntimeErrorStop(int number, const void* address) {
  const TRuntimeErrorValues values(number, address);
  TReportBox::Text().Fill(txtRuntimeError, values.Args, 2);
  TReportBox::Show(txtRuntimeErrorCaption, MbOk);
  OsProcess().EndProcess(number);
  std::abort(); // the platform never comes back from ending the process
}

#ifdef _WIN32
// The language runtime's default end for std::terminate, replaced by the program's own
// runtime-error stop (the program sets that as its terminate handler too). Defining it
// here keeps the runtime's name demangler, which only that default uses, out of the
// program (some 46 KB).
void __gnu_cxx::__verbose_terminate_handler() {
  RuntimeErrorStop(RuntimeErrorFailure, nullptr);
}
#endif
