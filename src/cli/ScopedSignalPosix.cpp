#include "cli/ScopedSignal.h"

#include <csignal>

struct ScopedSignal::Previous {
    struct sigaction action {};
};

ScopedSignal::ScopedSignal(int s, void (*handler)(int)) : signal(s), previous(new Previous)
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, &previous->action);
}

ScopedSignal::~ScopedSignal()
{
    ::sigaction(signal, &previous->action, nullptr);
}
