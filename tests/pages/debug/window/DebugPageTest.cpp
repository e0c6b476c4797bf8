// The debug page on the offscreen platform over the virtual bus: its controls, what each
// command puts on the wire, the feedback it shows, and its poll beside the window's thread.
#include "AppFixture.h"
#include "DebugControls.h"

#include "plot/CPIC.h"
#include "plot/PlotCsv.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QMenu>
#include <QTemporaryDir>

namespace {

// The packets the bus heard, without the page's own feedback reads.
QStringList CsvLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

QStringList Heard(const VirtualBus& bus)
{
    QStringList lines;
    for (const auto& l : bus.LogLines())
        if (l[0] == '>')
            lines << QString::fromStdString(l.substr(2));
    return lines;
}

int TargetOf(VirtualBus& bus, int id, bool highFirst = false)
{
    ServoMemory m{};
    bus.Memory(static_cast<uint8_t>(id), m);
    const int w = highFirst ? (m[42] << 8) | m[43] : (m[43] << 8) | m[42];
    return DecodeSignMagnitude(static_cast<uint16_t>(w), 15);
}

ModelKey KeyOf(VirtualBus& bus, int id)
{
    ServoMemory m{};
    bus.Memory(static_cast<uint8_t>(id), m);
    ModelKey key{};
    std::copy_n(m.begin(), key.size(), key.begin());
    return key;
}

// A rig whose debug page does not poll, so the bus hears only the page's commands.
struct QuietRig : Rig {
    explicit QuietRig(std::vector<ServoSpec> servos) : Rig(std::move(servos))
    {
        page().StopPolling();
        if (!Open())
            qFatal("port");
        bus.ClearLog();
    }
    CRobotDlg& page() { return window->DebugPage(); }
};

}  // namespace

class DebugPageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void controlsStartAsTheTableSays()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.window->DebugPage());
        QCOMPARE(p->accessibleName(), U("调试"));
        QCOMPARE(p.plot->accessibleName(), U("曲线"));
        QCOMPARE(rig.Ui().statusField->accessibleName(), U("状态"));
        const char* boxes[] = {"位置(黑)", "扭力(红)", "速度(绿)", "目标(蓝)", "快慢(黄)", "电流(青)"};
        const bool ticked[] = {true, true, true, false, false, false};
        const bool shown[] = {true, true, true, false, false, true};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(p.channelBoxes[c]->text(), U(boxes[c]));
            QCOMPARE(p.channelBoxes[c]->accessibleName(), U(boxes[c]));
            QCOMPARE(p.channelBoxes[c]->isChecked(), ticked[c]);
            QCOMPARE(p.channelBoxes[c]->isVisible(), shown[c]);
        }
        QCOMPARE(p.plot->channelMask.load(), 7);
        struct Slider {
            QSlider* s;
            const char* name;
            int low, high, value;
        } sliders[] = {{p.shiftSlider, "水平位移", 0, 2000, 0},
                       {p.spacingSlider, "水平缩放", 8, 64, 8},
                       {p.targetSlider, "目标位置", 0, 4095, 2047}};
        for (const auto& s : sliders) {
            QCOMPARE(s.s->accessibleName(), U(s.name));
            QCOMPARE(s.s->minimum(), s.low);
            QCOMPARE(s.s->maximum(), s.high);
            QCOMPARE(s.s->value(), s.value);
        }
        struct Edit {
            QLineEdit* e;
            const char* name;
            const char* text;
            int maxLength;
            bool enabled;
        } edits[] = {{p.idEdit, "ID:", "0", 3, true},       {p.lastEdit, "---", "10", 3, false},
                     {p.accelerationEdit, "加速度", "0", 3, true},
                     {p.targetEdit, "目标", "2047", 6, true}, {p.speedEdit, "速度", "0", 5, true},
                     {p.timeEdit, "时间", "0", 5, true}};
        for (const auto& e : edits) {
            QCOMPARE(e.e->accessibleName(), U(e.name));
            QCOMPARE(e.e->text(), U(e.text));
            QCOMPARE(e.e->maxLength(), e.maxLength);
            QCOMPARE(e.e->isEnabled(), e.enabled);
        }
        struct Field {
            QLineEdit* f;
            const char* name;
            const char* text;
        } fields[] = {{p.voltageField, "电压:", "0.0 V"}, {p.temperatureField, "温度:", "0 度"},
                      {p.loadField, "扭力:", "0"},       {p.speedField, "速度:", "0"},
                      {p.positionField, "位置:", "0"},   {p.currentField, "电流:", "0"},
                      {p.movingField, "移动:", "0"},     {p.targetField, "目标:", "0"}};
        for (const auto& f : fields) {
            QCOMPARE(f.f->accessibleName(), U(f.name));
            QCOMPARE(f.f->text(), U(f.text));
            QVERIFY(f.f->isReadOnly());
            // Assistive technology reads the value itself.
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(f.f);
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Value), U(f.text));
        }
        QCOMPARE(p.statusField->accessibleName(), U("状态:"));
        QVERIFY(!p.targetField->isVisible());
        QVERIFY(p.modeButtons[0]->isChecked());
        QCOMPARE(p.executeButton->text(), U("异步执行"));
        QVERIFY(!p.executeButton->isEnabled());
        QCOMPARE(p.torqueBox->text(), U("扭能输出"));
        QVERIFY(!p.torqueBox->isChecked());
        QCOMPARE(p.setButton->accessibleName(), U("设置"));
        QVERIFY(p->IsPolling());
        // Until a profile: feedback 56..68, torque at 40, undivided, factor 10.
        const DebugProfile d = p->Profile();
        QCOMPARE(int(d.feedbackFirst), 56);
        QCOMPARE(int(d.feedbackLast), 68);
        QCOMPARE(int(d.torqueAddress), 40);
        QCOMPARE(int(d.positionDivisor), 1);
        QCOMPARE(int(d.speedFactor), 10);
        // The plot sits at the top left, the feedback group at the bottom right.
        QVERIFY(p.plot->geometry().top() < p.idEdit->mapTo(&p.page, QPoint()).y());
        QVERIFY(p.plot->width() >= CPIC::kDefaultWidth);
    }

    void setSendsTheLimitedTargetAndEncodedWords()
    {
        QuietRig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.page());
        p.idEdit->setText("1");
        struct Case {
            const char* target;
            const char* shown;
            int slider;
            const char* packet;
        } cases[] = {
            {"40000", "30719", 4095, "FF FF 01 0A 03 29 00 FF 77 64 04 64 80 06"},
            {"-40000", "-30719", 0, "FF FF 01 0A 03 29 00 FF F7 64 04 64 80 86"},
        };
        for (const auto& c : cases) {
            rig.bus.ClearLog();
            p.targetEdit->setText(c.target);
            p.speedEdit->setText("-100");
            p.timeEdit->setText("-100");
            p.setButton->click();
            rig.Settle();
            QCOMPARE(Heard(rig.bus), QStringList{c.packet});
            QCOMPARE(p.targetEdit->text(), U(c.shown));
            QCOMPARE(p.targetSlider->value(), c.slider);
        }
        // Text that is no number gives 0; the acceleration is its low byte.
        rig.bus.ClearLog();
        p.targetEdit->setText("x12");
        p.speedEdit->setText(" +7z");
        p.timeEdit->setText("");
        p.accelerationEdit->setText("300");
        QCOMPARE(p.accelerationEdit->text(), U("300"));
        p.setButton->click();
        rig.Settle();
        QCOMPARE(Heard(rig.bus), QStringList{"FF FF 01 0A 03 29 2C 00 00 00 00 07 00 95"});
    }

    void aSliderDragSendsOneCommandPerNotification()
    {
        QuietRig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.page());
        p.idEdit->setText("1");
        QSlider* s = p.targetSlider;
        QSignalSpy actions(s, &QSlider::actionTriggered);
        QSignalSpy released(s, &QSlider::sliderReleased);
        // A real drag of the handle with the mouse.
        QStyleOptionSlider opt;
        opt.initFrom(s);
        opt.orientation = s->orientation();
        opt.minimum = s->minimum();
        opt.maximum = s->maximum();
        opt.sliderPosition = opt.sliderValue = s->value();
        const QRect handle =
            s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
        QPoint at = handle.center();
        QTest::mousePress(s, Qt::LeftButton, {}, at);
        for (int i = 0; i < 4; ++i) {
            at += QPoint(20, 0);
            QTest::mouseMove(s, at);
        }
        QTest::mouseRelease(s, Qt::LeftButton, {}, at);
        rig.Settle();
        const int notifications = actions.count() + released.count();
        QVERIFY(actions.count() >= 4);
        QCOMPARE(released.count(), 1);
        const QStringList heard = Heard(rig.bus);
        QCOMPARE(heard.size(), notifications);
        QVERIFY(s->value() > 2047);
        QCOMPARE(p.targetEdit->text(), QString::number(s->value()));
        QCOMPARE(TargetOf(rig.bus, 1), s->value());
        // Every packet is a position write to servo 1, the positions rising.
        int previous = 2047;
        for (const QString& line : heard) {
            QVERIFY2(line.startsWith("FF FF 01 0A 03 29 00"), qPrintable(line));
            const QStringList b = line.split(' ');
            const int target = b[7].toInt(nullptr, 16) | b[8].toInt(nullptr, 16) << 8;
            QVERIFY(target >= previous);
            previous = target;
        }
        // A key on the slider is one more command; moving it from code sends none.
        rig.bus.ClearLog();
        s->setFocus();
        QTest::keyClick(s, Qt::Key_Left);
        s->setValue(100);
        rig.Settle();
        QCOMPARE(Heard(rig.bus).size(), 1);
    }

    void syncAndRegisteredRanges()
    {
        QuietRig rig({Servo(1, "Kestrel-12"), Servo(2, "Kestrel-12"), Servo(3, "Kestrel-12"),
                      Servo(4, "Kestrel-12")});
        DebugControls p(rig.page());
        p.idEdit->setText("1");
        p.modeButtons[1]->click();
        QVERIFY(p.lastEdit->isEnabled());
        QVERIFY(!p.executeButton->isEnabled());
        p.lastEdit->setText("3");
        QCOMPARE(p->LastId(), 3);
        p.targetEdit->setText("1000");
        p.setButton->click();
        rig.Settle();
        QCOMPARE(Heard(rig.bus),
                 QStringList{"FF FF FE 1C 83 29 07 01 00 E8 03 00 00 00 00 02 00 E8 03 00 00 00 "
                             "00 03 00 E8 03 00 00 00 00 6B"});
        for (int id : {1, 2, 3})
            QCOMPARE(TargetOf(rig.bus, id), 1000);
        QVERIFY(TargetOf(rig.bus, 4) != 1000);

        rig.bus.ClearLog();
        p.modeButtons[2]->click();
        QVERIFY(p.executeButton->isEnabled());
        p.targetEdit->setText("1500");
        p.setButton->click();
        rig.Settle();
        const QStringList heard = Heard(rig.bus);
        QCOMPARE(heard.size(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY2(heard[i].startsWith(QString("FF FF 0%1 0A 04 29 00 DC 05").arg(i + 1)),
                     qPrintable(heard[i]));
        for (int id : {1, 2, 3})
            QCOMPARE(TargetOf(rig.bus, id), 1000);  // nothing moves yet
        rig.bus.ClearLog();
        p.executeButton->click();
        rig.Settle();
        QCOMPARE(Heard(rig.bus), QStringList{"FF FF FE 02 05 FA"});
        for (int id : {1, 2, 3})
            QCOMPARE(TargetOf(rig.bus, id), 1500);

        // One ID, and a range that ends below its start.
        rig.bus.ClearLog();
        p.lastEdit->setText("1");
        p.setButton->click();
        p.lastEdit->setText("0");
        p.setButton->click();
        p.modeButtons[1]->click();
        p.setButton->click();
        p.torqueBox->click();
        rig.Settle();
        const QStringList one = Heard(rig.bus);
        QCOMPARE(one.size(), 1);
        QVERIFY(one[0].startsWith("FF FF 01 0A 04 29"));

        // "普通写" disables both again.
        p.modeButtons[0]->click();
        QVERIFY(!p.lastEdit->isEnabled());
        QVERIFY(!p.executeButton->isEnabled());
    }

    void torqueInEachMode()
    {
        QuietRig rig({Servo(1, "Kestrel-12"), Servo(2, "Kestrel-12")});
        DebugControls p(rig.page());
        p.idEdit->setText("1");
        p.lastEdit->setText("2");
        struct Case {
            int mode;
            QStringList packets;
        } cases[] = {
            {0, {"FF FF 01 04 03 28 01 CE"}},
            {1, {"FF FF FE 08 83 28 01 01 01 02 01 48"}},
            {2, {"FF FF 01 04 04 28 01 CD", "FF FF 02 04 04 28 01 CC"}},
        };
        for (const auto& c : cases) {
            rig.bus.ClearLog();
            p.modeButtons[c.mode]->click();
            p.torqueBox->click();  // on
            QVERIFY(p.torqueBox->isChecked());
            p.torqueBox->click();  // off
            rig.Settle();
            QStringList heard = Heard(rig.bus);
            QCOMPARE(heard.size(), 2 * c.packets.size());
            QCOMPARE(heard.mid(0, c.packets.size()), c.packets);
            if (c.mode == 1) {
                QCOMPARE(heard.last(), U("FF FF FE 08 83 28 01 01 00 02 00 4A"));
            }
        }
    }

    void idEditRules()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.window->DebugPage());
        p.idEdit->setText("999");
        QCOMPARE(p->FirstId(), 253);
        QCOMPARE(p.idEdit->text(), U("253"));
        p.idEdit->clear();
        QCOMPARE(p->FirstId(), 0);
        p.idEdit->setFocus();
        QTest::keyClicks(p.idEdit, "1a2");  // digits only
        QCOMPARE(p.idEdit->text(), U("12"));
        QCOMPARE(p->FirstId(), 12);
        p.lastEdit->setText("-3");
        QCOMPARE(p->LastId(), -3);
        p.lastEdit->setText("254");
        QCOMPARE(p->LastId(), 254);
        p.lastEdit->setText("255");
        QCOMPARE(p->LastId(), 10);
        QCOMPARE(p.lastEdit->text(), U("10"));
    }

    void selectServoTakesTheProfile()
    {
        QuietRig rig({Servo(2, "苍鹭 HR25"), Servo(6, "Kestrel-12", 4, {{0, 99}})});
        DebugControls p(rig.page());
        const ServoProfile heron{1, 0, 41};  // high byte first, no status packets
        p->SelectServo(2, KeyOf(rig.bus, 2), heron);
        QCOMPARE(p->FirstId(), 2);
        QCOMPARE(p.idEdit->text(), U("2"));
        QCOMPARE(p.targetSlider->maximum(), 1023);
        QCOMPARE(p.targetSlider->value(), 511);
        QCOMPARE(p.targetEdit->text(), U("511"));
        QCOMPARE(p.plot->PositionFactor(), 4);
        QCOMPARE(int(p->Profile().speedFactor), 5);
        rig.Settle();
        QVERIFY(Heard(rig.bus).isEmpty());  // nothing sent
        p.setButton->click();
        rig.Settle();
        QCOMPARE(Heard(rig.bus), QStringList{"FF FF 02 0A 03 29 00 01 FF 00 00 00 00 C7"});
        QCOMPARE(TargetOf(rig.bus, 2, true), 511);

        // A servo the catalogue has no profile for keeps the previous one.
        p->SelectServo(6, KeyOf(rig.bus, 6), ServoProfile{});
        QCOMPARE(p->FirstId(), 6);
        QCOMPARE(p.targetSlider->maximum(), 1023);
        QCOMPARE(p.plot->PositionFactor(), 4);
    }

    void theKeptProfileIsPolledAndSetAlike()
    {
        QuietRig rig({Servo(2, "苍鹭 HR25"), Servo(6, "Kestrel-12", 4, {{0, 99}})});
        DebugControls p(rig.page());
        p->SelectServo(2, KeyOf(rig.bus, 2), ServoProfile{1, 1, 45});
        // No debug row for servo 6: the poll reads 56..68 and "设置" writes at 45, both kept.
        p->SelectServo(6, KeyOf(rig.bus, 6), ServoProfile{});
        p.setButton->click();
        rig.Settle();
        QCOMPARE(Heard(rig.bus), QStringList{"FF FF 06 0A 03 2D 00 FF 01 00 00 00 00 BF"});
        rig.bus.ClearLog();
        p->StartPolling();
        QTRY_VERIFY_WITH_TIMEOUT(!Heard(rig.bus).isEmpty(), 3000);
        p->StopPolling();
        QCOMPARE(Heard(rig.bus).front(), U("FF FF 06 04 02 38 0D AE"));
    }

    void fieldsFollowTheServoAndFreezeWhenItFallsSilent()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(3, "Osprey-40H")});
        // Exactly at its target once there (a body may rest a count off it).
        rig.bus.SetMotion(SimMotion::Plain);
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        DebugControls p(rig.window->DebugPage());
        rig.ClickRow(1);  // Osprey: feedback 56..72, speed factor 20
        QCOMPARE(p->FirstId(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(p.positionField->text(), U("2047"), 3000);
        QCOMPARE(p.statusField->text(), U("舵机正常"));
        QVERIFY(p.voltageField->text().endsWith(" V"));
        QVERIFY(p.temperatureField->text().endsWith(U(" 度")));
        p.torqueBox->click();
        p.targetEdit->setText("3000");
        p.setButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(p.movingField->text(), U("1"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(p.positionField->text(), U("3000"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(p.movingField->text(), U("0"), 3000);
        QCOMPARE(p.targetField->text(), U("3000"));
        // The curves grew: samples of every channel, the plot's newest position 3000.
        const auto lists = PollLists(p->Samples());
        QVERIFY(lists[kPosition].size() > 3);
        QCOMPARE(int(lists[kPosition].front()), 3000);
        QCOMPARE(int(lists[kTarget].front()), 3000);

        // Silence: only the status changes, and the curves stop growing.
        rig.bus.SetDropShare(1.0);
        QTRY_COMPARE_WITH_TIMEOUT(p.statusField->text(), U("通信超时"), 3000);
        const size_t frozen = PollLists(p->Samples())[kPosition].size();
        const long long silent = p->PollsTimedOut();
        QTRY_VERIFY_WITH_TIMEOUT(p->PollsTimedOut() >= silent + 3, 5000);
        QCOMPARE(p.positionField->text(), U("3000"));
        QCOMPARE(p.targetField->text(), U("3000"));
        QCOMPARE(PollLists(p->Samples())[kPosition].size(), frozen);
        rig.bus.SetDropShare(0);
        QTRY_COMPARE_WITH_TIMEOUT(p.statusField->text(), U("舵机正常"), 3000);

        // A fault shows its texts.
        rig.bus.SetFaultBits(3, 0x25);
        QTRY_COMPARE_WITH_TIMEOUT(p.statusField->text(), U("过压/欠压 过热 过载"), 3000);
    }

    void ctrlHShowsTheHiddenControlsAfterOk()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        auto boxes = std::make_unique<ScriptedBoxes>();
        ScriptedBoxes* asked = boxes.get();
        rig.window->SetDialogs(std::move(boxes), std::make_unique<ScriptedFiles>());
        DebugControls p(rig.window->DebugPage());
        // H alone, in an edit: nothing typed, nothing asked.
        p.targetEdit->setFocus();
        p.targetEdit->setText("12");
        p.targetEdit->end(false);
        QTest::keyClick(p.targetEdit, Qt::Key_H);
        QTest::keyClick(p.targetEdit, Qt::Key_H, Qt::ShiftModifier);
        QCOMPARE(p.targetEdit->text(), U("12"));
        QVERIFY(asked->boxes.empty());
        QTest::keyClick(p.targetEdit, Qt::Key_5);
        QCOMPARE(p.targetEdit->text(), U("125"));

        asked->answer = false;
        QTest::keyClick(p.targetEdit, Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(asked->Shown(), QStringList{U("异常操作|异常操作,是否继续?")});
        QVERIFY(!p.targetField->isVisible());
        QVERIFY(!p.channelBoxes[kTarget]->isVisible());

        asked->answer = true;
        QTest::keyClick(p.setButton, Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(asked->boxes.size(), size_t(2));
        QVERIFY(p.targetField->isVisible());
        QVERIFY(p.channelBoxes[kTarget]->isVisible());
        QVERIFY(p.channelBoxes[kFastSlow]->isVisible());
        QVERIFY(!p.channelBoxes[kTarget]->isChecked());
        // Asked each time, also once shown; a Cancel hides nothing.
        asked->answer = false;
        QTest::keyClick(p.idEdit, Qt::Key_H, Qt::ControlModifier);
        QCOMPARE(asked->boxes.size(), size_t(3));
        QVERIFY(p.targetField->isVisible());
        QCOMPARE(p.targetEdit->text(), U("125"));

        // The channel boxes set and clear their bits.
        p.channelBoxes[kTarget]->click();
        p.channelBoxes[kPosition]->click();
        QCOMPARE(p.plot->channelMask.load(), 0x0E);
        p.channelBoxes[kCurrent]->click();
        QCOMPARE(p.plot->channelMask.load(), 0x2E);
    }

    void commandsAndPollsNeverInterleave()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.window->DebugPage());
        // Slow answers within a generous time-out (the Windows build runs under wine, on a
        // machine busy with other builds): a read times out only when a command that went
        // out during it took (or flushed away) its answer.
        rig.comm.SetTimeoutMs(2000);
        QVERIFY(rig.Open());
        p.idEdit->setText("1");
        rig.bus.SetReplyDelayMs(15);
        QTRY_VERIFY_WITH_TIMEOUT(p->PollsAnswered() > 2, 3000);
        const long long before = p->PollsTimedOut();
        for (int i = 0; i < 40; ++i) {
            p.targetEdit->setText(QString::number(1000 + i));
            p.setButton->click();
            if (i % 10 == 9) {  // a poll between every ten commands
                const long long seen = p->PollsAnswered();
                QTRY_VERIFY_WITH_TIMEOUT(p->PollsAnswered() > seen, 5000);
            }
        }
        const long long answered = p->PollsAnswered();
        QTRY_VERIFY_WITH_TIMEOUT(p->PollsAnswered() > answered, 5000);
        QCOMPARE(p->PollsTimedOut(), before);
        QTRY_COMPARE_WITH_TIMEOUT(TargetOf(rig.bus, 1), 1039, 5000);
        // Every request the bus heard was whole.
        for (const auto& l : rig.bus.LogLines())
            QVERIFY2(l.find("bad checksum") == std::string::npos, l.c_str());
    }

    void stoppingThePollNeverWaitsForTheWindow()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.window->DebugPage());
        QVERIFY(rig.Open());
        p.idEdit->setText("1");
        for (int i = 0; i < 30; ++i) {
            if (i % 2) {  // stopped at once, or just after a poll's answer came in
                const long long seen = p->PollsAnswered() + p->PollsTimedOut();
                QTRY_VERIFY_WITH_TIMEOUT(p->PollsAnswered() + p->PollsTimedOut() > seen, 5000);
            }
            p->StopPolling();
            QVERIFY(!p->IsPolling());
            p->StartPolling();
        }
        QTRY_COMPARE_WITH_TIMEOUT(p.statusField->text(), U("舵机正常"), 3000);
    }

    void plotMenuPausesExportsAndRecords()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.window->DebugPage());
        QVERIFY(rig.Open());
        p.idEdit->setText("1");
        QTemporaryDir dir;
        auto boxes = std::make_unique<ScriptedBoxes>();
        auto files = std::make_unique<ScriptedFiles>();
        const ScriptedBoxes& shown = *boxes;
        QString& chosen = files->save;
        rig.window->SetDialogs(std::move(boxes), std::move(files));
        auto choose = [&](const QString& path, const char* action) {
            chosen = path;
            for (QAction* a : p.plotMenu->actions())
                if (a->text() == U(action))
                    return a->trigger(), true;
            return false;
        };
        auto polls = [&] { return p->PollsAnswered() + p->PollsTimedOut(); };

        // The menu key opens the menu as a right click does.
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), p.plot->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(p.plot, &key);
        QTRY_VERIFY(p.plotMenu->isVisible());
        p.plotMenu->hide();

        // A recording: one row per poll, a lost answer its own row, until "停止记录".
        const QString record = dir.filePath("record.csv");
        QVERIFY(choose(record, "开始记录..."));
        QVERIFY(p.plot->Recording());
        QCOMPARE(p.recordAction->text(), U("停止记录"));
        QTRY_VERIFY(CsvLines(record).size() > 3);
        rig.bus.SetDropShare(1.0);
        QTRY_VERIFY(CsvLines(record).last().endsWith(",,,,,,,,,,timeout"));
        rig.bus.SetDropShare(0);
        QTRY_VERIFY(CsvLines(record).last().endsWith(",0x00"));
        QVERIFY(choose({}, "停止记录"));
        QVERIFY(!p->IsRecording() && !p.plot->Recording());
        const QStringList rows = CsvLines(record);
        const long long after = polls();
        QTRY_VERIFY(polls() > after + 2);
        QCOMPARE(CsvLines(record), rows);  // nothing more after the stop
        QCOMPARE(rows[0], QString(kFeedbackCsvHeader));
        QVERIFY(rows.filter("timeout").size() >= 1);
        for (const QString& row : rows.mid(1)) {
            const QStringList f = row.split(',');
            QCOMPARE(f.size(), 11);
            QVERIFY(row.endsWith("timeout") || f[1] == p.positionField->text());
        }

        // Pause: the lists fill, the picture holds still; the space bar toggles it.
        QVERIFY(choose({}, "清除"));
        QCOMPARE(PollLists(p->Samples())[kPosition].size(), size_t(0));
        QTRY_VERIFY(PollLists(p->Samples())[kPosition].size() > 2);
        p.plot->setFocus();
        QTest::keyClick(p.plot, Qt::Key_Space);
        QVERIFY(p.plot->Paused());
        const QImage held = p.plot->grab().toImage();
        const size_t heldSamples = PollLists(p->Samples())[kPosition].size();
        QTRY_VERIFY(PollLists(p->Samples())[kPosition].size() > heldSamples + 2);
        QCOMPARE(p.plot->grab().toImage(), held);
        QTest::keyClick(p.plot, Qt::Key_Space);
        QVERIFY(!p.plot->Paused());
        QVERIFY(p.plot->grab().toImage() != held);

        // CSV export of every list, and the picture.
        p->StopPolling();
        const QString csv = dir.filePath("plot.csv");
        QVERIFY(choose(csv, "导出 CSV..."));
        const auto lists = PollLists(p->Samples());
        const QStringList lines = CsvLines(csv);
        QCOMPARE(lines[0], QString(kPlotCsvHeader));
        QCOMPARE(lines.size(), int(lists[kPosition].size()) + 1);
        for (int c = 0; c < kChannels; ++c) {
            QCOMPARE(lines[1].split(',')[2 + c].toInt(), int(lists[size_t(c)].back()));
            QCOMPARE(lines.last().split(',')[2 + c].toInt(), int(lists[size_t(c)].front()));
        }
        QVERIFY(lines.last().split(',')[1].toLongLong() > lines[1].split(',')[1].toLongLong());
        const QString png = dir.filePath("plot.png");
        QVERIFY(choose(png, "导出图片..."));
        QCOMPARE(QImage(png).size(), p.plot->size());
        QVERIFY(shown.boxes.empty());

        // Files that can't be written: a message each, no recording.
