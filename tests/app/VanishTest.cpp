// The bus vanishing under the running window, at each of the moments a bench meets it: while
// the debug page polls, while a parameter file loads, in the middle of a firmware transfer
// and during a communication test. Each time the work ends, the status field says the port
// is gone, "关闭" closes at once, and "打开" takes the bus up again once it is back.
#include "AppFixture.h"
#include "DebugControls.h"
#include "ProgramControls.h"
#include "UpgradeControls.h"

#include "share/ShareEndpoint.h"

#include <QPlainTextEdit>

#include <algorithm>
#include <fstream>
#include <functional>

namespace {

constexpr int kServoId = 1;
const char* const kGone = "端口已断开";

QString WriteFile(const QString& name, const std::vector<uint8_t>& bytes)
{
    const QString path = WorkDir() + "/" + name;
    std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

}  // namespace

class VanishTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void vanishesAndComesBack_data()
    {
        QTest::addColumn<QString>("moment");
        QTest::newRow("poll") << "poll";
        QTest::newRow("load") << "load";
        QTest::newRow("transfer") << "transfer";
        QTest::newRow("test") << "test";
    }

    void vanishesAndComesBack()
    {
        QFETCH(QString, moment);
        const QString link = WorkDir() + "/bus-" + moment;
        Rig rig({Servo(kServoId, "Osprey-40H")}, link);
        auto messages = std::make_unique<ScriptedBoxes>();
        auto files = std::make_unique<ScriptedFiles>();
        ScriptedBoxes& shown = *messages;
        ScriptedFiles& chosen = *files;
        shown.cautiousAnswer = true;  // back from the loader, the backup loaded again
        rig.window->SetDialogs(std::move(messages), std::move(files));
        QVERIFY(rig.Open());
        const std::string device = rig.bus.DevicePath();

        ServoMemory memory{};
        QVERIFY(rig.bus.Memory(kServoId, memory));
        ModelKey key{};
        std::copy_n(memory.begin(), key.size(), key.begin());
        const ServoProfile profile = rig.window->Catalogue().ProfileOf(key);
        DebugControls debug(rig.window->DebugPage());
        ProgramControls program(rig.window->ProgramPage());
        UpgradeControls upgrade(rig.window->UpgradePage());
        debug->SelectServo(kServoId, key, profile);
        program->SelectServo(kServoId, key, profile);
        upgrade->SelectServo(kServoId, key);

        // The work under way when the bus goes, and how it is seen to have ended.
        std::function<bool()> ended;
        if (moment == "poll") {
            QTRY_COMPARE_WITH_TIMEOUT(debug.statusField->text(), U("舵机正常"), 10000);
            rig.bus.Vanish();
            ended = [&] { return debug.statusField->text() == U("通信超时"); };
        } else if (moment == "load") {
            rig.Ui().tabs->setCurrentIndex(1);
            QTRY_VERIFY_WITH_TIMEOUT(program.list->rowCount() > 0, 10000);
            // The servo keeps silent, so the load is still waiting for its answer when the
            // bus goes.
            rig.bus.SetDropShare(1.0);
            rig.bus.ClearLog();
            chosen.open = WriteFile("vanish.dat", {memory.begin(), memory.end()});
            program.loadButton->click();
            // The load's first write packet (instruction 3 to the servo) is on the bus.
            QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(rig.bus.LogLines(), [](const std::string& l) {
                return l.size() > 15 && l[0] == '>' && l.substr(8, 2) == "01" && l.substr(14, 2) == "03";
            }), 10000);
            rig.bus.Vanish();
            ended = [&] { return shown.Shown().contains(U("参数载入|参数载入失败")); };
        } else if (moment == "transfer") {
            rig.Ui().tabs->setCurrentIndex(2);
            chosen.open = WriteFile("vanish.bin", std::vector<uint8_t>(64 * 400, 0x5A));
            upgrade.openButton->click();
            QVERIFY(upgrade.upgradeButton->isEnabled());
            rig.bus.SetReplyDelayMs(2);  // a transfer long enough to be cut into
            upgrade.upgradeButton->click();
            QTRY_VERIFY_WITH_TIMEOUT(rig.bus.LoaderBlocksAccepted() >= 3, 20000);
            rig.bus.Vanish();
            ended = [&] {
                return shown.Shown().contains(U("固件升级|升级失败")) &&
                       upgrade.upgradeButton->text() == U("升级");
            };
        } else {
            rig.Ui().tabs->setCurrentIndex(2);
            upgrade.toEdit->setText("1");
            upgrade.testButton->click();
            QTRY_VERIFY_WITH_TIMEOUT(!upgrade.resultBox->toPlainText().isEmpty(), 10000);
            rig.bus.Vanish();
            ended = [&] {
                return upgrade.testButton->text() == U("测试") && upgrade.testButton->isEnabled();
            };
        }

        // Gone, not a servo that keeps silent: the work ends and the window says why.
        QTRY_VERIFY_WITH_TIMEOUT(ended(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.Ui().statusField->text(), U(kGone), 10000);
        // Its bus is no longer served: a new device on the same node (a pseudo-terminal
        // numbered as the lost one) is opened by whoever opens it, not attached to this window.
        QTRY_VERIFY_WITH_TIMEOUT(share::Connect(device) == nullptr, 10000);

        // "关闭" works at once; "打开" works once the bus is back under the same name.
        QVERIFY(rig.Ui().openButton->isEnabled());
        QSignalSpy changed(rig.window.get(), &CServoMain::PortChanged);
        rig.Ui().openButton->click();
        QVERIFY(changed.wait(5000));
        QCOMPARE(rig.Ui().openButton->text(), U("打开"));
        rig.bus.SetDropShare(0);
        rig.bus.SetReplyDelayMs(0);
        std::string error;
        QVERIFY2(rig.bus.Return(error), error.c_str());
        QVERIFY(rig.Open());
        QVERIFY(rig.Ui().statusField->text().isEmpty());
        if (moment == "transfer") {
            // The servo still waits in its loader: the next "升级" starts at the unlock step.
            QSignalSpy upgraded(&upgrade.page, &ServoTest::UpgradeEnded);
            upgrade.upgradeButton->click();
            QVERIFY(upgraded.wait(60000));
            QVERIFY(rig.bus.LoaderComplete());
        }
        rig.Ui().tabs->setCurrentIndex(0);
        debug.statusField->clear();
        QTRY_COMPARE_WITH_TIMEOUT(debug.statusField->text(), U("舵机正常"), 10000);
#ifndef _WIN32
        // Open again, the bus is served again (under the name the window opened: the link).
        QVERIFY(share::Connect(link.toStdString()) != nullptr);
#endif
    }
};

QTEST_MAIN(VanishTest)
#include "VanishTest.moc"
