// The traffic inspector over the virtual bus: Ctrl+L opens it; packets of a running poll and
// of commands come in order, each reply after its request and under its operation; the
// filters, pause and the CSV export.
#include "AppFixture.h"
#include "DebugControls.h"
#include "app/TrafficWindow.h"

#include <QFile>

class TrafficWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void showsPollAndCommandsInOrder()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(2, "Kestrel-12")});
        rig.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QTest::keyClick(rig.window.get(), Qt::Key_L, Qt::ControlModifier);
        CTrafficWindow* w = rig.window->TrafficWindow();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->windowTitle(), U("通信记录"));
        QCOMPARE(w->exportButton->accessibleName(), U("导出..."));
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        rig.ClickRow(0);
        DebugControls page(rig.window->DebugPage());
        for (const char* target : {"1000", "2000", "3000"}) {
            page.targetEdit->setText(target);
            page.setButton->click();
        }
        auto count = [&](JobKind kind) {
            w->Pull();
            int n = 0;
            for (const auto& r : w->Model().Rows())
                n += r.operation == kind;
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(count(JobKind::Command) >= 6 && count(JobKind::Poll) >= 20, 10000);
        QVERIFY(count(JobKind::Search) >= 2 * 254);

        // Every reply follows its request, from the ID asked, under the same operation; the
        // times never go back.
        const auto& rows = w->Model().Rows();
        for (size_t i = 1; i < rows.size(); ++i) {
            const TrafficRecord& r = rows[i];
            QVERIFY(rows[i - 1].seq < r.seq && rows[i - 1].timeUs <= r.timeUs);
            if (r.direction != PacketDirection::In)
                continue;
            const TrafficRecord& request = rows[i - 1];
            QCOMPARE(request.direction, PacketDirection::Out);
            QCOMPARE(request.operation, r.operation);
            if (r.verdict == Verdict::Good)
                QCOMPARE(r.bytes[2], request.bytes[2]);
        }

        // The ID filter keeps the packets of servo 2 only (its search read and answer).
        w->idFilter->setText("2");
        QVERIFY(!w->Model().Rows().empty());
        for (const auto& r : w->Model().Rows())
            QCOMPARE(int(r.bytes.at(2)), 2);
        w->idFilter->clear();
        w->operationFilter->setCurrentIndex(2);  // 命令
        for (const auto& r : w->Model().Rows())
            QCOMPARE(r.operation, JobKind::Command);
        w->operationFilter->setCurrentIndex(0);

        // Paused, the rows hold still while the poll goes on.
        w->pauseButton->click();
        QCOMPARE(w->pauseButton->text(), U("继续"));
        const size_t held = w->Model().Rows().size();
        const uint64_t seen = rig.servoBus.Traffic().Next();
        QTRY_VERIFY(rig.servoBus.Traffic().Next() > seen + 4);
        w->Pull();
        QCOMPARE(w->Model().Rows().size(), held);
        w->pauseButton->click();
        QVERIFY(w->Model().Rows().size() > held);

        // The export holds a header and one line per row shown.
        const QString path = WorkDir() + "/traffic.csv";
        QVERIFY(w->ExportCsv(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.front(), QByteArray(TrafficCsvHeader()));
        QCOMPARE(size_t(lines.size()), w->Model().Rows().size() + 2);  // and the last line end
        QVERIFY(!w->ExportCsv(WorkDir() + "/no/such/folder/traffic.csv"));

        // Closed, the bus records nothing more.
        w->close();
        rig.Settle();
        const uint64_t closedAt = rig.servoBus.Traffic().Next();
        page.setButton->click();
        rig.Settle();
        QCOMPARE(rig.servoBus.Traffic().Next(), closedAt);
    }
};

QTEST_MAIN(TrafficWindowTest)
#include "TrafficWindowTest.moc"
