#pragma once
// The debug page's feedback recording: one CSV row per poll, the columns of `servoctl
// monitor --csv`, appended to a file and flushed row by row. A write that fails ends the
// recording; the complete rows already written stay in the file.

#include "servo/Feedback.h"
#include "servo/FeedbackCapture.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class FeedbackRecorder {
public:
    using Clock = std::chrono::steady_clock;

    FeedbackRecorder() = default;
    FeedbackRecorder(const FeedbackRecorder&) = delete;
    FeedbackRecorder& operator=(const FeedbackRecorder&) = delete;
    ~FeedbackRecorder() { Stop(); }

    // Opens `path` (UTF-8) for appending, writing the header into an empty file; a running
    // recording ends first. False with the reason in `error` when the file can't be opened.
    bool Start(const std::string& path, std::string& error, Clock::time_point now = Clock::now());
    // One poll: its decoded feedback, or none for a poll without an answer. Its time is
    // counted in ms from Start. False when the write failed: the recording has then ended
    // and `error` says why. Does nothing (and returns true) when not recording.
    bool Add(const Feedback* answer, std::string& error, Clock::time_point now = Clock::now());
    // A fast capture's samples, in one write and one flush: their times count in µs from
    // Start (ms with three decimals). Otherwise as Add.
    bool AddCaptured(const std::vector<CaptureSample>& samples, CaptureBlock block,
                     std::string& error);
    void Stop();

    bool Recording() const { return file != nullptr; }
    long long Rows() const { return rows; }

private:
    bool Write(const std::string& line, std::string& error);

    std::FILE* file = nullptr;
    std::string path;
    Clock::time_point start;
    std::uintmax_t written = 0;  // bytes of whole lines in the file
    long long rows = 0;
};
