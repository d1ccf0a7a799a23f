#include "LauncherFixture.h"

namespace {

using MessageBoxes = LauncherTest;

TEST_F(MessageBoxes, ShowMsgMapsIconLettersToFlags) {
  const struct {
    const char* Icon;
    unsigned Flags;
  } cases[] = {{"e", 16}, {"i", 64}, {"n", 0}};
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    Answer({IdOk});
    EXPECT_EQ(ShowMsg(txtOpenQuestion, c.Icon, txtSetupCaption), IdOk);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text, txtOpenQuestion.Source());
    EXPECT_EQ(Os.Ui.Boxes[0].Caption, txtSetupCaption.Source());
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, c.Flags) << c.Icon;
  }
}

TEST_F(MessageBoxes, AskMsgCombinesIconAndButtons) {
  const struct {
    const char *Icon, *Buttons;
    unsigned Flags;
  } cases[] = {{"e", "yn", 20},  {"w", "yn", 52}, {"i", "ync", 67},
               {"?", "ync", 35}, {"n", "yn", 4},  {"?", "yn", 36}};
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    Answer({IdNo});
    EXPECT_EQ(AskMsg(txtOpenQuestion, c.Icon, c.Buttons, txtSetupCaption), IdNo);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, c.Flags) << c.Icon << c.Buttons;
  }
}

TEST_F(MessageBoxes, RejectedCodesShowAFaultUnderTheCallersCaption) {
  const struct {
    bool Ask;
    const char *Icon, *Buttons;
    std::string Fault;
  } cases[] = {
      {false, "?", "", txtIconFault.Source()},    {false, "w", "", txtIconFault.Source()},
      {false, "E", "", txtIconFault.Source()},    {false, "", "", txtIconFault.Source()},
      {true, "x", "ok", txtIconFault.Source()}, // the button code is then not examined
      {true, "?", "YN", txtButtonFault.Source()}, {true, "?", "ok", txtButtonFault.Source()},
      {true, "i", "", txtButtonFault.Source()},
  };
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    Answer({IdOk});
    const int r = c.Ask ? AskMsg(txtOpenQuestion, c.Icon, c.Buttons, txtSetupCaption)
                        : ShowMsg(txtOpenQuestion, c.Icon, txtSetupCaption);
    EXPECT_EQ(r, -1);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u) << c.Icon << "/" << c.Buttons;
    EXPECT_EQ(Os.Ui.Boxes[0].Text, c.Fault);
    EXPECT_EQ(Os.Ui.Boxes[0].Caption, txtSetupCaption.Source());
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, 0u);
  }
}

TEST_F(MessageBoxes, ABoxThatFailsToShowGivesZero) {
  Answer({0});
  EXPECT_EQ(AskMsg(txtOpenQuestion, "?", "yn", txtSetupCaption), 0);
}

using FirstRun = LauncherTest;

TEST_F(FirstRun, SettlesTheTemplateTypeFromTheTemplatesPresent) {
  const struct {
    bool T1, T3;
    std::vector<int> Answers;
    bool Result, Type1;
    std::vector<std::string> Boxes;
  } cases[] = {
      {false, false, {}, false, true, {txtNoTemplate.Source()}},
      {true, false, {}, true, true, {}},
      {false, true, {}, true, false, {}},
      {true, true, {IdYes}, true, true, {txtChooseType.Source()}},
      {true, true, {IdNo}, true, false, {txtChooseType.Source()}},
      {true, true, {IdCancel}, false, true, {txtChooseType.Source(), txtSetupCancelled.Source()}},
      {true, true, {0}, false, true, {txtChooseType.Source()}},
  };
  for (const auto& c : cases) {
    Os.Fs.clear();
    Os.Ui.Boxes.clear();
    ResetRunState();
    AppDir = Dir;
    if (c.T1)
      AddFile(Dir + "Dozeboardt1.xls");
    if (c.T3)
      AddFile(Dir + "Dozeboardt3.xls");
    Answer(c.Answers);
    EXPECT_EQ(ChooseTemplateType(), c.Result);
    EXPECT_EQ(Type1, c.Type1);
    std::vector<std::string> shown;
    for (const auto& b : Os.Ui.Boxes)
      shown.push_back(b.Text);
    EXPECT_EQ(shown, c.Boxes) << c.T1 << c.T3;
  }
}

