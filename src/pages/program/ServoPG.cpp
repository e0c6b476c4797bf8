#include "pages/program/ServoPG.h"

ServoPG::ServoPG(ModelCatalogue& c, std::recursive_mutex& lock, ZNServo& p, CServoMain& m,
                 QWidget* parent)
    : QWidget(parent), catalogue(c), busLock(lock), protocol(p), mainWindow(m)
{
}

ServoPG::~ServoPG()
{
    StopPolling();
}

void ServoPG::SelectServo(int id, const ModelKey&)
{
    selectedId = id;
}

void ServoPG::StartPolling()
{
    if (!pollTimer)
        pollTimer = PeriodicTimer::Start(kPollPeriodMs, &ServoPG::PollMemory, this);
}

void ServoPG::StopPolling()
{
    if (pollTimer)
        pollTimer->Stop();
    pollTimer.reset();
}

void ServoPG::PollMemory(void*)
{
    // The memory-table read is not built yet.
}
