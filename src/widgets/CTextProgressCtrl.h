#pragma once
// A progress bar that paints itself: the done part, the rest, and over both, centred, the
// percentage (or a text set in its place) in two colours, each the other part's fill, clipped
// at the bar's edge so it reads on both sides. It keeps its own range, position and step and
// repaints only when the done part's width in pixels changes.
//
// There is no separate off-screen surface: a Qt widget already paints into the window's
// backing store, an off-screen picture that reaches the screen in one copy, so the bar never
// shows half-drawn; a pixmap of our own would only add a second copy.
//
// SetPos and StepIt may be called from any thread (the firmware transfer's worker); the
// painting and the base class's own range and value stay on the widget's thread.

#include <QColor>
#include <QProgressBar>
#include <QString>

#include <atomic>

class CTextProgressCtrl : public QProgressBar {
    Q_OBJECT
public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    // Store only; nothing is repainted. Nothing is checked or clamped.
    void SetRange(int lower, int upper);
    void SetStep(int step);
    // Returns the previous position. Repaints, before returning on the widget's thread and as
    // soon as that thread gets to it from others, when the done part's width changes.
    int SetPos(int pos);
    int StepIt();

    // The text shown instead of the percentage; empty brings the percentage back. Setting
    // the same text again changes nothing.
    void SetWindowText(const QString& text);
    QString GetWindowText() const { return overrideText; }

    int Pos() const { return pos; }
    int Step() const { return step; }
    int Lower() const { return lower; }
    int Upper() const { return upper; }
    int BarWidthCache() const { return barWidthCache; }
    void SetShowText(bool on);
    // How often the bar has painted itself; a repaint that was not needed shows here.
    long long Paints() const { return paints; }

    QColor barColour, backColour, textOnBackColour, textOnBarColour;

    // What the bar shows, for assistive technology.
    QString text() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The done part's width for a position on a client area `width` pixels wide.
    int BarWidth(int position, int width) const;
    QString ShownText() const;
    // Brings QProgressBar's own range and value in step with ours, without its repaints.
    void SyncBase();

    std::atomic<int> pos{0};
    std::atomic<int> step{1};
    std::atomic<int> upper{100};
    std::atomic<int> lower{0};
    std::atomic<int> barWidthCache{-1};
    std::atomic<int> clientWidth{0};
    std::atomic<long long> paints{0};
    QString overrideText;
    bool showText = true;
    bool syncingBase = false;
};
