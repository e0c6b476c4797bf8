// The bus overview on the offscreen platform over the virtual bus: its scan over every rate
// finds the servos and an ID two servos answer to; an alarm turns its row red, stays after
// its cause went until "确认"; a servo that vanishes stays, silent; the rows export as
// servoctl health's CSV; and the window's program serves /metrics while it runs.
#include "AppFixture.h"

#include "pages/overview/OverviewWindow.h"
#include "words/HealthCsv.h"
#ifndef _WIN32
#include "ChildProcess.h"
#include "NetworkServer.h"
#include <httplib.h>
#endif

#include <QAbstractButton>
#include <QLabel>

namespace {

enum { kPositionColumn = 2, kStatusColumn = 6, kAlarmsColumn = 12 };

}  // namespace

class OverviewWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void watchesLatchesAcknowledgesAndExports()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(2, "Kestrel-12"), Servo(3, "Osprey-40H"), Servo(5, "Kestrel-12"),
                 Servo(5, "Osprey-40H")});
        auto* files = new ScriptedFiles;
        auto* messages = new ScriptedBoxes;
        rig.window->SetDialogs(std::unique_ptr<MessageBoxes>(messages), std::unique_ptr<FileDialogs>(files));
        QVERIFY(rig.Open());
        // Ctrl+B opens it; with no servo known it scans every rate first.
        QTest::keyClick(rig.window.get(), Qt::Key_B, Qt::ControlModifier);
        OverviewWindow* w = rig.window->Overview();
        QVERIFY(w && w->isVisible());
        QSignalSpy watching(w, &OverviewWindow::watching);
        QVERIFY(watching.wait(60000));
        auto* table = w->findChild<QTableWidget*>("overviewTable");
        auto* busLine = w->findChild<QLabel*>("overviewBus");
        auto cell = [&](int id, int column) {
            for (int r = 0; r < table->rowCount(); ++r)
                if (table->item(r, 0)->text() == QString::number(id))
                    return table->item(r, column);
            return static_cast<QTableWidgetItem*>(nullptr);
        };
        auto red = [&](int id) { return cell(id, 0)->background().style() != Qt::NoBrush; };
        auto button = [&](const char* caption) {
            for (auto* b : w->findChildren<QAbstractButton*>())
                if (b->accessibleName() == QString::fromUtf8(caption))
                    return b;
            return static_cast<QAbstractButton*>(nullptr);
        };
        for (auto* c : w->findChildren<QWidget*>())
            if (c->parentWidget() == w && (qobject_cast<QAbstractButton*>(c) || qobject_cast<QTableWidget*>(c)))
                QVERIFY2(!c->accessibleName().isEmpty(), c->metaObject()->className());

        QCOMPARE(table->rowCount(), 4);
        QVERIFY2(busLine->text().contains(U("ID 5: 可能有两个舵机应答此 ID")), qPrintable(busLine->text()));
        QCOMPARE(cell(5, kStatusColumn)->text(), U("两个舵机?"));
        // Every clean servo answers within a moment, none alarmed.
        QVERIFY(QTest::qWaitFor([&] { return cell(3, kStatusColumn)->text() == U("舵机正常"); }, 10000));
        QVERIFY(!red(1) && !red(2) && !red(3));

        // An overheating bit raises the alarm; gone again, the row stays red until "确认".
        rig.bus.SetFaultBits(2, 0x04);
        QVERIFY(QTest::qWaitFor([&] { return red(2) && cell(2, kAlarmsColumn)->text() == U("故障位"); }, 10000));
        QVERIFY(!red(1));
        rig.bus.SetFaultBits(2, 0);
        QVERIFY(QTest::qWaitFor([&] { return cell(2, kStatusColumn)->text() == U("舵机正常"); }, 10000));
        QVERIFY(red(2));
        button("确认")->click();
        QVERIFY(!red(2));
        QVERIFY(!rig.servoBus.Traffic().Since(0, TrafficLog::kCapacity).records.empty());
        bool noted = false;
        for (const TrafficRecord& r : rig.servoBus.Traffic().Since(0, TrafficLog::kCapacity).records)
            noted = noted || r.note.find("ID 2 告警: 故障位") != std::string::npos;
        QVERIFY(noted);

        // Servo 3 vanishes: it stays, silent and red, with no value shown as fresh.
        rig.bus.SetServoFault(3, 1.0, 0);
        QVERIFY(QTest::qWaitFor([&] { return red(3) && cell(3, kAlarmsColumn)->text() == U("1 秒无应答"); }, 10000));
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(cell(3, kStatusColumn)->text(), U("通信超时"));
        QCOMPARE(cell(3, kPositionColumn)->text(), U("—"));

        // The rows as servoctl health's file: its header and a row per servo.
        files->save = WorkDir() + "/overview.csv";
        button("导出 CSV...")->click();
        QFile csv(files->save);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString(kHealthCsvHeader));
        QVERIFY2(lines[3].section(',', 1, 1) == "3" && lines[3].endsWith(",,,,,no answer for 1 s"), qPrintable(lines[3]));
        QVERIFY(messages->boxes.empty());
    }

    void theSearchNamesADoubledIdOnce()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(3, "Kestrel-12"), Servo(3, "Osprey-40H")});
        auto* messages = new ScriptedBoxes;
        rig.window->SetDialogs(std::unique_ptr<MessageBoxes>(messages), std::make_unique<ScriptedFiles>());
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows(), QStringList{"1 Kestrel-12"});
        QCOMPARE(messages->Shown(), QStringList{U("舵机搜索|ID 3: 可能有两个舵机应答此 ID")});
    }

#ifndef _WIN32
    void theWindowServesMetrics()
    {
        const int port = NetworkServer::FreePort();
        ChildProcess window({SERVO_DEBUGGER, "--demo", "--metrics", "127.0.0.1:" + std::to_string(port)});
        httplib::Client client("127.0.0.1", port);
        int status = 0;
        std::string body;
        QVERIFY(QTest::qWaitFor([&] {
            if (auto got = client.Get("/metrics")) {
                status = got->status;
                body = got->body;
            }
            return status != 0;
        }, 20000));
        QCOMPARE(status, 200);
        QVERIFY(body.find("servo_bus_busy_ratio") != std::string::npos);
        QCOMPARE(client.Get("/other")->status, 404);
    }
#endif
};

QTEST_MAIN(OverviewWindowTest)
#include "OverviewWindowTest.moc"
