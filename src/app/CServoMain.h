#pragma once
// The main window: port settings, the servo search and list, and the tab control with the
// three pages. It owns what the pages share: the catalogue and the pages; the bus owner (port,
// protocol and bus thread) comes from the application object. Everything that talks to the
// bus is a job: the window never waits for it.

#include "app/ServoSearch.h"
#include "catalogue/CatalogueLocation.h"
#include "catalogue/ModelCatalogue.h"
#include "pages/PageHost.h"
#include "bus/BusShare.h"
#include "widgets/Dialogs.h"

#include <QDialog>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class CRobotDlg;
class Page;
class CTrafficWindow;
class MotionWindow;
class MetricsBoard;
class OverviewWindow;
class ServoPG;
class ServoTest;

struct PortInfo;

class CServoMain : public QDialog, public PageHost {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "ZOVorid Aveva V1.9.3";

    explicit CServoMain(ServoBus& bus, QWidget* parent = nullptr);
    ~CServoMain() override;

    // Shows baud-list entry `code` as selected; the port runs at it already, or at `running`
    // when the driver refused it (the status field says so).
    void ShowBaud(int code, int running) override;

    // Puts a port name at the top of the port list and selects it (the demo bus).
    void AddPortFirst(const QString& name);
    // The launch options: selects `rate` (0: leaves the list as it is) and, with a `name`,
    // opens that port as "打开" does.
    void OpenAtStart(const QString& name, int rate);
    // Fills the port list from the names in the order the system enumerated them: the last
    // one stands first and is selected.
    void FillPortList(const std::vector<std::string>& names);
    // The same from described ports, in the order given: a port the system names (Windows:
    // its device's friendly name and maker) shows "COM7 - USB Serial Port (Maker)", and its
    // name alone is what opens.
    void FillDescribedPorts(const std::vector<PortInfo>& ports);

    // Stops a search and the polls, drops what is queued for the bus, waits for the running
    // exchange and closes the port; the window's close does it too.
    void Shutdown();

    // While a firmware transfer has the bus, nothing else may start on it: the tabs, the
    // search and the open/close button are disabled.
    void SetTransferRunning(bool running) override;

    // For the pages and the tests.
    ServoBus& Bus() override { return bus; }
    ModelCatalogue& Catalogue() { return catalogue; }
    CRobotDlg& DebugPage() { return *debugPage; }
    ServoPG& ProgramPage() { return *programPage; }
    ServoTest& UpgradePage() { return *upgradePage; }
    // The traffic inspector (Ctrl+L); made on its first opening.
    void ShowTraffic();
    CTrafficWindow* TrafficWindow() { return trafficWindow; }
    // The motion window, "动作" (Ctrl+M): poses taught by hand, played back in step.
    void ShowMotion();
    MotionWindow* Motion() { return motionWindow; }
    // The bus overview, "总线概览" (Ctrl+B): every servo's feedback, link statistics and alarms.
    void ShowOverview();
    OverviewWindow* Overview() { return overviewWindow; }
    // What the overview shows, for a metrics server on other threads (--metrics).
    const std::shared_ptr<MetricsBoard>& Metrics() const { return metricsBoard; }
    MessageBoxes& Messages() override { return *messages; }
    FileDialogs& Files() override { return *files; }
    void SetDialogs(std::unique_ptr<MessageBoxes> m, std::unique_ptr<FileDialogs> f);
    bool PortOpen() const { return portOpen != 0; }
    bool Searching() const override { return searching; }
    // The profile of the servo last clicked in the list.
    ServoProfile SelectedProfile() const { return selectedProfile; }
    const std::vector<ModelKey>& FoundServos() const { return found; }
    std::vector<int> FoundIds() const override
    {
        std::vector<int> ids;
        for (const ModelKey& key : found)
            ids.push_back(key[addr::kId]);
        return ids;
    }
    std::vector<int> DoubledIds() const override { return doubledIds; }

    // What the window's own controls do, for the drivers of the demo and of the pictures:
    // a click on "打开"/"关闭" and on "搜索"/"停止", a click on a row of the servo list
    // (`mark` selects the row too, as the mouse would), a page chosen, a note in the status
    // field.
    void ClickOpen();
    void ClickSearch();
    void ChooseServo(int row, bool mark);
    void ShowPage(int index);
    void ShowNote(const QString& text);

    // The name other programs see this one by when they share its bus.
    static constexpr const char* kProgram = "servo-debugger";

signals:
    void SearchFinished();
    // The port's opening (or closing) has been done on the bus and shown.
    void PortChanged(bool open);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override {}  // Esc does nothing
    void accept() override {}  // nor does Enter

private:
    void BuildControls();
    void OnOpenClose();
    void OnSearch();
    void OnTabChanged(int index);
    void OnServoClicked(int row);
    void OnSearchEnded();
    void OnOpened(bool ok);
    // The port the box names: a listed entry's own name, else the text typed.
    std::string ChosenPort() const;
    // Why the port would not open, or took another rate, in the status field.
    void ShowPortTrouble(const QString& text);
    void OnClosed();
    // How many programs share the bus now, in the status field (none: the field clears).
    void ShowSharing();
    // Inside a bus job, right after the port opened: serves the bus to other programs unless
    // it is itself another program's; an empty text or why it is not served.
    std::string StartSharing(BusAccess& access, const std::string& name);
    // The device went away under the open port: the status field says so.
    void OnPortGone();
    // Keeps a network port that opened in the port list, after the local ports.
    void RememberNetworkPort(const QString& name);
    void StartCurrentPoll();
    void StopCurrentPoll();

    ServoBus& bus;
    static constexpr int kKeptNetworkPorts = 5;
    QStringList networkPorts;  // the latest first
    ModelCatalogue catalogue{FindCatalogue().path};
    std::atomic<int> portOpen{0};
    // The window's own states; the buttons' captions only show them.
    bool searching = false;
    bool portBusy = false;  // an open or close is on its way through the bus
    bool portTroubleShown = false;  // the status field shows why the port failed
    bool sharingShown = false;      // the status field shows how many programs share the bus
    // Serves the open port to other programs; made and destroyed only by bus jobs (the
    // opening, the closing), so it never needs a lock and its end never waits for the bus.
    std::unique_ptr<BusShare> share;
    std::atomic<int> sharers{0};  // programs attached, as the share last told
    int openedTimeoutMs = -1;  // the port's time-out when first opened; the bus's jobs only
    ServoProfile selectedProfile;
    ServoSearch search{catalogue, portOpen};
    std::vector<ModelKey> found;
    std::vector<int> doubledIds;  // where the last search heard two servos on one ID
    std::shared_ptr<MetricsBoard> metricsBoard;
    Page* shownPage = nullptr;  // the page the tabs show
    std::unique_ptr<MessageBoxes> messages;
    std::unique_ptr<FileDialogs> files;
    ServoPG* programPage = nullptr;
    ServoTest* upgradePage = nullptr;
    CRobotDlg* debugPage = nullptr;
    CTrafficWindow* trafficWindow = nullptr;
    MotionWindow* motionWindow = nullptr;
    OverviewWindow* overviewWindow = nullptr;

    QComboBox* portCombo = nullptr;
    QComboBox* baudCombo = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* searchButton = nullptr;
    QLineEdit* statusField = nullptr;
    QTableWidget* servoList = nullptr;
    QTabWidget* tabs = nullptr;
};
