#include "Errors.h"

#include "words/ConsoleWords.h"

#include <cerrno>

namespace servobus {

namespace {

ErrorClasses classes;

py::object NewClass(py::module_& m, const char* name, const char* doc, py::tuple bases)
{
    const std::string qualified = std::string("servobus.") + name;
    PyObject* cls = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr);
    if (!cls)
        throw py::error_already_set();
    auto object = py::reinterpret_steal<py::object>(cls);
    m.attr(name) = object;
    return object;
}

}  // namespace

void AddErrorClasses(py::module_& m)
{
    auto one = [](const py::object& base) { return py::make_tuple(base); };
    auto exception = py::reinterpret_borrow<py::object>(PyExc_Exception);
    classes.base = NewClass(m, "ServoError",
                            "Base of every error of the bus: `servo` names the servo (or is "
                            "None), `reason` says what happened.",
                            one(exception));
    classes.noAnswer = NewClass(m, "NoAnswerError",
                                "The servo did not answer (whole) within the time-out.",
                                one(classes.base));
    classes.damaged = NewClass(m, "DamagedAnswerError",
                               "An answer failed a check (header, ID, length or checksum); "
                               "nothing of it was taken.",
                               one(classes.base));
    classes.port = NewClass(m, "PortError", "The serial port could not be used.",
                            one(classes.base));
    classes.portClosed = NewClass(m, "PortClosedError",
                                  "The port is closed, or its device is gone.", one(classes.port));
    classes.portBusy = NewClass(m, "PortBusyError", "Another program holds the port.",
                                one(classes.port));
    classes.permission = NewClass(
        m, "PermissionDeniedError", "The port may not be opened by this user.",
        py::make_tuple(classes.port, py::reinterpret_borrow<py::object>(PyExc_PermissionError)));
    classes.rangeRefused = NewClass(
        m, "RangeRefusedError",
        "The value lies outside the memory-table item's range; the message is the page's.",
        py::make_tuple(classes.base, py::reinterpret_borrow<py::object>(PyExc_ValueError)));
    classes.firmware = NewClass(m, "FirmwareError",
                                "A firmware file could not be opened (无法打开固件) or read "
                                "(固件格式错误).",
                                one(classes.base));
    classes.flash = NewClass(m, "FlashError", "A firmware transfer failed (升级失败).",
                             one(classes.base));
}

const ErrorClasses& Errors()
{
    return classes;
}

void Raise(const py::object& cls, const std::string& message, std::optional<int> servo,
           const std::string& reason)
{
    py::object error = cls(message);
    error.attr("servo") = servo ? py::object(py::int_(*servo)) : py::object(py::none());
    error.attr("reason") = reason.empty() ? message : reason;
    PyErr_SetObject(cls.ptr(), error.ptr());
    throw py::error_already_set();
}

void RaiseReply(const Reply& reply, int servo, int timeoutMs, const std::string& what)
{
    const std::string reason = ReplyText(reply, timeoutMs);
    const std::string message =
        "servo " + std::to_string(servo) + ": " + (what.empty() ? reason : reason + " to " + what);
    const ErrorClasses& e = Errors();
    switch (reply.outcome) {
    case Outcome::NoAnswer: Raise(e.noAnswer, message, servo, reason);
    case Outcome::Damaged: Raise(e.damaged, message, servo, reason);
    case Outcome::PortClosed:
    case Outcome::PortGone: Raise(e.portClosed, message, servo, reason);
    case Outcome::WriteFailed:
    case Outcome::Answered: break;
    }
    Raise(e.base, message, servo, reason);
}

void RaiseOpenFailure(const std::string& port, const OpenFailure& failure)
{
    const ErrorClasses& e = Errors();
    py::object cls = e.port;
    switch (failure.reason) {
    case OpenError::PermissionDenied: cls = e.permission; break;
    case OpenError::Busy: cls = e.portBusy; break;
    case OpenError::NoSuchDevice: cls = e.portClosed; break;
    default: break;
    }
    const std::string text = OpenErrorText(failure);
    const std::string reason = text.empty() ? "cannot open" : text;
    Raise(cls, "cannot open " + port + ": " + reason, std::nullopt, reason);
}

}  // namespace servobus
