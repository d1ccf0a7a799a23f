#include "platform/FaultTable.h"

#include "platform/Exceptions.h"
#include "platform/FailureReport.h"
#include "platform/FixedText.h"
#include "platform/Texts.h"
#include "platform/os/OsProcess.h"

#include <string>

namespace {

using TMakeFailure = std::unique_ptr<EExternal> (*)(std::string message, std::string shown,
                                                    unsigned code);
template <class E>
std::unique_ptr<EExternal> Make(std::string message, std::string shown, unsigned code) {
  return std::make_unique<E>(std::move(message), std::move(shown), code);
}

// Every kind of fault: its failure class, its message (a fixed text, or none where the
// message is made from the fault) and the runtime-error number that ends the process when
// there is no report.
struct TFaultRow {
  TFaultKind Kind;
  TMakeFailure MakeFailure;
  const TText* Message;
  int RuntimeError;
};
const TFaultRow FaultRows[] = {
    {TFaultKind::AccessViolation, &Make<EAccessViolation>, nullptr, 216},
    {TFaultKind::IntDivideByZero, &Make<EDivByZero>, &txtDivByZero, 200},
    {TFaultKind::IntOverflow, &Make<EIntOverflow>, &txtIntOverflow, 215},
    {TFaultKind::ArrayBounds, &Make<ERangeError>, &txtRangeError, 201},
    {TFaultKind::FloatDivideByZero, &Make<EZeroDivide>, &txtZeroDivide, 200},
    {TFaultKind::FloatInvalid, &Make<EInvalidOp>, &txtInvalidOp, 207},
    {TFaultKind::FloatOverflow, &Make<EOverflow>, &txtOverflow, 205},
    {TFaultKind::FloatUnderflow, &Make<EUnderflow>, &txtUnderflow, 206},
    {TFaultKind::StackOverflow, &Make<EStackOverflow>, &txtStackOverflow, 202},
    {TFaultKind::Privileged, &Make<EPrivilege>, &txtPrivilege, 218},
    {TFaultKind::ControlC, &Make<EControlC>, &txtControlC, 217},
    {TFaultKind::Other, &Make<EExternalException>, nullptr, 217},
};

const TFaultRow& RowOf(TFaultKind kind) {
  for (const TFaultRow& row : FaultRows)
    if (row.Kind == kind)
      return row;
  return FaultRows[sizeof FaultRows / sizeof FaultRows[0] - 1];
}

// A fault's message from its template, in the ANSI code page and as shown (UTF-8).
struct TFaultMessage {
  std::string Ansi, Shown;
};

TFaultMessage AccessViolationMessage(const TFault& fault) {
  char text[ReportTextBuffer];
  char shown[ShownReportBuffer];
  TFixedText out(text, sizeof text);
  TFixedText outShown(shown, sizeof shown);
  const TModuleInfo module = OsFailure().ModuleOf(fault.Address);
  const TText& access = fault.Write ? txtAccessWrite : txtAccessRead;
  if (module.Found) {
    const std::string name = FileNamePart(module.Path);
    const std::string shownName = OsProcess().Utf8FromAnsi(name);
    const TArg args[] = {AddressArg(fault.Address), TextArg(name), TextArg(access()),
                         AddressArg(fault.AccessAddress)};
    FillTemplate(out, txtAccessViolationInModule(), args, 4);
    const TArg shownArgs[] = {AddressArg(fault.Address), TextArg(shownName),
                              TextArg(access.Shown()), AddressArg(fault.AccessAddress)};
    FillTemplate(outShown, txtAccessViolationInModule.Shown(), shownArgs, 4);
  } else {
    const TArg args[] = {AddressArg(fault.Address), TextArg(access()),
                         AddressArg(fault.AccessAddress)};
    FillTemplate(out, txtAccessViolation(), args, 3);
    const TArg shownArgs[] = {AddressArg(fault.Address), TextArg(access.Shown()),
                              AddressArg(fault.AccessAddress)};
    FillTemplate(outShown, txtAccessViolation.Shown(), shownArgs, 3);
  }
  return {std::string(text, out.Length()), std::string(shown, outShown.Length())};
}

TFaultMessage ExternalExceptionMessage(const TFault& fault) {
  char text[ReportTextBuffer];
  char shown[ShownReportBuffer];
  TFixedText out(text, sizeof text);
  TFixedText outShown(shown, sizeof shown);
  const TArg args[] = {NumberArg(fault.Code)};
  FillTemplate(out, txtExternalException(), args, 1);
  FillTemplate(outShown, txtExternalException.Shown(), args, 1);
  return {std::string(text, out.Length()), std::string(shown, outShown.Length())};
}

} // namespace

std::unique_ptr<Exception> FaultFailure(const TFault& fault) {
  const TFaultRow& row = RowOf(fault.Kind);
  std::unique_ptr<EExternal> failure;
  if (row.Message) {
    failure = row.MakeFailure((*row.Message)(), row.Message->Shown(), fault.Code);
  } else {
    TFaultMessage m = fault.Kind == TFaultKind::AccessViolation ? AccessViolationMessage(fault)
                                                                : ExternalExceptionMessage(fault);
    failure = row.MakeFailure(std::move(m.Ansi), std::move(m.Shown), fault.Code);
  }
  failure->Address = fault.Address;
  return failure;
}

int RuntimeErrorOfFault(TFaultKind kind) {
  return RowOf(kind).RuntimeError;
}
