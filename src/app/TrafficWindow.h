#pragma once
// The traffic inspector, "通信记录": every packet in and out of the bus, in order, decoded,
// with filters by ID and operation, pause, clear and CSV export. While it is shown the bus
// records its traffic; it pulls what is new on a timer, so the bus never waits for it.

#include "app/TrafficModel.h"

#include <QDialog>

#include <cstdint>

class PageHost;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class ServoBus;

class CTrafficWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPullMs = 100;
    // At most this many records per pull: a full log comes in over a few ticks.
    static constexpr size_t kPullBatch = 20000;

    CTrafficWindow(ServoBus& bus, PageHost& host, QWidget* parent = nullptr);
    ~CTrafficWindow() override;

    // Takes what the log has that the rows lack (the timer does this; tests call it too).
    void Pull();
    // Writes the shown rows as CSV (UTF-8, with a header); false when the file can't be
    // written.
    bool ExportCsv(const QString& path) const;
    bool Paused() const { return paused; }
    TrafficModel& Model() { return model; }

    QLineEdit* idFilter = nullptr;
    QComboBox* operationFilter = nullptr;
    QPushButton* pauseButton = nullptr;
    QPushButton* clearButton = nullptr;
    QPushButton* exportButton = nullptr;
    QTableView* table = nullptr;
    QLabel* statusLabel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnFilterChanged();
    void OnPause();
    void OnClear();
    void OnExport();
    void ShowCounts();

    ServoBus& bus;
    PageHost& host;
    TrafficModel model;
    QTimer* timer = nullptr;
    uint64_t next = 0;  // the log's sequence number the next pull starts at
    bool paused = false;
};
