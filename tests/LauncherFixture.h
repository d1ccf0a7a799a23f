#pragma once

// The whole launcher in-process against the scripted stand-in.

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
      RunProgram(&RunLauncher);
    } catch (const TFakeExit& e) {
      return e.Code;
    }
    return -1000; // never reached: the process always ends through the platform
  }
};

// The texts of the boxes, as the user sees them.
namespace texts {
inline const std::string NoTemplate =
    "\"Dozeboardt1.xls\" または \"Dozeboardt3.xls\" が見つかりませんでした。　終了します。";
inline const std::string ChooseType = "起動したい「Dozeboard」は、[Type-1] ですか？\r\n"
                                      "\r\n"
                                      "　[Type-1] （睡眠１回まで/日）　→　\"はい\" 　を、\r\n"
                                      "　[Type-3] （睡眠３回まで/日）　→　\"いいえ\" を、\r\n"
                                      "　押して下さい。";
inline const std::string SetupCancelled = "何もせずに終了します。\r\n（設定は完了していません）";
inline const std::string IconFault = "エラー：アイコンの指定ミス";
inline const std::string ButtonFault = "エラー：ボタンの指定ミス";
} // namespace texts
