#include "Waiting.h"

#include <csignal>
#include <thread>

namespace servobus {

bool PendingError::CheckSignals()
{
    if (PyErr_CheckSignals() != 0)
        Keep();
    return Pending();
}

void PendingError::Keep()
{
    // Takes the error indicator over, so Python may run again (progress calls) meanwhile.
    py::error_already_set taken;
    if (!error)
        error.emplace(std::move(taken));
    stop = true;
}

void PendingError::RaiseIfPending()
{
    if (error) {
        py::error_already_set e = std::move(*error);
        error.reset();
        throw e;
    }
}

bool SleepUntil(std::chrono::steady_clock::time_point until)
{
    using Clock = std::chrono::steady_clock;
    for (;;) {
        if (PyErr_CheckSignals() != 0)
            return false;
        const auto now = Clock::now();
        if (now >= until)
            return true;
        py::gil_scoped_release release;
        std::this_thread::sleep_for(std::min<Clock::duration>(until - now, kSignalStep));
    }
}

struct SignalsToMainThread::Saved {
    sigset_t previous;
};

SignalsToMainThread::SignalsToMainThread() : saved(new Saved)
{
    sigset_t block;
    sigemptyset(&block);
    for (int s : {SIGINT, SIGTERM, SIGALRM, SIGHUP, SIGUSR1, SIGUSR2, SIGCHLD})
        sigaddset(&block, s);
    pthread_sigmask(SIG_BLOCK, &block, &saved->previous);
}

SignalsToMainThread::~SignalsToMainThread()
{
    pthread_sigmask(SIG_SETMASK, &saved->previous, nullptr);
}

}  // namespace servobus
