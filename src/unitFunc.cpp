#include "unitFunc.h"

#include "platform/ProcessFrame.h"
#include "platform/OsUi.h"
#include "platform/Texts.h"

// ---------------------------------------------------------------------------------------
// Run state

std::string AppDir;
TMoment Last_XLS = 2.0;
TMoment TimeToNext = 2.1666666666666665;
bool Type1 = true;
std::int32_t WindowSize = 5;
bool YesNo = true;
TMoment StartTime = 0.0;
TMoment LogicalNow = 0.0;
std::string TargetFile;

void ResetRunState() {
  AppDir.clear();
  Last_XLS = 2.0;
  TimeToNext = 2.1666666666666665;
  Type1 = true;
  WindowSize = 5;
  YesNo = true;
  StartTime = 0.0;
  LogicalNow = 0.0;
  TargetFile.clear();
}

namespace {

const char* const AppCaption = "Auto Quillmer";
const char* const SettingsBase = "AutoQuillmer";
const char* const SettingsExt = ".ini";
const char* const TemplateType1 = "Dozeboardt1.xls";
const char* const TemplateType3 = "Dozeboardt3.xls";

const TText txtIconFault{"エラー：アイコンの指定ミス"};
const TText txtButtonFault{"エラー：ボタンの指定ミス"};
const TText txtNoTemplate{"\"Dozeboardt1.xls\" または \"Dozeboardt3.xls\" "
                          "が見つかりませんでした。　終了します。"};
const TText txtSetupCaption{"Auto Quillmer の設定"};
const TText txtChooseType{"起動したい「Dozeboard」は、[Type-1] ですか？\r\n"
                          "\r\n"
                          "　[Type-1] （睡眠１回まで/日）　→　\"はい\" 　を、\r\n"
                          "　[Type-3] （睡眠３回まで/日）　→　\"いいえ\" を、\r\n"
                          "　押して下さい。"};
const TText txtSetupCancelled{"何もせずに終了します。\r\n（設定は完了していません）"};

} // namespace

// ---------------------------------------------------------------------------------------
// Message boxes

std::int32_t ShowMsg(const std::string& text, const std::string& icon,
                     const std::string& caption) {
  unsigned flags;
  if (icon == "e")
    flags = MbIconHand;
  else if (icon == "i")
    flags = MbIconAsterisk;
  else if (icon == "n")
    flags = 0;
  else {
    OsUi().ShowBox(txtIconFault(), caption, MbOk);
    return -1;
  }
  return OsUi().ShowBox(text, caption, flags | MbOk);
}

std::int32_t AskMsg(const std::string& text, const std::string& icon, const std::string& buttons,
                    const std::string& caption) {
  unsigned flags;
  if (icon == "e")
    flags = MbIconHand;
  else if (icon == "w")
    flags = MbIconExclamation;
  else if (icon == "i")
    flags = MbIconAsterisk;
  else if (icon == "?")
    flags = MbIconQuestion;
  else if (icon == "n")
    flags = 0;
  else {
    OsUi().ShowBox(txtIconFault(), caption, MbOk);
    return -1;
  }
  if (buttons == "yn")
    flags |= MbYesNo;
  else if (buttons == "ync")
    flags |= MbYesNoCancel;
  else {
    OsUi().ShowBox(txtButtonFault(), caption, MbOk);
    return -1;
  }
  return OsUi().ShowBox(text, caption, flags);
}

// ---------------------------------------------------------------------------------------
// First-run template choice

bool ChooseTemplateType() {
  const bool t1 = FilePresent(AppDir + TemplateType1);
  const bool t3 = FilePresent(AppDir + TemplateType3);
  switch ((t1 ? 1 : 0) + (t3 ? 3 : 0)) {
  case 0:
    ShowMsg(txtNoTemplate(), "e", AppCaption);
    return false;
  case 1:
    Type1 = true;
    return true;
  case 3:
    Type1 = false;
    return true;
  default:
    break;
  }
  switch (AskMsg(txtChooseType(), "?", "ync", txtSetupCaption())) {
  case IdYes:
    Type1 = true;
    return true;
  case IdNo:
    Type1 = false;
    return true;
  case IdCancel:
    ShowMsg(txtSetupCancelled(), "n", AppCaption);
    return false;
  default:
    return false;
  }
}

// ---------------------------------------------------------------------------------------
// Run sequence

void RunLauncher() {
  AppDir = FolderOf(ProgramFileName()) + PathDelim;
  if (!FilePresent(AppDir + SettingsBase + SettingsExt)) {
    if (!ChooseTemplateType())
      return;
  }
}
