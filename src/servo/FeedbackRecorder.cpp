#include "servo/FeedbackRecorder.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

std::string Reason(int error)
{
    return error != 0 ? std::strerror(error) : "unknown error";
}

}  // namespace

bool FeedbackRecorder::Start(const std::string& name, std::string& error, Clock::time_point now)
{
    Stop();
    errno = 0;
    file = std::fopen(name.c_str(), "ab");
    if (file == nullptr) {
        error = Reason(errno);
        return false;
    }
    path = name;
    start = now;
    rows = 0;
    std::error_code ec;
    written = std::filesystem::file_size(path, ec);
    if (ec)
        written = 0;
    // A file that already holds rows gets more rows, not a second header.
    if (written == 0 && !Write(kFeedbackCsvHeader, error))
        return false;
    return true;
}

bool FeedbackRecorder::Add(const Feedback* answer, std::string& error, Clock::time_point now)
{
    if (file == nullptr)
        return true;
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
    if (!Write(answer ? FeedbackCsvRow(ms, *answer) : FeedbackCsvTimeoutRow(ms), error))
        return false;
    ++rows;
    return true;
}

bool FeedbackRecorder::AddCaptured(const std::vector<CaptureSample>& samples, CaptureBlock block,
                                   std::string& error)
{
    if (file == nullptr || samples.empty())
        return true;
    std::string lines;
    for (const CaptureSample& s : samples) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(s.time - start).count();
        if (!lines.empty())
            lines += '\n';
        lines += CaptureCsvRow(us < 0 ? 0 : us, s, block);
    }
    if (!Write(lines, error))
        return false;
    rows += static_cast<long long>(samples.size());
    return true;
}

bool FeedbackRecorder::Write(const std::string& row, std::string& error)
{
    const std::string line = row + "\n";
    errno = 0;
    // Flushed at once: a row is on its way to the disk within the poll that made it.
    if (std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fflush(file) == 0) {
        written += line.size();
        return true;
    }
    error = Reason(errno);
    std::fclose(file);
    file = nullptr;
    // A row cut short by the failure goes; the whole rows before it stay.
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) > written && !ec)
        std::filesystem::resize_file(path, written, ec);
    return false;
}

void FeedbackRecorder::Stop()
{
    if (file != nullptr)
        std::fclose(file);
    file = nullptr;
}
