// The upgrade page's firmware transfer: the "升级"/"取消" button and its worker.
#include "pages/upgrade/ServoTest.h"

#include "widgets/CTextProgressCtrl.h"

#include <QMetaObject>
#include <QPushButton>

void ServoTest::StartUpgrade()
{
    if (!upgradeActive) {
        // A search has the bus until it ends and could not be stopped with the search
        // button disabled: the transfer waits for a later click.
        if (host.Searching() || TestRunning() || !imageReady)
            return;
        upgradeActive = true;
        upgradeButton->setText(QString::fromUtf8("取消"));
        openButton->setEnabled(false);
        testButton->setEnabled(false);
        host.SetTransferRunning(true);
        cancelUpgrade = false;
        const UpgradeJob job{upgradeServoId, &image, imageKind, blockCount};
        auto ended = [this](const UpgradeResult& result) {
            QMetaObject::invokeMethod(this, [this, result] { OnUpgradeEnded(result); },
                                      Qt::QueuedConnection);
        };
        host.Bus().Post(
            JobKind::Transfer,
            [this, job, ended](BusAccess& bus) {
                UpgradeReports reports;
                reports.started = [this] { progress->SetPos(0); };
                reports.acknowledged = [this](int) { progress->StepIt(); };
                // The port is restored before the job ends: only then is the window told.
                ended(RunUpgrade(bus, job, cancelUpgrade, reports));
            },
            [ended] {
                UpgradeResult dropped;
                dropped.outcome = UpgradeOutcome::Cancelled;
                ended(dropped);
            });
        return;
    }
    if (!UpgradeRunning() || cancelUpgrade)
        return;
    // The worker goes on while the question is open; it may even finish meanwhile.
    if (host.Messages().Question(this, QString::fromUtf8("固件升级"),
                                       QString::fromUtf8("是否取消升级?")))
        cancelUpgrade = true;
}

void ServoTest::OnUpgradeEnded(const UpgradeResult& result)
{
    upgradeActive = false;
    if (!shuttingDown) {
        const QString title = QString::fromUtf8("固件升级");
        if (result.outcome == UpgradeOutcome::Failed)
            host.Messages().Warning(this, title, QString::fromUtf8("升级失败"));
        else if (result.outcome == UpgradeOutcome::Cancelled)
            host.Messages().Warning(this, title, QString::fromUtf8("升级已取消"));
    }
    upgradeButton->setText(QString::fromUtf8("升级"));
    openButton->setEnabled(true);
    testButton->setEnabled(!TestRunning());
    UpdateUpgradeEnabled();
    host.SetTransferRunning(false);
    emit UpgradeEnded();
}
