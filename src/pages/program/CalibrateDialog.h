#pragma once
// "校准": calibrating the found servos from the programming page. A table of the servos (ID,
// model, live position, correction, limits, a bar of the travel recorded), "设为中位" for the
// selected servos (or all), "记录行程" started and stopped, "写入" for the recorded travel,
// "撤销". The work is the core's calibration, run as jobs on the bus owner; the results come
// back to this window's thread.

#include "catalogue/ModelCatalogue.h"
#include "pages/PageHost.h"
#include "servo/Calibration.h"

#include <QDialog>

#include <memory>
#include <vector>

class QPlainTextEdit;
class QPushButton;
class QTableWidget;

class CalibrateDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPollPeriodMs = 200;

    CalibrateDialog(ModelCatalogue& catalogue, PageHost& host, std::vector<uint8_t> ids,
                    QWidget* parent = nullptr);
    ~CalibrateDialog() override;

    // The dialog's caption, also the programming page's button that opens it.
    static QString Caption();
    // One servo's outcome in the window's words.
    static QString Outcome(const CalibrationResult& r);

    QTableWidget* table = nullptr;
    QPushButton* middleButton = nullptr;
    QPushButton* recordButton = nullptr;
    QPushButton* writeButton = nullptr;
    QPushButton* undoButton = nullptr;
    QPlainTextEdit* messages = nullptr;

private:
    struct State;
    void BuildControls();
    // The IDs of the selected rows, else every ID.
    std::vector<uint8_t> Chosen() const;
    void OnMiddle();
    void OnRecord();
    void OnWrite();
    void OnUndo();
    // Runs `work` as a bus job, then `done` with its results on this window's thread.
    void Submit(JobKind kind, std::function<std::vector<CalibrationResult>(BusAccess&, State&)> work,
                std::function<void(const std::vector<CalibrationResult>&)> done);
    void ShowRows(const std::vector<CalibrationResult>& rows);
    void ShowReadings(const std::vector<std::optional<int>>& readings);
    void Report(const std::vector<CalibrationResult>& results);
    void SetBusy(bool busy);
    int RowOf(int id) const;

    PageHost& host;
    std::shared_ptr<State> state;
    std::unique_ptr<ServoBus::Periodic> poll;
    std::vector<CalibrationResult> recorded;
    std::vector<TravelTrack> live;
    std::vector<int> spans;
    bool recording = false;
};
