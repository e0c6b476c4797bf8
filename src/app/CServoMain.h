#pragma once
// The main window: port settings, the servo search and list, and the tab control with the
// three pages. It owns what the pages share: the catalogue, the bus lock and the pages; the
// port and protocol objects come from the application object.

#include "app/Dialogs.h"
#include "app/ServoSearch.h"
#include "catalogue/CatalogueLocation.h"
#include "catalogue/ModelCatalogue.h"
#include "protocol/ZNServo.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class CRobotDlg;
class ServoPG;
class ServoTest;

class CServoMain : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kTitle = "ZOVorid Aveva V1.9.3";

    explicit CServoMain(ZNServo& protocol, QWidget* parent = nullptr);
    ~CServoMain() override;

    // Selects baud-list entry `index` (a servo's baud-rate code) and applies its rate to the
    // port; nothing when it is selected already or outside the list.
    void SelectBaud(int index);

    // Puts a port name at the top of the port list and selects it (the demo bus).
    void AddPortFirst(const QString& name);
    // Fills the port list from the names in the order the system enumerated them: the last
    // one stands first and is selected.
    void FillPortList(const std::vector<std::string>& names);

    // Stops a search and the polls and closes the port; the window's close does it too.
    void Shutdown();

    // While a firmware transfer holds the bus, nothing else may start on it: the tabs, the
    // search and the open/close button are disabled.
    void SetTransferRunning(bool running);

    // For the pages and the tests.
    std::recursive_mutex& BusLock() { return busLock; }
    ZNServo& Protocol() { return protocol; }
    ModelCatalogue& Catalogue() { return catalogue; }
    CRobotDlg& DebugPage() { return *debugPage; }
    ServoPG& ProgramPage() { return *programPage; }
    ServoTest& UpgradePage() { return *upgradePage; }
    MessageBoxes& Messages() { return *messages; }
    FileDialogs& Files() { return *files; }
    void SetDialogs(std::unique_ptr<MessageBoxes> m, std::unique_ptr<FileDialogs> f);
    bool PortOpen() const { return portOpen != 0; }
    bool Searching() const { return search.Running(); }
    int CurrentPage() const { return currentPage; }
    const std::vector<ModelKey>& FoundServos() const { return found; }

    QComboBox* portCombo = nullptr;
    QComboBox* baudCombo = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* searchButton = nullptr;
    QLineEdit* statusField = nullptr;
    QTableWidget* servoList = nullptr;
    QTabWidget* tabs = nullptr;

signals:
    void SearchFinished();

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
    void StartCurrentPoll();
    void StopCurrentPoll();

    ZNServo& protocol;
    ModelCatalogue catalogue{FindCatalogue().path};
    std::recursive_mutex busLock;
    std::atomic<int> portOpen{0};
    ServoSearch search{protocol, catalogue, busLock, portOpen};
    std::vector<ModelKey> found;
    int currentPage = 0;
    std::unique_ptr<MessageBoxes> messages;
    std::unique_ptr<FileDialogs> files;
    ServoPG* programPage = nullptr;
    ServoTest* upgradePage = nullptr;
    CRobotDlg* debugPage = nullptr;
};
