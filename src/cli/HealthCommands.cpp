// servoctl health: every servo on the bus at a glance, polled round after round, with the
// link statistics of each and the alarms of the bus's health rules.
#include "cli/CtlCommand.h"
#include "cli/NumberArg.h"
#include "cli/MetricsOption.h"
#include "cli/StopSignals.h"
#include "cli/TerminalOut.h"

#include "servo/BusHealth.h"
#include "servo/BusOverview.h"
#include "words/ConsoleWords.h"
#include "words/HealthCsv.h"
#include "servo/Feedback.h"
#include "servo/MetricsText.h"
#include "servo/PollPacing.h"
#include "servo/Scan.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

struct HealthArgs {
    std::string ids, duration, interval = "100", csv;
    bool failOnAlarm = false;
    std::vector<int> idList;  // empty: scan first
    int intervalMs = 100;
    std::chrono::steady_clock::duration length = std::chrono::steady_clock::duration::max();
    std::shared_ptr<std::ofstream> csvFile;
    MetricsOption metrics;
};

// "1-12", "1,3,7", "1-4,9": IDs 0..253 in the order given, each once; false for anything else.
bool ParseIdList(const std::string& text, std::vector<int>& ids)
{
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ',');) {
        const auto dash = part.find('-');
        const std::string a = part.substr(0, dash), b = dash == std::string::npos ? a : part.substr(dash + 1);
        auto number = [](const std::string& t, int& v) {
            if (t.empty() || t.size() > 3 || t.find_first_not_of("0123456789") != std::string::npos)
                return false;
            v = std::stoi(t);
            return v <= 253;
        };
        int from = 0, to = 0;
        if (!number(a, from) || !number(b, to) || from > to)
            return false;
        for (int id = from; id <= to; ++id)
            if (std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(id);
    }
    return !ids.empty() && text.back() != ',';
}

struct Watched {
    OverviewServo servo;
    ServoHealth health;
    Feedback last;
    bool answeredLast = false;
};

void PrintTable(Session& s, const std::vector<Watched>& servos, bool inPlace)
{
    char line[256];
    std::string text = inPlace ? "\x1b[H\x1b[J" : "";
    std::snprintf(line, sizeof line, "%3s %-14s %7s %7s %6s %5s %5s %8s %8s %6s %5s %6s %5s %6s  %s\n", "ID",
                  "MODEL", "REQ", "ANS", "TIMEOUT", "CHK", "MAL", "P50_US", "P99_US", "POS", "TEMP",
                  "VOLT", "LOAD", "STATUS", "ALARMS");
    text += line;
    for (const Watched& w : servos) {
        const IdLinkStats l = s.bus.Link().Of(static_cast<uint8_t>(w.servo.id));
        const Feedback& f = w.last;
        std::snprintf(line, sizeof line,
                      "%3d %-14.14s %7llu %7llu %7llu %5llu %5llu %8llu %8llu %6d %5d %6.1f %5d %6d  %s\n", w.servo.id,
                      w.servo.identity.model.c_str(), static_cast<unsigned long long>(l.requests),
                      static_cast<unsigned long long>(l.answered), static_cast<unsigned long long>(l.timeouts),
                      static_cast<unsigned long long>(l.checksumErrors),
                      static_cast<unsigned long long>(l.malformed),
                      static_cast<unsigned long long>(l.LatencyPercentileUs(0.5)),
                      static_cast<unsigned long long>(l.LatencyPercentileUs(0.99)), f.position, f.temperature,
                      f.voltage / 10.0, f.load, f.status, AlarmWords(w.health.Latched(), ", ").c_str());
        text += line;
    }
    s.out << text << std::flush;
}

