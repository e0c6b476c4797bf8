// servobus: the servo bus from Python, over the same core as the window and servoctl: the
// same packets, catalogue, page logic and checks, and the virtual bus for tests.
#include "Bindings.h"

#include "Errors.h"
#include "serial/PortInfo.h"
#include "words/ConsoleWords.h"

namespace py = pybind11;
using namespace servobus;

namespace {

std::optional<std::string> OrNone(const std::string& text)
{
    return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

void AddFeedback(py::module_& m)
{
    using F = FeedbackRecord;
    py::class_<F>(m, "Feedback",
                  "One feedback poll of the debug page: the fields `servoctl monitor --csv` has. "
                  "`answered` is False for a poll without an answer; its fields are then 0.")
        .def_readonly("time_ms", &F::timeMs, "Milliseconds since the monitor's first poll.")
        .def_property_readonly(
            "time_us", [](const F& f) { return f.timeUs >= 0 ? f.timeUs : f.timeMs * 1000; },
            "Microseconds since the monitor's first poll: a back-to-back poll's (interval 0) "
            "own time, the middle of its exchange; otherwise time_ms × 1000.")
        .def_readonly("answered", &F::answered, "Whether the servo answered this poll.")
        .def_property_readonly("position", [](const F& f) { return f.values.position; }, "Position.")
        .def_property_readonly("speed", [](const F& f) { return f.values.speed; }, "Speed, unscaled.")
        .def_property_readonly("load", [](const F& f) { return f.values.load; }, "Load.")
        .def_property_readonly("voltage", [](const F& f) { return f.values.voltage / 10.0; },
                               "Voltage in volts (the servo counts tenths).")
        .def_property_readonly("temperature", [](const F& f) { return f.values.temperature; },
                               "Temperature in degrees.")
        .def_property_readonly("moving", [](const F& f) { return f.values.moving; }, "Moving flag.")
        .def_property_readonly("current", [](const F& f) { return f.values.current; }, "Current.")
        .def_property_readonly("target", [](const F& f) { return f.values.target; }, "Target.")
        .def_property_readonly("fast_slow", [](const F& f) { return f.values.fastSlow; },
                               "Fast/slow (快慢), unscaled.")
        .def_property_readonly("status", [](const F& f) { return f.values.status; },
                               "Fault bits.")
        .def_property_readonly(
            "status_text",
            [](const F& f) {
                return f.answered ? StatusText(static_cast<uint8_t>(f.values.status))
                                  : std::string(kTimeoutText);
            },
            "The page's status text: 舵机正常, the faults, or 通信超时.")
        .def("csv", &F::Csv, "The row `servoctl monitor --csv` prints for this poll.")
        .def("__repr__", &F::Repr, "The fields.")
        .attr("CSV_HEADER") = kFeedbackCsvHeader;
}

void AddTableRow(py::module_& m)
{
    using R = TableRow;
    py::class_<R>(m, "TableRow", "One row of a servo's memory table, as the programming page "
                                 "shows it after a poll.")
        .def_readonly("address", &R::address, "Memory address.")
        .def_readonly("name", &R::name, "Parameter name (\"--\": a row without a value).")
        .def_readonly("size", &R::size, "Width in bytes.")
        .def_readonly("text", &R::text, "The value column's text.")
        .def_readonly("value", &R::value, "The decoded value, None for a row without one.")
        .def_readonly("area", &R::area, "Storage area (\"EPROM\": kept in non-volatile memory).")
        .def_readonly("access", &R::access, "Access as the table shows it (\"只读\": read-only).")
        .def_readonly("minimum", &R::minimum, "Smallest value set() accepts, None for none.")
        .def_readonly("maximum", &R::maximum, "Largest value set() accepts, None for none.")
        .def_readonly("writable", &R::writable, "Whether set() may write it.")
        .def("__repr__", [](const R& r) {
            return "TableRow(" + std::to_string(r.address) + ", '" + r.name + "', " + r.text + ")";
        }, "Address, name and value.");
}

void AddServo(py::module_& m)
{
    using S = Servo;
    py::class_<S, std::shared_ptr<S>>(m, "Servo",
        "A servo on the port, by ID. Its identification bytes (addresses 0 to 8) are read once, "
        "before its first command that needs them, for its byte order, status level, position "
        "address, debug settings and model; identify() reads them again.")
        .def_readonly("id", &S::id, "Its bus ID; follows a write of the ID and a restore.")
        .def_property_readonly("model", [](const S& s) -> std::optional<std::string> {
            return s.identity && s.identity->read ? std::optional(s.identity->model) : std::nullopt;
        }, "The catalogue's model name (未知型号 when it has none), None until identified.")
        .def_property_readonly("key", [](const S& s) -> std::optional<py::bytes> {
            if (!s.identity || !s.identity->read)
                return std::nullopt;
            return py::bytes(reinterpret_cast<const char*>(s.identity->key.data()), 9);
        }, "Its identification bytes, None until identified.")
        .def_property_readonly("rate", [](const S& s) -> std::optional<int> {
            return s.foundRate ? std::optional(s.foundRate) : std::nullopt;
        }, "The rate a scan found it at, None for a servo not from a scan.")
        .def_readonly("last_error", &S::lastError, "The error byte of its last answer (0: none).")
        .def("identify", &S::Identify, "Reads its identification bytes again.")
        .def("read", &S::Read, py::arg("address"), py::arg("count"),
             "Reads `count` bytes of memory from `address`.")
        .def("write", &S::Write, py::arg("address"), py::arg("data"),
             "Writes the bytes from `address` in one packet.")
        .def("move", &S::Move, py::arg("target"), py::kw_only(), py::arg("speed") = 0,
             py::arg("time") = 0, py::arg("acceleration") = 0,
             "Position command: target (limited to ±30719), speed (negative: bit 15), time "
             "(negative: bit 10), acceleration 0..255.")
        .def("torque", &S::Torque, py::arg("on"), "Switches its torque output on or off.")
        .def("feedback", [](S& s) { return s.ReadFeedback(0, true); },
             "One poll of its feedback range, decoded as the debug page does.")
        .def("monitor", [](std::shared_ptr<S> s, double interval, std::optional<long long> count,
                           std::optional<double> seconds) {
                 return Monitor(std::move(s), interval, count, seconds);
             },
             py::arg("interval") = 0.05, py::kw_only(), py::arg("count") = py::none(),
             py::arg("seconds") = py::none(),
             "Polls its feedback every `interval` seconds (0: back to back, each read as soon "
             "as the last one has ended, timed in µs), for `count` polls or `seconds`, "
             "or until Ctrl-C (KeyboardInterrupt after the poll in progress); yields a Feedback "
             "per poll, also for polls without an answer.")
        .def("table", &S::Table, "Its memory table with the values of one poll.")
        .def("set", &S::Set, py::arg("item"), py::arg("value"),
             "Writes one memory-table item, named by address (int) or name (str), checked "
             "against its range (RangeRefusedError with the page's message); EPROM items go "
             "behind the lock flag.")
        .def("save", &S::Save, py::arg("path"), "Saves its EPROM block to a parameter file.")
        .def("load", &S::Load, py::arg("path"),
             "Writes a parameter file into it; its ID and the port's rate follow the file.")
        .def("restore", &S::Restore,
             "Restores its factory parameters; it is then ID 1 and the port runs at 115200.")
        .def("reset_angle", &S::ResetAngle, "Resets its angle (clears the turn count).")
        .def("step", &S::Step, py::arg("to"), py::arg("from_") = py::none(), py::arg("duration") = 1.0,
             py::kw_only(), py::arg("speed") = 0, py::arg("time") = 0, py::arg("acceleration") = 0,
             "Step test: moves to `from_` (default: where it stands) and waits until it rests, "
             "commands `to` and reads back to back for `duration` s; a StepResult.")
        .def("sweep", &S::Sweep, py::arg("swept"), py::kw_only(), py::arg("to"),
             py::arg("from_") = py::none(), py::arg("duration") = 1.0, py::arg("repeat") = 1,
             py::arg("speed") = 0, py::arg("time") = 0, py::arg("acceleration") = 0,
             "The step test once per value of each swept address ({address: [values]}; several "
             "addresses make a grid, the first slowest), `repeat` times each; a list of "
             "StepResult. The original values are written back however it ends.")
        .def("__repr__", &S::Repr, "ID, model and rate.");

    py::class_<Monitor>(m, "Monitor", "The polls of Servo.monitor(), an iterator of Feedback.")
        .def("__iter__", [](py::object self) { return self; }, "Returns itself.")
        .def("__next__", &Monitor::Next, "Waits for the next poll and returns its Feedback.");
}

void AddPort(py::module_& m)
{
    using P = servobus::Port;
    py::class_<Scan>(m, "Scan", "The servos a scan finds, an iterator of Servo.")
        .def("__iter__", [](py::object self) { return self; }, "Returns itself.")
        .def("__next__", &Scan::Next, "Probes on to the next servo that answers.")
        .def("close", &Scan::Close, "Ends the scan; the port's rate is restored.");

    py::class_<P>(m, "Port",
        "The serial port with the bus owner over it: one thread runs every exchange in turn. "
        "A context manager: leaving it closes the port.")
        .def(py::init<const py::object&, const py::object&, const py::object&, const py::object&, bool>(),
             py::arg("name") = py::none(), py::arg("rate") = py::none(), py::arg("timeout") = 100,
             py::arg("catalogue") = py::none(), py::kw_only(), py::arg("exclusive") = false,
             "Opens `name` (a path, or a PortInfo; default: the last port ports() lists) at "
             "`rate` (default 115200) with `timeout` ms for each exchange, or \"auto\": the wire "
             "time of each exchange at the rate plus 1 ms and the adapter's latency. `catalogue` "
             "is the model catalogue (default: setup.log here, else the user's, else the "
             "installed one). A port another program of this user holds (the window, servoctl "
             "serve) is attached to: its exchanges run on that program's bus, at its rate "
             "(a `rate` given must be that one), and shared_by names it; with "
             "`exclusive=True` the port is opened only if no program holds it. "
             "Raises PermissionDeniedError, PortBusyError or PortClosedError (no such device).")
        .def_property_readonly("shared_by", &P::SharedBy,
             "The program whose bus this port is attached to, as (program, pid), e.g. "
             "('servo-debugger', 4711); None when the port is this program's own.")
        .def("__enter__", [](py::object self) { return self; }, "Returns the port.")
        .def("__exit__", [](P& p, py::args) { p.Close(); return false; }, "Closes the port.")
        .def("close", &P::Close, "Closes the port; commands then raise PortClosedError.")
        .def_property_readonly("is_open", &P::IsOpen, "Whether the port is open.")
        .def_property_readonly("name", [](const P& p) { return p.core->name; }, "The port's name.")
        .def_property("rate", &P::Rate, &P::SetRate, "The line rate in bit/s, one of the baud list.")
        .def_property("timeout", &P::Timeout, &P::SetTimeout, "Milliseconds, or \"auto\".")
        .def("servo", &P::Get, py::arg("id"), py::kw_only(), py::arg("byte_order") = -1,
             py::arg("status_level") = -1, py::arg("position_address") = -1,
             "The servo with bus ID `id` (254: all, broadcast). Byte order and status level "
             "given here skip its identification read, as servoctl's options do.")
        .def("__getitem__", [](P& p, int id) { return p.Get(id, -1, -1, -1); }, py::arg("id"),
             "The servo with bus ID `id`.")
        .def("scan", [](P& p, int first, int last, py::object rates) {
                 std::vector<int> list;
                 if (py::isinstance<py::str>(rates)) {
                     if (rates.cast<std::string>() != "all")
                         throw py::value_error("rates is a list of rates, or \"all\"");
                     for (int rate : {1000000, 500000, 250000, 128000, 115200, 76800, 57600, 38400})
                         list.push_back(rate);
                 } else if (!rates.is_none()) {
                     list = rates.cast<std::vector<int>>();
                 }
                 return std::make_unique<Scan>(p.core, first, last, std::move(list));
             },
             py::arg("first") = 0, py::arg("last") = 253, py::arg("rates") = py::none(),
             "Reads the identification bytes of IDs first..last at the port's rate, or at each "
             "of `rates` in turn (\"all\": the whole baud list; the port's rate is restored "
             "after), and yields a Servo for each that answers, with its model and rate.")
        .def("sync_move", &P::SyncMove, py::arg("ids"), py::arg("target"), py::kw_only(),
             py::arg("speed") = 0, py::arg("time") = 0, py::arg("acceleration") = 0,
             "Sync-write packets moving every servo of `ids` (31 to a packet, back to back), "
             "coded for the first one's profile; nobody answers them.")
        .def("reg_move", &P::RegMove, py::arg("ids"), py::arg("target"), py::kw_only(),
             py::arg("speed") = 0, py::arg("time") = 0, py::arg("acceleration") = 0,
             "A registered position write to each servo of `ids`, performed by action().")
        .def("action", &P::Action, "The action packet: every servo performs its registered write.")
        .def("flash", &P::Flash, py::arg("id"), py::arg("path"), py::kw_only(),
             py::arg("progress") = py::none(), py::arg("unlock") = py::none(),
             py::arg("in_loader") = false,
             "Writes a firmware file into servo `id` through its loader at 500000 baud; "
             "`progress(block, blocks)` is called once per acknowledged block. Ctrl-C stops "
             "after the block in progress (KeyboardInterrupt); the port's rate and time-out are "
             "restored in every case. Returns the number of blocks; raises FlashError (升级失败). "
             "`unlock` gives the loader's five unlock bytes (default: the built-in ones, the "
             "virtual bus's; a real servo needs its maker's); `in_loader=True` starts at the "
             "unlock step without the upgrade instruction, for a servo left in its loader.")
        .def("__repr__", [](const P& p) {
            return "Port('" + p.core->name + "', rate=" + std::to_string(p.Rate()) + ")";
        }, "Name and rate.");
}

}  // namespace

PYBIND11_MODULE(servobus, m)
{
    m.doc() = "The servo bus from Python, over the same core as the window and servoctl.";
    AddErrorClasses(m);
    py::class_<PortInfo>(m, "PortInfo", "A serial port of this system, as `servoctl ports` "
                                        "lists it. os.fspath() gives its device.")
        .def_readonly("device", &PortInfo::device, "The device node.")
        .def_property_readonly("by_id", [](const PortInfo& p) { return OrNone(p.byIdLink); },
                               "Its link under /dev/serial/by-id, None when none.")
        .def_property_readonly("driver", [](const PortInfo& p) { return OrNone(p.driver); },
                               "Its kernel driver, None when unknown.")
        .def_property_readonly("latency_ms", [](const PortInfo& p) -> std::optional<int> {
            return p.latencyMs >= 0 ? std::optional(p.latencyMs) : std::nullopt;
        }, "A USB adapter's latency timer in ms, None when it has none.")
        .def_property_readonly("product", [](const PortInfo& p) { return OrNone(p.product); },
                               "The USB product text, None when none.")
        .def_readonly("usb", &PortInfo::usb, "Whether it is a USB adapter.")
        .def("__fspath__", [](const PortInfo& p) { return p.device; }, "The device node.")
        .def("__str__", [](const PortInfo& p) { return p.device; }, "The device node.")
        .def("__repr__", [](const PortInfo& p) { return "PortInfo('" + p.device + "')"; },
             "The device node.");
    m.def("ports", [] { return DescribePorts(SystemRoots{}); },
          "The serial ports of this system, in the order the window lists them.");
    AddFeedback(m);
    AddTableRow(m);
    AddStep(m);
    AddServo(m);
    AddCalibrate(m);
    AddPort(m);
    AddMotion(m);
    AddLinkStats(m);
    AddImage(m);
    AddVirtualBus(m);
}
