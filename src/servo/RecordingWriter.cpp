#include "servo/RecordingWriter.h"

bool RecordingWriter::Start(const std::string& path, std::string& error, Failed f)
{
    Stop();
    if (!recorder.Start(path, error))
        return false;
    failed = std::move(f);
    stopping = false;
    recording = true;
    thread = std::thread([this] { Run(); });
    return true;
}

void RecordingWriter::AddPoll(const Feedback* answer)
{
    if (!recording)
        return;
    CaptureSample s;
    s.time = Clock::now();
    s.answered = answer != nullptr;
    if (answer)
        s.values = *answer;
    Batch b;
    b.samples.push_back(s);
    {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(b));
    }
    wake.notify_one();
}

void RecordingWriter::AddCaptured(std::vector<CaptureSample> samples, CaptureBlock block)
{
    if (!recording || samples.empty())
        return;
    {
        std::lock_guard lock(mutex);
        queue.push_back({std::move(samples), true, block});
    }
    wake.notify_one();
}

void RecordingWriter::Stop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_one();
    if (thread.joinable())
        thread.join();
    recording = false;
    recorder.Stop();
}

void RecordingWriter::Run()
{
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty(); });
        if (queue.empty())
            return;  // stopping, everything written
        Batch b = std::move(queue.front());
        queue.pop_front();
        lock.unlock();
        std::string error;
        bool ok = true;
        if (recording) {
            if (b.captured)
                ok = recorder.AddCaptured(b.samples, b.block, error);
            else
                ok = recorder.Add(b.samples[0].answered ? &b.samples[0].values : nullptr, error,
                                  b.samples[0].time);
        }
        if (!ok) {
            recording = false;
            if (failed)
                failed(error);
        }
        lock.lock();
    }
}
