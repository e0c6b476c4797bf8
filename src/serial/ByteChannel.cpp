#include "serial/ByteChannel.h"

#include <algorithm>

bool ByteChannel::Attach()
{
    std::lock_guard lock(mutex);
    if (nearHeld || !farOpen)
        return false;
    nearHeld = true;
    toNear.clear();
    return true;
}

void ByteChannel::Detach()
{
    std::lock_guard lock(mutex);
    nearHeld = false;
    toNear.clear();
}

bool ByteChannel::FarOpen() const
{
    std::lock_guard lock(mutex);
    return farOpen;
}

void ByteChannel::SetRate(int r)
{
    std::lock_guard lock(mutex);
    rate = r;
}

int ByteChannel::Rate() const
{
    std::lock_guard lock(mutex);
    return rate;
}

bool ByteChannel::NearWrite(const uint8_t* bytes, int n)
{
    {
        std::lock_guard lock(mutex);
        if (!farOpen)
            return false;
        if (toFar.empty() || toFar.back().rate != rate)
            toFar.push_back({rate, {}});
        toFar.back().bytes.insert(toFar.back().bytes.end(), bytes, bytes + n);
    }
    toFarReady.notify_all();
    return true;
}

int ByteChannel::NearRead(uint8_t* bytes, int n, Clock::time_point deadline, bool& gone)
{
    std::unique_lock lock(mutex);
    int got = 0;
    while (true) {
        const int take = std::min(n - got, static_cast<int>(toNear.size()));
        std::copy_n(toNear.begin(), take, bytes + got);
        toNear.erase(toNear.begin(), toNear.begin() + take);
        got += take;
        gone = !farOpen;
        if (got == n || gone)
            return got;
        if (toNearReady.wait_until(lock, deadline) == std::cv_status::timeout && toNear.empty())
            return got;
    }
}

void ByteChannel::NearPurge()
{
    std::lock_guard lock(mutex);
    toNear.clear();
}

void ByteChannel::OpenFar()
{
    std::lock_guard lock(mutex);
    farOpen = true;
    toFar.clear();
}

void ByteChannel::CloseFar()
{
    {
        std::lock_guard lock(mutex);
        farOpen = false;
        toFar.clear();
        toNear.clear();
    }
    toNearReady.notify_all();
    toFarReady.notify_all();
}

int ByteChannel::FarRead(uint8_t* bytes, int n, Clock::time_point deadline, int& runRate,
                         std::atomic<bool>* taking)
{
    std::unique_lock lock(mutex);
    if (!toFarReady.wait_until(lock, deadline, [this] { return !toFar.empty() || !farOpen; }) ||
        toFar.empty())
        return 0;
    if (taking)
        *taking = true;
    Run& run = toFar.front();
    const int take = std::min(n, static_cast<int>(run.bytes.size()));
    std::copy_n(run.bytes.begin(), take, bytes);
    run.bytes.erase(run.bytes.begin(), run.bytes.begin() + take);
    runRate = run.rate;
    if (run.bytes.empty())
        toFar.pop_front();
    return take;
}

void ByteChannel::FarWrite(const uint8_t* bytes, size_t n)
{
    {
        std::lock_guard lock(mutex);
        if (!nearHeld)
            return;  // nobody holds the port: the bytes are lost on the line
        toNear.insert(toNear.end(), bytes, bytes + n);
    }
    toNearReady.notify_all();
}

bool ByteChannel::FarWaiting() const
{
    std::lock_guard lock(mutex);
    return !toFar.empty();
}

int ByteChannel::NearWaiting() const
{
    std::lock_guard lock(mutex);
    return static_cast<int>(toNear.size());
}
