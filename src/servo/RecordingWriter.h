#pragma once
// The feedback recording on a thread of its own: the window's thread hands each poll's row,
// or a capture's samples of one frame, over under a short lock and never waits for the disk,
// which a long recording at thousands of rows a second does now and then.

#include "servo/FeedbackRecorder.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RecordingWriter {
public:
    using Clock = FeedbackRecorder::Clock;
    // Called on the writer's thread when a write failed; the recording has then ended.
    using Failed = std::function<void(const std::string& error)>;

    RecordingWriter() = default;
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;
    ~RecordingWriter() { Stop(); }

    // Opens the file as FeedbackRecorder::Start does, on the caller's thread; a running
    // recording ends first.
    bool Start(const std::string& path, std::string& error, Failed failed);
    // One poll's row (none: without an answer), timed now.
    void AddPoll(const Feedback* answer);
    // A capture's samples, in µs.
    void AddCaptured(std::vector<CaptureSample> samples, CaptureBlock block);
    // Writes what was handed over, then closes the file.
    void Stop();
    bool Recording() const { return recording; }

private:
    struct Batch {
        std::vector<CaptureSample> samples;
        bool captured = false;
        CaptureBlock block = CaptureBlock::Full;
    };
    void Run();

    FeedbackRecorder recorder;  // the writer thread's while it runs
    Failed failed;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Batch> queue;
    bool stopping = false;
    std::atomic<bool> recording{false};
    std::thread thread;
};
