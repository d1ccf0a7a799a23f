#include "platform/ProcessEnd.h"
#include "platform/Exceptions.h"
#include "platform/FailureReport.h"
#include "platform/FakePlatform.h"
#include "platform/FaultTable.h"
#include "platform/ProcessFrame.h"
#include "platform/Texts.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace {

const std::string Caption = "アプリケーション エラー";
const std::string Head = "がモジュール AutoQuillmer.exe の ";
const std::string Tail = " で発生しました。\n";

#ifdef _WIN32
const std::string ModulePath = "C:\\Apps\\Chart\\AutoQuillmer.exe";
#else
const std::string ModulePath = "/apps/chart/AutoQuillmer.exe";
#endif

// Kept where the compiler cannot see it, so that allocations are really made.
char* volatile Allocated = nullptr;
void AllocateHuge() {
  volatile std::size_t huge = std::numeric_limits<std::size_t>::max() / 2;
  Allocated = new char[huge];
  delete[] Allocated;
}

const void* At(std::uintptr_t a) {
  return reinterpret_cast<const void*>(a);
}

// The report's first line for a class at an offset, and the line feed after it.
std::string FirstLine(const std::string& cls, const std::string& offset) {
  return cls + Head + offset + Tail;
}

// The platform's own start-up steps, in the program's order.
const TStartStep PlatformSteps[] = {
    {&TText::LoadAll, nullptr},
    {&SetUpFailureReport, &TakeDownFailureReport},
    {&LoadCodePageFacts, nullptr},
};

class ProcessEnd : public ::testing::Test {
protected:
  TFakePlatform Os;
  void SetUp() override {
    Os.Process.ModulePath = ModulePath;
    LoadCodePageFacts();
    TText::LoadAll();
    SetUpFailureReport();
  }
  void TearDown() override {
    TakeDownFailureReport();
    Os.Process.Dbcs = false;
    LoadCodePageFacts();
  }
  // Runs a function as the program's run sequence; returns the exit code.
  int Run(void (*run)()) {
    TakeDownFailureReport(); // the program sets it up itself
    try {
      RunProgram(PlatformSteps, run);
    } catch (const TFakeExit& e) {
      return e.Code;
    }
    return -1000;
  }
  template <class F> int Ends(F f) {
    try {
      f();
    } catch (const TFakeExit& e) {
      return e.Code;
    }
    return -1000;
  }
};

// ---------------------------------------------------------------------------------------
// The report's text

TEST_F(ProcessEnd, FailureTextFillsTheTemplateAndAddsTheFullStop) {
  const struct {
    std::string Message;
    std::string SecondLine;
  } cases[] = {
      {"ファイル AutoQuillmer.ini は開けません", "ファイル AutoQuillmer.ini は開けません."},
      {"already ends.", "already ends."},
      {"日本語の文。", "日本語の文。."},
      {"", ""},
      {".", "."},
      {"a %s b %p c %x %0:s %%", "a %s b %p c %x %0:s %%."}, // a message is never a template
  };
  for (const auto& c : cases)
    EXPECT_EQ(FailureText(EFOpenError(c.Message), At(0x401234)),
              FirstLine("EFOpenError", "00001234") + c.SecondLine)
        << c.Message;
}

TEST_F(ProcessEnd, AFailureOutsideTheFamilyShowsItsClassNameAndAnEmptySecondLine) {
  EXPECT_EQ(FailureText("std::runtime_error", At(0x400010)),
            FirstLine("std::runtime_error", "00000010"));
}

