// The port: opening it (as servoctl opens its port), its rate and time-out, servo objects by
// ID, the scan, and the commands to several servos at once.
#include "Bindings.h"

#include "Errors.h"
#include "Waiting.h"
#include "catalogue/CatalogueLocation.h"
#include "servo/PositionCommand.h"
#include "serial/PortList.h"
#include "words/ConsoleWords.h"
#include "servo/OpenAtRate.h"
#include "servo/Scan.h"
#include "support/BaudRates.h"

#include <cerrno>

namespace servobus {

namespace {

std::string PathText(const py::object& name)
{
    return py::str(py::module_::import("os").attr("fspath")(name)).cast<std::string>();
}

int CheckedTimeout(const py::object& timeout, bool& autoTimeout)
{
    autoTimeout = false;
    if (py::isinstance<py::str>(timeout)) {
        if (timeout.cast<std::string>() != "auto")
            throw py::value_error("timeout must be a number of ms or \"auto\"");
        autoTimeout = true;
        return 100;
    }
    if (!py::isinstance<py::int_>(timeout) || py::isinstance<py::bool_>(timeout))
        throw py::type_error("timeout must be a number of ms (int) or \"auto\"");
    return static_cast<int>(Checked(timeout.cast<long long>(), "timeout", 0, 60000));
}

std::vector<uint8_t> CheckedIds(const std::vector<int>& ids, size_t most)
{
    if (ids.empty())
        throw py::value_error("no servo IDs given");
    if (ids.size() > most)
        throw py::value_error("one sync packet reaches at most " + std::to_string(most) + " servos");
    std::vector<uint8_t> out;
    for (int id : ids)
        out.push_back(static_cast<uint8_t>(Checked(id, "ID", 0, 253)));
    return out;
}

}  // namespace

int CheckedRate(long long rate)
{
    if (BaudCodeOfRate(static_cast<int>(rate)) < 0 || rate > 1000000)
        throw py::value_error("rate must be one of 1000000 500000 250000 128000 115200 76800 "
                              "57600 38400, not " + std::to_string(rate));
    return static_cast<int>(rate);
}

Port::Port(const py::object& name, const py::object& rateOrNone, const py::object& timeout,
           const py::object& catalogue, bool exclusive)
{
    const bool rateGiven = !rateOrNone.is_none();
    if (rateGiven && (!py::isinstance<py::int_>(rateOrNone) || py::isinstance<py::bool_>(rateOrNone)))
        throw py::type_error("rate must be a number of bit/s (int) or None");
    const int rate = rateGiven ? CheckedRate(rateOrNone.cast<long long>()) : 115200;
    bool autoTimeout = false;
    const int timeoutMs = CheckedTimeout(timeout, autoTimeout);
    std::string port;
    if (name.is_none()) {
        // As servoctl without -p: the last port of the list the window shows.
        PortList probe;
        if (probe.EnumeratePorts() <= 0)
            Raise(Errors().port, "no serial port found; name one");
        port = probe.PortNames().back();
    } else {
        port = PathText(name);
    }
    const std::string file = catalogue.is_none() ? FindCatalogue().path : PathText(catalogue);
    core = std::make_shared<PortCore>(file);
    core->name = port;
    core->autoTimeout = autoTimeout;
    core->timeoutMs = timeoutMs;
    PortOpening opening;
    std::string refused;
    const bool opened = RunOnBus(*core->bus, JobKind::Command, [&](BusAccess& access) {
        opening = OpenAtRate(access, port, rate, exclusive, rateGiven);
        if (!opening.opened)
            return false;
        if (opening.refused) {
            refused = RefusedRateText(port, opening.refusal);
            access.Close();
            return false;
        }
        core->Prepare(access, kIdentifyExchange);
        return true;
    });
    if (!refused.empty())
        Raise(Errors().port, refused);
    if (!opened)
        RaiseOpenFailure(port, opening.failure);
}

py::object Port::SharedBy() const
{
    const ShareOwner owner = core->bus->Facts().SharedBy();
    if (!owner)
        return py::none();
    return py::make_tuple(owner.program, owner.pid);
}

Port::~Port() = default;

void Port::Close()
{
    RunOnBus(*core->bus, JobKind::Command, [](BusAccess& access) { access.Close(); });
}

bool Port::IsOpen() const
{
    return core->bus->Facts().Open();
}

int Port::Rate() const
{
    return core->bus->Facts().Rate();
}

void Port::SetRate(int rate)
{
    CheckedRate(rate);
    std::string refused;
    RunOnBus(*core->bus, JobKind::Command, [&](BusAccess& access) {
        access.SetRate(rate);
        core->Prepare(access, kIdentifyExchange);
        if (access.Facts().RateRefused() && (access.Facts().Rates() == RateControl::Fixed ||
                                          access.Facts().Rates() == RateControl::Shared))
            refused = RefusedRateText(access.Facts(), core->name, rate);
    });
    // A raw TCP port keeps its server's rate, a shared bus its owner's: saying so beats a
    // scan that finds nobody.
    if (!refused.empty())
        Raise(Errors().port, refused);
}

py::object Port::Timeout() const
{
    if (core->autoTimeout)
        return py::str("auto");
    return py::int_(core->timeoutMs.load());
}

void Port::SetTimeout(const py::object& timeout)
{
    bool autoTimeout = false;
    const int ms = CheckedTimeout(timeout, autoTimeout);
    core->autoTimeout = autoTimeout;
    core->timeoutMs = ms;
}

std::shared_ptr<Servo> Port::Get(int id, long long byteOrder, long long statusLevel,
                                 long long positionAddress)
{
    Checked(id, "ID", 0, 254);
    ProfileOptions options;
    if (byteOrder >= 0)
        options.byteOrder = Checked(byteOrder, "byte_order", 0, 1);
    if (statusLevel >= 0)
        options.statusLevel = Checked(statusLevel, "status_level", 0, 1);
    if (positionAddress >= 0)
        options.positionAddress = Checked(positionAddress, "position_address", 0, 249);
    return std::make_shared<Servo>(core, id, options);
}

void Port::SyncMove(const std::vector<int>& ids, int target, int speed, int time, int acceleration)
{
    const std::vector<uint8_t> list = CheckedIds(ids, 256);
    CheckedMotion(acceleration, speed, time);
    Identity who;
    Reply identified = Reply::Answered();
    const Reply r = RunOnBus(*core->bus, JobKind::Command, [&](BusAccess& access) {
        core->Prepare(access, ServoCommandExchange(kPositionBlockBytes, true, static_cast<int>(list.size())));
        // The first servo's profile codes the packet, as for the debug page's range.
        identified = IdentifyServo(access.protocol, core->catalogue, list.front(), {}, who);
        if (!identified)
            return identified;
        return SyncPositionCommand(access.protocol, who.profile, list, LimitTarget(target),
                                   EncodeSpeed(speed), EncodeTime(time), acceleration);
    });
    if (!identified)
        RaiseReply(identified, list.front(), core->TimeoutMs(), "the identification read");
    if (!r)
        Raise(Errors().base, "the sync packet was not sent", std::nullopt, ReplyText(r, 0));
}

void Port::RegMove(const std::vector<int>& ids, int target, int speed, int time, int acceleration)
{
    const std::vector<uint8_t> list = CheckedIds(ids, 256);
    CheckedMotion(acceleration, speed, time);
    Identity who;
    Reply identified = Reply::Answered();
    int failed = -1;
    const Reply r = RunOnBus(*core->bus, JobKind::Command, [&](BusAccess& access) {
        core->Prepare(access, ServoCommandExchange(kPositionBlockBytes, false, static_cast<int>(list.size())));
        identified = IdentifyServo(access.protocol, core->catalogue, list.front(), {}, who);
        if (!identified)
            return identified;
        // One exchange per servo, so a failure names its servo.
        for (uint8_t id : list) {
            const Reply each = access.protocol.RegWritePosition(who.profile, id, LimitTarget(target),
                                                             acceleration, EncodeSpeed(speed),
                                                             EncodeTime(time));
            if (!each) {
                failed = id;
                return each;
            }
        }
        return Reply::Answered();
    });
    if (!identified)
        RaiseReply(identified, list.front(), core->TimeoutMs(), "the identification read");
    if (!r)
        RaiseReply(r, failed, core->TimeoutMs());
}

void Port::Action()
{
    const Reply r = RunOnBus(*core->bus, JobKind::Command, [&](BusAccess& access) {
        core->Prepare(access, kActionExchange);
        return access.protocol.Action();
    });
    if (!r)
        Raise(Errors().base, "the action packet was not sent", std::nullopt, ReplyText(r, 0));
}

Scan::Scan(std::shared_ptr<PortCore> c, int f, int l, std::vector<int> r)
    : core(std::move(c)), first(f), last(l), rates(std::move(r)), next(f)
{
    Checked(first, "first", 0, 253);
    Checked(last, "last", 0, 253);
    if (first > last)
        throw py::value_error("first must not lie above last");
    for (int rate : rates)
        CheckedRate(rate);
    savedRate = core->bus->Facts().Rate();
    if (rates.empty())
        rates.push_back(0);  // the port's present rate
}

Scan::~Scan()
{
    // Dropped before its end: the rate comes back without waiting for the bus.
    if (!restored && rateSet) {
        const int rate = savedRate;
        core->bus->Post(JobKind::Command, [rate](BusAccess& access) { access.SetRate(rate); });
    }
}

void Scan::Close()
{
    rateIndex = rates.size();
    if (!restored && rateSet) {
        const int rate = savedRate;
        RunOnBus(*core->bus, JobKind::Command, [&](BusAccess& access) {
            access.SetRate(rate);
            core->Prepare(access, kIdentifyExchange);
        });
    }
    restored = true;
}

std::shared_ptr<Servo> Scan::Next()
{
    while (found.empty() && rateIndex < rates.size()) {
        const int rate = rates[rateIndex];
        if (next == first) {
            if (rate != 0) {
                std::string refused;
                RunOnBus(*core->bus, JobKind::Search, [&](BusAccess& access) {
                    access.SetRate(rate);
                    if (access.Facts().RateRefused() && access.Facts().Rates() == RateControl::Fixed)
                        refused = RefusedRateText(access.Facts(), core->name, rate);
                });
                rateSet = true;
                if (!refused.empty()) {
                    Close();
                    Raise(Errors().port, refused);
                }
            }
            scanner = std::make_unique<BusScanner>(core->catalogue, true);
        }
        if (next > last) {
            ++rateIndex;
            next = first;
            continue;
        }
        // Ctrl-C ends the scan between two probes.
        if (PyErr_CheckSignals() != 0) {
            py::error_already_set interrupted;
            Close();
            throw interrupted;
        }
        const int id = next++;
        RunOnBus(*core->bus, JobKind::Search, [&](BusAccess& access) {
            core->Prepare(access, kIdentifyExchange);
            ScanReports reports;
            reports.found = [&](int answered, const Identity& identity) {
                found.push_back({answered, identity, access.Facts().Rate()});
            };
            reports.doubled = [&](int doubledId) {
                doubled.push_back(doubledId);
                core->bus->Traffic().Note({}, DoubledIdText(doubledId));
            };
            scanner->Probe(access.protocol, id, reports);
        });
        for (const int d : doubled)
            WarnDoubled(d);
        doubled.clear();
    }
    if (found.empty()) {
        Close();
        throw py::stop_iteration();
    }
    const Found head = found.front();
    found.pop_front();
    auto servo = std::make_shared<Servo>(core, head.id, ProfileOptions{});
    servo->identity = head.identity;
    servo->foundRate = head.rate;
    return servo;
}

}  // namespace servobus
