// The upgrade page in the main window, over the virtual bus: loading images, the transfer
// with its progress, failure, cancel and the controls it locks, and the communication test.
#include "AppFixture.h"
#include "UpgradeControls.h"

#include <QAccessible>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>

#include <fstream>

namespace {

struct Shown {
    QString title, text;
    bool operator==(const Shown&) const = default;
};

// A BIN file of `size` bytes of a pattern.
QString WriteBin(const QString& name, int size)
{
    const QString path = WorkDir() + "/" + name;
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
    for (int i = 0; i < size; ++i)
        out.put(static_cast<char>(i * 7 + i / 300));
    return path;
}

QString WriteText(const QString& name, const std::string& text)
{
    const QString path = WorkDir() + "/" + name;
    std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << text;
    return path;
}

std::vector<uint8_t> Pattern(int size)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + i / 300);
    return bytes;
}

struct PageRig : Rig {
    explicit PageRig(std::vector<ServoSpec> servos) : Rig(std::move(servos))
    {
        auto boxes = std::make_unique<ScriptedBoxes>();
        auto fileDialogs = std::make_unique<ScriptedFiles>();
        answers = boxes.get();
        files = fileDialogs.get();
        window->SetDialogs(std::move(boxes), std::move(fileDialogs));
        Ui().tabs->setCurrentIndex(2);
    }
    UpgradeControls& Page() { return controls; }
    void Load(const QString& path)
    {
        files->opens.push_back(path);
        Page().openButton->click();
    }
    bool Upgrade()
    {
        QSignalSpy ended(&Page().page, &ServoTest::UpgradeEnded);
        Page().upgradeButton->click();
        return ended.wait(60000);
    }
    // The boxes of one kind shown so far.
    std::vector<Shown> Of(ShownBox::Kind kind) const
    {
        std::vector<Shown> found;
        for (const ShownBox& b : answers->Of(kind))
            found.push_back({b.title, b.text});
        return found;
    }
    std::vector<Shown> Warnings() const { return Of(ShownBox::kWarning); }
    std::vector<Shown> Cautious() const { return Of(ShownBox::kCautious); }
    ScriptedBoxes* answers = nullptr;
    ScriptedFiles* files = nullptr;
    UpgradeControls controls{window->UpgradePage()};
};

}  // namespace

class UpgradePageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void startsEmpty()
    {
        PageRig rig({});
        auto& p = rig.Page();
        QCOMPARE(p.openButton->text(), U("打开"));
        QCOMPARE(p.upgradeButton->text(), U("升级"));
        QVERIFY(!p.upgradeButton->isEnabled());
        QCOMPARE(p.trafficLabel->text(), U("通信流量:0Byte"));
        QCOMPARE(p.fromEdit->text(), QString("1"));
        QCOMPARE(p.toEdit->text(), QString("17"));
        QCOMPARE(p.timeoutEdit->text(), QString("50"));
        QCOMPARE(p.startEdit->text(), QString("0"));
        QCOMPARE(p.endEdit->text(), QString("66"));
        QVERIFY(p.resultBox->toPlainText().isEmpty());
        QVERIFY(p.resultBox->isReadOnly());
        QCOMPARE(p.testButton->text(), U("测试"));
        QCOMPARE(p.clearButton->text(), U("清除"));
        QCOMPARE(int(p->UpgradeServoId()), 0);
        // Digits only where the page says so; the to-ID takes any text.
        QTest::keyClicks(p.fromEdit, "x-");
        QCOMPARE(p.fromEdit->text(), QString("1"));
        QTest::keyClicks(p.toEdit, "x");
        QCOMPARE(p.toEdit->text(), QString("17x"));

        // Accessible names.
        const std::pair<QWidget*, const char*> names[] = {
            {p.progress, "固件升级"}, {p.openButton, "打开"},   {p.upgradeButton, "升级"},
            {p.fromEdit, "ID:"},      {p.toEdit, "---"},       {p.timeoutEdit, "超时"},
            {p.startEdit, "起始地址"}, {p.endEdit, "结束地址"}, {p.resultBox, "测试结果"},
            {p.testButton, "测试"},    {p.clearButton, "清除"}, {p.trafficLabel, "通信流量:0Byte"},
            {&p.page, nullptr}};
        for (const auto& [widget, name] : names) {
            if (!name)
                continue;
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), U(name));
        }
        QCOMPARE(rig.Ui().tabs->tabText(2), U("升级"));
    }

    void loadsImages()
    {
        PageRig rig({});
        auto& p = rig.Page();
        auto w = [&] { return rig.Warnings(); };
        rig.Load(WriteText("a.HEX", ":0400000001020304F2\n:00000001FF\n"));
        QCOMPARE(rig.files->lastFilter, U("Hex Files (*.hex);;Bin Files (*.bin)"));
        QVERIFY(w().empty());
        QVERIFY(p.upgradeButton->isEnabled());
        QCOMPARE(p->ImageKind(), 0);
        QCOMPARE(p->BlockCount(), 1);
        QCOMPARE(p.progress->Upper(), 1);
        QCOMPARE(p.progress->Pos(), 0);
        QCOMPARE(p.progress->Step(), 1);

        rig.Load(WriteBin("b.Bin", 65));
        QCOMPARE(p->ImageKind(), 1);
        QCOMPARE(p->BlockCount(), 2);

        // A cancelled dialog changes nothing.
        p.openButton->click();
        QVERIFY(p.upgradeButton->isEnabled());
        QCOMPARE(p->BlockCount(), 2);

        const struct {
            QString file;
            const char* message;
        } bad[] = {
            {WriteText("c.hex", ":0400000001020304F2\n\n"), "固件格式错误"},
            {WriteBin("d.bin", 65537), "固件格式错误"},
            {WriteText("e.txt", ":00000001FF\n"), "固件格式错误"},
            {WorkDir() + "/missing.bin", "无法打开固件"},
        };
        for (const auto& b : bad) {
            rig.Load(WriteBin("ok.bin", 10));
            QVERIFY(p.upgradeButton->isEnabled());
            rig.answers->boxes.clear();
            rig.Load(b.file);
            QCOMPARE(w().size(), size_t(1));
            QCOMPARE(w()[0], (Shown{U("打开固件"), U(b.message)}));
            QVERIFY2(!p.upgradeButton->isEnabled(), qPrintable(b.file));
        }

        // A typed name without an extension is looked for as a HEX file.
        WriteText("typed.hex", ":00000001FF\n");
        rig.answers->boxes.clear();
        rig.Load(WorkDir() + "/typed");
        QVERIFY(w().empty());
        QVERIFY(p.upgradeButton->isEnabled());
        QCOMPARE(p->BlockCount(), 0);
    }

    void upgradesTheSelectedServo()
    {
        PageRig rig({Servo(1, "Kestrel-12"), Servo(3, "Osprey-40H")});
        const QString out = WorkDir() + "/received.bin";
        QFile::remove(out);
        rig.bus.SetImageFile(out.toStdString());
        auto& p = rig.Page();
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        rig.ClickRow(1);
        QCOMPARE(int(p->UpgradeServoId()), 3);
        rig.Load(WriteBin("fw.bin", 5000));
        QCOMPARE(p->BlockCount(), 79);

        QCOMPARE(p.unlockLabel->text(), U("解锁字节: 7E 5A A5 3C C3 (内置值, 仅虚拟总线适用)"));
        ServoMemory before{};
        QVERIFY(rig.bus.Memory(3, before));
        QSignalSpy ended(&p.page, &ServoTest::UpgradeEnded);
        rig.answers->cautiousAnswers = {true};  // load the backup back afterwards
        p.upgradeButton->click();
        QCOMPARE(p.upgradeButton->text(), U("取消"));
        QVERIFY(p.upgradeButton->isEnabled());
        for (QWidget* off : std::initializer_list<QWidget*>{p.openButton, p.testButton, ui.searchButton,
                                                            ui.openButton, ui.tabs->tabBar()})
            QVERIFY(!off->isEnabled());
        p.testButton->click();  // disabled: nothing starts
        QVERIFY(!p->TestRunning());
        QVERIFY(ended.wait(60000));
        // The backup named on the page holds the servo's EPROM block (addresses 0 to 39),
        // and went back into the servo when asked.
        QVERIFY(p.backupLabel->text().startsWith(U("备份文件: ")));
        QFile saved(p.backupLabel->text().mid(6));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray(reinterpret_cast<const char*>(before.data()), 40));
        QCOMPARE(rig.Cautious().size(), size_t(1));
        QVERIFY(rig.Cautious()[0].text.startsWith(U("升级完成。是否载入升级前备份的参数?\n")));
        QCOMPARE(rig.Warnings(), (std::vector<Shown>{{U("参数载入"), U("参数载入成功")}}));
        QCOMPARE(p.upgradeButton->text(), U("升级"));
        for (QWidget* on : std::initializer_list<QWidget*>{p.openButton, p.testButton, p.upgradeButton,
                                                           ui.searchButton, ui.openButton, ui.tabs->tabBar()})
            QVERIFY(on->isEnabled());
        QCOMPARE(p.progress->Pos(), 79);
        QCOMPARE(p.progress->text(), QString("100%"));
        QTRY_COMPARE(p.progress->value(), 79);

        auto expected = Pattern(5000);
        expected.resize(79 * 64, 0xFF);
        QCOMPARE(rig.bus.LoaderImage(), expected);
        QFile received(out);
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.readAll(), QByteArray(reinterpret_cast<const char*>(expected.data()),
                                                int(expected.size())));
        // The port is as it was, and the bus is usable again.
        QCOMPARE(rig.comm.BaudRate(), 115200);
        QCOMPARE(rig.LineRate(), 115200);
        QCOMPARE(rig.comm.TimeoutMs(), Rig::kTimeoutMs);
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows().size(), 2);
    }

    void aFailureIsToldAfterThePortIsRestored()
    {
        PageRig rig({Servo(1, "Kestrel-12")});
        auto& p = rig.Page();
        QVERIFY(rig.Open());
        p->SelectServo(7);  // nobody: the loader never answers
        rig.Load(WriteBin("fw.bin", 100));
        rig.answers->cautiousAnswers = {false};  // no upgrade without a backup
        QVERIFY(rig.Upgrade());
        QVERIFY(rig.Warnings().empty());
        QCOMPARE(rig.Cautious().size(), size_t(1));
        QCOMPARE(rig.Cautious()[0],
                 (Shown{U("固件升级"), U("读取舵机参数失败, 无法备份。是否不备份继续升级?")}));
        rig.answers->boxes.clear();
        rig.answers->cautiousAnswers = {true};  // with consent it goes on
        bool restoredFirst = false, lockFree = false;
        QString caption;
        rig.answers->onShown = [&](const ShownBox& box) {
            if (box.kind != ShownBox::kWarning)
                return;
            restoredFirst = rig.comm.BaudRate() == 115200 && rig.comm.TimeoutMs() == Rig::kTimeoutMs;
            // The transfer has let the bus go: another job runs.
            lockFree = rig.servoBus.Run(JobKind::Command, [](BusAccess&) { return true; });
            caption = p.upgradeButton->text();
        };
        QVERIFY(rig.Upgrade());
        QCOMPARE(rig.Warnings().size(), size_t(1));
        QCOMPARE(rig.Warnings()[0], (Shown{U("固件升级"), U("升级失败")}));
        QVERIFY(restoredFirst);
        QVERIFY(lockFree);
        QCOMPARE(caption, U("取消"));  // until the box is closed
        QCOMPARE(p.upgradeButton->text(), U("升级"));
        QCOMPARE(p.progress->Pos(), 0);
        QCOMPARE(p.backupLabel->text(), U("未备份"));
        // The way back from the loader is offered, and declined.
        QCOMPARE(rig.Cautious().size(), size_t(2));
        QCOMPARE(rig.Cautious()[1].text,
                 U("舵机可能仍在引导程序中。\n是否从解锁步骤重新升级(不发送升级指令)?"));

        // With the port closed, too.
        rig.Ui().openButton->click();
        rig.answers->boxes.clear();
        rig.answers->cautiousAnswers = {true};
        QVERIFY(rig.Upgrade());
        QCOMPARE(rig.Warnings().size(), size_t(1));
        QCOMPARE(rig.Warnings()[0].text, U("升级失败"));
    }

    void cancelStopsAfterTheBlockInProgress()
    {
        PageRig rig({Servo(1, "Kestrel-12")});
        auto& p = rig.Page();
        QVERIFY(rig.Open());
        p->SelectServo(1);
        rig.Load(WriteBin("big.bin", 65536));
        QCOMPARE(p->BlockCount(), 1024);
        rig.bus.SetReplyDelayMs(3);  // slow enough to be caught in the middle
        QSignalSpy ended(&p.page, &ServoTest::UpgradeEnded);
        p.upgradeButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(p.progress->Pos() >= 5, 20000);

        rig.answers->answer = false;  // "Cancel": the transfer goes on
        p.upgradeButton->click();
        QCOMPARE(rig.Of(ShownBox::kQuestion).size(), size_t(1));
        QCOMPARE(rig.Of(ShownBox::kQuestion)[0], (Shown{U("固件升级"), U("是否取消升级?")}));
        const int before = p.progress->Pos();
        QTRY_VERIFY_WITH_TIMEOUT(p.progress->Pos() > before + 3, 20000);

        rig.answers->answer = true;
        int accepted = -1, shownPos = -1;
        rig.answers->onShown = [&](const ShownBox& box) {
            if (box.kind != ShownBox::kWarning)
                return;
            accepted = rig.bus.LoaderBlocksAccepted();
            shownPos = p.progress->Pos();
            rig.bus.SetReplyDelayMs(0);
        };
        // The servo is left in its loader, deaf at its rate: the way back from the unlock
        // step delivers the whole image.
        rig.answers->cautiousAnswers = {true};
        p.upgradeButton->click();
        QVERIFY(ended.wait(60000));
        QCOMPARE(rig.Warnings(), (std::vector<Shown>{{U("固件升级"), U("升级已取消")}}));
        QVERIFY(accepted > 0 && accepted < 1024);
        QCOMPARE(shownPos, accepted);
        QCOMPARE(rig.Cautious().size(), size_t(2));  // the way back, then the restore
        QCOMPARE(rig.Cautious()[0].text,
                 U("舵机可能仍在引导程序中。\n是否从解锁步骤重新升级(不发送升级指令)?"));
        QCOMPARE(rig.bus.LoaderImage(), Pattern(65536));
        QCOMPARE(p.progress->Pos(), 1024);
        QCOMPARE(rig.comm.BaudRate(), 115200);
        QCOMPARE(rig.comm.TimeoutMs(), Rig::kTimeoutMs);
        QVERIFY(p.openButton->isEnabled());
    }

    void closingTheWindowEndsATransfer()
    {
        PageRig rig({Servo(1, "Kestrel-12")});
        auto& p = rig.Page();
        QVERIFY(rig.Open());
        p->SelectServo(1);
        rig.Load(WriteBin("big.bin", 65536));
        rig.bus.SetReplyDelayMs(3);
        p.upgradeButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(p.progress->Pos() >= 2, 20000);
        QVERIFY(p->UpgradeRunning());
        rig.window->close();  // stops and joins the worker, closes the port
        QVERIFY(!p->UpgradeRunning());
        QVERIFY(!rig.comm.IsOpen());
        QCoreApplication::processEvents();
        QVERIFY(rig.Warnings().empty());
    }

    void theCommunicationTest()
    {
        PageRig rig({Servo(1, "Kestrel-12"), Servo(3, "苍鹭 HR25")});
        auto& p = rig.Page();
        QVERIFY(rig.Open());
        rig.Load(WriteBin("fw.bin", 100));
        p.toEdit->setText("3");
        p.timeoutEdit->setText("100");
        QSignalSpy ended(&p.page, &ServoTest::TestEnded);
        p.testButton->click();
        QCOMPARE(p.testButton->text(), U("停止"));
        QVERIFY(!p.upgradeButton->isEnabled());  // one user of the bus at a time
        QTRY_VERIFY_WITH_TIMEOUT(p->Counts().timeouts[2] >= 3, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!p.resultBox->toPlainText().isEmpty(), 5000);
        const QStringList lines = p.resultBox->toPlainText().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].startsWith(U("舵机ID:1  响应时间:")));
        QVERIFY(lines[0].contains(U("us, 超时次数:0 通信速度:")));
        QVERIFY(lines[0].endsWith("kb/s"));
        QVERIFY(lines[1].startsWith(U("舵机ID:2  响应时间:")));
        QVERIFY(!lines[1].contains(U("通信速度")));
        QVERIFY(p.trafficLabel->text().startsWith(U("通信流量:")));
        QVERIFY(p.trafficLabel->text() != U("通信流量:0Byte"));

        p.testButton->click();
        QCOMPARE(p.testButton->text(), U("测试"));  // at once
        if (p->TestRunning())
            QVERIFY(!p.testButton->isEnabled());  // until the pass is finished
        QVERIFY(ended.wait(10000));
        QVERIFY(p.testButton->isEnabled());
        QVERIFY(p.upgradeButton->isEnabled());
        const int32_t count = p->Counts().timeouts[2];
        QVERIFY(count > 0);
        const QString traffic = p.trafficLabel->text();
        QCOMPARE(traffic, QString::fromStdString(TrafficText(p->Counts().traffic)));

        // Counts go on in a new test, until cleared.
        p.testButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(p->Counts().timeouts[2] > count, 10000);
        p.testButton->click();
        QVERIFY(ended.wait(10000));
        const QString before = p.trafficLabel->text();
        p.clearButton->click();
        QVERIFY(p.resultBox->toPlainText().isEmpty());
        QCOMPARE(p->Counts().timeouts[2], 0);
        QCOMPARE(p->Counts().traffic, 0);
        QCOMPARE(p.trafficLabel->text(), before);  // until the next pass
        p.testButton->click();
        p.testButton->click();
        QVERIFY(ended.wait(10000));
        QCOMPARE(p->Counts().timeouts[2], 1);
        QCOMPARE(p.trafficLabel->text(), U("通信流量:162Byte"));
    }

    void impossibleRangesStartNoTest()
    {
        PageRig rig({Servo(1, "Kestrel-12")});
        auto& p = rig.Page();
        const std::pair<const char*, const char*> ranges[] = {{"10", "5"}, {"0", "255"}, {"0", "253"}};
        for (const auto& [start, end] : ranges) {
            p.startEdit->setText(start);
            p.endEdit->setText(end);
            p.testButton->click();
            QCOMPARE(p.testButton->text(), U("测试"));
            QVERIFY(!p->TestRunning());
            QCOMPARE(p.resultBox->toPlainText(), U("地址范围错误"));
        }
    }

    void theTestSharesTheBusWithASearch()
    {
        PageRig rig({Servo(1, "Kestrel-12"), Servo(2, "Osprey-40H"), Servo(200, "Kestrel-12")});
        auto& p = rig.Page();
        QVERIFY(rig.Open());
        p.toEdit->setText("2");
        p.timeoutEdit->setText("100");
        p.testButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(p->Counts().traffic > 0, 10000);
        // Nothing of the test's reads cuts into the search's: every servo is found.
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows(), QStringList({"1 Kestrel-12", "2 Osprey-40H", "200 Kestrel-12"}));
        const int32_t before = p->Counts().traffic;
        QTRY_VERIFY_WITH_TIMEOUT(p->Counts().traffic > before, 10000);  // and the test goes on
        QCOMPARE(p->Counts().timeouts[1] + p->Counts().timeouts[2], 0);
        QSignalSpy ended(&p.page, &ServoTest::TestEnded);
        p.testButton->click();
        QVERIFY(ended.wait(10000));

    }
};

QTEST_MAIN(UpgradePageTest)
#include "UpgradePageTest.moc"
