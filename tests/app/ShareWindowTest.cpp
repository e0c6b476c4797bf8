// The window sharing its bus: opened with --port and --baud, polling, while servoctl and Python
// clients attach (the status field counts them, the traffic inspector names them); its port
// closed under them, they fail as "port gone". A window attached to another program's bus
// says whose it is and refuses a firmware update there.
#include "AppFixture.h"
#include "DebugControls.h"
#include "UpgradeControls.h"
#include "app/TrafficWindow.h"

#include "ChildProcess.h"

#include <fstream>

namespace {

// A program of the test's, started in the test's folder (with its offscreen platform). Forked
// and at once replaced: a child that started threads first would not run under the thread
// checker.
std::unique_ptr<ChildProcess> Start(const std::string& program, const QStringList& args)
{
    WorkDir();
    qputenv("PYTHONPATH", SERVOBUS_DIR);
    std::vector<std::string> argv{program};
    for (const QString& a : args)
        argv.push_back(a.toStdString());
    return std::make_unique<ChildProcess>(std::move(argv));
}

bool Contains(const std::string& text, const QString& part)
{
    return text.find(part.toStdString()) != std::string::npos;
}

}  // namespace

class ShareWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void aWindowStartedOnAPortSharesIt()
    {
        auto bad = Start(SERVO_DEBUGGER, {"--baud", "12345"});
        QVERIFY(bad->Wait() == 2 && Contains(bad->Err(), "must be one of"));

        Rig rig({Servo(1, "Kestrel-12")});
        rig.window->OpenAtStart(WorkDir() + "/no-such-port", 0);
        QTRY_VERIFY_WITH_TIMEOUT(rig.Ui().statusField->text().startsWith(U("无法打开端口")), 10000);

        const QString dev = QString::fromStdString(rig.bus.DevicePath());
        auto window = Start(SERVO_DEBUGGER, {"--port", dev, "--baud", "115200"});
        const QString owner = QString("servo-debugger (pid %1)").arg(window->Pid());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.bus.LogLines().empty(), 10000);  // the window polls
        auto ctl = Start(SERVOCTL, {"-p", dev, "read", "1", "3", "2"});
        QVERIFY(ctl->Wait() && Contains(ctl->Err(), "shared by " + owner));

        // A window of its own over the program's port attaches, says whose bus it is on, and
        // sends no firmware there.
        ServoBus ownBus;
        CServoMain attached(ownBus);
        MainControls ui(attached);
        auto messages = std::make_unique<ScriptedBoxes>();
        auto files = std::make_unique<ScriptedFiles>();
        ScriptedBoxes& shown = *messages;
        files->open = WorkDir() + "/share.bin";
        std::ofstream(files->open.toStdString(), std::ios::binary) << std::string(64 * 4, 'Z');
        attached.SetDialogs(std::move(messages), std::move(files));
        attached.OpenAtStart(dev, 0);
        QTRY_COMPARE_WITH_TIMEOUT(ui.statusField->text(), U("端口 %1 由 %2 共享").arg(dev, owner), 10000);
        UpgradeControls upgrade(attached.UpgradePage());
        upgrade.openButton->click();
        upgrade.upgradeButton->click();
        QVERIFY2(shown.Shown().size() == 1 && shown.Shown().front().contains(owner), qPrintable(shown.Shown().join('\n')));
        QCOMPARE(upgrade.upgradeButton->text(), U("升级"));
        attached.Shutdown();
        window->Signal(SIGTERM);
        QVERIFY(window->Wait());
    }

    void clientsAttachCountAndLoseThePort()
    {
        Rig rig({Servo(0, "Kestrel-12")});  // the ID the debug page polls from the start
        const QString dev = QString::fromStdString(rig.bus.DevicePath());
        QSignalSpy changed(rig.window.get(), &CServoMain::PortChanged);
        rig.window->OpenAtStart(dev, 115200);
        QVERIFY(changed.wait(5000) && rig.window->PortOpen());
        DebugControls debug(rig.window->DebugPage());
        rig.window->ShowTraffic();

        auto ctl = Start(SERVOCTL, {"-p", dev, "monitor", "0", "--interval", "20"});
#if SERVO_PYTHON_CLIENT
        auto py = Start(PYTHON, {"-u", "-c",
            "import servobus, sys\n"
            "p = servobus.Port(sys.argv[1])\n"
            "print(p.shared_by)\n"
            "try:\n"
            "    while True: p[0].feedback()\n"
            "except servobus.PortClosedError as e: print('gone:', e)\n", dev});
        const QString second = "python3";
#else
        // An interpreter not built for the sanitizer cannot load the module: a second servoctl.
        auto py = Start(SERVOCTL, {"-p", dev, "monitor", "0", "--interval", "20"});
        const QString second = "servoctl";
#endif
        const QLineEdit* status = rig.Ui().statusField;
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), U("共享给 2 个程序"), 10000);
        // Each exchange in the inspector under its program; the window's poll goes on.
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            QSet<QString> programs;
            for (const TrafficRecord& r : rig.window->TrafficWindow()->Model().Rows())
                programs << TrafficModel::ProgramText(r);
            return programs.contains(U("本程序")) &&
                   programs.contains(QString("servoctl (pid %1)").arg(ctl->Pid())) &&
                   programs.contains(QString("%1 (pid %2)").arg(second).arg(py->Pid()));
        }(), 10000);
        QFile exported(WorkDir() + "/share.csv");
        QVERIFY(rig.window->TrafficWindow()->ExportCsv(exported.fileName()) && exported.open(QIODevice::ReadOnly));
        QVERIFY(exported.readAll().contains(QString(",servoctl (pid %1)\n").arg(ctl->Pid()).toUtf8()));
        debug.statusField->clear();
        QTRY_COMPARE_WITH_TIMEOUT(debug.statusField->text(), U("舵机正常"), 10000);

        ctl->Signal(SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), U("共享给 1 个程序"), 10000);
        QVERIFY(Contains(ctl->Err(), "is shared by servo-debugger"));
        rig.Ui().openButton->click();  // "关闭"
        QTRY_VERIFY_WITH_TIMEOUT(py->Wait(1).has_value(), 10000);
#if SERVO_PYTHON_CLIENT
        const QString said = QString::fromStdString(py->Out());
        QVERIFY2(said.startsWith(QString("('servo-debugger', %1)").arg(QCoreApplication::applicationPid())) &&
                     said.contains("port gone"), qPrintable(said));
#else
        QVERIFY(Contains(py->Err(), "port gone"));
#endif
        QTRY_VERIFY_WITH_TIMEOUT(status->text().isEmpty(), 10000);
    }
};

QTEST_MAIN(ShareWindowTest)
#include "ShareWindowTest.moc"
