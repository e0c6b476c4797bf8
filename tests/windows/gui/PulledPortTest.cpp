// The window on a COM port whose adapter is pulled while the debug page polls: the port is
// seen to be gone, as on any other system. The port is named by SERVO_TEST_PULLED_PORT; the
// test says "ready" on its output once the window polls, and whoever started it then takes
// the bus behind the port away (scripts/test-windows ends the virtual bus under it).
#include "AppFixture.h"
#include "DebugControls.h"

#include <cstdio>

class PulledPortTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void pulledPortShowsAsGone()
    {
        const QString name = qEnvironmentVariable("SERVO_TEST_PULLED_PORT");
        if (name.isEmpty())
            QSKIP("SERVO_TEST_PULLED_PORT names no port");
        ServoBus bus;
        bus.Run(JobKind::Command, [](BusAccess& access) { access.SetTimeoutMs(50); });
        CServoMain window(bus);
        MainControls ui(window);
        window.AddPortFirst(name);
        window.show();
        QSignalSpy changed(&window, &CServoMain::PortChanged);
        ui.openButton->click();
        QVERIFY(changed.wait(10000));
        QVERIFY(window.PortOpen());
        QSignalSpy searched(&window, &CServoMain::SearchFinished);
        ui.searchButton->click();
        QVERIFY(searched.wait(120000));
        QCOMPARE(ui.servoList->rowCount(), 1);
        emit ui.servoList->cellClicked(0, 0);
        QTRY_COMPARE_WITH_TIMEOUT(DebugControls(window.DebugPage()).statusField->text(), U("舵机正常"), 10000);

        std::printf("ready\n");
        std::fflush(stdout);
        QTRY_COMPARE_WITH_TIMEOUT(ui.statusField->text(), U("端口已断开"), 60000);
        QVERIFY(!bus.Facts().Open());
        ui.openButton->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui.openButton->text(), U("打开"), 5000);
    }
};

QTEST_MAIN(PulledPortTest)
#include "PulledPortTest.moc"
