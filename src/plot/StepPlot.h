#pragma once
// The step test's plot: the position of every run against time since its step, drawn over
// one another, each in its own colour, with the start, the target and its settling band
// dashed behind them, round ticks on both axes and a legend to the right. Belongs to the
// window's thread: the dialog hands it a run's samples as they come and whole when it is over.

#include "plot/StepPlotGeometry.h"

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

class StepPlot : public QWidget {
    Q_OBJECT
public:
    explicit StepPlot(QWidget* parent = nullptr);

    // The colour of run `index` (from 0): ten that tell apart on white, then again.
    static QColor RunColour(int index);

    // What every run shares: the time span drawn, the position it starts from, the target
    // and the half width of the settling band around it.
    void SetFrame(double durationMs, int start, int target, double band);
    // A run's legend and samples; a run still going gets its samples as they come.
    void AddRun(const QString& legend, std::vector<StepPoint> points = {});
    void Append(int run, const std::vector<StepPoint>& points);
    // A run's samples whole, once it is over.
    void SetPoints(int run, std::vector<StepPoint> points);
    void Clear();
    int Runs() const { return static_cast<int>(runs.size()); }
    QStringList Legend() const;
    // The plot as shown.
    QImage Picture();

    QSize sizeHint() const override { return {620, 340}; }
    QSize minimumSizeHint() const override { return {360, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Run {
        QString legend;
        std::vector<StepPoint> points;
        std::vector<std::pair<double, double>> drawn;  // its points on the axes of `drawnFor`
        bool dirty = true;  // `drawn` is not of its points yet
        int least = 0, greatest = -1;  // its extreme values; none while greatest < least
    };
    // Lays out the axes for the widget's size and the runs; recomputes the drawn points of the
    // runs that changed, of all when the axes did.
    void Layout();
    void DrawAxes(QPainter& p);
    void DrawLegend(QPainter& p);
    void UpdateDescription();
    static void Extend(Run& run, const std::vector<StepPoint>& points);

    std::vector<Run> runs;
    double durationMs = 1000;
    int start = 0;
    int target = 0;
    double band = 0;
    StepAxes axes;
    StepAxes drawnFor;  // the axes the runs' drawn points were made for
    int legendWidth = 0;
};
