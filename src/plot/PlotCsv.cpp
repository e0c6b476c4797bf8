#include "plot/PlotCsv.h"

#include "servo/FeedbackCapture.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

std::string PlotCsv(const PlotLists& lists)
{
    size_t rows = 0;
    for (const auto& l : lists.values)
        rows = std::max(rows, l.size());
    std::string csv = std::string(kPlotCsvHeader) + "\n";
    for (size_t row = 0; row < rows; ++row) {
        const size_t age = rows - 1 - row;  // 0 is the newest sample
        std::string fields;
        long long ms = 0;
        bool timed = false;
        for (size_t c = 0; c < kChannels; ++c) {
            fields += ',';
            if (age >= lists.values[c].size())
                continue;
            fields += std::to_string(lists.values[c][age]);
            if (!timed && age < lists.times[c].size()) {
                ms = lists.times[c][age];
                timed = true;
            }
        }
        csv += std::to_string(row) + "," + std::to_string(ms) + fields + "\n";
    }
    return csv;
}

std::string CaptureCsv(const std::vector<CaptureRow>& rows)
{
    std::string csv = std::string(kPlotCsvHeader) + "\n";
    const long long first = rows.empty() ? 0 : rows.front().us;
    for (size_t i = 0; i < rows.size(); ++i) {
        csv += std::to_string(i) + "," + CaptureTimeText(rows[i].us - first);
        for (const int16_t v : rows[i].values)
            csv += "," + std::to_string(v);
        csv += "\n";
    }
    return csv;
}

namespace {

bool SaveText(const std::string& path, const std::string& csv, std::string& error)
{
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool ok = file != nullptr && std::fwrite(csv.data(), 1, csv.size(), file) == csv.size() &&
              std::fflush(file) == 0;
    if (!ok)
        error = errno != 0 ? std::strerror(errno) : "unknown error";
    if (file != nullptr && std::fclose(file) != 0 && ok) {
        error = errno != 0 ? std::strerror(errno) : "unknown error";
        ok = false;
    }
    return ok;
}

}  // namespace

bool SavePlotCsv(const std::string& path, const PlotLists& lists, std::string& error)
{
    return SaveText(path, PlotCsv(lists), error);
}

bool SaveCaptureCsv(const std::string& path, const std::vector<CaptureRow>& rows, std::string& error)
{
    return SaveText(path, CaptureCsv(rows), error);
}