TEST_F(ProcessEnd, OffsetIsEightUpperCaseDigitsFromTheModuleStart) {
  const struct {
    std::uintptr_t Address;
    std::string Offset;
  } cases[] = {
      {0x400000, "00000000"},
      {0x4FFFFF, "000FFFFF"},
      {0x40ABCD, "0000ABCD"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FailureText(EConvertError("m"), At(c.Address)),
              FirstLine("EConvertError", c.Offset) + "m.");
}

TEST_F(ProcessEnd, AnAddressInNoModuleNamesTheProgramWithTheAddressLess4096) {
  EXPECT_EQ(FailureText(EConvertError(""), At(0x12345)), FirstLine("EConvertError", "00011345"));
  // No address at all: below the first page, so it wraps in eight digits.
  EXPECT_EQ(FailureText(EConvertError(""), nullptr), FirstLine("EConvertError", "FFFFF000"));
}

TEST_F(ProcessEnd, TheTextIsCutAt1023Bytes) {
  const std::string longMessage(2000, 'x');
  const std::string text = FailureText(EWriteError(longMessage), At(0x400000));
  ASSERT_EQ(text.size(), 1023u);
  EXPECT_EQ(text, (FirstLine("EWriteError", "00000000") + longMessage).substr(0, 1023));
  char buffer[ReportTextBuffer];
  EXPECT_EQ(FormatFailureText(buffer, EWriteError(longMessage), At(0x400000)), 1023u);
  EXPECT_EQ(buffer[1023], '\0');
  // Just fitting: the full stop is the 1023rd byte.
  const std::size_t room = 1023 - FirstLine("EWriteError", "00000000").size() - 1;
  EXPECT_EQ(FailureText(EWriteError(std::string(room, 'y')), At(0x400000)).back(), '.');
}

#ifdef _WIN32
TEST_F(ProcessEnd, TheModuleNameSkipsABackslashInsideADoubleByteCharacter) {
  Os.Process.Dbcs = true;
  Os.Process.LeadRanges = {0x81, 0x9F, 0xE0, 0xFC, 0, 0};
  LoadCodePageFacts();
  Os.Process.ModulePath = "C:\\Apps\\\x95\x5C.exe"; // 表.exe: 0x5C is its trail byte
  EXPECT_EQ(FailureText(EConvertError(""), At(0x400000)),
            "EConvertErrorがモジュール \x95\x5C.exe の 00000000" + Tail);
}
#endif

// ---------------------------------------------------------------------------------------
// Failure objects

TEST(Failures, ClassNamesAndFamily) {
  const struct {
    const Exception& Failure;
    const char* Name;
  } cases[] = {
      {EConvertError(""), "EConvertError"},
      {EStreamError(""), "EStreamError"},
      {EFOpenError(""), "EFOpenError"},
      {EFCreateError(""), "EFCreateError"},
      {EFilerError(""), "EFilerError"},
      {EWriteError(""), "EWriteError"},
      {EOutOfMemory(""), "EOutOfMemory"},
      {EInvalidPointer(""), "EInvalidPointer"},
      {EDivByZero("", 0), "EDivByZero"},
      {EZeroDivide("", 0), "EZeroDivide"},
      {EIntOverflow("", 0), "EIntOverflow"},
      {ERangeError("", 0), "ERangeError"},
      {EInvalidOp("", 0), "EInvalidOp"},
      {EOverflow("", 0), "EOverflow"},
      {EUnderflow("", 0), "EUnderflow"},
      {EStackOverflow("", 0), "EStackOverflow"},
      {EPrivilege("", 0), "EPrivilege"},
      {EControlC("", 0), "EControlC"},
      {EAccessViolation("", 0), "EAccessViolation"},
      {EExternalException("", 0), "EExternalException"},
      {Exception(""), "Exception"},
  };
  for (const auto& c : cases)
    EXPECT_STREQ(c.Failure.ClassName(), c.Name);
  EXPECT_NE(dynamic_cast<const EStreamError*>(&static_cast<const Exception&>(EWriteError(""))),
            nullptr);
  EXPECT_NE(dynamic_cast<const EIntError*>(&static_cast<const Exception&>(EDivByZero("", 0))),
            nullptr);
  EXPECT_NE(dynamic_cast<const EMathError*>(&static_cast<const Exception&>(EUnderflow("", 0))),
            nullptr);
  EXPECT_NE(dynamic_cast<const std::bad_alloc*>(&static_cast<const Exception&>(EOutOfMemory(""))),
            nullptr);
}

// A raised failure carries an address inside the program's code.
TEST(Failures, AThrownFailureRecordsACodeAddressInTheProgram) {
  const void* thrown = nullptr;
  try {
    throw EFOpenError("b");
  } catch (const Exception& e) {
    thrown = e.Address;
  }
  ASSERT_NE(thrown, nullptr);
  // The native layer finds it in the test program's own file.
  const TModuleInfo self = OsFailure().ModuleOf(reinterpret_cast<const void*>(&RunProgram));
  const TModuleInfo m = OsFailure().ModuleOf(thrown);
  EXPECT_TRUE(m.Found);
  EXPECT_STREQ(m.Path, self.Path);
  EXPECT_EQ(m.Base, self.Base);
}

TEST_F(ProcessEnd, ThePreCreatedFailuresAreRaisedWithoutCopyingTheirMessage) {
  EXPECT_EQ(OutOfMemoryFailure().Message(), "メモリが足りません");
  EXPECT_EQ(InvalidPointerFailure().Message(), "無効なポインタ操作");
  for (int i = 0; i < 2; ++i) {
    try {
      RaiseOutOfMemory();
    } catch (const EOutOfMemory& e) {
      EXPECT_EQ(e.Message().data(), OutOfMemoryFailure().Message().data());
      EXPECT_NE(e.Address, nullptr);
    }
  }
  EXPECT_THROW(RaiseInvalidPointer(), EInvalidPointer);
}

TEST_F(ProcessEnd, ExhaustedMemoryRaisesThePreCreatedFailure) {
  try {
    AllocateHuge();
    ADD_FAILURE() << "the allocation should fail";
  } catch (const EOutOfMemory& e) {
    EXPECT_EQ(e.Message().data(), OutOfMemoryFailure().Message().data());
  }
  TakeDownFailureReport();
  EXPECT_THROW(AllocateHuge(), std::bad_alloc);
}

// ---------------------------------------------------------------------------------------
// Platform faults

TEST_F(ProcessEnd, FaultsBecomeFailuresOfTheirClassWithTheirMessage) {
  const struct {
    TFaultKind Kind;
    const char* Class;
    std::string Message;
  } cases[] = {
      {TFaultKind::IntDivideByZero, "EDivByZero", "ゼロによる除算"},
      {TFaultKind::IntOverflow, "EIntOverflow", txtIntOverflow.Source()},
      {TFaultKind::ArrayBounds, "ERangeError", txtRangeError.Source()},
      {TFaultKind::FloatDivideByZero, "EZeroDivide", txtZeroDivide.Source()},
      {TFaultKind::FloatInvalid, "EInvalidOp", txtInvalidOp.Source()},
      {TFaultKind::FloatOverflow, "EOverflow", txtOverflow.Source()},
      {TFaultKind::FloatUnderflow, "EUnderflow", txtUnderflow.Source()},
      {TFaultKind::StackOverflow, "EStackOverflow", "スタック オーバーフロー"},
      {TFaultKind::Privileged, "EPrivilege", txtPrivilege.Source()},
      {TFaultKind::ControlC, "EControlC", txtControlC.Source()},
      {TFaultKind::Other, "EExternalException", "外部例外 C000001D"},
  };
  for (const auto& c : cases) {
    TFault fault;
    fault.Kind = c.Kind;
    fault.Code = 0xC000001D;
    fault.Address = At(0x401000);
    const auto failure = FaultFailure(fault);
    EXPECT_STREQ(failure->ClassName(), c.Class);
    EXPECT_EQ(failure->Message(), c.Message) << c.Class;
    EXPECT_EQ(failure->Address, At(0x401000));
    EXPECT_EQ(static_cast<const EExternal&>(*failure).Code, 0xC000001Du);
  }
}

TEST_F(ProcessEnd, AccessViolationsNameTheModuleTheAccessAndTheAddresses) {
  TFault fault;
  fault.Kind = TFaultKind::AccessViolation;
  fault.Code = 0xC0000005;
  fault.Address = At(0x40A1B2);
  fault.AccessAddress = At(0x10);
  EXPECT_EQ(FaultFailure(fault)->Message(),
            "モジュール 'AutoQuillmer.exe' のアドレス 0040A1B2 "
            "でアドレス 00000010 に対する読み込み違反がおきました。");
  fault.Write = true;
  fault.Address = At(0x1234);
  fault.AccessAddress = At(0xABCDEF);
  EXPECT_EQ(FaultFailure(fault)->Message(),
            "アドレス 00001234 でアドレス 00ABCDEF に対する書き込み違反がおきました。");
  EXPECT_STREQ(FaultFailure(fault)->ClassName(), "EAccessViolation");
}

TEST_F(ProcessEnd, AFaultIsReportedAtTheFaultingInstruction) {
  TFault fault;
  fault.Kind = TFaultKind::StackOverflow;
  fault.Code = 0xC00000FD;
  fault.Address = At(0x402A3C);
  EXPECT_EQ(Ends([&] { ReportFault(fault); }), 1);
  ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
  EXPECT_EQ(Os.Ui.Boxes[0].Caption, Caption);
  EXPECT_EQ(Os.Ui.Boxes[0].Flags, 8208u);
  EXPECT_EQ(Os.Ui.Boxes[0].Text,
            FirstLine("EStackOverflow", "00002A3C") + "スタック オーバーフロー.");
}

TEST_F(ProcessEnd, AFaultWithoutTheReportEndsByTheRuntimeErrorStop) {
  TakeDownFailureReport();
  const struct {
    TFaultKind Kind;
    int Number;
  } cases[] = {
      {TFaultKind::AccessViolation, 216}, {TFaultKind::IntDivideByZero, 200},
      {TFaultKind::StackOverflow, 202},   {TFaultKind::Privileged, 218},
      {TFaultKind::Other, 217},
  };
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    TFault fault;
    fault.Kind = c.Kind;
    fault.Address = At(0x402A3C);
    EXPECT_EQ(Ends([&] { ReportFault(fault); }), c.Number);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Caption, "Error");
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, 0u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text, "Runtime error " + std::to_string(c.Number) + " at 00002A3C");
  }
}

