#pragma once
// The programming page ("编程"): the selected servo's memory table, read live every 100 ms
// while the page is shown; single values written behind the EPROM lock flag; parameter
// files; the factory restore, angle reset and the risk operation (Ctrl+R). The work itself
// is ServoProgram's; this is its window.

#include "catalogue/ModelCatalogue.h"
#include "servo/ServoProgram.h"
#include "pages/PageHost.h"
#include "pages/Page.h"

#include <QWidget>

#include <atomic>
#include <memory>
#include <mutex>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

class ServoPG : public QWidget, public Page {
    Q_OBJECT
public:
    static constexpr int kPollPeriodMs = 100;
    // The risk key; taken by the page with or without Ctrl.
    static constexpr Qt::Key kRiskKey = Qt::Key_R;

    ServoPG(ModelCatalogue& catalogue, PageHost& host, QWidget* parent = nullptr);
    ~ServoPG() override;

    void SelectServo(int id, const ModelKey& key, const ServoProfile& profile);
    void StartPolling() override;
    void StopPolling() override;
    bool IsPolling() const { return poll->Running(); }
    int SelectedId() const { return program.SelectedId(); }
    // Poll ticks run so far, for a look at the bus traffic per tick.
    long long PollTicks() const { return pollTicks; }

    // Puts one poll's results into the list and the status box (UI thread).
    void ShowPoll(const PollReport& report);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void PollMemory(BusAccess& access);
    void BuildControls();
    // Key handling shared by the page and its controls; true when the key is taken.
    bool TakeKeyPress(QKeyEvent* event);
    void NoteKeyRelease(QKeyEvent* event);
    void ChooseRow(int row);
    void OnWrite();
    void OnSaveParameters();
    void OnLoadParameters();
    void OnRestoreParameters();
    void OnResetAngle();
    void OnRiskOperation();
    void OnCalibrate();
    void Tell(const QString& caption, const QString& text);
    // A failure that was a rate change refused on another program's bus is told as that,
    // naming the program; else `text`.
    void TellFailure(const QString& caption, const QString& text);
    // Runs `work` as a bus job and shows its outcome with `tell` on this window's thread.
    void Submit(std::function<bool(BusAccess&)> work, std::function<void(bool)> tell);

    PageHost& host;
    ModelCatalogue& catalogue;
    // Whether the write button saves (an EPROM item) or sets: its caption only shows it.
    bool writeSaves = false;
    ServoProgram program;
    std::unique_ptr<ServoBus::Periodic> poll;  // the memory poll, a periodic job of the bus
    std::atomic<long long> pollTicks{0};

    QPushButton* saveButton = nullptr;
    QPushButton* loadButton = nullptr;
    QPushButton* restoreButton = nullptr;
    QPushButton* resetAngleButton = nullptr;
    QPushButton* calibrateButton = nullptr;
    QTableWidget* list = nullptr;
    QPlainTextEdit* statusBox = nullptr;
    QLabel* itemLabel = nullptr;
    QLineEdit* valueEdit = nullptr;
    QPushButton* writeButton = nullptr;
};
