#pragma once
// The debug page ("调试"): drives the selected servo and polls its feedback every 50 ms.
// This is its frame: selection and the feedback poll's timer; the controls, the feedback
// read and the curves are still to come.

#include "catalogue/ModelCatalogue.h"
#include "protocol/ZNServo.h"
#include "support/PeriodicTimer.h"

#include <QWidget>

#include <atomic>
#include <mutex>

class CRobotDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPollPeriodMs = 50;

    CRobotDlg(ModelCatalogue& catalogue, std::recursive_mutex& busLock, ZNServo& protocol,
              QWidget* parent = nullptr);
    ~CRobotDlg() override;

    void SelectServo(int id, const ModelKey& key);
    void StartPolling();
    void StopPolling();
    bool IsPolling() const { return poll.Running(); }
    int FirstId() const { return firstId; }

private:
    static void PollFeedback(void* page);

    ModelCatalogue& catalogue;
    std::recursive_mutex& busLock;
    ZNServo& protocol;
    std::atomic<int> firstId{0};
    PollSwitch poll;
};
