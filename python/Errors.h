#pragma once
// The module's exceptions: one base class, ServoError, and a subclass per reason servoctl
// names (no answer, damaged answer, port closed or gone, port busy, permission denied, a
// value the page's range check refuses, a firmware file or transfer that failed).

#include "serial/OpenError.h"
#include "protocol/Reply.h"

#include <pybind11/pybind11.h>

#include <optional>
#include <string>

namespace servobus {

namespace py = pybind11;

struct ErrorClasses {
    py::object base, noAnswer, damaged, port, portClosed, portBusy, permission, rangeRefused,
        firmware, flash;
};

// Creates the classes in the module.
void AddErrorClasses(py::module_& m);
const ErrorClasses& Errors();

// Raises `cls` with the message, and the servo (None when no servo's) and reason as
// attributes.
[[noreturn]] void Raise(const py::object& cls, const std::string& message,
                        std::optional<int> servo = std::nullopt, const std::string& reason = {});

// Raises the error a failed exchange came to, with servoctl's text: "servo 3: no answer
// within 100 ms", "servo 3: damaged answer (checksum) to the identification read".
[[noreturn]] void RaiseReply(const Reply& reply, int servo, int timeoutMs,
                             const std::string& what = {});

// Raises a port that could not be opened, by the system's errno of the attempt.
[[noreturn]] void RaiseOpenFailure(const std::string& port, const OpenFailure& failure);

}  // namespace servobus
