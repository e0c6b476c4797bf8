#include "pages/debug/CRobotDlg.h"

CRobotDlg::CRobotDlg(ModelCatalogue& c, std::recursive_mutex& lock, ZNServo& p, QWidget* parent)
    : QWidget(parent), catalogue(c), busLock(lock), protocol(p)
{
    StartPolling();
}

CRobotDlg::~CRobotDlg()
{
    StopPolling();
}

void CRobotDlg::SelectServo(int id, const ModelKey&)
{
    firstId = id;
}

void CRobotDlg::StartPolling()
{
    poll.Start(kPollPeriodMs, &CRobotDlg::PollFeedback, this);
}

void CRobotDlg::StopPolling()
{
    poll.Stop();
}

void CRobotDlg::PollFeedback(void*)
{
    // The feedback read and its display are not built yet; the timer already runs so the
    // window's start and stop rules around it hold.
}
