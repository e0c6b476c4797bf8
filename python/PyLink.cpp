// The bus's link statistics and what was found on it, for scripts: port.link_stats(),
// port.bus_stats(), port.reset_stats(), and the warnings the module gives for findings.
#include "Bindings.h"

#include "Waiting.h"

#include "servo/BusHealth.h"
#include "servo/BusOverview.h"
#include "words/ConsoleWords.h"
#include "servo/AutoTimeout.h"

#include <mutex>
#include <set>

namespace servobus {

namespace {

py::dict RatesDict(const LinkRates& r)
{
    py::dict d;
    d["seconds"] = r.seconds;
    d["exchanges"] = r.exchanges;
    d["bytes_out"] = r.bytesOut;
    d["bytes_in"] = r.bytesIn;
    d["exchanges_per_second"] = r.ExchangesPerSecond();
    d["bytes_out_per_second"] = r.BytesOutPerSecond();
    d["bytes_in_per_second"] = r.BytesInPerSecond();
    d["busy_ratio"] = r.BusyShare();
    return d;
}

py::dict IdDict(const IdLinkStats& s)
{
    py::dict d;
    d["requests"] = s.requests;
    d["answered"] = s.answered;
    d["timeouts"] = s.timeouts;
    d["checksum_errors"] = s.checksumErrors;
    d["malformed"] = s.malformed;
    d["latency_p50_us"] = s.LatencyPercentileUs(0.50);
    d["latency_p95_us"] = s.LatencyPercentileUs(0.95);
    d["latency_p99_us"] = s.LatencyPercentileUs(0.99);
    d["latency_max_us"] = s.latencyMaxUs;
    return d;
}

// The module's words for the alarm bits.
py::list AlarmList(uint32_t alarms)
{
    static const std::pair<uint32_t, const char*> words[] = {
        {kAlarmHot, "hot"},           {kAlarmVoltageLow, "voltage low"}, {kAlarmVoltageHigh, "voltage high"},
        {kAlarmOverload, "overload"}, {kAlarmFault, "fault"},            {kAlarmSilent, "no answer for 1 s"},
        {kAlarmSag, "supply sags"}};
    py::list list;
    for (const auto& [bit, word] : words)
        if (alarms & bit)
            list.append(word);
    return list;
}

struct Watched {
    OverviewServo servo;
    ServoHealth health;
    Feedback last;
    bool answered = false;
};

// As servoctl health does: the servos of `ids` (or those a scan finds), round after round for
// `duration` seconds, each round one bus job; the rows at the end.
py::list Health(servobus::Port& port, const py::object& ids, double duration, int intervalMs)
{
    if (!(duration > 0 && duration <= 1e7))
        throw py::value_error("duration must be a number of seconds above 0");
    Checked(intervalMs, "interval", 0, 3600000);
    const auto& core = port.core;
    std::vector<int> list;
    if (!ids.is_none())
        for (const py::handle id : ids)
            list.push_back(static_cast<int>(Checked(id.cast<long long>(), "ID", 0, 253)));
    std::vector<Watched> servos;
    std::vector<int> doubled;
    RunOnBus(*core->bus, JobKind::Search, [&](BusAccess& access) {
        core->Prepare(access, kLongestExchange);
        const auto noteDoubled = [&](int id) {
            doubled.push_back(id);
            core->bus->Traffic().Note({}, DoubledIdText(id));
        };
        for (OverviewServo& found : FindServos(access.protocol, core->catalogue, list, noteDoubled)) {
            Watched w;
            w.servo = std::move(found);
            w.health = ServoHealth(w.servo.limits);
            servos.push_back(std::move(w));
        }
        core->bus->ResetLink();
    });
    for (const int id : doubled)
        WarnDoubled(id);
    PollPacing pacing{std::chrono::milliseconds(intervalMs)};
    const auto end = PollPacing::Clock::now() + std::chrono::duration_cast<PollPacing::Clock::duration>(
                                                    std::chrono::duration<double>(duration));
    while (pacing.Due() < end) {
        if (!SleepUntil(pacing.Due()))
            throw py::error_already_set();
        RunOnBus(*core->bus, JobKind::Poll, [&](BusAccess& access) {
            core->Prepare(access, ReadExchange(kFeedbackBlockSize));
            const long long ms = pacing.Begin();
            for (Watched& w : servos) {
                Feedback f;
                const Reply got = ReadFeedback(access.protocol, static_cast<uint8_t>(w.servo.id), w.servo.identity.debug,
                                               w.servo.identity.profile, f);
                w.answered = got.ok();
                if (got)
                    w.last = f;
                // A servo that missed its identification read and answers now is identified now.
                if (got && IdentifyLate(access.protocol, core->catalogue, w.servo))
                    w.health.SetLimits(w.servo.limits);
                w.health.Poll(ms, got ? &f : nullptr);
            }
        });
        pacing.End();
    }
    py::list rows;
    for (const Watched& w : servos) {
        const IdLinkStats l = core->bus->Link().Of(static_cast<uint8_t>(w.servo.id));
        py::dict row = IdDict(l);
        row["id"] = w.servo.id;
        row["model"] = w.servo.identity.model;
        const bool fresh = w.answered;
        row["position"] = fresh ? py::object(py::int_(w.last.position)) : py::object(py::none());
        row["temperature"] = fresh ? py::object(py::int_(w.last.temperature)) : py::object(py::none());
        row["voltage"] = fresh ? py::object(py::float_(w.last.voltage / 10.0)) : py::object(py::none());
        row["load"] = fresh ? py::object(py::int_(w.last.load)) : py::object(py::none());
        row["status"] = fresh ? py::object(py::int_(w.last.status)) : py::object(py::none());
        row["alarms"] = AlarmList(w.health.Latched());
        rows.append(row);
    }
    return rows;
}

}  // namespace

void WarnFindings(ServoBus& bus)
{
    // One warning a finding while the port stays open: a port opened again forgets it.
    static std::mutex mutex;
    static std::set<const ServoBus*> warned;
    bool warn = false;
    {
        std::lock_guard lock(mutex);
        if (!bus.EchoFound())
            warned.erase(&bus);
        else
            warn = warned.insert(&bus).second;
    }
    if (warn && PyErr_WarnEx(PyExc_RuntimeWarning, EchoFoundText().c_str(), 1) != 0)
        throw py::error_already_set();
}

void WarnDoubled(int id)
{
    if (PyErr_WarnEx(PyExc_RuntimeWarning, DoubledIdText(id).c_str(), 1) != 0)
        throw py::error_already_set();
}

void AddLinkStats(py::module_& m)
{
    using P = servobus::Port;
    auto port = py::reinterpret_borrow<py::class_<P>>(m.attr("Port"));
    port.def(
            "link_stats",
            [](const P& p) {
                const LinkSnapshot snap = p.core->bus->Link().Copy();
                py::dict ids;
                for (size_t id = 0; id < snap.ids.size(); ++id)
                    if (snap.ids[id].requests > 0)
                        ids[py::int_(id)] = IdDict(snap.ids[id]);
                return ids;
            },
            "What the exchanges that awaited a reply came to, per servo ID asked (only IDs "
            "asked): {id: {'requests', 'answered', 'timeouts', 'checksum_errors', 'malformed', "
            "'latency_p50_us', 'latency_p95_us', 'latency_p99_us', 'latency_max_us'}}, counted "
            "since the port opened (or reset_stats()) for every exchange on this bus, a shared "
            "bus's clients' too. Latency runs from the end of the request to the end of the "
            "reply.")
        .def(
            "bus_stats",
            [](const P& p) {
                const BusLinkStats b = p.core->bus->Link().Bus();
                py::dict d;
                d["last_second"] = RatesDict(b.lastSecond);
                d["since_open"] = RatesDict(b.sinceStart);
                d["echo"] = p.core->bus->EchoFound();
                return d;
            },
            "The bus over the last second and since the port opened (or reset_stats()): "
            "{'last_second': {...}, 'since_open': {...}, 'echo': bool}, each with 'seconds', "
            "'exchanges', 'bytes_out', 'bytes_in', 'exchanges_per_second', "
            "'bytes_out_per_second', 'bytes_in_per_second' and 'busy_ratio' (the wire time of "
            "the bytes each way over the time, at the line's rate; 0 on a network port). "
            "'echo': the adapter echoes what is sent (the echo is skipped).")
        .def("health", &Health, py::arg("ids") = py::none(), py::kw_only(), py::arg("duration") = 1.0,
             py::arg("interval") = 100,
             "Polls every servo of `ids` (default: those a scan finds) round after round, a round "
             "every `interval` ms (0: back to back), for `duration` seconds, as servoctl health "
             "does, and returns one row a servo: its link_stats() counted from the first round, "
             "'id', 'model', its last feedback ('position', 'temperature', 'voltage' in volts, "
             "'load', 'status'; None when the last round went unanswered) and 'alarms', the "
             "alarms raised (latched): 'hot', 'voltage low', 'voltage high', 'overload', "
             "'fault', 'no answer for 1 s', 'supply sags'.")
        .def(
            "reset_stats", [](P& p) { p.core->bus->ResetLink(); },
            "Sets link_stats() and bus_stats() back to zero.");
}

}  // namespace servobus
