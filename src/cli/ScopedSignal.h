#pragma once
// A signal handler for the time a command runs: `handler` takes the signal while the object
// lives, and the handling from before comes back when it ends. On POSIX systems a blocking
// call the signal interrupts returns (no restart), so a loop sees its flag soon; on Windows
// the C runtime's signal() serves (SIGINT arrives on a thread of its own there).

#include <memory>

class ScopedSignal {
public:
    ScopedSignal(int signal, void (*handler)(int));
    ~ScopedSignal();
    ScopedSignal(const ScopedSignal&) = delete;
    ScopedSignal& operator=(const ScopedSignal&) = delete;

private:
    struct Previous;
    int signal;
    std::unique_ptr<Previous> previous;
};
