// aqkillrace: starts the launcher over and over in its folder and either ends it with
// TerminateProcess at a random moment (kill), or starts several at once on a new day
// (race), or starts one while another's question waits (question), then checks the settings
// file and the openings each time. It answers the launcher's message boxes itself: No to a
// question when killing, Yes when racing ("no" after the argument: No), OK to the rest, and
// records their texts.
//
// Usage: aqkillrace.exe kill COUNT PROGRAM SEED
//        aqkillrace.exe race COUNT PROGRAM STARTS
//        aqkillrace.exe question COUNT PROGRAM [ARGUMENT|- [yes|no [FOLDER of the second start]]]
//
// PROGRAM lies in the folder it runs in, beside a template; its settings file is the one
// in that folder. Kills alternate between a start with the old file and a first run
// without one. Openings are counted in the log of the opener the workbooks are associated
// with (the file named by AQ_OPENER_LOG). Prints one line of counts and, for each fault
// found, one line "bad: ..."; the last line is "aqkillrace: N bad".
#include <windows.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

const wchar_t* const Settings = L"AutoQuillmer.ini";
const wchar_t* const OpenQuestion = L"「Dozeboard」を開きますか？";
const char* const Keys[] = {
    "[Execute]", "Last_XLS=", "LastQuillmer=", "",       "[Date]", "TimeToNext=", "",
    "[Launch]",  "Type1=",    "WindowSize=",   "YesNo=", ""};

std::wstring Folder, Spelling;

std::wstring In(const std::wstring& name) {
  return Folder + L"\\" + name;
}

// The whole file, or false when there is none.
bool ReadWhole(const std::wstring& path, std::string& out) {
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  out.clear();
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
    out.append(buffer, got);
  CloseHandle(h);
  return true;
}

bool WriteWhole(const std::wstring& path, const std::string& data) {
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return false;
  DWORD put = 0;
  const bool ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr) &&
                  put == data.size();
  CloseHandle(h);
  return ok;
}

// A whole settings file as the launcher writes it.
bool Complete(const std::string& data) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < data.size()) {
    const std::size_t end = data.find("\r\n", at);
    if (end == std::string::npos)
      return false;
    lines.push_back(data.substr(at, end - at));
    at = end + 2;
  }
  if (lines.size() != std::size(Keys))
    return false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string key = Keys[i];
    if (!key.empty() && key.back() == '=') {
      if (lines[i].rfind(key, 0) != 0 || lines[i].size() == key.size())
        return false;
    } else if (lines[i] != key) {
      return false;
    }
  }
  return true;
}

int Leftovers() {
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileW(In(L"AutoQuillmer.ini.~*.tmp").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE)
    return 0;
  int n = 0;
  do
    ++n;
  while (FindNextFileW(search, &data));
  FindClose(search);
  return n;
}

struct TBoxSweep {
  DWORD Pid;
  std::vector<std::wstring>* Texts;
  bool Answer = true; // false: only look
  bool Seen = false;  // a box of the process is there
};

// Yes to the launcher's questions instead of No.
bool AnswerYes = false;

// Answers the message boxes of one process: No (or Yes) where there is one, else OK.
BOOL CALLBACK AnswerBox(HWND window, LPARAM param) {
  auto* sweep = reinterpret_cast<TBoxSweep*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t cls[16] = {};
  if (pid != sweep->Pid || !IsWindowVisible(window) || !GetClassNameW(window, cls, 16) ||
      std::wstring(cls) != L"#32770")
    return TRUE;
  sweep->Seen = true;
  if (!sweep->Answer)
    return TRUE;
  if (GetProp(window, L"aqkillrace") == nullptr) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(window, 0xFFFF, text, 1024);
    sweep->Texts->push_back(text);
    SetPropW(window, L"aqkillrace", reinterpret_cast<HANDLE>(1));
  }
  const int question = AnswerYes ? IDYES : IDNO;
  const int id = GetDlgItem(window, question) ? question : IDOK;
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
  return TRUE;
}

