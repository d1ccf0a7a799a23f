#include "platform/FaultTable.h"

#include "platform/Exceptions.h"
#include "platform/FixedText.h"
#include "platform/ReportTexts.h"
#include "platform/Texts.h"

#include <string>

namespace {

const TText txtAccessViolationInModule{AQ_STR_ACCESS_VIOLATION_IN_MODULE,
                                       AQ_IDS_ACCESS_VIOLATION_IN_MODULE};
const TText txtAccessViolation{AQ_STR_ACCESS_VIOLATION, AQ_IDS_ACCESS_VIOLATION};
const TText txtAccessRead{AQ_STR_ACCESS_READ, AQ_IDS_ACCESS_READ};
const TText txtAccessWrite{AQ_STR_ACCESS_WRITE, AQ_IDS_ACCESS_WRITE};
const TText txtDivByZero{AQ_STR_DIV_BY_ZERO, AQ_IDS_DIV_BY_ZERO};
const TText txtZeroDivide{AQ_STR_ZERO_DIVIDE, AQ_IDS_ZERO_DIVIDE};
const TText txtIntOverflow{AQ_STR_INT_OVERFLOW, AQ_IDS_INT_OVERFLOW};
const TText txtRangeError{AQ_STR_RANGE_ERROR, AQ_IDS_RANGE_ERROR};
const TText txtInvalidOp{AQ_STR_INVALID_OP, AQ_IDS_INVALID_OP};
const TText txtOverflow{AQ_STR_OVERFLOW, AQ_IDS_OVERFLOW};
const TText txtUnderflow{AQ_STR_UNDERFLOW, AQ_IDS_UNDERFLOW};
const TText txtStackOverflow{AQ_STR_STACK_OVERFLOW, AQ_IDS_STACK_OVERFLOW};
const TText txtPrivilege{AQ_STR_PRIVILEGE, AQ_IDS_PRIVILEGE};
const TText txtControlC{AQ_STR_CONTROL_C, AQ_IDS_CONTROL_C};
const TText txtExternalException{AQ_STR_EXTERNAL_EXCEPTION, AQ_IDS_EXTERNAL_EXCEPTION};

using TMakeFailure = std::unique_ptr<EExternal> (*)(std::string message, unsigned code);
template <class E> std::unique_ptr<EExternal> Make(std::string message, unsigned code) {
  return std::make_unique<E>(std::move(message), code);
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

// The message of a fault whose message is made from the fault itself.
std::string MadeMessage(const TFault& fault) {
  char text[1024];
  TFixedText out(text, sizeof text);
  if (fault.Kind == TFaultKind::AccessViolation) {
    const TModuleInfo module = OsFailure().ModuleOf(fault.Address);
    const char* access = fault.Write ? txtAccessWrite().c_str() : txtAccessRead().c_str();
    if (module.Found) {
      const TArg args[] = {AddressArg(fault.Address), TextArg(FileNamePart(module.Path)),
                           TextArg(access), AddressArg(fault.AccessAddress)};
      FillTemplate(out, txtAccessViolationInModule(), args, 4);
    } else {
      const TArg args[] = {AddressArg(fault.Address), TextArg(access),
                           AddressArg(fault.AccessAddress)};
      FillTemplate(out, txtAccessViolation(), args, 3);
    }
  } else {
    const TArg args[] = {NumberArg(fault.Code)};
    FillTemplate(out, txtExternalException(), args, 1);
  }
  return std::string(text, out.Length());
}

} // namespace

std::unique_ptr<Exception> FaultFailure(const TFault& fault) {
  const TFaultRow& row = RowOf(fault.Kind);
  std::unique_ptr<EExternal> failure =
      row.MakeFailure(row.Message ? (*row.Message)() : MadeMessage(fault), fault.Code);
  failure->Address = fault.Address;
  return failure;
}

int RuntimeErrorOfFault(TFaultKind kind) {
  return RowOf(kind).RuntimeError;
}
