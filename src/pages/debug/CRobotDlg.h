#pragma once
// The debug page ("调试"): position commands and the torque switch for the selected servo or
// an ID range in three write modes, and its feedback polled every 50 ms, shown as numbers
// and as curves.

#include "catalogue/ModelCatalogue.h"
#include "servo/DebugTarget.h"
#include "servo/FeedbackCapture.h"
#include "servo/FeedbackSamples.h"
#include "servo/RecordingWriter.h"
#include "servo/PositionCommand.h"
#include "bus/ServoBus.h"
#include "pages/Page.h"
#include "pages/PageHost.h"

#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CPIC;
class StepTestDialog;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QAction;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;

class CRobotDlg : public QWidget, public Page {
    Q_OBJECT
public:
    static constexpr int kPollPeriodMs = 50;
    // With Ctrl, shows the hidden controls; never reaches a control of the page.
    static constexpr Qt::Key kHiddenControlsKey = Qt::Key_H;

    CRobotDlg(ModelCatalogue& catalogue, PageHost& host, QWidget* parent = nullptr);
    ~CRobotDlg() override;

    // The servo the page drives and polls, and how its commands are coded.
    void SelectServo(int id, const ModelKey& key, const ServoProfile& profile);
    void StartPolling() override;
    void StopPolling() override;
    bool IsPolling() const { return poll->Running(); }
    int FirstId() const { return firstId; }
    int LastId() const { return lastId; }
    DebugProfile Profile() const;

    // Ends the feedback recording, if one runs (the port closed).
    void StopRecording();
    bool IsRecording() const { return recorder.Recording(); }

    // Called at the start of every poll, on the bus's thread; set only while the poll is
    // stopped (for measurements).
    void SetTickObserver(std::function<void()> observer) { tickObserver = std::move(observer); }
    long long PollsAnswered() const { return answered; }
    long long PollsTimedOut() const { return timedOut; }

    // Fast capture ("高速采集"): the selected servo's feedback read back to back in place of
    // the 50 ms poll, drawn against time, shown and recorded at the screen's refresh rate.
    // Only while the page polls an open port; leaving the page, a search or closing the port
    // switches it off, and switching it off brings the 50 ms poll back.
    void SetFastCapture(bool on);
    bool FastCapture() const { return fastCapture; }
    long long SamplesCaptured() const { return captured; }
    // Every feedback sample the poll and the capture read, in raw units, for whoever wants to
    // follow them.
    const FeedbackSamples& Samples() const { return samples; }

    // The step test ("阶跃测试"), made at its first use.
    StepTestDialog& StepDialog();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PollOnce(BusAccess& access);
    DebugTarget Target() const;
    // On the bus's thread: one sample into the series; for a polled one the window is told to
    // read, once until it has read.
    void HandOver(const CaptureSample& sample, SampleKind kind);
    // On the window's thread: the samples since the last read to the fields and the recording,
    // and a repaint of the plot.
    void TakeSamples();
    void ShowPolled(const std::vector<CaptureSample>& polled);
    void ShowCaptured(const std::vector<CaptureSample>& captured);
    void ShowFields(const Feedback& f);
    // Fast capture (FastCapture.cpp): one read on the bus's thread; a frame on the window's.
    void CaptureOnce(BusAccess& access);
    void OnCaptureFrame();
    void EndCapture();
    void RecordingFailed(const std::string& error);

    void BuildControls();
    WriteMode CurrentMode() const;
    void Issue(int target, int speed, int time, int acceleration);
    void OnSet();
    // Opens the step test for the selected servo.
    void OnStepTest();
    // The step test's servo: the selected one (unless a test runs).
    void UpdateStepServo();
    void OnTargetScroll();
    void OnTorque();
    void OnExecute();
    void OnModeClicked(int mode);
    void OnIdChanged(const QString& text);
    void OnLastChanged(const QString& text);
    void OnChannelClicked(int channel, bool ticked);
    bool HiddenControlsKey(QKeyEvent* key);