// ---------------------------------------------------------------------------------------
// Runtime-error text

TEST(RuntimeError, NumberRightAlignedInThreePlacesAndEightHexDigits) {
  TFakePlatform os;
  const struct {
    int Number;
    std::uintptr_t Address;
    std::string Text;
  } cases[] = {
      {216, 0x402A3C, "Runtime error 216 at 00002A3C"},
      {203, 0x400000, "Runtime error 203 at 00000000"},
      {7, 0x4FFFFF, "Runtime error   7 at 000FFFFF"},
      {42, 0x401000, "Runtime error  42 at 00001000"},
      {217, 0x1000, "Runtime error 217 at 00000000"}, // in no module: less 4096
  };
  for (const auto& c : cases)
    EXPECT_EQ(RuntimeErrorText(c.Number, At(c.Address)), c.Text);
}

// ---------------------------------------------------------------------------------------
// The three ends of the process

void NormalRun() {}
void ShowsBoxesButEnds() {
  ShowBox(txtOpenQuestion, txtAppCaption, MbIconHand);
}
void RaisesConvertError() {
  throw EConvertError("'x' は正しい日付ではありません");
}
void ThrowsRuntimeError() {
  throw std::runtime_error("outside");
}
struct TOddFailure {};
void ThrowsOdd() {
  throw TOddFailure{};
}
void ThrowsBadAlloc() {
  throw std::bad_alloc();
}
void ExhaustsMemory() {
  AllocateHuge();
}
bool ReadyDuringRun = false;
void SeesTheReportReady() {
  ReadyDuringRun = FailureReportReady();
}

