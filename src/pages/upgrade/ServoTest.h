#pragma once
// The upgrade page ("升级"): loads a firmware image and writes it into the selected servo
// through its loader, with a progress bar; and the communication test, which times reads
// over an ID range. Both run on worker threads that take the bus lock (the transfer for its
// whole run, the test for each read) and report through queued calls, so they never wait for
// this window. While a transfer runs, nothing else may reach the bus or the image: the main
// window's tabs, search and open/close and this page's "打开" and "测试" are disabled.

#include "pages/upgrade/CommTest.h"
#include "pages/upgrade/FirmwareImage.h"
#include "pages/upgrade/UpgradeTransfer.h"
#include "protocol/ZNServo.h"

#include <QWidget>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class CServoMain;
class CTextProgressCtrl;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class ServoTest : public QWidget {
    Q_OBJECT
public:
    ServoTest(ZNServo& protocol, std::recursive_mutex& busLock, CServoMain& mainWindow,
              QWidget* parent = nullptr);
    ~ServoTest() override;

    void SelectServo(int id) { upgradeServoId = static_cast<uint8_t>(id); }
    uint8_t UpgradeServoId() const { return upgradeServoId; }

    // Handlers of "打开", "升级"/"取消", "测试"/"停止" and "清除".
    void LoadFirmware();
    void StartUpgrade();
    void ToggleTest();
    void ClearTest();

    // Stops a transfer after its block in progress and a test at once, and waits for both
    // workers; no message is shown afterwards. For the window's close.
    void Shutdown();

    bool UpgradeRunning() const { return upgradeThread.joinable(); }
    bool TestRunning() const { return testThread.joinable(); }
    const FirmwareImage& Image() const { return image; }
    int32_t ImageKind() const { return imageKind; }
    int BlockCount() const { return blockCount; }
    const CommTestCounts& Counts() const { return counts; }

    CTextProgressCtrl* progress = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* upgradeButton = nullptr;
    QLabel* trafficLabel = nullptr;
    QLineEdit* fromEdit = nullptr;
    QLineEdit* toEdit = nullptr;
    QLineEdit* timeoutEdit = nullptr;
    QLineEdit* startEdit = nullptr;
    QLineEdit* endEdit = nullptr;
    QPlainTextEdit* resultBox = nullptr;
    QPushButton* testButton = nullptr;
    QPushButton* clearButton = nullptr;

signals:
    // After a worker has ended and its messages have been closed.
    void UpgradeEnded();
    void TestEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void UpgradeWorker(UpgradeJob job);
    void OnUpgradeEnded(const UpgradeResult& result);
    void CommTestWorker(CommTestPlan plan);
    void PostPass(const CommTestPass& pass);
    void ShowPass();
    void OnTestEnded();
    void UpdateUpgradeEnabled();

    ZNServo& protocol;
    std::recursive_mutex& busLock;
    CServoMain& mainWindow;
    std::atomic<uint8_t> upgradeServoId{0};
    std::atomic<bool> shuttingDown{false};

    // The image and what its load made ready; the transfer reads them, and "打开" is
    // disabled while it does.
    FirmwareImage image;
    int32_t imageKind = kImageHex;
    int blockCount = 0;
    bool imageReady = false;
    std::thread upgradeThread;
    std::atomic<bool> cancelUpgrade{false};

    uint8_t startAddress = 0;
    uint8_t endAddress = 66;
    CommTestCounts counts;
    std::atomic<bool> testRunning{false};
    std::atomic<bool> testAbort{false};
    std::thread testThread;
    // The latest pass for the window; one queued call at a time carries it, so a fast test
    // can't flood the window's queue.
    std::mutex passMutex;
    std::string passText;
    int32_t passTraffic = 0;
    bool passPosted = false;
};
