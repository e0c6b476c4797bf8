// The upgrade page's firmware transfer: the "升级"/"取消" button, the backup before the
// transfer, the transfer job, and the questions after it (the backup loaded back, the way
// back from the loader).
#include "pages/upgrade/ServoTest.h"

#include "support/HexText.h"
#include "widgets/CTextProgressCtrl.h"
#include "widgets/PortWords.h"
#include "widgets/Utf8.h"

#include <QLabel>
#include <QMetaObject>
#include <QPushButton>

namespace {

constexpr const char* kTitle = QT_TRANSLATE_NOOP("ServoTest", "固件升级");
constexpr const char* kInLoaderQuestion =
    QT_TRANSLATE_NOOP("ServoTest", "舵机可能仍在引导程序中。\n是否从解锁步骤重新升级(不发送升级指令)?");

}  // namespace

void ServoTest::SelectServo(int id, const ModelKey& key)
{
    upgradeServoId = static_cast<uint8_t>(id);
    selectedKey = key;
    if (!upgradeActive)
        ShowUnlock(key);
}

void ServoTest::ShowUnlock(const ModelKey& key)
{
    unlock = LoaderUnlock;
    const bool fromCatalogue = catalogue.LookupLoaderUnlock(key, unlock) == 1;
    const QString bytes = QString::fromStdString(HexText(unlock.data(), unlock.size()));
    unlockLabel->setText(tr("解锁字节: ") + bytes +
                         (fromCatalogue ? tr(" (型号文件)") : tr(" (内置值, 仅虚拟总线适用)")));
}

void ServoTest::StartUpgrade()
{
    if (!upgradeActive) {
        // A search has the bus until it ends and could not be stopped with the search
        // button disabled: the transfer waits for a later click.
        if (host.Searching() || TestRunning() || !imageReady)
            return;
        // The loader talks at its own rate, which a raw TCP port's server can't switch to:
        // nothing is sent, so the servo is not left in a loader nobody can reach.
        if (host.Bus().Facts().Open() && host.Bus().Facts().Rates() == RateControl::Fixed) {
            host.Messages().Warning(this, tr(kTitle),
                                    tr("原始 TCP 端口的波特率由服务器设定, 不能切换到升级所需的 %1")
                                        .arg(kLoaderBaudRate));
            return;
        }
        // Another program's bus keeps its rate and its loader: nothing is sent, and the
        // message names the program where the port can be closed.
        if (host.Bus().Facts().Open() && host.Bus().Facts().Rates() == RateControl::Shared) {
            host.Messages().Warning(this, tr(kTitle), SharedRefusal());
            return;
        }
        // A transfer cut off by the port going away left the servo in its loader: once the
        // port is back, the way back starts at the unlock step.
        const bool wayBack = leftInLoader &&
                             host.Messages().QuestionDefaultNo(this, tr(kTitle), tr(kInLoaderQuestion));
        leftInLoader = false;
        upgradeActive = true;
        upgradeButton->setText(tr("取消"));
        openButton->setEnabled(false);
        testButton->setEnabled(false);
        host.SetTransferRunning(true);
        cancelUpgrade = false;
        if (wayBack) {
            backupLabel->setText(tr("引导程序中, 未备份"));
            StartTransfer(true);
            return;
        }
        backup = BackupResult();
        backupLabel->clear();
        // Before the upgrade instruction: the servo's EPROM block, read fresh and saved.
        const uint8_t id = upgradeServoId;
        auto done = [this](const BackupResult& result) {
            QMetaObject::invokeMethod(this, [this, result] { OnBackupDone(result); },
                                      Qt::QueuedConnection);
        };
        host.Bus().Post(
            JobKind::Transfer,
            [this, id, done](BusAccess& access) {
                done(BackUpServo(access, catalogue, id, BackupFolder()));
            },
            [this] {
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        UpgradeResult dropped;
                        dropped.outcome = UpgradeOutcome::Cancelled;
                        OnUpgradeEnded(dropped);
                    },
                    Qt::QueuedConnection);
            });
        return;
    }
    if (!UpgradeRunning() || cancelUpgrade)
        return;
    // The worker goes on while the question is open; it may even finish meanwhile.
    if (host.Messages().Question(this, tr(kTitle), tr("是否取消升级?")))
        cancelUpgrade = true;
}