TEST_F(ProcessEnd, ARunThatReachesTheEndExitsWithZero) {
  EXPECT_EQ(Run(&NormalRun), 0);
  EXPECT_TRUE(Os.Ui.Boxes.empty());
  EXPECT_EQ(Run(&ShowsBoxesButEnds), 0);
  EXPECT_EQ(Os.Ui.Boxes.size(), 1u);
}

TEST_F(ProcessEnd, TheReportIsSetUpDuringTheRunAndTakenDownAtTheEnd) {
  ReadyDuringRun = false;
  EXPECT_EQ(Run(&SeesTheReportReady), 0);
  EXPECT_TRUE(ReadyDuringRun);
  EXPECT_FALSE(FailureReportReady());
  EXPECT_EQ(Os.Failure.Sink, &ReportFault);
}

TEST_F(ProcessEnd, AnUncaughtFailureIsOfferedToThePlatformThenReportedWithExitCodeOne) {
  EXPECT_EQ(Run(&RaisesConvertError), 1);
  ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
  EXPECT_EQ(Os.Ui.Boxes[0].Caption, Caption);
  EXPECT_EQ(Os.Ui.Boxes[0].Flags, 8208u);
  const std::string& text = Os.Ui.Boxes[0].Text;
  EXPECT_EQ(text.substr(0, text.find("の ")), "EConvertErrorがモジュール AutoQuillmer.exe ");
  EXPECT_EQ(text.substr(text.find('\n')), "\n'x' は正しい日付ではありません.");
  EXPECT_EQ(Os.Failure.Offered.size(), 1u);
  EXPECT_FALSE(FailureReportReady());
}