TEST_F(FirstRun, AsksUnderTheSettingsCaptionAndClosesWithoutIcon) {
  AppDir = Dir;
  AddFile(Dir + "Dozeboardt1.xls");
  AddFile(Dir + "Dozeboardt3.xls");
  Answer({IdCancel, IdOk});
  EXPECT_FALSE(ChooseTemplateType());
  ASSERT_EQ(Os.Ui.Boxes.size(), 2u);
  EXPECT_EQ(Os.Ui.Boxes[0].Caption, txtSetupCaption.Source());
  EXPECT_EQ(Os.Ui.Boxes[0].Flags, MbIconQuestion | MbYesNoCancel);
  EXPECT_EQ(Os.Ui.Boxes[1].Caption, "Auto Quillmer");
  EXPECT_EQ(Os.Ui.Boxes[1].Flags, MbOk);
}

TEST_F(FirstRun, ATemplateFolderDoesNotCount) {
  AppDir = Dir;
  Os.Fs[Dir + "Dozeboardt1.xls"] = TFakeEntry{"", true};
  AddFile(Dir + "Dozeboardt3.xls");
  EXPECT_TRUE(ChooseTemplateType());
  EXPECT_FALSE(Type1);
  EXPECT_TRUE(Os.Ui.Boxes.empty());
}

using RunSequence = LauncherTest;

TEST_F(RunSequence, NoTemplateOnAFirstRunEndsWithOneBoxAndExitCodeZero) {
  EXPECT_EQ(RunProcess(), 0);
  ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
  EXPECT_EQ(Os.Ui.Boxes[0].Text, txtNoTemplate.Source());
  EXPECT_EQ(Os.Ui.Boxes[0].Flags, MbIconHand);
  EXPECT_EQ(AppDir, Dir);
  EXPECT_FALSE(Os.Fs.count("AutoQuillmer.ini"));
}

TEST_F(RunSequence, TheFirstRunGateLooksInTheProgramsFolder) {
  AddFile(Dir + "AutoQuillmer.ini", "");
  EXPECT_EQ(RunProcess(), 0);
  for (const auto& b : Os.Ui.Boxes)
    EXPECT_NE(b.Text, txtNoTemplate.Source());
  EXPECT_NE(
      std::find(Os.Process.Searched.begin(), Os.Process.Searched.end(), Dir + "AutoQuillmer.ini"),
      Os.Process.Searched.end());
}

TEST_F(RunSequence, AProgramAtADriveRootGetsTwoSeparators) {
  const std::string root = NativePathStyle == TPathStyle::Windows ? "C:\\" : "/";
  Os.Process.ModulePath = root + "AutoQuillmer.exe";
  RunProcess();
  EXPECT_EQ(AppDir, root + PathDelim);
  EXPECT_NE(std::find(Os.Process.Searched.begin(), Os.Process.Searched.end(),
                      AppDir + "AutoQuillmer.ini"),
            Os.Process.Searched.end());
}

// Without the program's own path there is no folder: one box, exit 2, nothing searched,
// read or written anywhere.
TEST_F(RunSequence, AProgramPathThatCannotBeReadEndsTheRun) {
  Os.Process.ModulePath = "";
  EXPECT_EQ(RunProcess(), NoProgramPathExit);
  ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
  EXPECT_EQ(Os.Ui.Boxes[0].Text, txtNoProgramPath.Source());
  EXPECT_TRUE(Os.Process.Searched.empty());
  EXPECT_TRUE(Os.Files.Calls.empty());
}

} // namespace
