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
    poll.Start(kPollPeriodMs, &ServoPG::PollMemory, this);
}

void ServoPG::StopPolling()
{
    poll.Stop();
}

void ServoPG::PollMemory(void*)
{
    // The memory-table read is not built yet.
}
