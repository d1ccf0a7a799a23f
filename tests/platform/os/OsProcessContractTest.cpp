// What every implementation of the process layer promises, checked against the scripted
// stand-in and against the native layer of the system the tests run on, so that the
// stand-in cannot drift from the real layers.
#include "platform/FakePlatform.h"
#include "platform/ProcessFrame.h"
#include "platform/os/OsProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

// One implementation under test, with the means to lay out files for it.
class TProcessUnderTest {
public:
  virtual ~TProcessUnderTest() = default;
  virtual TOsProcess& Os() = 0;
  // Makes a file (or folder) whose last-write time lies in the given year.
  virtual std::string MakeFile(const std::string& name, int year, bool folder = false) = 0;
};

class TFakeUnderTest : public TProcessUnderTest {
public:
  TOsProcess& Os() override { return Platform.Process; }
  std::string MakeFile(const std::string& name, int year, bool folder) override {
    Platform.Fs[name] = TFakeEntry{"", folder, year >= 1980 && year <= 2107};
    return name;
  }

private:
  TFakePlatform Platform;
};

class TNativeUnderTest : public TProcessUnderTest {
public:
  TNativeUnderTest() {
    Dir = fs::temp_directory_path() /
          ("aq-contract-" +
           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(Dir);
  }
  ~TNativeUnderTest() override {
    std::error_code ec;
    fs::remove_all(Dir, ec);
  }
  TOsProcess& Os() override { return TOsSlot<TOsProcess>::Native(); }
  std::string MakeFile(const std::string& name, int year, bool folder) override {
    const fs::path p = Dir / name;
    if (folder) {
      fs::create_directories(p);
      return p.string();
    }
    std::ofstream(p) << "x";
    // Mid-year, so that no time zone moves it into another year.
    const auto days = std::chrono::sys_days{std::chrono::year{year} / 6 / 15};
    const auto age = std::chrono::system_clock::now() - std::chrono::sys_seconds{days};
    fs::last_write_time(p, fs::file_time_type::clock::now() -
                               std::chrono::duration_cast<fs::file_time_type::duration>(age));
    return p.string();
  }

private:
  fs::path Dir;
};

class ProcessContract : public ::testing::TestWithParam<bool> {
protected:
  std::unique_ptr<TProcessUnderTest> Impl;
  void SetUp() override {
    if (GetParam())
      Impl = std::make_unique<TNativeUnderTest>();
    else
      Impl = std::make_unique<TFakeUnderTest>();
  }
};

TEST_P(ProcessContract, FindsFilesFoldersAndTheirDateRange) {
  TOsProcess& os = Impl->Os();
  const std::string file = Impl->MakeFile("book.xls", 2004);
  const std::string folder = Impl->MakeFile("folder.xls", 2004, true);
  const std::string old = Impl->MakeFile("old.xls", 1975);
  TFindEntry e = os.FindFirst(file);
  EXPECT_TRUE(e.Found && !e.Folder);
  e = os.FindFirst(folder);
  EXPECT_TRUE(e.Found && e.Folder);
  e = os.FindFirst(old);
  EXPECT_TRUE(e.Found && !e.Folder); // whatever its date
  EXPECT_FALSE(os.FindFirst(file + ".missing").Found);
  EXPECT_FALSE(os.FindFirst(file + PathDelim + "below").Found);
}

TEST_P(ProcessContract, ComparesNamesWithAsciiCaseFolded) {
  TOsProcess& os = Impl->Os();
  EXPECT_EQ(os.CompareText("open", "OPEN", true), CstrEqual);
  EXPECT_EQ(os.CompareText("Last_XLS", "last_xls", true), CstrEqual);
  EXPECT_NE(os.CompareText("open", "OPEN", false), CstrEqual);
  EXPECT_NE(os.CompareText("open", "opening", true), CstrEqual);
  EXPECT_NE(os.CompareText(" open", "open", true), CstrEqual);
  EXPECT_NE(os.CompareText("", "open", true), CstrEqual);
  EXPECT_EQ(os.CompareText("", "", true), CstrEqual);
}

TEST_P(ProcessContract, ConvertsAsciiTextsUnchanged) {
  EXPECT_EQ(Impl->Os().AnsiFromUtf8("Auto Quillmer"), "Auto Quillmer");
  EXPECT_EQ(Impl->Os().AnsiFromUtf8(""), "");
}

INSTANTIATE_TEST_SUITE_P(Layers, ProcessContract, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Native" : "StandIn"; });

// The native layer's own promises: the program's path and the command line it was given.
TEST(NativeProcess, ReportsTheProgramsOwnPath) {
  const std::string path = TOsSlot<TOsProcess>::Native().ModuleFileName();
  const std::string name = path.substr(FolderOf(path).size());
  EXPECT_NE(name.find("aq_unit_tests"), std::string::npos) << path;
  EXPECT_TRUE(fs::path(path).is_absolute()) << path;
  EXPECT_TRUE(fs::exists(path)) << path;
}

TEST(NativeProcess, CommandLineReadsBackAsTheArguments) {
  TOsSlot<TOsProcess>::Use(nullptr);
  const std::string line = TOsSlot<TOsProcess>::Native().CommandLine();
  EXPECT_FALSE(line.empty());
  // The first argument is the program's word; gtest's own arguments, if any, follow.
  const std::int32_t n = ArgCount();
  for (std::int32_t i = 1; i <= n; ++i)
    EXPECT_FALSE(ArgAt(i).empty());
  EXPECT_EQ(ArgAt(n + 1), "");
}

#ifdef _WIN32
// Every row of the string table reads back as its source, in either block; nothing else does.
TEST(NativeProcess, ReadsTheStringTable) {
  TOsProcess& os = TOsSlot<TOsProcess>::Native();
  std::string text;
#define AQ_TEXT(name, utf8)
#define AQ_STRING(name, id, utf8) EXPECT_TRUE(os.ResourceText(id, text) && text == utf8) << id;
#include "platform/Texts.def"
#undef AQ_STRING
#undef AQ_TEXT
  EXPECT_FALSE(os.ResourceText(99, text));
  EXPECT_FALSE(os.ResourceText(0xFFF0, text));
}
#endif

} // namespace
