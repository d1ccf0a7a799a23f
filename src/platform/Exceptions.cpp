#include "platform/Exceptions.h"

#include "platform/os/OsProcess.h"

// Kept out of line: the address these return to lies in the code that makes the failure.
AQ_NOINLINE Exception::Exception(std::string message)
    : Address(AQ_RETURN_ADDRESS()),
      Msg(std::make_shared<const TMessage>(TMessage{std::move(message), {}, false})) {}

AQ_NOINLINE Exception::Exception(const TText& message)
    : Address(AQ_RETURN_ADDRESS()),
      Msg(std::make_shared<const TMessage>(TMessage{message(), message.Shown(), true})) {}

AQ_NOINLINE Exception::Exception(const TText& pattern, const std::string& value)
    : Address(AQ_RETURN_ADDRESS()),
      Msg(std::make_shared<const TMessage>(
          TMessage{WithFirstValue(pattern(), value),
                   WithFirstValue(pattern.Shown(), OsProcess().Utf8FromAnsi(value)), true})) {}

AQ_NOINLINE Exception::Exception(std::string message, std::string shown)
    : Address(AQ_RETURN_ADDRESS()),
      Msg(std::make_shared<const TMessage>(TMessage{std::move(message), std::move(shown), true})) {}

Exception::~Exception() = default;
