#pragma once
// The application object: creates the bus owner (the one serial port and protocol object),
// the main window, and in demo mode the virtual bus, and runs the event loop.

#include "app/CServoMain.h"
#include "app/DemoBus.h"
#include "bus/ServoBus.h"
#include "metrics/MetricsServer.h"

#include <QApplication>
#include <QString>

#include <memory>

class CZiridEVApp {
public:
    struct Options {
        bool demo = false;
        QString screenshot;  // save a picture of the window there and exit
        double driveMinutes = -1;  // open, search, select and poll unattended (scripts/soak)
        QString language;  // "en", "zh", or empty for the system's UI language
        bool traffic = false;      // open the traffic inspector at start
        bool fastCapture = false;  // the demo screenshot's debug page in fast capture
        bool stepTest = false;     // the demo screenshot of the step test's dialog after a sweep
        bool calibrate = false;    // the demo screenshot of "校准" after a middle of all servos
        bool programPage = false;  // the demo screenshot of the programming page
        bool overview = false;     // the demo screenshot of the bus overview with a faulty servo
        QString metrics;           // serve /metrics at this ADDRESS:PORT
        QString port;              // open this port at start
        int baud = 0;              // at this rate (0: the window's own choice)
        int exitCode = -1;         // 0 or more: the options are done (help, a mistake)
    };

    CZiridEVApp(int& argc, char** argv);
    ~CZiridEVApp();
    int Run();

    // Whether the command line only asks for a text (the help, the version): that needs no
    // display, so it is answered before any window system is reached.
    static bool TextOnly(int argc, char** argv);
    // Prints that text; the exit status.
    static int PrintText(int& argc, char** argv);

private:
    static Options ParseOptions();

    QApplication qt;
    // Made in Run: in demo mode the bus owner's port must know the demo bus.
    std::unique_ptr<DemoBus> demo;
    std::unique_ptr<ServoBus> bus;
    std::unique_ptr<CServoMain> window;
    // Serves /metrics from the window's copies; stopped before the window and the bus go.
    std::unique_ptr<MetricsServer> metrics;
};
