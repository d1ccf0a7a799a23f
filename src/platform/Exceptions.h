#pragma once

#include <string>

// The failure classes. Every failure the launcher raises is an Exception (or one of its
// descendants) with its class name and a message in the ANSI code page, and carries the
// code address at which it was raised.
class Exception {
public:
  explicit Exception(std::string message) : Msg(std::move(message)) {}
  virtual ~Exception() = default;
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;

  virtual const char* ClassName() const { return "Exception"; }
  const std::string& Message() const { return Msg; }
  // The code address at which the failure was raised (null when unknown).
  const void* Address = nullptr;

private:
  std::string Msg;
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
AQ_FAILURE_CLASS(EOutOfMemory, Exception);
AQ_FAILURE_CLASS(EInvalidPointer, Exception);

#undef AQ_FAILURE_CLASS
