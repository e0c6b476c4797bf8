// The main window's start-up state, port handling, tabs and polls, and its dialog seams.
#include "AppFixture.h"

#include "serial/PortInfo.h"

#include <thread>

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void startsAsTheToolDoes()
    {
        ServoBus bus;
        CServoMain window(bus);
        MainControls ui(window);
        QCOMPARE(window.windowTitle(), U("ZOVorid Aveva V1.9.3"));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(ui.baudCombo->count(), 8);
        const char* rates[] = {"1000000", "500000", "250000", "128000",
                               "115200",  "76800",  "57600",  "38400"};
        for (int i = 0; i < 8; ++i)
            QCOMPARE(ui.baudCombo->itemText(i), QString(rates[i]));
        QCOMPARE(ui.baudCombo->currentText(), QString("115200"));
        PortList probe;
        probe.EnumeratePorts();
        QCOMPARE(ui.portCombo->count(), probe.PortCount());
        if (probe.PortCount() > 0)
            QCOMPARE(ui.portCombo->currentText(),
                     QString::fromStdString(probe.PortNames()[probe.PortCount() - 1]));
        QCOMPARE(ui.tabs->count(), 3);
        QCOMPARE(ui.tabs->tabText(0), U("调试"));
        QCOMPARE(ui.tabs->tabText(1), U("编程"));
        QCOMPARE(ui.tabs->tabText(2), U("升级"));
        QCOMPARE(ui.tabs->currentIndex(), 0);
        QVERIFY(window.DebugPage().IsPolling());
        QVERIFY(!window.ProgramPage().IsPolling());
        QCOMPARE(ui.openButton->text(), U("打开"));
        QCOMPARE(ui.searchButton->text(), U("搜索"));
        QCOMPARE(ui.servoList->horizontalHeaderItem(0)->text(), U("ID号"));
        QCOMPARE(ui.servoList->horizontalHeaderItem(1)->text(), U("型号"));
    }

    void opensAndClosesThePort()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QCOMPARE(ui.openButton->text(), U("关闭"));
        QVERIFY(!ui.portCombo->isEnabled());
        QVERIFY(!ui.baudCombo->isEnabled());
        QCOMPARE(rig.comm.BaudRate(), 115200);
        QCOMPARE(rig.LineRate(), 115200);
        ui.openButton->click();
        QVERIFY(!w.PortOpen());
        QTRY_VERIFY(!rig.comm.IsOpen());
        QTRY_COMPARE(ui.openButton->text(), U("打开"));
        QVERIFY(ui.portCombo->isEnabled());
        QVERIFY(ui.baudCombo->isEnabled());
    }

    void aNameThatIsNoPortChangesNothingButSaysWhy()
    {
        Rig rig({});
        auto& w = *rig.window;
        MainControls ui(w);
        const QString device = QString::fromStdString(rig.bus.DevicePath());
        RigPort holder = RigPortOn(rig.line);  // another program has the bus's port
        QCOMPARE(holder.Open(rig.bus.DevicePath()), 1);
#ifdef _WIN32
        const char* const missing = "COM199";
        const char* const noSerialPort = "NUL";
#else
        const char* const missing = "/nonexistent/ttyUSB9";
        const char* const noSerialPort = "/dev/null";
#endif
        const std::pair<QString, QString> cases[] = {
            {missing, U("无法打开端口 %1: 设备不存在").arg(missing)},
            {"", U("无法打开端口 : 设备不存在")},
            {noSerialPort, U("无法打开端口 %1: 不是串口设备").arg(noSerialPort)},
            {device, U("无法打开端口 %1: 端口被其他程序占用").arg(device)},
        };
        for (const auto& [name, why] : cases) {
            ui.portCombo->setEditText(name);
            ui.openButton->click();
            rig.Settle();
            QVERIFY(!w.PortOpen());
            QCOMPARE(ui.openButton->text(), U("打开"));
            QVERIFY(ui.portCombo->isEnabled());
            QCOMPARE(ui.statusField->text(), why);
        }
        ui.searchButton->click();  // the port is closed: nothing happens
        QCOMPARE(ui.searchButton->text(), U("搜索"));
        // Once the other program lets go, the port opens and the reason goes.
        holder.Close();
        QVERIFY(rig.Open());
        QCOMPARE(ui.statusField->text(), QString());
    }

    void aFailedOpenShowsNoMessage()
    {
        Rig rig({});
        auto& w = *rig.window;
        MainControls ui(w);
        auto messages = std::make_unique<ScriptedBoxes>();
        auto* shown = messages.get();
        w.SetDialogs(std::move(messages), std::make_unique<QtFileDialogs>());
        ui.portCombo->setEditText("/nonexistent/ttyUSB9");
        ui.openButton->click();
        rig.Settle();
        QVERIFY(!w.PortOpen());
        QCOMPARE(shown->Shown(), QStringList());
    }

    void theLastPortEnumeratedStandsFirst()
    {
        ServoBus bus;
        CServoMain window(bus);
        MainControls ui(window);
        window.FillPortList({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"});
        QCOMPARE(ui.portCombo->count(), 3);
        QCOMPARE(ui.portCombo->itemText(0), QString("/dev/ttyUSB0"));
        QCOMPARE(ui.portCombo->itemText(2), QString("/dev/ttyS0"));
        QCOMPARE(ui.portCombo->currentText(), QString("/dev/ttyUSB0"));
        window.FillPortList({});
        QCOMPARE(ui.portCombo->count(), 0);
    }

    // A port the system describes shows its device's words; its name alone opens. Under
    // wine the prefix describes COM7 as a USB adapter whose latency timer is 16 ms.
    void aDescribedPortOpensByItsNameAndToldIfSlow()
    {
        Rig rig({});
        MainControls ui(*rig.window);
        PortInfo port;
        port.device = rig.bus.DevicePath();
        port.friendlyName = "USB Serial Port (" + port.device + ")";
        port.manufacturer = "Bench Adapters";
        rig.window->FillDescribedPorts({port});
        const QString name = QString::fromStdString(port.device);
        QCOMPARE(ui.portCombo->currentText(), name + " - USB Serial Port (Bench Adapters)");
        QVERIFY(rig.Open());
        rig.window->ClickOpen();
        rig.Settle();
        const QString adapter = qEnvironmentVariable("SERVO_TEST_ADAPTER_PORT");
        if (adapter.isEmpty())
            QSKIP("no USB adapter described by the system (scripts/test-windows describes COM7)");
        rig.window->FillDescribedPorts(DescribePorts(SystemRoots{}));
        const int index = ui.portCombo->findData(adapter);
        QVERIFY(index >= 0);
        QCOMPARE(ui.portCombo->itemText(index), adapter + " - USB Serial Port (Bench Adapters)");
        ui.portCombo->setCurrentIndex(index);
        QVERIFY(rig.Open());
        QVERIFY(ui.statusField->text().startsWith(adapter + U(": 适配器的延迟计时器为 16 ms, ")));
    }

    // "关闭" never waits for the bus: it stops the current page's poll at once, the port
    // closes once the job running on the bus has ended, and the poll runs again after.
    void closingNeverWaitsForTheBus()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QVERIFY(w.DebugPage().IsPolling());
        std::atomic<bool> held{false}, release{false};
        rig.servoBus.Post(JobKind::Command, [&](BusAccess&) {
            held = true;
            while (!release)
                std::this_thread::yield();
        });
        while (!held)
            std::this_thread::yield();
        ui.openButton->click();  // returns while the bus is still busy
        QVERIFY(!w.PortOpen());
        QVERIFY(!w.DebugPage().IsPolling());
        QVERIFY(rig.comm.IsOpen());
        release = true;
        QTRY_VERIFY(!rig.comm.IsOpen());
        QTRY_VERIFY(w.DebugPage().IsPolling());
    }

    void tabsMoveThePoll()
    {
        Rig rig({});
        auto& w = *rig.window;
        MainControls ui(w);
        ui.tabs->setCurrentIndex(1);
        QVERIFY(!w.DebugPage().IsPolling());
        QVERIFY(w.ProgramPage().IsPolling());
        ui.tabs->setCurrentIndex(2);
        QVERIFY(!w.DebugPage().IsPolling());
        QVERIFY(!w.ProgramPage().IsPolling());
        ui.tabs->setCurrentIndex(0);
        QVERIFY(w.DebugPage().IsPolling());
        QVERIFY(!w.ProgramPage().IsPolling());
    }

    void enterAndEscapeCloseNothing()
    {
        Rig rig({});
        auto& w = *rig.window;
        MainControls ui(w);
        QTest::keyClick(&w, Qt::Key_Escape);
        QTest::keyClick(&w, Qt::Key_Return);
        QTest::keyClick(ui.servoList, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        QCOMPARE(w.result(), 0);
    }

    void messageBoxesLookAsTheyShould()
    {
        auto warning = QtMessageBoxes::MakeWarning(nullptr, U("固件升级"), U("升级失败"));
        QCOMPARE(warning->icon(), QMessageBox::Warning);
        QCOMPARE(warning->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(warning->windowTitle(), U("固件升级"));
        QCOMPARE(warning->text(), U("升级失败"));
        auto question = QtMessageBoxes::MakeQuestion(nullptr, U("异常操作"), U("异常操作,是否继续?"));
        QCOMPARE(question->icon(), QMessageBox::Question);
        QCOMPARE(question->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
    }

    void closingTheWindowStopsEverything()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        ui.searchButton->click();
        QVERIFY(w.Searching());
        w.close();
        QVERIFY(!w.Searching());
        QVERIFY(!rig.comm.IsOpen());
        QVERIFY(!w.DebugPage().IsPolling());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
