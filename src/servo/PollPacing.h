#pragma once
// The pace of a poll loop (servoctl monitor, the Python module's monitor): one poll every
// interval from the first; a slow poll is followed by the next at once, none piled up.

#include <chrono>

class PollPacing {
public:
    using Clock = std::chrono::steady_clock;

    explicit PollPacing(Clock::duration interval, Clock::time_point start = Clock::now())
        : interval(interval), start(start), due(start) {}

    // When the next poll is due.
    Clock::time_point Due() const { return due; }
    // The poll that starts now: its time in ms since the first.
    long long Begin() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    }
    // The poll ended.
    void End()
    {
        due += interval;
        if (due < Clock::now())
            due = Clock::now();
    }

private:
    Clock::duration interval;
    Clock::time_point start;
    Clock::time_point due;
};