struct TChild {
  PROCESS_INFORMATION Info{};
  bool Started = false;
};

TChild Start(const std::wstring& program, const std::wstring& args = L"",
             const std::wstring& folder = Folder) {
  TChild child;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  // A start can fail for a moment while Wine still tears down the one just ended.
  for (int attempt = 0; attempt < 5 && !child.Started; ++attempt) {
    if (attempt > 0)
      Sleep(200);
    std::wstring line = L"\"" + program + L"\"" + (args.empty() ? L"" : L" " + args);
    child.Started = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, folder.c_str(), &si, &child.Info) != 0;
    if (!child.Started)
      std::printf("note: CreateProcess failed with %lu\n", GetLastError());
  }
  return child;
}

// Waits up to ms (INFINITE: until it ends) while answering boxes; true when it ended.
bool WaitAnswering(const TChild& child, DWORD ms, std::vector<std::wstring>& boxes) {
  const ULONGLONG until = GetTickCount64() + ms;
  for (;;) {
    TBoxSweep sweep{child.Info.dwProcessId, &boxes};
    EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(&sweep));
    const ULONGLONG now = GetTickCount64();
    DWORD slice = 5;
    if (ms != INFINITE) {
      if (now >= until)
        return WaitForSingleObject(child.Info.hProcess, 0) == WAIT_OBJECT_0;
      slice = static_cast<DWORD>(until - now < 5 ? until - now : 5);
    }
    if (WaitForSingleObject(child.Info.hProcess, slice) == WAIT_OBJECT_0)
      return true;
  }
}

DWORD Finish(TChild& child) {
  DWORD code = 9999;
  GetExitCodeProcess(child.Info.hProcess, &code);
  CloseHandle(child.Info.hProcess);
  CloseHandle(child.Info.hThread);
  return code;
}

int Bad = 0;
void Report(const char* what, int i) {
  ++Bad;
  std::printf("bad: %s (%d)\n", what, i);
}

void Kill(int count, const std::wstring& program, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::wstring> boxes;
  // How long a whole run takes, with and without an old file.
  DWORD span[2] = {0, 0};
  for (int first = 0; first <= 1; ++first) {
    const ULONGLONG t0 = GetTickCount64();
    for (int i = 0; i < 3; ++i) {
      if (first)
        DeleteFileW(In(Settings).c_str());
      TChild c = Start(program);
      if (c.Started) {
        WaitAnswering(c, INFINITE, boxes);
        Finish(c);
      }
    }
    span[first] = static_cast<DWORD>((GetTickCount64() - t0) / 3);
  }
  int oldFile = 0, newFile = 0, noFile = 0, finished = 0, leftoversSeen = 0;
  for (int i = 0; i < count; ++i) {
    const int first = i % 2;
    std::string before, after;
    if (first) {
      DeleteFileW(In(Settings).c_str());
    } else if (!ReadWhole(In(Settings), before)) {
      // The first run before was ended before its save: an old file again.
      TChild whole = Start(program);
      if (whole.Started) {
        WaitAnswering(whole, INFINITE, boxes);
        Finish(whole);
      }
    }
    bool hadOld = ReadWhole(In(Settings), before);
    // LastQuillmer is only ever written: marked, the old file differs from any new one.
    const std::size_t at = before.find("LastQuillmer=");
    const std::size_t end = at == std::string::npos ? at : before.find("\r\n", at);
    if (hadOld && end != std::string::npos) {
      before = before.substr(0, at) + "LastQuillmer=-" + before.substr(end);
      hadOld = WriteWhole(In(Settings), before);
    }
    TChild c = Start(program);
    if (!c.Started) {
      Report("the program did not start", i);
      continue;
    }
    // Most of a start under Wine is loading; the save comes at its end.
    const DWORD delay =
        std::uniform_int_distribution<DWORD>(span[first] / 2, span[first] * 13 / 10)(random);
    const bool ended = WaitAnswering(c, delay, boxes);
    if (!ended)
      TerminateProcess(c.Info.hProcess, 9);
    WaitForSingleObject(c.Info.hProcess, INFINITE);
    const DWORD code = Finish(c);
    const int left = Leftovers();
    if (code == 0) {
      ++finished;
      if (left)
        Report("a finished save left temporary files", i);
    }
    leftoversSeen += left > 0;
    if (!ReadWhole(In(Settings), after)) {
      ++noFile;
      if (hadOld)
        Report("the old file is gone", i);
    } else if (hadOld && after == before) {
      ++oldFile;
    } else if (Complete(after)) {
      ++newFile;
    } else {
      Report(after.empty() ? "the file is empty" : "the file is partial", i);
    }
  }
  std::printf(
      "kills: %d starts ended at %lu to %lu ms (with the old file) or %lu to %lu ms (first run): "
      "old file %d, new file %d, no file %d, finished %d, leftovers seen %d\n",
      count, span[0] / 2, span[0] * 13 / 10, span[1] / 2, span[1] * 13 / 10, oldFile, newFile,
      noFile, finished, leftoversSeen);
  // One whole start clears what is left.
  TChild c = Start(program);
  if (c.Started) {
    WaitAnswering(c, INFINITE, boxes);
    Finish(c);
  }
  std::string last;
  if (Leftovers() || !ReadWhole(In(Settings), last) || !Complete(last))
    Report("the last start left temporary files or no whole file", count);
}

