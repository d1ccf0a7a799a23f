#include "platform/ProcessEnd.h"

#include "platform/Exceptions.h"
#include "platform/OsProcess.h"
#include "platform/OsUi.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"

#include <cstdio>
#include <cstdlib>

namespace {
const TText txtReportCaption{"アプリケーション エラー"};
const TText txtReportTemplate{"%sがモジュール %s の %p で発生しました。\n%s%s"};
} // namespace

void RunProgram(void (*run)()) {
  LoadCodePageFacts();
  TText::LoadAll();
  try {
    run();
  } catch (const Exception& e) {
    ReportFailure(&e, e.ClassName(), e.Address);
  }
  EndRun(0);
}

void EndRun(int exitCode) {
  OsProcess().EndProcess(exitCode);
  std::abort(); // the platform never comes back from ending the process
}

std::string FailureText(const Exception* failure, const char* className, const void* address) {
  const std::string message = failure ? failure->Message() : std::string();
  const std::string ending = (!message.empty() && message.back() != '.') ? "." : "";
  char offset[16];
  std::snprintf(offset, sizeof offset, "%08lX",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(address)));
  std::string text = txtReportTemplate();
  auto fill = [&text](const std::string& placeholder, const std::string& value) {
    const std::size_t at = text.find(placeholder);
    if (at != std::string::npos)
      text.replace(at, placeholder.size(), value);
  };
  fill("%s", className);
  fill("%s", ProgramFileName().substr(ProgramFileName().find_last_of("\\/") + 1));
  fill("%p", offset);
  fill("%s", message);
  fill("%s", ending);
  if (text.size() > 1023)
    text.resize(1023);
  return text;
}

void ReportFailure(const Exception* failure, const char* className, const void* address) {
  OsUi().ShowBox(FailureText(failure, className, address), txtReportCaption(),
                 MbIconHand | MbTaskModal);
  EndRun(1);
}
