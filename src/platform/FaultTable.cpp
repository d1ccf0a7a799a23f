#include "platform/FaultTable.h"

#include "platform/Exceptions.h"
#include "platform/FixedText.h"
#include "platform/Texts.h"

#include <string>

namespace {

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
