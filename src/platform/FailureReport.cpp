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
// that showing a report takes no memory. Their texts are built here in fixed buffers, from
// the fixed texts' source forms and the system's texts converted from its code page.
class TReportBox {
public:
  static void Reserve() {
    Text();
    Caption();
  }
  static void Show(const char* text, std::size_t n, const char* caption, unsigned flags) {
    Text().Utf8.assign(text, n);
    Caption().Utf8.assign(caption, std::min(std::strlen(caption), ShownCaptionBuffer - 1));
    OsUi().ShowBox(Text(), Caption(), flags);
  }

private:
  static TBoxText& Text() {
    static TBoxText text;
    text.Utf8.reserve(ShownReportBuffer);
    return text;
  }
  static TBoxText& Caption() {
    static TBoxText caption;
    caption.Utf8.reserve(ShownCaptionBuffer);
    return caption;
  }
};

namespace {

// The runtime-error stop speaks before the texts are loaded: plain ASCII.
const char* const RuntimeErrorCaption = "Error";
const char* const RuntimeErrorTemplate = "Runtime error %3d at %08X";

std::unique_ptr<EOutOfMemory> PreOutOfMemory;
std::unique_ptr<EInvalidPointer> PreInvalidPointer;
std::new_handler PreviousNewHandler = nullptr;
bool ReportReady = false;
bool Reporting = false;

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

void ShowReport(const char* className, const Exception* failure, const void* address) {
  Reporting = true;
  static char text[ReportTextBuffer];
  static char shown[ShownReportBuffer];
  const std::size_t n =
      FormatReport(text, className, failure ? &failure->Message() : nullptr, address);
  TReportBox::Show(shown, FormatShownReport(shown, className, failure, address, text, n),
                   txtReportCaption.Shown().c_str(), MbIconHand | MbTaskModal);
}

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
  char text[64];
  return std::string(text, FormatRuntimeError(text, number, address));
}

void RuntimeErrorStop(int number, const void* address) {
  static char text[64];
  const std::size_t n = FormatRuntimeError(text, number, address);
  TReportBox::Show(text, n, RuntimeErrorCaption, MbOk);
  OsProcess().EndProcess(number);
  std::abort(); // the platform never comes back from ending the process
}
