#pragma once
// The debug page's step test ("阶跃测试"): the selected servo moved to a start position, then
// stepped to a target and read back to back, once per repeat and per value of a swept gain;
// every run's position drawn over the others against time since the step, its figures in a
// table, the lot exported as CSV or PNG. The test runs as one job of the bus owner; each run
// comes back as a queued call, and "停止" ends it with the swept value written back.

#include "bus/ServoBus.h"
#include "catalogue/ModelTypes.h"
#include "plot/StepPlotGeometry.h"
#include "pages/PageHost.h"
#include "servo/DebugTarget.h"
#include "servo/StepTest.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;
class ServoProgram;
class StepPlot;
class ModelCatalogue;

class StepTestDialog : public QDialog {
    Q_OBJECT
public:
    // The servo the dialog tests, as the page has it selected.
    struct Servo {
        int id = 0;
        ModelKey key{};
        DebugTarget target;
        std::vector<MemoryItem> rows;  // its memory table; the gains to sweep come from it
        int maxPosition = 4095;        // the highest target the page offers
    };

    StepTestDialog(PageHost& host, ModelCatalogue& catalogue, QWidget* parent = nullptr);
    ~StepTestDialog() override;

    // Takes the servo for the next start (a running test keeps its own).
    void SetServo(const Servo& servo);
    bool Running() const { return running; }
    // The runs of the last test so far, samples and figures.
    const std::vector<StepRun>& Results() const { return results; }

signals:
    // The test ended (finished, stopped or failed), after its last run was shown.
    void testEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void OnStartStop();
    void Start();
    void Stop();
    // The sweep's values as typed, checked against the chosen row; false after a message.
    bool SweepValues(std::vector<SweepAxis>& axes);
    // From the running test, as queued calls on the window's thread.
    void OnRunStarted(int run, const std::vector<int>& values);
    void OnSamples(int run, const std::vector<StepPoint>& points);
    void OnRunDone(const StepRun& run);
    void OnEnded(const SweepReport& report);
    QString Legend(int run, const std::vector<int>& values) const;
    void ShowFigures(const StepRun& run);
    void OnSweepChosen();
    void OnExportCsv();
    void OnExportImage();
    void ShowState();
    void Warning(const QString& text);

    PageHost& host;
    ServoBus& bus;
    // Reads the servo's table and image and writes its swept values, inside the test's job.
    std::unique_ptr<ServoProgram> program;
    Servo servo;
    std::vector<MemoryItem> sweepRows;  // the combo's rows after "不扫描"

    QSpinBox* startEdit = nullptr;
    QSpinBox* targetEdit = nullptr;
    QDoubleSpinBox* durationEdit = nullptr;
    QSpinBox* repeatsEdit = nullptr;
    QComboBox* sweepCombo = nullptr;
    QLineEdit* valuesEdit = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* csvButton = nullptr;
    QPushButton* imageButton = nullptr;
    QPushButton* closeButton = nullptr;
    QLabel* status = nullptr;
    StepPlot* plot = nullptr;
    QTableWidget* table = nullptr;

    bool running = false;  // the window's thread's
    // The running or last test: what it sweeps, its name, and every run that came back.
    std::vector<SweepAxis> axes;
    QString sweptName;
    std::vector<StepRun> results;
    // Read by the running test between exchanges; a fresh one for every test, so a stop of
    // one never reaches the next.
    std::shared_ptr<std::atomic<bool>> stop;
};