// Lines in the opener's log so far.
int Openings() {
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD n = GetEnvironmentVariableW(L"AQ_OPENER_LOG", path, MAX_PATH + 1);
  std::string log;
  if (n == 0 || n > MAX_PATH || !ReadWhole(path, log))
    return 0;
  int lines = 0;
  for (char c : log)
    lines += c == '\n';
  return lines;
}

// The settings file of a new day: its last opening unreadable, so long ago.
bool NewDay() {
  std::string data;
  if (!ReadWhole(In(Settings), data))
    return false;
  const std::size_t at = data.find("Last_XLS=");
  const std::size_t end = at == std::string::npos ? at : data.find("\r\n", at);
  return end != std::string::npos &&
         WriteWhole(In(Settings), data.substr(0, at + 9) + data.substr(end));
}

// The openings since `before`, once the opener has had time to start: an opening goes to
// the shell, which starts the opener after the launcher may have ended.
int OpeningsSince(int before) {
  for (int waited = 0; Openings() == before && waited < 60000; waited += 100)
    Sleep(100);
  Sleep(2000); // time for a second opening to show
  return Openings() - before;
}

// What each round leaves: exit codes 0, exactly one opening and one question, a whole file
// that records the day.
void CheckRound(int i, const std::vector<DWORD>& codes, const std::vector<std::wstring>& boxes,
                int opened) {
  for (DWORD code : codes)
    if (code != 0)
      Report("an exit code was not 0", i);
  if (boxes.size() != 1 || boxes[0] != OpenQuestion)
    Report("not exactly one box, the question", i);
  if (opened != 1)
    Report(opened ? "more than one opening" : "no opening", i);
  std::string data;
  if (!ReadWhole(In(Settings), data) || !Complete(data) ||
      data.find("Last_XLS=\r\n") != std::string::npos)
    Report("the file is not whole or does not record the day", i);
  if (Leftovers())
    Report("temporary files left", i);
}

