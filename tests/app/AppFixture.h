#pragma once
// The main window on the offscreen platform, over a virtual bus built from the shipped
// catalogue; the working directory holds a copy of that catalogue as "setup.log". The bus
// sits on a pseudo-terminal that the window opens as a device; on _WIN32, which has none, on
// an in-process line that the window's port opens by its name.

#include "app/CServoMain.h"
#include "pages/debug/CRobotDlg.h"
#include "pages/program/ServoPG.h"
#include "pages/upgrade/ServoTest.h"
#include "serial/CZNComm.h"
#include "serial/ChannelPort.h"
#include "share/PortByName.h"
#include "serial/PortList.h"
#include "sim/VirtualBus.h"
#include "widgets/Utf8.h"
#include "MainControls.h"
#include "ScriptedDialogs.h"
#include "WireComm.h"
#ifndef _WIN32
#include "serial/TtyLinux.h"
#endif

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A working directory with setup.log, for the whole test program.
inline const QString& WorkDir()
{
    static QTemporaryDir dir;
    static const bool ready = [] {
        QFile::copy(SERVO_SOURCE_DIR "/data/setup.log", dir.filePath("setup.log"));
        return QDir::setCurrent(dir.path());
    }();
    (void)ready;
    static const QString path = dir.path();
    return path;
}

#ifdef _WIN32
using RigPort = ChannelPort;
inline const std::string kRigLine = "demo://test";
inline VirtualBus RigBus(ModelCatalogue& catalogue, const std::shared_ptr<ByteChannel>& line)
{
    return VirtualBus(catalogue, line, kRigLine);
}
inline ChannelPort RigPortOn(const std::shared_ptr<ByteChannel>& line)
{
    return ChannelPort(kRigLine, line);
}
#else
using RigPort = WireComm;
inline VirtualBus RigBus(ModelCatalogue& catalogue, const std::shared_ptr<ByteChannel>&)
{
    return VirtualBus(catalogue);
}
inline WireComm RigPortOn(const std::shared_ptr<ByteChannel>&)
{
    return WireComm();
}
#endif

struct Rig {
    // A bus time-out short enough that a whole search takes seconds, long enough for the
    // virtual bus to answer.
    static constexpr int kTimeoutMs = 20;

    // With a `link`, the window opens the bus by that name, which stays when the bus
    // vanishes and comes back.
    explicit Rig(std::vector<ServoSpec> servos, const QString& link = {})
        : catalogue((WorkDir() + "/setup.log").toStdString()), bus(RigBus(catalogue, line))
#ifndef _WIN32
          , comm(RigPortOn(line))
#endif
    {
        std::string error;
        for (const auto& s : servos)
            if (!bus.AddServo(s, error))
                qFatal("%s", error.c_str());
#ifdef _WIN32
        // The line keeps its name when the bus goes and comes back: no link needed.
        (void)link;
        const QString name = QString::fromStdString(kRigLine);
#else
        bus.SetLinkPath(link.toStdString());
        comm.AttachBus(&bus);
        const QString name = link.isEmpty() ? QString() : link;
#endif
        if (!bus.Start(error))
            qFatal("%s", error.c_str());
        servoBus.Run(JobKind::Command, [](BusAccess& access) { access.SetTimeoutMs(kTimeoutMs); });
        window = std::make_unique<CServoMain>(servoBus);
        window->AddPortFirst(name.isEmpty() ? QString::fromStdString(bus.DevicePath()) : name);
        window->show();
    }
    ~Rig() { window.reset(); }

    // The window's own controls, found by name.
    MainControls Ui() const { return MainControls(*window); }

    // The rate the line runs at, as the far end sees it.
    int LineRate() const
    {
#ifdef _WIN32
        return line->Rate();
#else
        return tty::ReadRate(comm.Handle());
#endif
    }

    // Clicks "打开" and waits for the opening to come back from the bus.
    bool Open()
    {
        QSignalSpy changed(window.get(), &CServoMain::PortChanged);
        Ui().openButton->click();
        changed.wait(5000);
        return window->PortOpen();
    }
    // Lets every job queued so far run, the virtual bus hear all they sent (a request whose
    // answer came too late for its exchange, on a busy machine, is still on the line) and
    // every result reach the window.
    void Settle()
    {
        servoBus.Run(JobKind::Command, [](BusAccess&) {});
        QVERIFY2(QTest::qWaitFor([&] { return bus.Quiet(); }, 10000),
                 "gave up waiting for the bus to hear the line");
        QCoreApplication::processEvents();
    }
    // Runs a whole search and waits for its end.
    bool Search()
    {
        QSignalSpy ended(window.get(), &CServoMain::SearchFinished);
        Ui().searchButton->click();
        return ended.wait(60000);
    }
    QStringList Rows() const
    {
        QStringList rows;
        for (int r = 0; r < Ui().servoList->rowCount(); ++r)
            rows << Ui().servoList->item(r, 0)->text() + " " +
                        Ui().servoList->item(r, 1)->text();
        return rows;
    }
    void ClickRow(int row)
    {
        auto* list = Ui().servoList;
        const QRect rect = list->visualItemRect(list->item(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    ModelCatalogue catalogue;
    std::shared_ptr<ByteChannel> line = std::make_shared<ByteChannel>();
    VirtualBus bus;
#ifdef _WIN32
    // As in the program's demo mode: the line's name opens the line, any other name a device.
    std::unique_ptr<ChannelPort> ownLine = std::make_unique<ChannelPort>(kRigLine, line);
    ChannelPort& comm = *ownLine;
    PortByName port{std::make_unique<CZNComm>(), std::move(ownLine)};
    ServoBus servoBus{port};
#else
    RigPort comm;
    ServoBus servoBus{comm};
#endif
    std::unique_ptr<CServoMain> window;
};

inline ServoSpec Servo(int id, const char* model, int baudCode = 4,
                       std::vector<std::pair<uint8_t, uint8_t>> overrides = {})
{
    ServoSpec s;
    s.id = static_cast<uint8_t>(id);
    s.model = model;
    s.baudCode = baudCode;
    s.overrides = std::move(overrides);
    return s;
}