    // The plot's menu and the recording (PlotMenu.cpp).
    void BuildPlotMenu();
    void UpdatePlotMenu();
    void OnExportCsv();
    void OnExportImage();
    void OnRecord();
    // One poll's result on the window's thread: its feedback, or none without an answer.
    void RecordPoll(const Feedback* answer);
    QString AskSaveFile(const QString& title, const QString& filter, const QString& suffix);
    void Warning(const QString& title, const QString& text);

    CPIC* plot = nullptr;
    QCheckBox* channelBoxes[6] = {};  // in the plot's channel order
    QSlider* shiftSlider = nullptr;
    QSlider* spacingSlider = nullptr;
    QLineEdit* idEdit = nullptr;
    QLineEdit* lastEdit = nullptr;
    QCheckBox* torqueBox = nullptr;
    QRadioButton* modeButtons[3] = {};
    QPushButton* executeButton = nullptr;
    QSlider* targetSlider = nullptr;
    QLineEdit* accelerationEdit = nullptr;
    QLineEdit* targetEdit = nullptr;
    QLineEdit* speedEdit = nullptr;
    QLineEdit* timeEdit = nullptr;
    QPushButton* setButton = nullptr;
    QPushButton* stepButton = nullptr;
    StepTestDialog* stepDialog = nullptr;
    ModelKey selectedKey{};  // of the selected servo: its memory table gives the step test's gains
    QLineEdit* voltageField = nullptr;
    QLineEdit* temperatureField = nullptr;
    QLineEdit* loadField = nullptr;
    QLineEdit* speedField = nullptr;
    QLineEdit* positionField = nullptr;
    QLineEdit* currentField = nullptr;
    QLineEdit* movingField = nullptr;
    QLineEdit* statusField = nullptr;
    QLineEdit* targetField = nullptr;
    QLabel* targetLabel = nullptr;
    // The plot's menu: "暂停"/"继续", "导出 CSV...", "导出图片...", "清除",
    // "开始记录..."/"停止记录".
    QMenu* plotMenu = nullptr;
    QAction* pauseAction = nullptr;
    QAction* exportCsvAction = nullptr;
    QAction* exportImageAction = nullptr;
    QAction* clearAction = nullptr;
    QAction* recordAction = nullptr;
    QAction* fastCaptureAction = nullptr;

    ModelCatalogue& catalogue;
    PageHost& host;
    ServoBus& bus;
    // How the selected servo is polled and commanded; set on the window's thread, read by
    // jobs.
    mutable std::mutex targetMutex;
    DebugTarget target;
    std::atomic<int> firstId{0};
    std::atomic<int> lastId{10};
    std::atomic<long long> answered{0};
    std::atomic<long long> timedOut{0};
    std::function<void()> tickObserver;
    QButtonGroup* modeGroup = nullptr;
    RecordingWriter recorder;  // fed by the window's thread, written on its own
    int recordingRun = 0;  // counts the recordings begun, to tell whose failure is reported
    std::unique_ptr<ServoBus::Periodic> poll;  // the feedback poll, a periodic job of the bus
    std::unique_ptr<ServoBus::Periodic> capture;  // the fast capture, back to back
    bool fastCapture = false;  // the window's thread's
    std::atomic<bool> capturing{false};  // a capture job reads only while set
    std::atomic<long long> captured{0};
    // Every sample of the poll and the capture, handed over once by the bus's thread: the one
    // series the plot, the fields, the recording and the CSV exports read.
    FeedbackSamples samples;
    std::atomic<bool> noticed{false};  // the window has been told of samples it has yet to read
    // The window's thread's: how far it has read, and the samples of its last read.
    long long samplesRead = 0;
    std::vector<CaptureSample> batch;
    CaptureSample::Clock::time_point captureStart;
    QTimer* frameTimer = nullptr;
    long long rateCount = 0;
    std::chrono::steady_clock::time_point rateSince;
};
