#include "platform/Exceptions.h"

// Kept out of line: the address this returns to lies in the code that makes the failure.
AQ_NOINLINE Exception::Exception(std::string message)
    : Address(AQ_RETURN_ADDRESS()), Msg(std::make_shared<const std::string>(std::move(message))) {}

Exception::~Exception() = default;
