#include "words/HealthCsv.h"

#include "servo/BusHealth.h"

#include <utility>

std::string AlarmWords(uint32_t alarms, const char* separator)
{
    static const std::pair<uint32_t, const char*> words[] = {
        {kAlarmHot, "hot"},         {kAlarmVoltageLow, "voltage low"}, {kAlarmVoltageHigh, "voltage high"},
        {kAlarmOverload, "overload"}, {kAlarmFault, "fault"},          {kAlarmSilent, "no answer for 1 s"},
        {kAlarmSag, "supply sags"}};
    std::string text;
    for (const auto& [bit, word] : words)
        if (alarms & bit)
            text += (text.empty() ? "" : separator) + std::string(word);
    return text;
}

std::string HealthCsvRow(long long ms, int id, const std::string& model, const IdLinkStats& l,
                         const Feedback* fresh, uint32_t alarms)
{
    std::string row = std::to_string(ms) + ',' + std::to_string(id) + ',' + model + ',' +
                      std::to_string(l.requests) + ',' + std::to_string(l.answered) + ',' +
                      std::to_string(l.timeouts) + ',' + std::to_string(l.checksumErrors) + ',' +
                      std::to_string(l.malformed) + ',' + std::to_string(l.LatencyPercentileUs(0.5)) + ',' +
                      std::to_string(l.LatencyPercentileUs(0.99)) + ',';
    if (fresh) {
        const Feedback& f = *fresh;
        row += std::to_string(f.position) + ',' + std::to_string(f.temperature) + ',' + std::to_string(f.voltage) +
               ',' + std::to_string(f.load) + ',' + std::to_string(f.status);
    } else {
        row += ",,,,";  // no fresh values: the servo kept silent this round
    }
    return row + ',' + AlarmWords(alarms, "|");
}
