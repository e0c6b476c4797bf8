#pragma once
// The programming page ("编程"): the selected servo's memory table, polled every 100 ms
// while the page is shown. This is its frame: selection and the poll's timer; the table,
// the parameter editing and the files are still to come.

#include "catalogue/ModelCatalogue.h"
#include "protocol/ZNServo.h"
#include "support/PeriodicTimer.h"

#include <QWidget>

#include <atomic>
#include <mutex>

class CServoMain;

class ServoPG : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPollPeriodMs = 100;

    ServoPG(ModelCatalogue& catalogue, std::recursive_mutex& busLock, ZNServo& protocol,
            CServoMain& mainWindow, QWidget* parent = nullptr);
    ~ServoPG() override;

    void SelectServo(int id, const ModelKey& key);
    void StartPolling();
    void StopPolling();
    bool IsPolling() const { return poll.Running(); }
    int SelectedId() const { return selectedId; }

private:
    static void PollMemory(void* page);

    ModelCatalogue& catalogue;
    std::recursive_mutex& busLock;
    ZNServo& protocol;
    CServoMain& mainWindow;
    std::atomic<int> selectedId{0};
    PollSwitch poll;
};
