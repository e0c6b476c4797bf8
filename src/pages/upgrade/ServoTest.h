#pragma once
// The upgrade page ("升级"): loads a firmware image and writes it into the selected servo
// through its loader, with a progress bar; and the communication test, which times reads
// over an ID range. Both run as bus jobs (the transfer as one, the test a pass at a time) and
// report through queued calls, so they never wait for this window. While a transfer runs, nothing else may reach the bus or the image: the main
// window's tabs, search and open/close and this page's "打开" and "测试" are disabled.

#include "servo/CommTest.h"
#include "servo/FirmwareImage.h"
#include "servo/UpgradeBackup.h"
#include "servo/UpgradeTransfer.h"
#include "pages/Page.h"
#include "pages/PageHost.h"

#include <QWidget>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CTextProgressCtrl;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class ServoTest : public QWidget, public Page {
    Q_OBJECT
public:
    ServoTest(ModelCatalogue& catalogue, PageHost& host, QWidget* parent = nullptr);
    ~ServoTest() override;

    // The servo 升级 addresses; its identification bytes choose the loader's unlock bytes.
    void SelectServo(int id, const ModelKey& key = {});
    uint8_t UpgradeServoId() const { return upgradeServoId; }

    // Handlers of "打开", "升级"/"取消", "测试"/"停止" and "清除".
    void LoadFirmware();
    void StartUpgrade();
    void ToggleTest();
    void ClearTest();

    // Stops a transfer after its block in progress and a test at once; no message is shown
    // afterwards. For the window's close, which then waits for the bus to let go.
    void Shutdown();

    // A transfer job, or a test's chain of pass jobs, has not reported its end yet.
    bool UpgradeRunning() const { return upgradeActive; }
    bool TestRunning() const { return testActive; }
    const FirmwareImage& Image() const { return image; }
    int32_t ImageKind() const { return imageKind; }
    int BlockCount() const { return blockCount; }
    const CommTestCounts& Counts() const { return counts; }

signals:
    // After a worker has ended and its messages have been closed.
    void UpgradeEnded();
    void TestEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    // The backup job, then the transfer job (or, for the way back from the loader, the
    // transfer alone); the questions between them are asked on this thread.
    void OnBackupDone(const BackupResult& backup);
    void StartTransfer(bool inLoader);
    void OnUpgradeEnded(const UpgradeResult& result);
    void RestoreAfterUpgrade();
    void FinishUpgrade();
    // Why a firmware update is not sent on another program's bus, naming it.
    QString SharedRefusal() const;
    void ShowUnlock(const ModelKey& key);
    // Queues the next pass of the test; a pass that ends the test reports it.
    void PostTestPass(const CommTestPlan& plan);
    void PostPass(const CommTestPass& pass);
    void ShowPass();
    void OnTestEnded();
    void UpdateUpgradeEnabled();

    ModelCatalogue& catalogue;
    PageHost& host;
    std::atomic<uint8_t> upgradeServoId{0};
    ModelKey selectedKey{};
    std::array<uint8_t, 5> unlock = LoaderUnlock;
    BackupResult backup;  // this upgrade's
    std::atomic<bool> shuttingDown{false};

    // The image and what its load made ready; the transfer reads them, and "打开" is
    // disabled while it does.
    FirmwareImage image;
    int32_t imageKind = kImageHex;
    int blockCount = 0;
    bool imageReady = false;
    bool upgradeActive = false;
    // The last transfer broke off when the port went away: the servo waits in its loader.
    bool leftInLoader = false;
    std::atomic<bool> cancelUpgrade{false};

    uint8_t startAddress = 0;
    uint8_t endAddress = 66;
    CommTestCounts counts;
    std::atomic<bool> testRunning{false};
    std::atomic<bool> testAbort{false};
    bool testActive = false;
    // The latest pass for the window; one queued call at a time carries it, so a fast test
    // can't flood the window's queue.
    std::mutex passMutex;
    std::vector<CommTestSample> passSamples;
    int32_t passTraffic = 0;
    bool passPosted = false;

    CTextProgressCtrl* progress = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* upgradeButton = nullptr;
    QLabel* unlockLabel = nullptr;  // the unlock bytes the transfer uses, and whence
    QLabel* backupLabel = nullptr;  // the backup taken before the transfer
    QLabel* trafficLabel = nullptr;
    QLineEdit* fromEdit = nullptr;
    QLineEdit* toEdit = nullptr;
    QLineEdit* timeoutEdit = nullptr;
    QLineEdit* startEdit = nullptr;
    QLineEdit* endEdit = nullptr;
    QPlainTextEdit* resultBox = nullptr;
    QPushButton* testButton = nullptr;
    QPushButton* clearButton = nullptr;
};
