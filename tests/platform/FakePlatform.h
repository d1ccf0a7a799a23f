#pragma once

// A scripted stand-in for the operating system: records every call with its arguments
// and plays back answers, the clock, the command line and files, so that the whole
// launcher runs in-process in a test.

#include "platform/OsFailure.h"
#include "platform/OsLocale.h"
#include "platform/OsProcess.h"
#include "platform/OsShell.h"
#include "platform/OsUi.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

// Thrown by the stand-in's EndProcess so that a test sees where the process would end.
struct TFakeExit {
  int Code;
};

// An in-memory file system keyed by the exact name the program uses.
struct TFakeEntry {
  std::string Content;
  bool Folder = false;
  bool DosTimeOk = true; // false: last-write time outside 1980 to 2107
  bool ReadOnly = false;
};
using TFakeFs = std::map<std::string, TFakeEntry>;

struct TBoxCall {
  std::string Text, Caption;
  unsigned Flags;
};

class TFakeProcess : public TOsProcess {
public:
  explicit TFakeProcess(TFakeFs& fs) : Fs(fs) {}
  std::string ModulePath = "C:\\Apps\\Chart\\AutoQuillmer.exe";
  std::string CmdLine = "AutoQuillmer.exe";
  bool Dbcs = false;
  std::vector<std::uint8_t> LeadRanges;
  std::vector<std::string> Searched; // names handed to FindFirst

  std::string ModuleFileName() override { return ModulePath; }
  std::string CommandLine() override { return CmdLine; }
  bool DbcsEnabled() override { return Dbcs; }
  std::vector<std::uint8_t> LeadByteRanges() override { return LeadRanges; }
  TFindEntry FindFirst(const std::string& name) override;
  int CompareText(const std::string& a, const std::string& b, bool ignoreCase) override;
  std::string AnsiFromUtf8(const std::string& utf8) override { return utf8; }
  [[noreturn]] void EndProcess(int code) override { throw TFakeExit{code}; }

private:
  TFakeFs& Fs;
};

class TFakeUi : public TOsUi {
public:
  std::vector<TBoxCall> Boxes;
  std::deque<int> Answers; // played back in order; an empty queue answers OK (1)
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags) override;
};

struct TCopyCall {
  std::string From, To;
};
struct TOpenCall {
  std::string File;
  int Show;
};

class TFakeShell : public TOsShell {
public:
  explicit TFakeShell(TFakeFs& fs) : Fs(fs) {}
  std::vector<TCopyCall> Copies;
  std::vector<TOpenCall> Opens;
  std::int32_t OpenResult = 42; // what ShellOpen answers when the file exists
  int ShellCopy(const std::string& from, const std::string& to) override;
  std::int32_t ShellOpen(const std::string& file, int showCommand) override;

private:
  TFakeFs& Fs;
};

class TFakeLocale : public TOsLocale {
public:
  TLocalTime Now{2004, 7, 1, 7, 30, 0, 0};
  std::uint32_t Lcid = 0x409;
  std::map<std::uint32_t, std::string> Items;                 // locale items; missing ones fail
  std::map<std::uint32_t, std::vector<std::string>> Calendar; // by calType
  std::map<std::string, std::string> AltDates;                // picture -> text
  TLocalTime LocalTime() override { return Now; }
  std::uint32_t ThreadLocale() override { return Lcid; }
  int LocaleInfo(std::uint32_t lcid, std::uint32_t item, char* buffer, int size) override;
  std::vector<std::string> CalendarInfo(std::uint32_t lcid, std::uint32_t calendar,
                                        std::uint32_t calType) override;
  bool AltCalendarDate(std::uint32_t lcid, std::uint16_t year, std::uint16_t month,
                       std::uint16_t day, const std::string& picture, std::string& out) override;
};

// Faults and code addresses: the program's module lies at ModuleBase (its file is the
// process's ModulePath); faults are raised by a test through Sink.
class TFakeFailure : public TOsFailure {
public:
  explicit TFakeFailure(TFakeProcess& process) : Process(process) {}
  std::uintptr_t ModuleBase = 0x400000;
  std::uintptr_t ModuleSize = 0x100000;
  bool Debugger = false;
  std::vector<const void*> Offered; // failures offered to the platform's filter
  TFaultSink Sink = nullptr;
  void CatchFaults(TFaultSink sink) override { Sink = sink; }
  void GuardedRun(void (*run)()) override { run(); }
  bool DebuggerFlag() override { return Debugger; }
  void OfferFailure(const void* address) override { Offered.push_back(address); }
  TModuleInfo ModuleOf(const void* address) override;

private:
  TFakeProcess& Process;
};

// All of the stand-in, put in use for the lifetime of the object.
class TFakePlatform {
public:
  TFakePlatform();
  ~TFakePlatform();
  TFakePlatform(const TFakePlatform&) = delete;
  TFakePlatform& operator=(const TFakePlatform&) = delete;

  TFakeFs Fs;
  TFakeProcess Process{Fs};
  TFakeUi Ui;
  TFakeShell Shell{Fs};
  TFakeLocale Locale;
  TFakeFailure Failure{Process};
};