#ifdef _WIN32
        const QString full = dir.filePath("no-such-folder/record.csv");
#else
        const QString full = dir.filePath("full.csv");
        QVERIFY(QFile::link("/dev/full", full));  // a disk that is full
#endif
        QVERIFY(choose(full, "开始记录..."));
        QVERIFY(choose(dir.filePath("none/plot.csv"), "导出 CSV..."));
        QCOMPARE(shown.Of(ShownBox::kWarning).size(), size_t(2));
        QVERIFY(!p->IsRecording());
    }
    // "高速采集": the page reads back to back, the plot draws against time; switched off, the
    // 50 ms poll's packets come back and nothing else; leaving the page ends it too.
    void fastCaptureAndBackToThePoll()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        DebugControls p(rig.window->DebugPage());
        QVERIFY(rig.Open());
        p.idEdit->setText("1");
        auto polls = [&] { return p->PollsAnswered() + p->PollsTimedOut(); };
        QTRY_VERIFY(polls() > 1);
        rig.bus.ClearLog();
        QTRY_VERIFY(!Heard(rig.bus).isEmpty());
        const QString read = Heard(rig.bus).first();

        QCOMPARE(p.fastCaptureAction->text(), U("高速采集"));
        p.fastCaptureAction->trigger();
        QVERIFY(p->FastCapture() && p.plot->CaptureMode() && !p->IsPolling());
        QTRY_VERIFY(p->SamplesCaptured() > 100);
        QTRY_VERIFY(p.plot->CaptureRows().size() > 100);

        p.fastCaptureAction->trigger();
        QVERIFY(!p->FastCapture() && !p.plot->CaptureMode() && p->IsPolling());
        const long long settled = polls();
        QTRY_VERIFY(polls() > settled);  // the read under way when switched off has ended
        const long long captured = p->SamplesCaptured();
        rig.bus.ClearLog();
        const long long from = polls();
        QTRY_VERIFY(polls() >= from + 4);
        const QStringList heard = Heard(rig.bus);
        QVERIFY2(heard.size() <= polls() - from + 1, qPrintable(QString::number(heard.size())));
        for (const QString& packet : heard)
            QCOMPARE(packet, read);
        QCOMPARE(p->SamplesCaptured(), captured);

        p.fastCaptureAction->trigger();
        QVERIFY(p->FastCapture());
        rig.Ui().tabs->setCurrentIndex(1);  // "编程"
        QVERIFY(!p->FastCapture() && !p->IsPolling());
    }
};

QTEST_MAIN(DebugPageTest)
#include "DebugPageTest.moc"
