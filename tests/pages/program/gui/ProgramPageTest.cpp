// The programming page in the window, over the virtual bus: the table and its poll, row
// choice, value writes with their messages, the risk key, parameter files and the resets.
#include "AppFixture.h"
#include "ProgramControls.h"

#include "widgets/Dialogs.h"
#include "Packets.h"

#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>

#include <fstream>
#include <iterator>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}

}  // namespace

class ProgramPageTest : public QObject {
    Q_OBJECT

    // A window with the bus open, servo `row` of the search clicked and the page shown.
    struct Page {
        explicit Page(std::vector<ServoSpec> servos, int row = 0) : rig(std::move(servos))
        {
            auto boxes = std::make_unique<ScriptedBoxes>();
            auto dialogs = std::make_unique<ScriptedFiles>();
            answers = boxes.get();
            answers->answer = false;
            files = dialogs.get();
            rig.window->SetDialogs(std::move(boxes), std::move(dialogs));
            if (!rig.Open() || !rig.Search())
                qFatal("no bus");
            rig.ClickRow(row);
            rig.Ui().tabs->setCurrentIndex(1);
        }
        // Waits until the list shows `text` in "数值" of the row with this address.
        bool WaitForValue(const QString& address, const QString& text)
        {
            return QTest::qWaitFor([&] {
                const int now = Row(address);
                return now >= 0 && page.list->item(now, 2)->text() == text;
            }, 5000);
        }
        int Row(const QString& address) const
        {
            for (int r = 0; r < page.list->rowCount(); ++r)
                if (page.list->item(r, 0) && page.list->item(r, 0)->text() == address)
                    return r;
            return -1;
        }
        void Click(const QString& address)
        {
            const int r = Row(address);
            page.list->scrollToItem(page.list->item(r, 1));
            const QRect rect = page.list->visualItemRect(page.list->item(r, 1));
            QTest::mouseClick(page.list->viewport(), Qt::LeftButton, {}, rect.center());
        }
        // The write-type packets the servos heard since the last ClearLog (polls left out).
        QStringList Heard() const
        {
            QStringList lines;
            for (const auto& l : rig.bus.LogLines())
                if (l.rfind("> ", 0) == 0 && l.size() > 16 && l.substr(14, 2) != "02")
                    lines << QString::fromStdString(l.substr(2));
            return lines;
        }
        ServoMemory Memory(int id) const
        {
            ServoMemory m{};
            rig.bus.Memory(static_cast<uint8_t>(id), m);
            return m;
        }
        // The last box shown, once the bus has done what was asked and its answer is in.
        ShownBox LastBox()
        {
            rig.Settle();
            return answers->boxes.empty() ? ShownBox{} : answers->boxes.back();
        }

        Rig rig;
        ScriptedBoxes* answers = nullptr;
        ScriptedFiles* files = nullptr;
        ProgramControls page{rig.window->ProgramPage()};
    };

private slots:
    void initTestCase() { WorkDir(); }

