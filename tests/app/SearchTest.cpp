// The servo search in the window: what it lists, how it stops, what a click selects, and
// that it never deadlocks with the window's thread.
#include "AppFixture.h"
#include "DebugControls.h"

#include <thread>

namespace {

std::vector<ServoSpec> MixedBus()
{
    return {Servo(1, "Kestrel-12"), Servo(2, "苍鹭 HR25"), Servo(6, "Osprey-40H", 4, {{3, 99}}),
            Servo(9, "Kestrel-12", 0), Servo(200, "Osprey-40H")};
}

// The ID the status field says is being probed, or -1.
int ProbingId(CServoMain& w)
{
    const QString text = MainControls(w).statusField->text();
    const QString head = U("正在查找 ID:");
    if (!text.startsWith(head))
        return -1;
    return text.mid(head.size()).section(' ', 0, 0).toInt();
}

}  // namespace

class SearchTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void listsTheServosAtThePortsRate()
    {
        Rig rig(MixedBus());
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows(), QStringList({"1 Kestrel-12", U("2 苍鹭 HR25"), U("6 未知型号"),
                                          "200 Osprey-40H"}));
        QCOMPARE(ui.statusField->text(), U("停止"));
        QCOMPARE(ui.searchButton->text(), U("搜索"));
        QCOMPARE(static_cast<int>(w.FoundServos().size()), 4);
        QVERIFY(w.DebugPage().IsPolling());  // the current page polls again

        // A second search starts from an empty list.
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows().size(), 4);
    }

    // A search of a live bus on which nobody answers runs to its end with an empty list, and
    // the page shown afterwards polls.
    void anEmptyBusEndsInStopAndTheNextPagePolls()
    {
        Rig rig({Servo(1, "Kestrel-12", 0)});  // answers at another rate only
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows(), QStringList());
        QCOMPARE(ui.statusField->text(), U("停止"));
        QCOMPARE(ui.searchButton->text(), U("搜索"));
        ui.tabs->setCurrentIndex(1);
        QVERIFY(w.ProgramPage().IsPolling());
        QVERIFY(!w.DebugPage().IsPolling());
    }

    void aClickSelectsTheServoEverywhere()
    {
        Rig rig(MixedBus());
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        rig.ClickRow(1);  // the high-byte-first servo that answers no writes
        QCOMPARE(int(w.SelectedProfile().byteOrder), 1);
        QCOMPARE(int(w.SelectedProfile().statusLevel), 0);
        QCOMPARE(w.DebugPage().FirstId(), 2);
        QCOMPARE(w.ProgramPage().SelectedId(), 2);
        QCOMPARE(int(w.UpgradePage().UpgradeServoId()), 2);
        rig.ClickRow(3);
        QCOMPARE(int(w.SelectedProfile().byteOrder), 0);
        QCOMPARE(int(w.SelectedProfile().statusLevel), 1);
        QCOMPARE(w.DebugPage().FirstId(), 200);

        // Below the rows, and keys moving the selection, select nothing.
        auto* list = ui.servoList;
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(10, list->viewport()->height() - 5));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(w.DebugPage().FirstId(), 200);
        QCOMPARE(int(w.SelectedProfile().byteOrder), 0);
    }

    void stopKeepsWhatWasFound()
    {
        Rig rig(MixedBus());
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QSignalSpy ended(&w, &CServoMain::SearchFinished);
        ui.searchButton->click();
        QCOMPARE(ui.searchButton->text(), U("停止"));
        QVERIFY(!w.DebugPage().IsPolling());
        QTRY_VERIFY_WITH_TIMEOUT(ProbingId(w) >= 20, 20000);
        ui.tabs->setCurrentIndex(1);  // no poll starts while the search runs
        QVERIFY(!w.ProgramPage().IsPolling());
        ui.searchButton->click();
        QVERIFY(ended.wait(5000));
        QCOMPARE(rig.Rows(), QStringList({"1 Kestrel-12", U("2 苍鹭 HR25"), U("6 未知型号")}));
        QVERIFY(ProbingId(w) < 0);
        QVERIFY(w.ProgramPage().IsPolling());  // the page shown at the end polls
        QVERIFY(!w.DebugPage().IsPolling());
        rig.ClickRow(0);
        QCOMPARE(w.DebugPage().FirstId(), 1);
    }

    void closingThePortEndsTheSearch()
    {
        Rig rig(MixedBus());
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QSignalSpy ended(&w, &CServoMain::SearchFinished);
        ui.searchButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(ProbingId(w) >= 10, 20000);
        ui.openButton->click();
        QVERIFY(!w.PortOpen());
        QVERIFY(ended.wait(5000));
        QCOMPARE(ui.statusField->text(), U("停止"));
        QCOMPARE(rig.Rows().size(), 3);
    }

    // A command given during a search is queued behind it: the click returns at once, the
    // search goes on, "停止" ends it within one probe, and the command goes out after it.
    void aCommandDuringASearchNeverHoldsTheWindow()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QSignalSpy ended(&w, &CServoMain::SearchFinished);
        ui.searchButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(ProbingId(w) >= 3, 5000);
        rig.bus.ClearLog();
        DebugControls(w.DebugPage()).setButton->click();
        QVERIFY(w.Searching());  // the click came back while the search holds the bus
        QVERIFY(ProbingId(w) < 40);
        const size_t probesBefore = rig.bus.LogLines().size();
        ui.searchButton->click();
        QVERIFY(ended.wait(5000));
        const auto lines = rig.bus.LogLines();
        // At most the probe in progress when "停止" was pressed, then the command.
        size_t probesAfter = 0;
        bool commandSeen = false;
        for (size_t i = probesBefore; i < lines.size(); ++i) {
            if (lines[i].find(" 04 02 00 09 ") != std::string::npos && !commandSeen)
                ++probesAfter;
            if (lines[i].rfind("> FF FF 00 0A 03 ", 0) == 0)
                commandSeen = true;
        }
        QVERIFY2(probesAfter <= 1, QByteArray::number(qulonglong(probesAfter)));
        auto commandHeard = [&] {
            const auto heard = rig.bus.LogLines();
            return std::any_of(heard.begin(), heard.end(), [](const std::string& l) {
                return l.rfind("> FF FF 00 0A 03 ", 0) == 0;
            });
        };
        QTRY_VERIFY(commandHeard());
    }

    void aVanishingBusNeitherHangsNorCrashes()
    {
        Rig rig(MixedBus());
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QSignalSpy ended(&w, &CServoMain::SearchFinished);
        ui.searchButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(ProbingId(w) >= 5, 20000);
        rig.bus.Stop();  // the far end of the line is gone
        QVERIFY(ended.wait(30000));
        QCOMPARE(ui.statusField->text(), U("端口已断开"));
        QVERIFY(rig.Search());
        QCOMPARE(rig.Rows().size(), 0);
        ui.openButton->click();
        QVERIFY(!w.PortOpen());
    }
};

QTEST_MAIN(SearchTest)
#include "SearchTest.moc"
