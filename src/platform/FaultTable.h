#pragma once

#include "platform/os/OsFailure.h"

#include <memory>

class Exception;

// The failure object of a platform fault, of its class and with the program's message for
// it, raised at the faulting instruction.
std::unique_ptr<Exception> FaultFailure(const TFault& fault);

// The runtime-error number with which a fault ends the process when there is no report.
int RuntimeErrorOfFault(TFaultKind kind);
