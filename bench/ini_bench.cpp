// Loading and saving settings files of 1 KB, 100 KB and 1 MB through the real file layer.
// The fitted complexity printed after each group shows whether the cost grows linearly.
#include "ini/IniFile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <unistd.h>

namespace {

// A folder of the benchmark's own, the first of the patterns that can be made, removed with
// everything in it when the program ends.
class TBenchDir {
public:
  TBenchDir(std::initializer_list<const char*> patterns) {
    for (const char* pattern : patterns) {
      std::string name = pattern;
      if (mkdtemp(name.data())) {
        Path = name;
        return;
      }
    }
    std::abort();
  }
  ~TBenchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
  }
  TBenchDir(const TBenchDir&) = delete;
  TBenchDir& operator=(const TBenchDir&) = delete;
  std::string Path;
};

// A folder on a memory file system when there is one, so that the figures show the
// store's own work rather than the disk's.
const std::string& MemDir() {
  static const TBenchDir dir{"/dev/shm/aq-ini-bench-XXXXXX", "/tmp/aq-ini-bench-XXXXXX"};
  return dir.Path;
}

const std::string& DiskDir() {
  static const TBenchDir dir{"/var/tmp/aq-ini-bench-XXXXXX"};
  return dir.Path;
}

// Settings text of about `size` bytes: sections of twenty lines, with comments and LF ends.
std::string SettingsText(std::size_t size) {
  std::string text;
  for (int s = 0; text.size() < size; ++s) {
    text += "; section " + std::to_string(s) + "\n[Section" + std::to_string(s) + "]\n";
    for (int k = 0; k < 20 && text.size() < size; ++k)
      text += "Key" + std::to_string(k) + "=value number " + std::to_string(s * 20 + k) + "\n";
  }
  return text;
}

void Put(const std::string& name, const std::string& text) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    std::abort();
  close(fd);
}

void Load(benchmark::State& state) {
  const std::string name = MemDir() + "/load.ini";
  const std::string text = SettingsText(static_cast<std::size_t>(state.range(0)));
  Put(name, text);
  for (auto _ : state) {
    TMemIniFile ini(name);
    benchmark::DoNotOptimize(ini.HasSection("Section0"));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}

void SaveTo(benchmark::State& state, const std::string& dir) {
  const std::string name = dir + "/save.ini";
  const std::string text = SettingsText(static_cast<std::size_t>(state.range(0)));
  Put(name, text);
  TMemIniFile ini(name);
  for (auto _ : state)
    ini.SaveToDisk();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetComplexityN(state.range(0));
}

void Save(benchmark::State& state) {
  SaveTo(state, MemDir());
}
void SaveOnDisk(benchmark::State& state) {
  SaveTo(state, DiskDir());
}

// What a settings operation does: load, read and write the six keys at the end of the
// file, save.
void LoadReadWriteSave(benchmark::State& state) {
  const std::string name = MemDir() + "/rw.ini";
  const std::string text = SettingsText(static_cast<std::size_t>(state.range(0))) +
                           "[Execute]\nLast_XLS=1\n[Date]\nTimeToNext=0\n[Launch]\nType1=1\n"
                           "WindowSize=5\nYesNo=1\n";
  Put(name, text);
  for (auto _ : state) {
    TMemIniFile ini(name);
    const std::int32_t w = ini.ReadInt("Launch", "WindowSize", 5);
    const bool y = ini.ReadFlag("Launch", "YesNo", true);
    const bool t = ini.ReadFlag("Launch", "Type1", true);
    ini.WriteInt("Launch", "WindowSize", w);
    ini.WriteFlag("Launch", "YesNo", y);
    ini.WriteFlag("Launch", "Type1", t);
    ini.WriteText("Execute", "Last_XLS", "1");
    ini.WriteText("Execute", "LastQuillmer", "1");
    ini.WriteText("Date", "TimeToNext", "0");
    ini.SaveToDisk();
  }
  state.SetComplexityN(state.range(0));
}

constexpr std::int64_t KB = 1024;

BENCHMARK(Load)->Arg(KB)->Arg(100 * KB)->Arg(1024 * KB)->Complexity(benchmark::oN);
BENCHMARK(Save)->Arg(KB)->Arg(100 * KB)->Arg(1024 * KB)->Complexity(benchmark::oN);
BENCHMARK(SaveOnDisk)->Arg(KB)->Arg(100 * KB)->Arg(1024 * KB)->Complexity(benchmark::oN);
BENCHMARK(LoadReadWriteSave)->Arg(KB)->Arg(100 * KB)->Arg(1024 * KB)->Complexity(benchmark::oN);

} // namespace

BENCHMARK_MAIN();
