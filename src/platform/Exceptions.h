#pragma once

#include "platform/Texts.h"
#include "platform/os/CodeAddress.h"

#include <memory>
#include <new>
#include <string>

// The failure classes. Every failure the launcher raises is an Exception (or one of its
// descendants) with its class name and a message in the ANSI code page, and carries the
// code address at which it was raised. A failure made from a fixed text also keeps the
// message as the user is shown it (UTF-8, see TBoxText); for one made from a plain
// message the shown form is that message converted when it is shown.
//
// A failure is raised with a plain `throw EFOpenError(text)`; its code address is where the
// failure object was made.
class Exception {
public:
  explicit Exception(std::string message);
  explicit Exception(const TText& message);
  // The fixed text with its first "%s" replaced by a text of the system (a file name, an
  // input).
  Exception(const TText& pattern, const std::string& value);
  Exception(std::string message, std::string shown);
  Exception(const Exception&) noexcept = default;
  Exception& operator=(const Exception&) noexcept = default;
  virtual ~Exception();

  virtual const char* ClassName() const { return "Exception"; }
  const std::string& Message() const noexcept { return Msg->Ansi; }
  // The message as shown, in UTF-8; null when it is the message converted from the ANSI
  // code page.
  const std::string* ShownMessage() const noexcept { return Msg->HasShown ? &Msg->Shown : nullptr; }

  // The code address at which the failure was raised (null when unknown).
  const void* Address = nullptr;

private:
  struct TMessage {
    std::string Ansi, Shown;
    bool HasShown;
  };
  // Shared, so that copying a failure (raising it) never needs new memory.
  std::shared_ptr<const TMessage> Msg;
};

#define AQ_FAILURE_CLASS(Name, Base)                                                               \
  class Name : public Base {                                                                       \
  public:                                                                                          \
    using Base::Base;                                                                              \
    const char* ClassName() const override { return #Name; }                                       \
  }

AQ_FAILURE_CLASS(EConvertError, Exception);
AQ_FAILURE_CLASS(EStreamError, Exception);
AQ_FAILURE_CLASS(EFOpenError, EStreamError);
AQ_FAILURE_CLASS(EFCreateError, EStreamError);
AQ_FAILURE_CLASS(EFilerError, EStreamError);
AQ_FAILURE_CLASS(EWriteError, EFilerError);

// Failures of the memory manager.
AQ_FAILURE_CLASS(EHeapException, Exception);
AQ_FAILURE_CLASS(EInvalidPointer, EHeapException);

// Exhausted memory. It is also a std::bad_alloc, so that the allocation functions may
// raise it.
class EOutOfMemory : public EHeapException, public std::bad_alloc {
public:
  using EHeapException::EHeapException;
  const char* ClassName() const override { return "EOutOfMemory"; }
};

// Faults that the platform raises in the program, each with the platform's code.
class EExternal : public Exception {
public:
  EExternal(std::string message, unsigned code) : Exception(std::move(message)), Code(code) {}
  EExternal(std::string message, std::string shown, unsigned code)
      : Exception(std::move(message), std::move(shown)), Code(code) {}
  const char* ClassName() const override { return "EExternal"; }
  unsigned Code;
};

#define AQ_FAULT_CLASS(Name, Base)                                                                 \
  class Name : public Base {                                                                       \
  public:                                                                                          \
    using Base::Base;                                                                              \
    const char* ClassName() const override { return #Name; }                                       \
  }

AQ_FAULT_CLASS(EIntError, EExternal);
AQ_FAULT_CLASS(EDivByZero, EIntError);
AQ_FAULT_CLASS(EIntOverflow, EIntError);
AQ_FAULT_CLASS(ERangeError, EIntError);
AQ_FAULT_CLASS(EMathError, EExternal);
AQ_FAULT_CLASS(EZeroDivide, EMathError);
AQ_FAULT_CLASS(EInvalidOp, EMathError);
AQ_FAULT_CLASS(EOverflow, EMathError);
AQ_FAULT_CLASS(EUnderflow, EMathError);
AQ_FAULT_CLASS(EAccessViolation, EExternal);
AQ_FAULT_CLASS(EStackOverflow, EExternal);
AQ_FAULT_CLASS(EPrivilege, EExternal);
AQ_FAULT_CLASS(EControlC, EExternal);
AQ_FAULT_CLASS(EExternalException, EExternal);

#undef AQ_FAULT_CLASS
#undef AQ_FAILURE_CLASS
