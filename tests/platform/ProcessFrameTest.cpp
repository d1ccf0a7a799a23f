#include "platform/ProcessFrame.h"
#include "platform/FakePlatform.h"

#include <gtest/gtest.h>

namespace {

// The lead-byte ranges of code page 932.
const std::vector<std::uint8_t> Cp932Ranges{0x81, 0x9F, 0xE0, 0xFC, 0, 0};

class ProcessFrame : public ::testing::Test {
protected:
  TFakePlatform Os;
  void SetUp() override { LoadCodePageFacts(); }
  void TearDown() override {
    Os.Process.Dbcs = false;
    LoadCodePageFacts();
  }
  void Japanese() {
    Os.Process.Dbcs = true;
    Os.Process.LeadRanges = Cp932Ranges;
    LoadCodePageFacts();
  }
  std::vector<std::string> Args(const std::string& tail) {
    Os.Process.CmdLine = "C:\\Apps\\AutoQuillmer.exe " + tail;
    std::vector<std::string> out;
    for (std::int32_t i = 1; i <= ArgCount(); ++i)
      out.push_back(ArgAt(i));
    return out;
  }
};

TEST_F(ProcessFrame, ReadsArgumentsByTheQuoteRules) {
  const struct {
    std::string Tail;
    std::vector<std::string> Expected;
  } cases[] = {
      {"/open", {"/open"}},
      {"-OPEN x", {"-OPEN", "x"}},
      {"\"/open\"", {"/open"}},
      {"/op\"en\"", {"/open"}},
      {"\"\" /open", {"/open"}},
      {"\"a b\" c", {"a b", "c"}},
      {"a\\\"b c\"", {"a\\b c"}},
      {"", {}},
      {"  \t x  ", {"x"}},
      {"\"\" \"\"", {}},
      {"x \"", {"x"}},
      {"\"a\tb\"", {"a\tb"}},
      {"\x82\xA0 \xE9\x5C", {"\x82\xA0", "\xE9\x5C"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Args(c.Tail), c.Expected) << "command line tail: " << c.Tail;
}

TEST_F(ProcessFrame, ProgramWordIsReadButNotCounted) {
  Os.Process.CmdLine = "\"C:\\Program Files\\AQ\\AutoQuillmer.exe\" /open";
  EXPECT_EQ(ArgCount(), 1);
  EXPECT_EQ(ArgAt(1), "/open");
  EXPECT_EQ(ArgAt(0), Os.Process.ModulePath); // index 0 is the module path, not the word
  EXPECT_EQ(ArgAt(2), "");
  EXPECT_EQ(ArgAt(-1), "");
}

TEST_F(ProcessFrame, SplitsAnArgumentAt4096Bytes) {
  Os.Process.CmdLine = "p " + std::string(4096 + 10, 'x') + " y";
  ASSERT_EQ(ArgCount(), 3);
  EXPECT_EQ(ArgAt(1), std::string(4096, 'x'));
  EXPECT_EQ(ArgAt(2), std::string(10, 'x'));
  EXPECT_EQ(ArgAt(3), "y");
  // A quoted argument never holds more than 4096 bytes either.
  Os.Process.CmdLine = "p \"" + std::string(5000, 'q') + "\" z";
  EXPECT_EQ(ArgAt(1).size(), 4096u);
}

TEST_F(ProcessFrame, FindsTheFolderOfAPath) {
  const struct {
    std::string Path, Folder;
  } cases[] = {
      {"C:\\Apps\\Chart\\Launcher.exe", "C:\\Apps\\Chart"},
      {"C:\\Launcher.exe", "C:\\"},
      {"\\\\server\\share\\Launcher.exe", "\\\\server\\share"},
      {"C:Launcher.exe", "C:"},
      {"Launcher.exe", ""},
      {"\\Launcher.exe", "\\"},
      {"C:\\Apps\\\x95\x5C\\L.exe", "C:\\Apps\\\x95\x5C\\"}, // no lead bytes: 0x5C is a separator
  };
  for (const auto& c : cases)
    EXPECT_EQ(FolderOf(c.Path, TPathStyle::Windows), c.Folder) << c.Path;
}

TEST_F(ProcessFrame, FolderRuleKnowsDoubleByteCharacters) {
  Japanese();
  // 時刻表: 0x8E 0x9E 0x8D 0x8F 0x95 0x5C; the final 0x5C is the trail byte of 表.
  const std::string hyou = "C:\\Apps\\\x8E\x9E\x8D\x8F\x95\x5C";
  EXPECT_EQ(FolderOf(hyou + "\\Launcher.exe", TPathStyle::Windows), hyou);
  EXPECT_EQ(FolderOf(hyou, TPathStyle::Windows), "C:\\Apps");
  EXPECT_EQ(FolderOf("\x95\x5C", TPathStyle::Windows), "");
  EXPECT_EQ(FolderOf("C:\\Launcher.exe", TPathStyle::Windows), "C:\\");
}

TEST_F(ProcessFrame, ByteKindsFollowTheLeadByteRuns) {
  Japanese();
  const std::string s = "a\x81\x81\x81\x5C"; // a, lead, trail, lead, trail
  const TByteKind expected[] = {TByteKind::Single, TByteKind::Lead,  TByteKind::Trail,
                                TByteKind::Lead,   TByteKind::Trail, TByteKind::Single};
  for (std::size_t k = 0; k <= s.size(); ++k)
    EXPECT_EQ(ByteKindAt(s, k), expected[k]) << k;
}

TEST_F(ProcessFrame, ReadsLeadByteRangesUntilAZeroPair) {
  Os.Process.Dbcs = true;
  Os.Process.LeadRanges = {0x81, 0x82, 0x90, 0x80, 0, 0, 0xA0, 0xA1};
  LoadCodePageFacts();
  EXPECT_TRUE(DoubleByteSystem);
  EXPECT_EQ(LeadByteSet.count(), 2u); // 0x81, 0x82; the reversed pair adds nothing
  EXPECT_FALSE(LeadByteSet.test(0xA0));
  Os.Process.Dbcs = false;
  LoadCodePageFacts();
  EXPECT_TRUE(LeadByteSet.none());
}

TEST_F(ProcessFrame, RecognisesTheOpenSwitch) {
  TByteSet chars;
  chars.set('-');
  chars.set('/');
  const struct {
    std::string Tail;
    bool Given;
  } cases[] = {
      {"/open", true},     {"-open", true},      {"/OPEN", true},     {"-Open", true},
      {"\"/open\"", true}, {"\"\" /open", true}, {"x y /open", true}, {"/opening", false},
      {"open", false},     {"--open", false},    {"/open:1", false},  {"/ open", false},
      {"", false},         {"/op\"en\"", true},
  };
  for (const auto& c : cases) {
    Os.Process.CmdLine = "AutoQuillmer.exe " + c.Tail;
    EXPECT_EQ(SwitchGiven("open", chars, true), c.Given) << c.Tail;
  }
  Os.Process.CmdLine = "AutoQuillmer.exe /OPEN";
  EXPECT_FALSE(SwitchGiven("open", chars, false));
  Os.Process.CmdLine = "/open";
  EXPECT_FALSE(SwitchGiven("open", chars, true)); // the program's own word is never tested
  Os.Process.CmdLine = "p open";
  EXPECT_TRUE(SwitchGiven("pen", TByteSet{}, true)); // no switch characters: any first byte
}

TEST_F(ProcessFrame, FileIsPresentWhenAFileWhateverItsDate) {
  Os.Fs["C:\\a.xls"] = {};
  Os.Fs["C:\\dir.xls"] = TFakeEntry{"", true};
  Os.Fs["C:\\old.xls"] = TFakeEntry{"", false, false};
  EXPECT_TRUE(FilePresent("C:\\a.xls"));
  EXPECT_FALSE(FilePresent("C:\\dir.xls"));
  EXPECT_TRUE(FilePresent("C:\\old.xls")); // dated before 1980
  EXPECT_FALSE(FilePresent("C:\\missing.xls"));
}

TEST(DecimalText, WritesSignAndDigitsOnly) {
  const struct {
    std::int32_t Value;
    const char* Text;
  } cases[] = {{0, "0"},
               {-1, "-1"},
               {31, "31"},
               {2147483647, "2147483647"},
               {-2147483647 - 1, "-2147483648"}};
  for (const auto& c : cases)
    EXPECT_EQ(DecimalText(c.Value), c.Text);
}

} // namespace
