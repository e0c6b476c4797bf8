#include "servo/MetricsText.h"

#include <cmath>
#include <cstdio>

namespace {

// A label value with \, " and line ends escaped.
std::string Escaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

std::string Number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

}  // namespace

std::vector<MetricsServo> MetricsServos(const LinkSnapshot& snapshot)
{
    std::vector<MetricsServo> servos;
    for (size_t id = 0; id < snapshot.ids.size(); ++id)
        if (snapshot.ids[id].requests > 0)
            servos.push_back(MetricsServo{static_cast<int>(id), snapshot.ids[id], false, {}});
    return servos;
}

std::string MetricsText(const std::string& port, const std::vector<MetricsServo>& servos,
                        const BusLinkStats& bus)
{
    const std::string p = "port=\"" + Escaped(port) + "\"";
    std::string t;
    t.reserve(2048 + servos.size() * 3072);
    auto label = [&](int id) { return "{" + p + ",id=\"" + std::to_string(id) + "\""; };
    struct Gauge {
        const char* name;
        const char* help;
        double (*value)(const Feedback&);
    };
    static const Gauge gauges[] = {
        {"servo_position", "Present position, counts.", [](const Feedback& f) { return double(f.position); }},
        {"servo_temperature_celsius", "Temperature.", [](const Feedback& f) { return double(f.temperature); }},
        {"servo_voltage_volts", "Supply voltage.", [](const Feedback& f) { return f.voltage / 10.0; }},
        {"servo_load", "Load, in the torque rows' units.", [](const Feedback& f) { return double(f.load); }},
        {"servo_status", "Fault bits.", [](const Feedback& f) { return double(f.status); }},
    };
    for (const Gauge& g : gauges) {
        t += std::string("# HELP ") + g.name + ' ' + g.help + "\n# TYPE " + g.name + " gauge\n";
        for (const MetricsServo& s : servos)
            if (s.fresh)
                t += g.name + label(s.id) + "} " + Number(g.value(s.feedback)) + '\n';
    }
    t += "# HELP servo_exchanges_total Exchanges that awaited a reply, by what they came to.\n"
         "# TYPE servo_exchanges_total counter\n";
    for (const MetricsServo& s : servos) {
        const std::pair<const char*, uint64_t> outcomes[] = {{"answered", s.link.answered},
                                                              {"timeout", s.link.timeouts},
                                                              {"checksum", s.link.checksumErrors},
                                                              {"malformed", s.link.malformed}};
        for (const auto& [outcome, n] : outcomes)
            t += "servo_exchanges_total" + label(s.id) + ",outcome=\"" + outcome + "\"} " + std::to_string(n) + '\n';
    }
    t += "# HELP servo_latency_seconds From the end of a request to the end of its reply.\n"
         "# TYPE servo_latency_seconds histogram\n";
    for (const MetricsServo& s : servos) {
        uint64_t cumulative = 0;
        for (int i = 0; i < kLatencyBuckets; ++i) {
            const uint32_t n = s.link.latency[static_cast<size_t>(i)];
            cumulative += n;
            const double edgeUs = std::pow(10.0, (i + 1.0) / kLatencyBucketsPerDecade);
            if (i + 1 < kLatencyBuckets)
                t += "servo_latency_seconds_bucket" + label(s.id) + ",le=\"" + Number(edgeUs / 1e6) + "\"} " +
                     std::to_string(cumulative) + '\n';
        }
        t += "servo_latency_seconds_bucket" + label(s.id) + ",le=\"+Inf\"} " + std::to_string(cumulative) + '\n';
        t += "servo_latency_seconds_sum" + label(s.id) + "} " + Number(static_cast<double>(s.link.latencySumUs) / 1e6) + '\n';
        t += "servo_latency_seconds_count" + label(s.id) + "} " + std::to_string(cumulative) + '\n';
    }
    t += "# HELP servo_bus_busy_ratio Share of the last second the line carried bytes.\n"
         "# TYPE servo_bus_busy_ratio gauge\n";
    t += "servo_bus_busy_ratio{" + p + "} " + Number(bus.lastSecond.BusyShare()) + '\n';
    return t;
}
