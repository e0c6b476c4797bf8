#include "cli/ScopedSignal.h"

#include <csignal>

struct ScopedSignal::Previous {
    void (*handler)(int) = SIG_DFL;
};

ScopedSignal::ScopedSignal(int s, void (*handler)(int)) : signal(s), previous(new Previous)
{
    const auto old = std::signal(signal, handler);
    if (old != SIG_ERR)
        previous->handler = old;
}

ScopedSignal::~ScopedSignal()
{
    std::signal(signal, previous->handler);
}
