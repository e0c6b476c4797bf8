#pragma once
// The motion window's plot: each servo's targets against time as the playback's timeline
// gives them (one pass, or the first two loops of a looping one), and the playback's position
// as a vertical line.

#include "servo/Motion.h"

#include <QWidget>

#include <memory>

class MotionPlot : public QWidget {
    Q_OBJECT
public:
    explicit MotionPlot(QWidget* parent = nullptr);

    void SetTimeline(std::shared_ptr<const MotionTimeline> timeline);
    // Where the playback is, ms into the timeline; negative hides the line.
    void SetPosition(double ms);
    QSize sizeHint() const override { return {520, 220}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::shared_ptr<const MotionTimeline> timeline;
    double position = -1;
};
