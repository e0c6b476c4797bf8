#pragma once
// The bus overview ("总线概览"), a window of its own: one row per servo (feedback, status, link
// statistics, age of the last answer) polled round robin by one periodic job of the bus
// owner beside the debug page's poll, a line for the whole bus, and the alarms of each
// servo's health, latched red until "确认". With no servo known it starts with a scan over
// every rate. The jobs hand their readings over under a short lock and the window takes them
// on a timer, so neither ever waits for the other.
//
// Open it with `new OverviewWindow(host, catalogue, board, parent)` and show() it; closing it
// hides it and stops its poll.

#include "pages/PageHost.h"
#include "servo/BusOverview.h"
#include "servo/MetricsBoard.h"

#include <QWidget>

#include <atomic>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

class ModelCatalogue;
class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

class OverviewWindow : public QWidget {
    Q_OBJECT
public:
    // How often the window takes the readings and refreshes its rows.
    static constexpr int kRefreshMs = 100;

    OverviewWindow(PageHost& host, ModelCatalogue& catalogue, std::shared_ptr<MetricsBoard> board,
                   QWidget* parent = nullptr);
    ~OverviewWindow() override;

    // Starts watching: the servos the main window's search found, the ones watched before,
    // or a scan over every rate first. Showing the window does it.
    void StartPolling();
    // Stops the poll (a running scan ends before its next probe); the rows stay.
    void StopPolling();
    bool Polling() const { return poll != nullptr; }

    // Clears every latched alarm whose cause has gone ("确认").
    void Acknowledge();
    // Writes the rows as servoctl health --csv does; false when the file can't be written.
    bool ExportCsv(const QString& path) const;
    // Keeps a log of every reading in `path` (empty: stops); false when it can't be written.
    bool SetLogFile(const QString& path);
    // Takes the readings waiting and refreshes the rows (the timer does this; tests call it).
    void Refresh();

signals:
    // The scan and the identification came back: the rows stand, the poll runs (or none
    // answered).
    void watching();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Row {
        OverviewServo servo;
        ServoHealth health;
        Feedback last;
        bool fresh = false;         // the last poll answered
        long long answeredMs = -1;  // when it last answered, on the round's clock
    };
    // What the bus jobs share with the window: taken under the mutex, for a copy or an insert.
    struct Shared {
        explicit Shared(OverviewRound::Clock::time_point epoch) : round(epoch) {}
        OverviewRound round;  // the bus thread's alone
        std::mutex mutex;
        std::vector<OverviewReading> readings;
        std::atomic<bool> stop{false};
    };

    void BuildControls();
    void Setup(std::vector<int> ids);
    // The scan or the identification ended unfinished (the port or the window closing).
    void OnSetupDropped();
    void OnWatching(std::vector<OverviewServo> servos, std::vector<ScanFinding> found, bool scanned, int rate);
    void Take(const OverviewReading& reading);
    void ShowRows();
    void ShowBusLine();
    void Publish();
    long long NowMs() const;

    PageHost& host;
    ServoBus& bus;
    ModelCatalogue& catalogue;
    std::shared_ptr<MetricsBoard> board;
    const OverviewRound::Clock::time_point epoch;
    std::shared_ptr<Shared> shared;
    std::unique_ptr<ServoBus::Periodic> poll;
    bool settingUp = false;  // a scan or an identification is on the bus
    std::vector<Row> rows;
    std::vector<int> doubled;  // IDs where two servos may answer, as the scan found them
    std::ofstream log;

    QLabel* busLine = nullptr;
    QTableWidget* table = nullptr;
    QPushButton* scanButton = nullptr;
    QPushButton* acknowledgeButton = nullptr;
    QPushButton* exportButton = nullptr;
    QCheckBox* logBox = nullptr;
    QLabel* status = nullptr;
    QTimer* timer = nullptr;
};