TEST_F(ProcessEnd, WithTheDebuggerFlagTheFailureIsNotOfferedToThePlatform) {
  Os.Failure.Debugger = true;
  EXPECT_EQ(Run(&RaisesConvertError), 1);
  EXPECT_TRUE(Os.Failure.Offered.empty());
  EXPECT_EQ(Os.Ui.Boxes.size(), 1u);
}

TEST_F(ProcessEnd, FailuresOutsideTheFamilyShowTheirClassName) {
  const struct {
    void (*Run)();
    std::string Class;
  } cases[] = {
      {&ThrowsRuntimeError, "std::runtime_error"},
      {&ThrowsOdd, "(anonymous namespace)::TOddFailure"},
  };
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    EXPECT_EQ(Run(c.Run), 1);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    const std::string& text = Os.Ui.Boxes[0].Text;
    EXPECT_EQ(text.substr(0, text.find("が")), c.Class);
    EXPECT_EQ(text.back(), '\n') << "empty second line";
  }
}

TEST_F(ProcessEnd, ExhaustedMemoryIsReportedWithThePreCreatedFailure) {
  for (auto run : {&ThrowsBadAlloc, &ExhaustsMemory}) {
    Os.Ui.Boxes.clear();
    EXPECT_EQ(Run(run), 1);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    const std::string& text = Os.Ui.Boxes[0].Text;
    EXPECT_EQ(text.substr(0, text.find("が")), "EOutOfMemory");
    EXPECT_EQ(text.substr(text.find('\n')), "\nメモリが足りません.");
  }
}

// A code-page query that fails: start-up goes wrong after the report is set up.
class TFailingProcess : public TFakeProcess {
public:
  using TFakeProcess::TFakeProcess;
  bool OutOfMemory = false;
  std::vector<std::uint8_t> LeadByteRanges() override {
    if (OutOfMemory)
      throw std::bad_alloc();
    throw EConvertError("code page");
  }
};

TEST_F(ProcessEnd, AFailureDuringStartUpEndsByTheRuntimeErrorStop) {
  TFailingProcess failing(Os.Fs);
  failing.ModulePath = ModulePath;
  failing.Dbcs = true; // the lead bytes are asked for
  TOsSlot<TOsProcess>::Use(&failing);
  const struct {
    bool OutOfMemory;
    int Number;
  } cases[] = {{false, 217}, {true, 203}};
  for (const auto& c : cases) {
    Os.Ui.Boxes.clear();
    failing.OutOfMemory = c.OutOfMemory;
    EXPECT_EQ(Run(&NormalRun), c.Number);
    ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
    EXPECT_EQ(Os.Ui.Boxes[0].Caption, "Error");
    EXPECT_EQ(Os.Ui.Boxes[0].Flags, 0u);
    EXPECT_EQ(Os.Ui.Boxes[0].Text.substr(0, 21),
              "Runtime error " + std::to_string(c.Number) + " at ");
    EXPECT_EQ(Os.Ui.Boxes[0].Text.size(), 29u);
    EXPECT_FALSE(FailureReportReady()) << "start-up undone";
  }
  TOsSlot<TOsProcess>::Use(&Os.Process);
}

// The string table, where there is one, gives the texts.
class TResourceProcess : public TFakeProcess {
public:
  using TFakeProcess::TFakeProcess;
  bool ResourceText(unsigned id, std::string& out) override {
    if (id != txtReportCaptionId)
      return false;
    out = "Resource caption";
    return true;
  }
};

TEST_F(ProcessEnd, TextsComeFromTheStringTableWhereThereIsOne) {
  TResourceProcess withTable(Os.Fs);
  withTable.ModulePath = ModulePath;
  TOsSlot<TOsProcess>::Use(&withTable);
  TText::LoadAll();
  EXPECT_EQ(Ends([] { ReportFailure(EConvertError("m"), nullptr); }), 1);
  ASSERT_EQ(Os.Ui.Boxes.size(), 1u);
  EXPECT_EQ(Os.Ui.Boxes[0].Caption, "Resource caption");
  TOsSlot<TOsProcess>::Use(&Os.Process);
  TText::LoadAll();
}

} // namespace