void ServoTest::OnBackupDone(const BackupResult& result)
{
    if (shuttingDown) {
        FinishUpgrade();
        return;
    }
    backup = result;
    if (cancelUpgrade) {  // nothing was sent to the loader yet
        host.Messages().Warning(this, tr(kTitle), tr("升级已取消"));
        FinishUpgrade();
        return;
    }
    const QString path = QString::fromStdString(result.path);
    switch (result.status) {
    case BackupStatus::Saved:
        backupLabel->setText(tr("备份文件: ") + path);
        break;
    case BackupStatus::NoTable:
        backupLabel->setText(tr("无内存表, 未备份"));
        break;
    case BackupStatus::ReadFailed:
    case BackupStatus::SaveFailed: {
        const QString why = result.status == BackupStatus::ReadFailed
                                ? tr("读取舵机参数失败, 无法备份。")
                                : tr("无法保存备份文件:\n") + path + U("\n");
        if (!host.Messages().QuestionDefaultNo(this, tr(kTitle), why + tr("是否不备份继续升级?"))) {
            FinishUpgrade();
            return;
        }
        backupLabel->setText(tr("未备份"));
        break;
    }
    }
    // The freshly read identification chooses the unlock bytes when there is one.
    if (result.status != BackupStatus::ReadFailed)
        ShowUnlock(result.key);
    StartTransfer(false);
}

void ServoTest::StartTransfer(bool inLoader)
{
    cancelUpgrade = false;
    UpgradeJob job;
    job.servoId = upgradeServoId;
    job.image = &image;
    job.kind = imageKind;
    job.blockCount = blockCount;
    job.unlock = unlock;
    job.inLoader = inLoader;
    auto ended = [this](const UpgradeResult& result) {
        QMetaObject::invokeMethod(this, [this, result] { OnUpgradeEnded(result); },
                                  Qt::QueuedConnection);
    };
    host.Bus().Post(
        JobKind::Transfer,
        [this, job, ended](BusAccess& access) {
            UpgradeReports reports;
            reports.started = [this] { progress->SetPos(0); };
            reports.acknowledged = [this](int) { progress->StepIt(); };
            // The port is restored before the job ends: only then is the window told.
            ended(RunUpgrade(access, job, cancelUpgrade, reports));
        },
        [ended] {
            UpgradeResult dropped;
            dropped.outcome = UpgradeOutcome::Cancelled;
            ended(dropped);
        });
}

void ServoTest::OnUpgradeEnded(const UpgradeResult& result)
{
    if (!shuttingDown) {
        if (result.shared)
            host.Messages().Warning(this, tr(kTitle), SharedRefusal());
        else if (result.outcome == UpgradeOutcome::Failed)
            host.Messages().Warning(this, tr(kTitle), tr("升级失败"));
        else if (result.outcome == UpgradeOutcome::Cancelled)
            host.Messages().Warning(this, tr(kTitle), tr("升级已取消"));
        // A new firmware may lay out its memory differently: loaded back only when asked.
        if (result.outcome == UpgradeOutcome::Done && backup.status == BackupStatus::Saved &&
            host.Messages().QuestionDefaultNo(
                this, tr(kTitle),
                tr("升级完成。是否载入升级前备份的参数?\n") + QString::fromStdString(backup.path))) {
            RestoreAfterUpgrade();
            return;
        }
        // A transfer that ran and broke off leaves the servo in its loader, deaf at its own
        // rate: the way back starts at the unlock step. (A dropped job has no stage; a port
        // that went away has to be opened again first.)
        leftInLoader = result.portGone && !result.stage.empty();
        if (result.outcome != UpgradeOutcome::Done && !result.stage.empty() && !result.portGone &&
            host.Messages().QuestionDefaultNo(this, tr(kTitle), tr(kInLoaderQuestion))) {
            backupLabel->setText(tr("引导程序中, 未备份"));
            StartTransfer(true);
            return;
        }
    }
    FinishUpgrade();
}

void ServoTest::RestoreAfterUpgrade()
{
    const uint8_t id = upgradeServoId;
    const BackupResult saved = backup;
    host.Bus().Post(
        JobKind::Command,
        [this, id, saved](BusAccess& access) {
            auto follow = [this](int code) {
                // On the bus thread, right after the rate change: the rate the driver took.
                const int running = host.Bus().Facts().Rate();
                QMetaObject::invokeMethod(this, [this, code, running] { host.ShowBaud(code, running); },
                                          Qt::QueuedConnection);
            };
            const bool ok = RestoreBackup(access, catalogue, id, saved, follow);
            QMetaObject::invokeMethod(
                this,
                [this, ok] {
                    if (!shuttingDown)
                        host.Messages().Warning(this, tr("参数载入"),
                                                ok ? tr("参数载入成功") : tr("参数载入失败"));
                    FinishUpgrade();
                },
                Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, [this] { FinishUpgrade(); }, Qt::QueuedConnection); });
}

QString ServoTest::SharedRefusal() const
{
    const PortFacts port = host.Bus().Facts();
    return tr("升级失败") + U(": ") +
           PortWords::Refused(port.SharedBy(), port.Rate(), PortWords::SharedRefusal::Firmware);
}

void ServoTest::FinishUpgrade()
{
    upgradeActive = false;
    upgradeButton->setText(tr("升级"));
    openButton->setEnabled(true);
    testButton->setEnabled(!TestRunning());
    UpdateUpgradeEnabled();
    host.SetTransferRunning(false);
    emit UpgradeEnded();
}
