#pragma once

// A scripted stand-in for the operating system: records every call with its arguments
// and plays back answers, the clock, the command line and files, so that the whole
// launcher runs in-process in a test.

#include "platform/os/OsAutostart.h"
#include "platform/os/OsFailure.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsLocale.h"
#include "platform/os/OsProcess.h"
#include "platform/os/OsRunLock.h"
#include "platform/os/OsShell.h"
#include "platform/os/OsUi.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Thrown by the stand-in's EndProcess so that a test sees where the process would end.
struct TFakeExit {
  int Code;
};

// How another program has a file open.
enum class TFakeHold { None, Reading, Writing };

// An in-memory file system keyed by the exact name the program uses.
struct TFakeEntry {
  std::string Content;
  bool Folder = false;
  bool ReadOnly = false;
  TFakeHold HeldElsewhere = TFakeHold::None;
  int Links = 1;        // names of the file (hard links)
  bool Foreign = false; // its owner cannot be given to a new file by this user
  bool Hidden = false;  // hidden or system: an attribute that goes with the file
  std::string LinkTo{}; // not empty: a symbolic link to this name
  bool operator==(const TFakeEntry&) const = default;
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
  int FindFails = -1;                // index in Searched of the search that fails (no access, I/O)
  bool RealSearch = false;           // searches go to the native layer (files in a real folder)

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
  int ShowBox(const std::string& text, const std::string& caption, unsigned flags,
              const TBoxWords& words) override;
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
  int CopyFails = 0;            // not 0: what ShellCopy answers, having made nothing
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

// File access on the in-memory file system. Every call is recorded as "Op name" in Calls;
// a test can make any one call fail by its index there.
class TFakeFiles : public TOsFiles {
public:
  explicit TFakeFiles(TFakeFs& fs) : Fs(fs) {}
  std::vector<std::string> Calls;
  int FailCall = -1;           // index in Calls of the call that fails
  bool FailOnward = false;     // every call after it fails too (the disk is gone)
  bool ShortAtFail = false;    // that call, a Write, writes half its bytes and fills the disk
  bool HalfAtFail = false;     // that call, a Replace, takes the old file away and stops
  std::int64_t DiskSpace = -1; // bytes that writes may still add; -1: no limit
  std::size_t WriteChunk = 0;  // > 0: a write takes at most this many bytes
  bool FolderWritable = true;  // false: the folder refuses new files (CreateNew is denied)
  std::string MissingFolder;   // not empty: no file can be made under this folder (it is not there)
  std::int64_t ReadLimit = -1; // >= 0: a read delivers at most this many bytes
  bool KeepMoments = false;    // true: the files as they are before each call go to Moments
  std::vector<TFakeFs> Moments; // what the process would leave if it were killed there
  std::size_t OpenCount() const { return Open.size(); }

  TOsFile OpenRead(const std::string& name) override;
  std::int64_t SizeOf(TOsFile f) override;
  std::int64_t Read(TOsFile f, char* buffer, std::size_t n) override;
  std::string SaveTarget(const std::string& name) override; // not recorded
  TClaim Claim(const std::string& name, TOsFile& f) override;
  TCreateNew CreateNew(const std::string& name, TOsFile& f) override;
  bool CarryOver(TOsFile claim, TOsFile made) override;
  bool SetEnd(TOsFile f) override;
  std::int64_t Write(TOsFile f, const char* data, std::size_t n) override;
  bool Flush(TOsFile f) override;
  bool Close(TOsFile f) override;
  TReplaced Replace(TOsFile claim, const std::string& from, const std::string& to) override;
  bool Remove(const std::string& name) override;
  void RemoveLeftovers(const std::string& target) override;
  bool Leftovers(const std::string& target, std::vector<std::string>& names) override;
  int Tokens = 0; // the new files' tokens are counted: "1", "2", ...
  std::string NewToken() override { return std::to_string(++Tokens); }
  unsigned Waited = 0; // milliseconds; nothing waits really
  void Wait(unsigned ms) override { Waited += ms; }

private:
  struct TOpen {
    std::string Name;
    bool Writing;
    std::size_t Pos;
  };
  // Records the call; true when it is the one to fail.
  bool Fails(const char* op, const std::string& name);
  bool OpenHere(const std::string& name) const;
  TOsFile Add(const std::string& name, bool writing);
  TFakeFs& Fs;
  std::map<TOsFile, TOpen> Open;
  TOsFile NextFile = 100;
};

// The entry that starts the program at sign-in: each call is recorded ("Add" or "Remove")
// with its entry, and answered with Outcome.
class TFakeAutostart : public TOsAutostart {
public:
  std::vector<std::string> Calls;
  TAutostartEntry Entry;
  TAutostartOutcome Outcome{TAutostartResult::Done, "C:\\Startup\\Auto Quillmer.lnk", 0};
  TAutostartOutcome Add(const TAutostartEntry& entry) override {
    Calls.push_back("Add");
    Entry = entry;
    return Outcome;
  }
  TAutostartOutcome Remove(const TAutostartEntry& entry) override {
    Calls.push_back("Remove");
    Entry = entry;
    return Outcome;
  }
};

// The locks: each call is recorded ("Take run N", "Wait run N" when it waits, "Take question N",
// "BringHolderForward N", "Give run", "Give question"), handed to OnCall and answered as set.
class TFakeRunLock : public TOsRunLock {
public:
  std::vector<std::string> Calls;
  TRunLock Answer = TRunLock::Held, WaitAnswer = TRunLock::Held, Question = TRunLock::Held;
  std::function<void(const std::string&)> OnCall = [](const std::string&) {};
  TRunLock Take(const std::string& name, TRunLockKind kind, unsigned waitMs) override {
    if (kind == TRunLockKind::Question)
      return Record("Take question " + name), Question;
    return Record((waitMs ? "Wait run " : "Take run ") + name), waitMs ? WaitAnswer : Answer;
  }
  void BringHolderForward(const std::string& name) override {
    Record("BringHolderForward " + name);
  }
  void Give(TRunLockKind kind) override {
    Record(kind == TRunLockKind::Question ? "Give question" : "Give run");
  }
  void Record(const std::string& call) { Calls.push_back(call), OnCall(call); }
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
  TFakeFiles Files{Fs};
  TFakeAutostart Autostart;
  TFakeRunLock RunLock;
};
