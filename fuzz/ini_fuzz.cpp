// Loads any bytes as a settings file through the real file layer, runs the typed reads
// and writes, saves, loads the saved file again and checks that saving it once more gives
// the same bytes, and that no file is left beside it.
#include "ini/IniFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Dir;
std::string Ini;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "ini_fuzz: %s\n", what);
  std::abort();
}

void Put(const std::string& name, const std::uint8_t* data, std::size_t size) {
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    Fail("cannot write the input file");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0)
      Fail("cannot write the input file");
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

std::string Get(const std::string& name) {
  std::string s;
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    Fail("saved file missing");
  char buf[65536];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;)
    s.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return s;
}

int EntriesInDir() {
  int count = 0;
  if (DIR* d = opendir(Dir.c_str())) {
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.' || (e->d_name[1] != '\0' && e->d_name[1] != '.'))
        ++count;
    closedir(d);
  }
  return count;
}

// A name made from a few input bytes, kept to bytes that survive a save and reload.
std::string NameFrom(const std::uint8_t* data, std::size_t size, std::size_t at) {
  std::string s;
  for (std::size_t i = at; i < size && s.size() < 4; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c != '\r' && c != '\n' && c != '\0' && c != '=' && c != ';' && c != '[')
      s += c;
  }
  return s.empty() ? "K" : s;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/dev/shm/aq-ini-fuzz-XXXXXX";
  char fallback[] = "/tmp/aq-ini-fuzz-XXXXXX";
  const char* d = mkdtemp(pattern);
  if (!d)
    d = mkdtemp(fallback);
  if (!d)
    Fail("no temporary folder");
  Dir = d;
  Ini = Dir + "/AutoQuillmer.ini";
  std::atexit([] {
    unlink(Ini.c_str());
    rmdir(Dir.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Put(Ini, data, size);
  const std::string section = NameFrom(data, size, size / 3);
  const std::string key = NameFrom(data, size, size / 2);

  std::string first, value, copy;
  {
    TMemIniFile ini(Ini);
    const std::string text = ini.ReadText(section, key, "\x01");
    const std::int32_t n = ini.ReadInt(section, key, 7);
    const bool flag = ini.ReadFlag(section, key, true);
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
      Fail("a loaded value holds a line end or NUL");
    if (text == "\x01" && (n != 7 || !flag))
      Fail("a missing value did not give the defaults");
    (void)ini.ReadMoment("Execute", "Last_XLS", 2.0);
    (void)ini.ReadTimeOfDay("Date", "TimeToNext", 0.25);
    (void)ini.ReadMoment(section, key, 2.0);
    (void)ini.ReadTimeOfDay(section, key, 0.25);
    const bool had = ini.HasSection("Window");
    if (had != !ini.SectionLineNames("window").empty())
      Fail("HasSection disagrees with the section's lines");

    ini.WriteInt(section, key, n);
    if (ini.ReadInt(section, key, n + 1) != n)
      Fail("an integer did not read back");
    ini.WriteFlag("Launch", "YesNo", !flag);
    if (ini.ReadFlag("launch", "yesno", flag) != !flag)
      Fail("a flag did not read back");
    ini.WriteText(section, "Copy", text == "\x01" ? "" : text);
    if (had)
      ini.DropSection("Window");
    value = ini.ReadText(section, key, "\x01");
    copy = ini.ReadText(section, "Copy", "\x01");
    ini.SaveToDisk();
    first = Get(Ini);
    if (first != ini.FileText())
      Fail("the saved file differs from the store's text");
    if (EntriesInDir() != 1)
      Fail("a file was left beside the saved one");
  }
  {
    TMemIniFile again(Ini);
    if (again.ReadText(section, key, "\x01") != value ||
        again.ReadText(section, "Copy", "\x01") != copy)
      Fail("a saved value did not load back");
    again.SaveToDisk();
    if (Get(Ini) != first)
      Fail("a second save gave other bytes");
  }
  return 0;
}
