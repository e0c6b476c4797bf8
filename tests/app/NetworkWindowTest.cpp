// The window on a network port: a typed rfc2217:// name opens through a real ser2net, the
// search finds the servos behind it, and the name stays in the port list after the local
// ports.
#include "AppFixture.h"
#include "Ser2Net.h"

#include <csignal>

class NetworkWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        WorkDir();
        // A write to a connection the server just closed raises SIGPIPE. The network port
        // ignores it where it finds the default action, as in the program; QtTest's crash
        // handler stands in its place here.
        std::signal(SIGPIPE, SIG_IGN);
    }

    void aTypedNetworkPortOpensAndIsSearched()
    {
        ModelCatalogue catalogue((WorkDir() + "/setup.log").toStdString());
        VirtualBus bus(catalogue);
        std::string error;
        for (const auto& s : {Servo(1, "Kestrel-12"), Servo(3, "Osprey-40H")})
            QVERIFY2(bus.AddServo(s, error), error.c_str());
        QVERIFY2(bus.Start(error), error.c_str());
        Ser2Net server(bus.DevicePath());
        QVERIFY2(server.Start(error), error.c_str());

        ServoBus servoBus;  // the program's own port, which opens any name
        servoBus.Run(JobKind::Command, [](BusAccess& access) { access.SetTimeoutMs(Rig::kTimeoutMs); });
        CServoMain window(servoBus);
        MainControls ui(window);
        window.show();
        const QString name = QString::fromStdString(server.Rfc2217());
        ui.portCombo->setEditText(name);
        QSignalSpy changed(&window, &CServoMain::PortChanged);
        ui.openButton->click();
        QVERIFY(changed.wait(5000));
        QVERIFY(window.PortOpen());
        QCOMPARE(ui.portCombo->itemText(ui.portCombo->count() - 1), name);

        QSignalSpy ended(&window, &CServoMain::SearchFinished);
        ui.searchButton->click();
        QVERIFY(ended.wait(60000));
        QCOMPARE(ui.servoList->rowCount(), 2);
        QCOMPARE(ui.servoList->item(0, 1)->text(), QString("Kestrel-12"));
        QCOMPARE(ui.servoList->item(1, 0)->text(), QString("3"));
        window.Shutdown();
    }

    // A port of each kind opened right after the other: the server still holds the device
    // for the connection that just closed and turns the next one away at first.
    void eachKindOpensRightAfterTheOther()
    {
        ModelCatalogue catalogue((WorkDir() + "/setup.log").toStdString());
        VirtualBus bus(catalogue);
        std::string error;
        QVERIFY2(bus.AddServo(Servo(1, "Kestrel-12"), error), error.c_str());
        QVERIFY2(bus.Start(error), error.c_str());
        Ser2Net server(bus.DevicePath());
        QVERIFY2(server.Start(error), error.c_str());

        ServoBus servoBus;
        servoBus.Run(JobKind::Command, [](BusAccess& access) { access.SetTimeoutMs(Rig::kTimeoutMs); });
        CServoMain window(servoBus);
        MainControls ui(window);
        window.show();
        QSignalSpy changed(&window, &CServoMain::PortChanged);
        for (const std::string& name : {server.Rfc2217(), server.Raw(), server.Rfc2217()}) {
            ui.portCombo->setEditText(QString::fromStdString(name));
            ui.openButton->click();
            QVERIFY(changed.wait(10000));
            QVERIFY2(window.PortOpen(), qPrintable(ui.statusField->text()));
            QVERIFY2(!ui.statusField->text().contains(QString::fromUtf8("波特率")),
                     qPrintable(ui.statusField->text()));  // no refused rate
            QSignalSpy ended(&window, &CServoMain::SearchFinished);
            ui.searchButton->click();
            QVERIFY(ended.wait(60000));
            QCOMPARE(ui.servoList->rowCount(), 1);
            ui.openButton->click();  // closes it
            QVERIFY(changed.wait(5000));
        }
        window.Shutdown();
    }
};

QTEST_MAIN(NetworkWindowTest)
#include "NetworkWindowTest.moc"
