#pragma once

// The whole launcher in-process against the scripted stand-in.

#include "datetime/RegionalFormats.h"
#include "datetime/SampleFormats.h"
#include "platform/FakePlatform.h"
#include "platform/ProcessEnd.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"
#include "unitFunc.h"

#include <gtest/gtest.h>

class LauncherTest : public ::testing::Test {
protected:
  TFakePlatform Os;
#ifdef _WIN32
  const std::string Dir = "C:\\Apps\\Chart\\";
#else
  const std::string Dir = "/apps/chart/";
#endif

  void SetUp() override {
    Os.Process.ModulePath = Dir + "AutoQuillmer.exe";
    LoadCodePageFacts();
    TText::LoadAll();
    ResetRunState();
    RegionalFormats = TRegionalFormats{};
  }
  void TearDown() override {
    RegionalFormats = TRegionalFormats{};
  }

  // A Japanese system's regional settings: yyyy/MM/dd and a 24-hour clock without a
  // leading zero.
  void UseJapaneseFormats() {
    RegionalFormats = JapaneseFormats();
    // The same, as the system reports it, for runs that read the regional settings.
    Os.Locale.Items = {{LocaleItem::SDate, "/"},
                       {LocaleItem::STime, ":"},
                       {LocaleItem::SShortDate, "yyyy/MM/dd"},
                       {LocaleItem::ITime, "1"},
                       {LocaleItem::ITLZero, "0"},
                       {LocaleItem::SDecimal, "."}};
  }
  // The settings file, both in the program's folder and in the current directory (the
  // program started from its own folder).
  void SettingsHere(const std::string& content) {
    AddFile("AutoQuillmer.ini", content);
    AddFile(Dir + "AutoQuillmer.ini", content);
  }
  std::string Settings() {
    return Os.Fs.count("AutoQuillmer.ini") ? Os.Fs["AutoQuillmer.ini"].Content : "<none>";
  }
  std::vector<std::string> BoxTexts() {
    std::vector<std::string> out;
    for (const auto& b : Os.Ui.Boxes)
      out.push_back(b.Text);
    return out;
  }
  void ClockAt(std::uint16_t y, std::uint16_t mo, std::uint16_t d, std::uint16_t h,
               std::uint16_t mi) {
    Os.Locale.Now = TLocalTime{y, mo, d, h, mi, 0, 0};
  }

  void AddFile(const std::string& name, const std::string& content = "x") {
    Os.Fs[name] = TFakeEntry{content};
  }
  void Answer(const std::vector<int>& answers) {
    Os.Ui.Answers.insert(Os.Ui.Answers.end(), answers.begin(), answers.end());
  }
  // Runs the program's whole process and returns its exit code.
  int RunProcess() {
    try {
      RunProgram(ProgramStartSteps(), &RunLauncher);
    } catch (const TFakeExit& e) {
      return e.Code;
    }
    return -1000; // never reached: the process always ends through the platform
  }
};
