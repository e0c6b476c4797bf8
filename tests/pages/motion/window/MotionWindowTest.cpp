// The motion window on the offscreen platform over the virtual bus: poses taught by hand
// into the keyframe list, played back and held, the file written and read back, and every
// control named for a screen reader.
#include "AppFixture.h"

#include "pages/motion/MotionWindow.h"
#include "servo/MotionFile.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

namespace {

constexpr int kTorque = 40;

int Position(VirtualBus& bus, int id)
{
    ServoMemory m{};
    bus.Memory(static_cast<uint8_t>(id), m);
    return m[56] | m[57] << 8;
}

}  // namespace

class MotionWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void teachesByHandPlaysAndHolds()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(2, "Kestrel-12")});
        QVERIFY(rig.Open());
        // Ctrl+M in the main window opens it.
        QTest::keyClick(rig.window.get(), Qt::Key_M, Qt::ControlModifier);
        QVERIFY(rig.window->Motion() && rig.window->Motion()->isVisible());
        MotionWindow& w = *rig.window->Motion();
        auto* ids = w.findChild<QLineEdit*>();
        auto* list = w.findChild<QTableWidget*>();
        auto* status = w.findChild<QLabel*>("motionStatus");
        auto button = [&](const char* caption) {
            for (auto* b : w.findChildren<QAbstractButton*>())
                if (b->accessibleName() == QString::fromUtf8(caption))
                    return b;
            return static_cast<QAbstractButton*>(nullptr);
        };
        auto clickAndWait = [&](const char* caption) {
            QSignalSpy done(&w, &MotionWindow::busDone);
            button(caption)->click();
            return done.wait(10000);
        };
        // The window's own controls (not the parts inside a list, a box or a spin box).
        for (auto* c : w.findChildren<QWidget*>())
            if (c->parentWidget() == &w &&
                (qobject_cast<QAbstractButton*>(c) || qobject_cast<QLineEdit*>(c) || qobject_cast<QComboBox*>(c) ||
                 qobject_cast<QAbstractSpinBox*>(c) || qobject_cast<QTableWidget*>(c)))
                QVERIFY2(!c->accessibleName().isEmpty(), c->metaObject()->className());

        ids->setText("1 2");
        QVERIFY(clickAndWait("松开扭矩"));
        const int poses[2][2] = {{1800, 2300}, {2400, 1700}};
        for (const auto& pose : poses) {
            std::string error;
            QVERIFY(rig.bus.TurnByHand(1, pose[0], error));
            QVERIFY(rig.bus.TurnByHand(2, pose[1], error));
            QVERIFY(QTest::qWaitFor([&] { return Position(rig.bus, 1) == pose[0]; }, 5000));
            QVERIFY(clickAndWait("记录姿态"));
        }
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->item(1, 0)->text(), QString("1:2400 2:1700"));
        list->item(1, 1)->setText("300");

        const QString file = WorkDir() + "/wave.json";
        QVERIFY(w.SaveFile(file));
        Motion read;
        MotionFileError error;
        QVERIFY(LoadMotion(file.toStdString(), read, error));
        QCOMPARE(read.keyframes.at(1).timeMs, 300);

        QVERIFY(clickAndWait("播放"));  // the start came back: playing
        QVERIFY(w.Playing());
        QSignalSpy ended(&w, &MotionWindow::busDone);
        QVERIFY(ended.wait(15000));
        QVERIFY2(status->text().startsWith(QString::fromUtf8("播放完毕")), qPrintable(status->text()));
        ServoMemory m{};
        rig.bus.Memory(1, m);
        QCOMPARE(int(m[kTorque]), 1);
        QVERIFY(QTest::qWaitFor([&] { return std::abs(Position(rig.bus, 1) - 2400) < 20; }, 5000));
        // Looping until "停止", which holds.
        w.findChild<QCheckBox*>()->setChecked(true);
        QVERIFY(clickAndWait("播放"));
        QVERIFY(w.Playing());
        QVERIFY(clickAndWait("停止"));
        QVERIFY(!w.Playing());
        QVERIFY2(status->text().startsWith(QString::fromUtf8("已停止")), qPrintable(status->text()));
        rig.bus.Memory(2, m);
        QCOMPARE(int(m[kTorque]), 1);

        if (const QByteArray shot = qgetenv("SERVO_MOTION_SHOT"); !shot.isEmpty())
            w.grab().save(QString::fromLocal8Bit(shot));
    }
};

QTEST_MAIN(MotionWindowTest)
#include "MotionWindowTest.moc"
