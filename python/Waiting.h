#pragma once
// How the module waits for the bus: without the GIL, so other Python threads run, and for
// long operations in short steps, so that Ctrl-C (or any signal whose handler raises) is seen
// between them, as servoctl sees SIGINT between its exchanges and blocks.

#include "bus/ServoBus.h"

#include <pybind11/pybind11.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <type_traits>

namespace servobus {

namespace py = pybind11;

// The step between two looks at the signals.
inline constexpr std::chrono::milliseconds kSignalStep{20};

// With the GIL: a warning for what the bus found since the last one (an echoing adapter).
void WarnFindings(ServoBus& bus);
// With the GIL: a warning that two servos may answer to `id`.
void WarnDoubled(int id);

// Runs the job on the bus's thread; the caller waits without the GIL. Then warns of what
// the bus found meanwhile.
template <class F>
auto RunOnBus(ServoBus& bus, JobKind kind, F&& job)
{
    using R = decltype(bus.Run(kind, std::forward<F>(job)));
    if constexpr (std::is_void_v<R>) {
        {
            py::gil_scoped_release release;
            bus.Run(kind, std::forward<F>(job));
        }
        WarnFindings(bus);
    } else {
        R result = [&] {
            py::gil_scoped_release release;
            return bus.Run(kind, std::forward<F>(job));
        }();
        WarnFindings(bus);
        return result;
    }
}

// Python errors met while a long job runs (a signal's KeyboardInterrupt, an exception of a
// progress callback): the first is kept, `stop` is set so the job ends at its next step, and
// it is raised once the job has ended.
class PendingError {
public:
    explicit PendingError(std::atomic<bool>& stop) : stop(stop) {}
    // With the GIL: looks at the signals; true when an error is now pending.
    bool CheckSignals();
    // With the GIL and a Python error set: keeps it and stops the job.
    void Keep();
    bool Pending() const { return error.has_value(); }
    void RaiseIfPending();

private:
    std::atomic<bool>& stop;
    std::optional<py::error_already_set> error;
};

// Sleeps until `until` without the GIL, looking at the signals every step. False when a
// signal's handler raised (the Python error is set then).
bool SleepUntil(std::chrono::steady_clock::time_point until);

// Runs a long job on the bus's thread. While it runs the caller looks every step, with the
// GIL, at the signals and calls `step` (which hands reports of the job to Python). A Python
// error stops the job through `stop`; it is raised after the job has ended.
template <class R>
R RunInterruptible(ServoBus& bus, JobKind kind, std::function<R(BusAccess&)> job,
                   std::atomic<bool>& stop, const std::function<void()>& step)
{
    auto task = std::make_shared<std::packaged_task<R(BusAccess&)>>(std::move(job));
    std::future<R> result = task->get_future();
    bus.Post(kind, [task](BusAccess& access) { (*task)(access); }, [task] { task->reset(); });
    PendingError pending(stop);
    for (;;) {
        bool done;
        {
            py::gil_scoped_release release;
            done = result.wait_for(kSignalStep) == std::future_status::ready;
        }
        if (!pending.Pending()) {
            try {
                if (step)
                    step();
            } catch (py::error_already_set& e) {
                e.restore();
                pending.Keep();
            }
        }
        if (done)
            break;
        if (!pending.Pending())
            pending.CheckSignals();
    }
    pending.RaiseIfPending();
    return result.get();
}

// Blocks the asynchronous signals in threads started while it lives (the bus's, the
// virtual bus's), so that they reach Python's main thread.
class SignalsToMainThread {
public:
    SignalsToMainThread();
    ~SignalsToMainThread();
    SignalsToMainThread(const SignalsToMainThread&) = delete;
    SignalsToMainThread& operator=(const SignalsToMainThread&) = delete;

private:
    struct Saved;
    std::unique_ptr<Saved> saved;
};

}  // namespace servobus
