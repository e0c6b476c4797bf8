#pragma once
// The motion window ("动作"), a window of its own: a motion's keyframes (pose, time, hold),
// teaching ("记录姿态" reads the chosen servos once and appends their pose; "松开扭矩" lets
// them be posed by hand), playback ("播放", "停止", "循环", the speed factor) and a plot of
// every servo's targets with the playback's position. Every bus operation is a job of the
// bus owner whose result comes back as a queued call; the player is the core's periodic job,
// so the window never waits for the bus.
//
// Open it with `new MotionWindow(host, catalogue, parent)` and show() it; it stays until its
// parent goes (closing it hides it and stops a playing motion, holding).

#include "pages/PageHost.h"
#include "servo/MotionPlayer.h"

#include <QWidget>

#include <memory>

class ModelCatalogue;
class MotionPlot;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTimer;

class MotionWindow : public QWidget {
    Q_OBJECT
public:
    MotionWindow(PageHost& host, ModelCatalogue& catalogue, QWidget* parent = nullptr);
    ~MotionWindow() override;

    // The motion as the list shows it (times and holds as edited).
    Motion CurrentMotion() const;
    void SetMotion(const Motion& motion);
    bool Playing() const { return player.Running(); }
    // Opens or saves a motion file; false (and the status says why) when it can't.
    bool LoadFile(const QString& path);
    bool SaveFile(const QString& path);

signals:
    // A teach, a release or a playback came back from the bus.
    void busDone();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void Teach();
    void Release();
    void Play();
    void Stop();
    void OnEnded(const MotionStatus& status);
    void ShowState();
    void ShowStatus(const QString& text);
    // The IDs typed, or none (and the status says why).
    std::vector<uint8_t> ChosenIds();
    void Refresh();

    PageHost& host;
    ServoBus& bus;
    ModelCatalogue& catalogue;
    MotionPlayer player;
    Easing easing = Easing::MinimumJerk;
    std::vector<Pose> poses;  // one per row of the list
    bool busy = false;        // a teach, release or start is on the bus

    QLineEdit* idsEdit = nullptr;
    QPushButton* teachButton = nullptr;
    QPushButton* releaseButton = nullptr;
    QPushButton* removeButton = nullptr;
    QTableWidget* list = nullptr;
    QComboBox* easingBox = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* stopButton = nullptr;
    QCheckBox* loopBox = nullptr;
    QDoubleSpinBox* speedBox = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* saveButton = nullptr;
    MotionPlot* plot = nullptr;
    QLabel* status = nullptr;
    QTimer* tick = nullptr;
};
