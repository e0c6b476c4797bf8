// The upgrade page's firmware transfer: the "升级"/"取消" button and its worker.
#include "pages/upgrade/ServoTest.h"

#include "app/CServoMain.h"
#include "widgets/CTextProgressCtrl.h"

#include <QMetaObject>
#include <QPushButton>

void ServoTest::StartUpgrade()
{
    if (upgradeButton->text() == QString::fromUtf8("升级")) {
        // A search holds the bus until it ends and could not be stopped with the search
        // button disabled: the transfer waits for a later click.
        if (mainWindow.Searching() || TestRunning() || !imageReady)
            return;
        upgradeButton->setText(QString::fromUtf8("取消"));
        openButton->setEnabled(false);
        testButton->setEnabled(false);
        mainWindow.SetTransferRunning(true);
        cancelUpgrade = false;
        const UpgradeJob job{upgradeServoId, &image, imageKind, blockCount};
        upgradeThread = std::thread([this, job] { UpgradeWorker(job); });
        return;
    }
    if (!UpgradeRunning() || cancelUpgrade)
        return;
    // The worker goes on while the question is open; it may even finish meanwhile.
    if (mainWindow.Messages().Question(this, QString::fromUtf8("固件升级"),
                                       QString::fromUtf8("是否取消升级?")))
        cancelUpgrade = true;
}

void ServoTest::UpgradeWorker(UpgradeJob job)
{
    UpgradeReports reports;
    reports.started = [this] { progress->SetPos(0); };
    reports.acknowledged = [this](int) { progress->StepIt(); };
    const UpgradeResult result = RunUpgrade(protocol, busLock, job, cancelUpgrade, reports);
    // The port is restored and the lock released: now the window may be told.
    QMetaObject::invokeMethod(this, [this, result] { OnUpgradeEnded(result); },
                              Qt::QueuedConnection);
}

void ServoTest::OnUpgradeEnded(const UpgradeResult& result)
{
    if (upgradeThread.joinable())
        upgradeThread.join();
    if (!shuttingDown) {
        const QString title = QString::fromUtf8("固件升级");
        if (result.outcome == UpgradeOutcome::Failed)
            mainWindow.Messages().Warning(this, title, QString::fromUtf8("升级失败"));
        else if (result.outcome == UpgradeOutcome::Cancelled)
            mainWindow.Messages().Warning(this, title, QString::fromUtf8("升级已取消"));
    }
    upgradeButton->setText(QString::fromUtf8("升级"));
    openButton->setEnabled(true);
    testButton->setEnabled(!TestRunning());
    UpdateUpgradeEnabled();
    mainWindow.SetTransferRunning(false);
    emit UpgradeEnded();
}
