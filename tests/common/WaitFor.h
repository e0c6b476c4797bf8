#pragma once
// Waits for a condition that another thread brings about, yielding, at most 10 s: a test that
// would otherwise hang fails instead.

#include <chrono>
#include <thread>

template <class F>
bool WaitFor(F done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    return done();
}
