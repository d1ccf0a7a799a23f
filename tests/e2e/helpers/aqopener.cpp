// aqopener: stands in for the application that opens workbooks. It notes how it was
// started (command line, arguments, show command, current directory) as one JSON line
// appended to a log, then exits with 0.
//
// The log is the file named by the environment variable AQ_OPENER_LOG, or C:\aq-opened.log.
#include "HelperText.h"

#include <shellapi.h>
#include <windows.h>

#include <string>

using namespace aqe2e;

int wmain() {
  wchar_t logPath[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableW(L"AQ_OPENER_LOG", logPath, MAX_PATH + 1);
  std::wstring log = length > 0 && length <= MAX_PATH ? logPath : L"C:\\aq-opened.log";

  const wchar_t* commandLine = GetCommandLineW();
  std::string line = "{\"cmdline\": " + JsonQuote(std::wstring(commandLine));

  line += ", \"args\": [";
  int count = 0;
  if (LPWSTR* args = CommandLineToArgvW(commandLine, &count)) {
    for (int i = 1; i < count; ++i) {
      line += (i > 1 ? ", " : "") + JsonQuote(std::wstring(args[i]));
    }
    LocalFree(args);
  }
  line += "]";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  line += ", \"show\": ";
  line += (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? std::to_string(startup.wShowWindow)
                                                        : std::string("null");

  wchar_t cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, cwd);
  line += ", \"cwd\": " + JsonQuote(std::wstring(cwd)) + "}\n";

  return WriteWholeFile(log, line, true) ? 0 : 1;
}