int Health(Session& s, HealthArgs& a)
{
    const StopSignals signals;
    // A servo given by ID that does not answer now is watched all the same: it shows as silent.
    std::vector<Watched> servos;
    const auto doubled = [&](int id) {
        s.err << "servoctl: " << DoubledIdText(id) << std::endl;
        s.bus.Traffic().Note({}, DoubledIdText(id));
    };
    for (OverviewServo& found : FindServos(s.access->protocol, s.catalogue, a.idList, doubled,
                                           [](int) { return !StopSignals::Requested(); })) {
        Watched w;
        w.servo = std::move(found);
        if (w.servo.identity.model.empty())
            w.servo.identity.model = "?";
        w.health = ServoHealth(w.servo.limits);
        servos.push_back(std::move(w));
    }
    if (servos.empty()) {
        s.err << "servoctl: no servo found\n";
        return kCtlBusFailed;
    }
    // The counts are the rounds' own, from here on.
    s.bus.ResetLink();

    // The servos' last feedback for the metrics, copied after each round.
    struct Shown {
        std::mutex mutex;
        std::vector<MetricsServo> servos;
    };
    auto shownMetrics = std::make_shared<Shown>();
    a.metrics.Publish([shownMetrics, &bus = s.bus, port = s.portName] {
        std::vector<MetricsServo> servos;
        {
            std::lock_guard lock(shownMetrics->mutex);
            servos = shownMetrics->servos;
        }
        for (MetricsServo& m : servos)
            m.link = bus.Link().Of(static_cast<uint8_t>(m.id));
        return MetricsText(port, servos, bus.Link().Bus());
    });
    struct Unpublish {
        MetricsOption& metrics;
        ~Unpublish() { metrics.Publish({}); }
    } unpublish{a.metrics};
    const bool inPlace = &s.out == &std::cout && StdoutIsTerminal();
    if (a.csvFile)
        *a.csvFile << kHealthCsvHeader << '\n';
    bool anyAlarm = false;
    PollPacing pacing(std::chrono::milliseconds(a.intervalMs));
    const auto end = a.length == PollPacing::Clock::duration::max() ? PollPacing::Clock::time_point::max()
                                                                     : PollPacing::Clock::now() + a.length;
    auto shown = PollPacing::Clock::now();
    while (!StopSignals::Requested() && pacing.Due() < end) {
        while (!StopSignals::Requested() && PollPacing::Clock::now() < pacing.Due())
            std::this_thread::sleep_for(std::min<PollPacing::Clock::duration>(
                pacing.Due() - PollPacing::Clock::now(), std::chrono::milliseconds(20)));
        if (StopSignals::Requested())
            break;
        const long long ms = pacing.Begin();
        for (Watched& w : servos) {
            Feedback f;
            const Reply got = ReadFeedback(s.access->protocol, static_cast<uint8_t>(w.servo.id), w.servo.identity.debug,
                                           w.servo.identity.profile, f);
            if (got.outcome == Outcome::PortGone)
                return s.Fail(w.servo.id, got);
            w.answeredLast = got.ok();
            if (got)
                w.last = f;
            // A servo that missed its identification read and answers now is identified now.
            if (got && IdentifyLate(s.access->protocol, s.catalogue, w.servo))
                w.health.SetLimits(w.servo.limits);
            if (w.servo.identity.model.empty())
                w.servo.identity.model = "?";
            if (const uint32_t raised = w.health.Poll(ms, got ? &f : nullptr)) {
                anyAlarm = true;
                s.err << "servoctl: " << ms << " ms: servo " << w.servo.id << ": " << AlarmWords(raised, ", ")
                      << std::endl;
            }
            if (a.csvFile)
                *a.csvFile << HealthCsvRow(ms, w.servo.id, w.servo.identity.model, s.bus.Link().Of(static_cast<uint8_t>(w.servo.id)),
                                           w.answeredLast ? &w.last : nullptr, w.health.Active())
                           << '\n';
        }
        pacing.End();
        if (a.metrics.Given()) {
            std::vector<MetricsServo> round;
            for (const Watched& w : servos)
                round.push_back(MetricsServo{w.servo.id, {}, w.answeredLast, w.last});
            std::lock_guard lock(shownMetrics->mutex);
            shownMetrics->servos = std::move(round);
        }
        if (inPlace && PollPacing::Clock::now() - shown > std::chrono::milliseconds(250)) {
            PrintTable(s, servos, true);
            shown = PollPacing::Clock::now();
        }
    }
    if (a.csvFile)
        a.csvFile->flush();
    PrintTable(s, servos, inPlace);
    if (a.csvFile && !*a.csvFile) {
        s.err << "servoctl: cannot write " << a.csv << "\n";
        return kCtlBusFailed;
    }
    return a.failOnAlarm && anyAlarm ? kCtlBusFailed : kCtlDone;
}

}  // namespace

void AddHealthCommands(CLI::App& app, std::vector<CtlCommand>& commands)
{
    auto a = std::make_shared<HealthArgs>();
    auto* sub = app.add_subcommand(
        "health", "poll every servo round after round: link statistics, feedback and alarms");
    sub->add_option("--ids", a->ids, "the IDs to watch, such as 1-12 or 1,3,7 (default: those a scan finds)")
        ->type_name("LIST");
    sub->add_option("--duration", a->duration, "seconds to watch for (default: until SIGINT or SIGTERM)")
        ->type_name("S");
    sub->add_option("--interval", a->interval, "ms from one round over the IDs to the next; 0: back to back")
        ->capture_default_str()
        ->type_name("MS");
    sub->add_option("--csv", a->csv, "write one row per servo per round to FILE")->type_name("FILE");
    sub->add_flag("--fail-on-alarm", a->failOnAlarm, "exit with status 1 when any alarm was raised");
    a->metrics.Add(sub);

    CtlCommand c;
    c.sub = sub;
    c.identify = false;
    c.check = [a](Checker& check) {
        a->idList.clear();
        if (!a->ids.empty() && !ParseIdList(a->ids, a->idList))
            check.Fail("--ids must list IDs 0..253 such as 1-12 or 1,3,7, not \"" + a->ids + "\"");
        a->intervalMs = static_cast<int>(check.Get(a->interval, "--interval", 0, 3600000));
        if (!a->duration.empty()) {
            if (const auto length = ParseSecondsArg(a->duration))
                a->length = *length;
            else
                check.Fail("--duration must be a number of seconds above 0, not " + a->duration);
        }
        a->metrics.Check(check);
        // The file is opened before anything is sent: one that can't be written ends here.
        if (check.error.empty() && !a->csv.empty()) {
            a->csvFile = std::make_shared<std::ofstream>(a->csv, std::ios::trunc);
            if (!*a->csvFile)
                check.Fail("cannot write " + a->csv);
        }
    };
    c.run = [a](Session& s) { return Health(s, *a); };
    commands.push_back(std::move(c));
}
