// The bus's link statistics and what was found on it, for scripts: port.link_stats(),
// port.bus_stats(), port.reset_stats(), and the warnings the module gives for findings.
#include "Bindings.h"

#include "servo/ConsoleWords.h"

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
        .def(
            "reset_stats", [](P& p) { p.core->bus->ResetLink(); },
            "Sets link_stats() and bus_stats() back to zero.");
}

}  // namespace servobus
