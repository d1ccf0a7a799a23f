// Integer and flag values of the INI store.
#include "ini/IniFile.h"
#include "platform/FakePlatform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

struct TIntCase {
  std::string Text;
  std::optional<std::int32_t> Value; // nullopt: the default
};

class IniReadInt : public ::testing::TestWithParam<TIntCase> {
protected:
  TFakePlatform P;
};

TEST_P(IniReadInt, ReadsWholeTextOrGivesDefault) {
  TMemIniFile ini("a.ini");
  ini.WriteText("s", "k", GetParam().Text);
  const std::int32_t def = 12345;
  EXPECT_EQ(ini.ReadInt("s", "k", def), GetParam().Value.value_or(def))
      << "value \"" << GetParam().Text << "\"";
  std::int32_t v = 0;
  EXPECT_EQ(IniTextToInt(GetParam().Text, v), GetParam().Value.has_value());
}

const std::optional<std::int32_t> Default;

INSTANTIATE_TEST_SUITE_P(
    Table, IniReadInt,
    ::testing::Values(
        TIntCase{"42", 42}, TIntCase{"+42", 42}, TIntCase{"  42", 42}, TIntCase{"042", 42},
        TIntCase{"-42", -42}, TIntCase{"0x1F", 31}, TIntCase{"0X1f", 31}, TIntCase{"$1f", 31},
        TIntCase{"x1F", 31}, TIntCase{"X1F", 31}, TIntCase{"$FFFFFFFF", -1},
        TIntCase{"$80000000", INT32_MIN}, TIntCase{"$7FFFFFFF", INT32_MAX},
        TIntCase{"$000000000001", 1}, TIntCase{"  $10", 16}, TIntCase{"0", 0}, TIntCase{"00", 0},
        TIntCase{"-0", 0}, TIntCase{"010", 10}, TIntCase{"2147483647", INT32_MAX},
        TIntCase{"-2147483648", INT32_MIN}, TIntCase{"0002147483647", INT32_MAX},
        TIntCase{"2147483648", Default}, TIntCase{"-2147483649", Default},
        TIntCase{"2147483650", Default}, TIntCase{"9999999999", Default},
        TIntCase{"$100000000", Default}, TIntCase{"$FFFFFFFF0", Default}, TIntCase{"-$10", Default},
        TIntCase{"+0x10", Default}, TIntCase{"0x", Default}, TIntCase{"$", Default},
        TIntCase{"-", Default}, TIntCase{"+", Default}, TIntCase{"", Default},
        TIntCase{"   ", Default}, TIntCase{"4 2", Default}, TIntCase{"42 ", Default},
        TIntCase{"1e3", Default}, TIntCase{"\t42", Default}, TIntCase{"0x1G", Default},
        TIntCase{"--1", Default}, TIntCase{"+-1", Default}, TIntCase{"- 1", Default},
        TIntCase{"00x1", Default}, TIntCase{"$ 1", Default}, TIntCase{"４２", Default}));

struct TFlagCase {
  std::string Text;
  std::optional<bool> Value;
};

class IniReadFlag : public ::testing::TestWithParam<TFlagCase> {
protected:
  TFakePlatform P;
};

TEST_P(IniReadFlag, NonZeroIntegerIsTrue) {
  TMemIniFile ini("a.ini");
  ini.WriteText("s", "k", GetParam().Text);
  EXPECT_EQ(ini.ReadFlag("s", "k", true), GetParam().Value.value_or(true)) << GetParam().Text;
  EXPECT_EQ(ini.ReadFlag("s", "k", false), GetParam().Value.value_or(false)) << GetParam().Text;
}

INSTANTIATE_TEST_SUITE_P(Table, IniReadFlag,
                         ::testing::Values(TFlagCase{"1", true}, TFlagCase{"2", true},
                                           TFlagCase{"-1", true}, TFlagCase{"$10", true},
                                           TFlagCase{"0", false}, TFlagCase{"00", false},
                                           TFlagCase{"$0", false}, TFlagCase{"true", {}},
                                           TFlagCase{"yes", {}}, TFlagCase{"", {}}));

TEST(IniWriteNumbers, IntegersInDecimalAndFlagsAsOneOrZero) {
  TFakePlatform p;
  TMemIniFile ini("a.ini");
  for (std::int32_t v : {0, 7, -7, INT32_MAX, INT32_MIN}) {
    ini.WriteInt("s", "k", v);
    EXPECT_EQ(ini.ReadText("s", "k", ""), std::to_string(v));
    EXPECT_EQ(ini.ReadInt("s", "k", 1), v);
  }
  ini.WriteFlag("s", "f", true);
  EXPECT_EQ(ini.ReadText("s", "f", ""), "1");
  ini.WriteFlag("s", "f", false);
  EXPECT_EQ(ini.ReadText("s", "f", ""), "0");
}

TEST(IniWriteNumbers, LeadingBlankInValueIsSkippedTrailingIsNot) {
  TFakePlatform p;
  p.Fs["a.ini"] = TFakeEntry{"[Launch]\r\nWindowSize= 7\r\nYesNo=0 \r\n"};
  TMemIniFile ini("a.ini");
  EXPECT_EQ(ini.ReadInt("Launch", "WindowSize", 5), 7);
  EXPECT_TRUE(ini.ReadFlag("Launch", "YesNo", true));
}

} // namespace