// Rounds on a new day: `starts` starts at once or, with `question`, a start with `args` while
// the first one's question waits, which must bring the question forward and end with no box
// and no opening or, given "/open", open the chart within 2 s more than the question took.
void NewDays(int count, const std::wstring& program, int starts, bool question,
             const std::wstring& args) {
  const bool open = args == L"/open";
  int openings = 0;
  ULONGLONG shownMs = 0, secondMs = 0;
  for (int i = 0; i < count; ++i) {
    if (!NewDay())
      Report("the settings file cannot be set to a new day", i);
    const int before = Openings();
    std::vector<TChild> children{Start(program)};
    std::vector<std::wstring> boxes, secondBoxes;
    std::vector<DWORD> codes;
    if (question) {
      TBoxSweep look{children[0].Info.dwProcessId, &boxes, false};
      const ULONGLONG t0 = GetTickCount64();
      for (int waited = 0; children[0].Started && !look.Seen && waited < 120000; waited += 50) {
        EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(&look));
        Sleep(50);
      }
      shownMs = GetTickCount64() - t0;
      if (!SetForegroundWindow(CreateWindowExW(0, L"STATIC", L"aqkillrace", WS_VISIBLE, 0, 0, 99,
                                               99, nullptr, nullptr, nullptr, nullptr)))
        Report("the helper's own window did not come to the front", i);
      const ULONGLONG t1 = GetTickCount64();
      TChild second = Start(Spelling + L"\\AutoQuillmer.exe", args, Spelling); // it ends at once
      const bool secondEnded = second.Started && WaitAnswering(second, 60000, secondBoxes);
      secondMs = GetTickCount64() - t1;
      if (!look.Seen || !secondBoxes.empty() || !secondEnded ||
          (open ? OpeningsSince(before) != 1 || secondMs > shownMs + 2000 : Openings() != before))
        Report("no question, or the second start showed a box, opened wrongly or took long", i);
      DWORD front = 0; // the process of the foreground window, within a few seconds
      for (int waited = 0; !open && front != children[0].Info.dwProcessId && waited < 5000;
           waited += 50, Sleep(50))
        GetWindowThreadProcessId(GetForegroundWindow(), &front);
      if (!open && front != children[0].Info.dwProcessId)
        Report("the question was not brought forward", i);
      if (second.Started && !secondEnded) {
        WaitAnswering(children[0], INFINITE, boxes);
        WaitAnswering(second, INFINITE, secondBoxes);
      }
      if (second.Started)
        codes.push_back(Finish(second));
    }
    while (static_cast<int>(children.size()) < starts)
      children.push_back(Start(program));
    for (TChild& child : children) {
      if (!child.Started) {
        Report("a program did not start", i);
        continue;
      }
      WaitAnswering(child, INFINITE, boxes);
      codes.push_back(Finish(child));
    }
    const int opened = OpeningsSince(before);
    openings += opened;
    CheckRound(i, codes, boxes, opened);
  }
  std::printf("%s: %d rounds of %d starts on a new day: %d openings",
              question ? "question" : "race", count, question ? 2 : starts, openings);
  if (question)
    std::printf("; the question came after %llu ms, the second start ended after %llu ms", shownMs,
                secondMs);
  std::printf("\n");
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::printf("usage: aqkillrace kill COUNT PROGRAM SEED | race COUNT PROGRAM STARTS | "
                "question COUNT PROGRAM [ARGUMENT]\n");
    return 2;
  }
  const std::wstring mode = argv[1];
  const int count = _wtoi(argv[2]);
  const std::wstring program = argv[3];
  Folder = program.substr(0, program.find_last_of(L'\\'));
  AnswerYes = mode != L"kill" && (argc < 6 || std::wstring(argv[5]) != L"no");
  Spelling = argc > 6 ? argv[6] : Folder;
  if (mode == L"kill")
    Kill(count, program, argc > 4 ? static_cast<unsigned>(_wtoi(argv[4])) : 1u);
  else if (mode == L"race")
    NewDays(count, program, argc > 4 ? _wtoi(argv[4]) : 2, false, L"");
  else
    NewDays(count, program, 1, true, argc > 4 && std::wstring(argv[4]) != L"-" ? argv[4] : L"");
  std::printf("aqkillrace: %d bad\n", Bad);
  std::fflush(stdout);
  return Bad ? 1 : 0;
}
