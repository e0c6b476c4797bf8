#pragma once
// An in-process serial line: the program's end (the near end, a port) and the far end (a
// virtual bus) in one process, with no device between them. Bytes the program writes carry
// the rate the line ran at when they were written, as they would on a wire; the far end
// answers in plain bytes. Either end may go: a far end that closes is an adapter pulled.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class ByteChannel {
public:
    using Clock = std::chrono::steady_clock;

    // The near end, one holder at a time: false when another holds it or the far end is not
    // there. Opening drops what waited for a previous holder.
    bool Attach();
    void Detach();
    bool FarOpen() const;
    // The line's rate, set by the near end.
    void SetRate(int rate);
    int Rate() const;
    // False (nothing sent) once the far end has gone.
    bool NearWrite(const uint8_t* bytes, int n);
    // Waits until n bytes have come or the deadline passes; `gone` tells that the far end
    // closed with nothing more to read.
    int NearRead(uint8_t* bytes, int n, Clock::time_point deadline, bool& gone);
    void NearPurge();
    // Bytes from the far end that wait unread.
    int NearWaiting() const;

    // The far end comes (again) and goes; closing wakes a near read, which finds it gone.
    void OpenFar();
    void CloseFar();
    // Waits until bytes from the near end wait or the deadline passes; then takes up to n of
    // those written at one rate, returning how many and that rate.
    // `taking`, when given, is set before the bytes leave (under the channel's lock).
    int FarRead(uint8_t* bytes, int n, Clock::time_point deadline, int& rate,
                std::atomic<bool>* taking = nullptr);
    void FarWrite(const uint8_t* bytes, size_t n);
    // Whether bytes from the near end wait unread.
    bool FarWaiting() const;

private:
    struct Run {
        int rate;
        std::vector<uint8_t> bytes;
    };

    mutable std::mutex mutex;
    std::condition_variable toNearReady;
    std::condition_variable toFarReady;
    std::deque<Run> toFar;
    std::deque<uint8_t> toNear;
    bool nearHeld = false;
    bool farOpen = false;
    int rate = 115200;
};