    void aFreshPageWaitsForAServo()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        ProgramControls page(rig.window->ProgramPage());
        QCOMPARE(page->accessibleName(), U("编程"));
        QCOMPARE(page.list->accessibleName(), U("内存表"));
        QCOMPARE(page.statusBox->accessibleName(), U("舵机状态"));
        QCOMPARE(page.valueEdit->accessibleName(), U("数值"));
        QCOMPARE(page.statusBox->toPlainText(), U("舵机正常"));
        QVERIFY(page.statusBox->isReadOnly());
        QCOMPARE(page.itemLabel->text(), U("--"));
        QVERIFY(!page.valueEdit->isEnabled());
        QVERIFY(!page.writeButton->isEnabled());
        QCOMPARE(page.writeButton->text(), U("保存"));
        QStringList captions;
        for (auto* b : {page.saveButton, page.loadButton, page.restoreButton, page.resetAngleButton})
            captions << b->text();
        QCOMPARE(captions, QStringList({U("保存参数"), U("载入参数"), U("重置参数"), U("重置角度")}));
        QStringList headers;
        QList<int> widths;
        for (int c = 0; c < page.list->columnCount(); ++c) {
            headers << page.list->horizontalHeaderItem(c)->text();
            widths << page.list->columnWidth(c);
        }
        QCOMPARE(headers, QStringList({U("地址"), U("内存"), U("数值"), U("存储区域"), U("读写")}));
        QCOMPARE(widths, QList<int>({60, 160, 80, 80, 80}));
        QCOMPARE(page.list->rowCount(), 0);
    }

    void theTableFillsAndFollowsTheServo()
    {
        Page p({Servo(1, "Kestrel-12")});
        ProgramControls& page = p.page;
        QVERIFY(page->IsPolling());
        // The live position replaces the initial value "0".
        QVERIFY(p.WaitForValue("56", "2047"));
        QCOMPARE(page.list->rowCount(), 48);
        QCOMPARE(page.list->item(p.Row("18"), 1)->text(), U("--"));
        QCOMPARE(page.statusBox->toPlainText(), U("舵机正常"));

        // Each tick is one exchange: one read of the whole table.
        page->StopPolling();
        p.rig.Settle();  // a tick already queued has run
        p.rig.bus.ClearLog();
        const long long ticks = page->PollTicks();
        page->StartPolling();
        QTRY_VERIFY_WITH_TIMEOUT(page->PollTicks() - ticks >= 5, 5000);
        page->StopPolling();
        p.rig.Settle();
        int reads = 0;
        for (const auto& l : p.rig.bus.LogLines()) {
            if (l.rfind("> ", 0) != 0)
                continue;  // the replies
            QCOMPARE(QString::fromStdString(l), U("> FF FF 01 04 02 00 49 AF"));
            ++reads;
        }
        QVERIFY(page->PollTicks() - ticks >= 5);
        QCOMPARE(reads, page->PollTicks() - ticks);
        page->StartPolling();

        p.rig.bus.SetFaultBits(1, 0x25);
        QTRY_COMPARE_WITH_TIMEOUT(page.statusBox->toPlainText(), U("过压/欠压\n过热\n过载"), 3000);
        QCOMPARE(page.statusBox->document()->blockCount(), 3);

        // A servo that stops answering: the values stay, the status box says so.
        p.rig.bus.SetDropShare(1);
        QTRY_COMPARE_WITH_TIMEOUT(page.statusBox->toPlainText(), U("通信超时"), 3000);
        QCOMPARE(page.list->item(p.Row("56"), 2)->text(), U("2047"));
        p.rig.bus.SetDropShare(0);
        QTRY_COMPARE_WITH_TIMEOUT(page.statusBox->toPlainText(), U("过压/欠压\n过热\n过载"), 3000);
    }

    void choosingARowFillsTheEditor()
    {
        Page p({Servo(1, "Kestrel-12")});
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));
        struct Case {
            QString address, name, value, caption;
            bool writable;
        } cases[] = {
            {"56", U("当前位置"), "2047", U("设置"), false},
            {"13", U("最高温度上限"), "70", U("保存"), true},
            {"41", U("加速度"), "0", U("设置"), true},
            {"0", U("固件主版本号"), "5", U("保存"), false},
        };
        for (const auto& c : cases) {
            p.Click(c.address);
            QCOMPARE(page.itemLabel->text(), c.name);
            QCOMPARE(page.valueEdit->text(), c.value);
            QCOMPARE(page.writeButton->text(), c.caption);
            QCOMPARE(page.valueEdit->isEnabled(), c.writable);
            QCOMPARE(page.writeButton->isEnabled(), c.writable);
        }
        // The arrow keys choose the row they move to, once released.
        p.Click("13");
        QTest::keyClick(page.list, Qt::Key_Down);
        QCOMPARE(page.itemLabel->text(), U("最高输入电压"));
        QTest::keyClick(page.list, Qt::Key_Up);
        QTest::keyClick(page.list, Qt::Key_Up);
        QCOMPARE(page.itemLabel->text(), U("最大角度限制"));
        QCOMPARE(page.valueEdit->text(), U("4095"));
    }

    void writingAValueSaysHowItWent()
    {
        Page p({Servo(1, "Kestrel-12")});
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));

        // Out of range: the message and nothing on the bus.
        p.Click("13");
        p.rig.bus.ClearLog();
        for (const auto& [typed, message] : {std::pair{"101", "最高温度上限不能大于100"},
                                             std::pair{"-1", "最高温度上限不能小于0"}}) {
            page.valueEdit->setText(typed);
            page.writeButton->click();
            QCOMPARE(p.LastBox().title, U("参数错误"));
            QCOMPARE(p.LastBox().text, U(message));
        }
        p.rig.Settle();
        QCOMPARE(p.Heard(), QStringList());

        // An EPROM value: unlock, value, lock, and the saved message.
        page.valueEdit->setText(" 60abc");
        page.writeButton->click();
        QCOMPARE(p.LastBox().title, U("参数保存"));
        QCOMPARE(p.LastBox().text, U("舵参数保存成功"));
        QTRY_COMPARE_WITH_TIMEOUT(p.Heard(), QStringList({QString::fromStdString(PacketHex(1, 3, {48, 0})),
                                                          QString::fromStdString(PacketHex(1, 3, {13, 60})),
                                                          QString::fromStdString(PacketHex(1, 3, {48, 1}))}),
                                 3000);
        QVERIFY(p.WaitForValue("13", "60"));

        // A "设置" value that goes through shows nothing.
        const size_t shown = p.answers->boxes.size();
        p.Click("42");
        page.valueEdit->setText("-100");
        page.writeButton->click();
        QCOMPARE(p.answers->boxes.size(), shown);
        QVERIFY(p.WaitForValue("42", "-100"));

        // One that fails says so.
        p.rig.bus.SetDropShare(1);
        page.writeButton->click();
        QCOMPARE(p.LastBox().title, U("参数设置"));
        QCOMPARE(p.LastBox().text, U("舵参数设置失败"));
        p.Click("13");
        page.writeButton->click();
        QCOMPARE(p.LastBox().text, U("舵参数保存失败"));
    }

    void theRateFollowsAWriteOfAddress6()
    {
        Page p({Servo(1, "Kestrel-12")});
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));
        p.Click("6");
        page.valueEdit->setText("2");
        page.writeButton->click();
        QCOMPARE(p.LastBox().text, U("舵参数保存成功"));
        QCOMPARE(p.rig.Ui().baudCombo->currentText(), U("250000"));
        QCOMPARE(p.rig.comm.BaudRate(), 250000);
        QVERIFY(p.WaitForValue("6", "2"));  // the servo answers the poll at its new rate
    }

    void theRiskKeyNeverReachesTheEdit()
    {
        Page p({Servo(1, "Kestrel-12")});
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));
        p.Click("13");
        page.valueEdit->setFocus();
        page.valueEdit->setText("7");
        page.valueEdit->end(false);
        p.rig.bus.ClearLog();
        QTest::keyClicks(page.valueEdit, "1rR2");
        QCOMPARE(page.valueEdit->text(), U("712"));
        QVERIFY(p.answers->boxes.empty());

        p.answers->answer = false;
        QTest::keyClick(page.valueEdit, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(p.LastBox().kind, ShownBox::kQuestion);
        QCOMPARE(p.LastBox().title, U("风险操作"));
        QCOMPARE(p.LastBox().text, U("继续操作会产生损环舵机风险是否继续住下操作?"));
        p.rig.Settle();
        QCOMPARE(p.Heard(), QStringList());

        p.answers->answer = true;
        QTest::keyClick(page.list, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(p.LastBox().text, U("操作成功如舵机产生异常请联系售后"));
        QTRY_COMPARE_WITH_TIMEOUT(p.Heard(), QStringList({U("FF FF 01 02 09 F3")}), 3000);
        QCOMPARE(page.valueEdit->text(), U("712"));
    }

    void parameterFilesGoOutAndComeBack()
    {
        Page p({Servo(1, "Kestrel-12")});
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));
        QTemporaryDir dir;

        // Cancel: nothing.
        page.saveButton->click();
        QCOMPARE(p.files->asked, 1);
        QCOMPARE(p.files->lastFilter, U("Servo Files (*.dat)"));
        QVERIFY(QDir(dir.path()).isEmpty());

        // A name without an extension gets ".dat"; the file is the EPROM block.
        p.files->save = dir.filePath("bench");
        page.saveButton->click();
        const ServoMemory m = p.Memory(1);
        QCOMPARE(ReadAll(dir.filePath("bench.dat")),
                 QByteArray(reinterpret_cast<const char*>(m.data()), 37));
        QVERIFY(p.answers->boxes.empty());

        // A file that can't be written: the message, and the old file stays.
        p.files->save = dir.filePath("no-such-folder/x.dat");
        page.saveButton->click();
        QCOMPARE(p.LastBox().title, U("参数保存"));
        QCOMPARE(p.LastBox().text, U("无法保存参数文件"));

        // Load a changed copy: the servo takes it, the page follows its ID and rate.
        QByteArray changed = ReadAll(dir.filePath("bench.dat"));
        changed[5] = 7;
        changed[6] = 3;
        changed[13] = 55;
        {
            QFile f(dir.filePath("changed.dat"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(changed);
        }
        p.files->open = dir.filePath("changed.dat");
        page.loadButton->click();
        QCOMPARE(p.LastBox().title, U("参数载入"));
        QCOMPARE(p.LastBox().text, U("参数载入成功"));
        QCOMPARE(page->SelectedId(), 7);
        QCOMPARE(p.rig.Ui().baudCombo->currentText(), U("128000"));
        QVERIFY(p.WaitForValue("13", "55"));
        QCOMPARE(p.Memory(7)[48], 1);

        p.files->open = dir.filePath("missing.dat");
        page.loadButton->click();
        QCOMPARE(p.LastBox().kind, ShownBox::kPlain);
        QCOMPARE(p.LastBox().text, U("无法打开参数文件"));
    }

    void aSavedFileHoldsTheClickedServosBytesOrNothing()
    {
        Page p({Servo(1, "Kestrel-12"), Servo(2, "Osprey-40H")});
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));
        QTemporaryDir dir;
        p.files->save = dir.filePath("x.dat");
        const auto refused = [&] {
            const ShownBox box = p.LastBox();
            return box.title == U("参数保存") && box.text == U("通信超时") &&
                   p.files->asked == 0 && QDir(dir.path()).isEmpty();
        };

        // A save at once after a click (no poll in between): the image is still servo 1's.
        page->StopPolling();
        p.rig.Settle();
        p.rig.ClickRow(1);
        page.saveButton->click();
        QVERIFY(refused());
        page->StartPolling();

        // Once servo 2 has been read, the file is its EPROM block.
        QVERIFY(p.WaitForValue("5", "2"));
        page.saveButton->click();
        const QByteArray saved = ReadAll(dir.filePath("x.dat"));
        const ServoMemory m = p.Memory(2);
        QVERIFY(saved.size() > 8);
        QCOMPARE(saved, QByteArray(reinterpret_cast<const char*>(m.data()), saved.size()));
        QFile::remove(dir.filePath("x.dat"));

        // A click on a servo that doesn't answer: nothing of the last image is saved.
        p.files->asked = 0;
        p.rig.bus.SetDropShare(1);
        p.rig.ClickRow(0);
        QTRY_COMPARE_WITH_TIMEOUT(page.statusBox->toPlainText(), U("通信超时"), 3000);
        page.saveButton->click();
        QVERIFY(refused());
    }

    void theResetsReportAndRestoreFollowsTheServo()
    {
        Page p({Servo(5, "Kestrel-12", 2)});
        p.rig.Ui().openButton->click();  // reopen at the servo's rate
        p.rig.Settle();
        p.rig.Ui().baudCombo->setCurrentIndex(2);
        QVERIFY(p.rig.Open());
        QVERIFY(p.rig.Search());
        p.rig.ClickRow(0);
        ProgramControls& page = p.page;
        QVERIFY(p.WaitForValue("56", "2047"));

        page.resetAngleButton->click();
        QCOMPARE(p.LastBox().title, U("角度重置"));
        QCOMPARE(p.LastBox().text, U("角度重置成功，圈数清除，角度恢复单圈角度!"));
        page.restoreButton->click();
        QCOMPARE(p.LastBox().title, U("参数恢复"));
        QCOMPARE(p.LastBox().text, U("参数恢复成功"));
        QCOMPARE(page->SelectedId(), 1);
        QCOMPARE(p.rig.Ui().baudCombo->currentText(), U("115200"));
        QVERIFY(p.WaitForValue("5", "1"));

        // Nobody left to answer at level 1.
        p.rig.bus.SetDropShare(1);
        QTRY_COMPARE_WITH_TIMEOUT(page.statusBox->toPlainText(), U("通信超时"), 3000);
        page.restoreButton->click();
        QCOMPARE(p.LastBox().text, U("参数恢复失败"));
        page.resetAngleButton->click();
        QCOMPARE(p.LastBox().text, U("角度重置失败!"));
    }
};

QTEST_MAIN(ProgramPageTest)
#include "ProgramPageTest.moc"
