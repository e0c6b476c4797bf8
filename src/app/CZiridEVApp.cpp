#include "app/CZiridEVApp.h"
#include "app/DemoDrive.h"
#include "app/ScreenshotDriver.h"

#include "metrics/MetricsAddress.h"
#include "servo/MetricsBoard.h"
#include "support/BaudRates.h"
#include "widgets/Language.h"

#include <QCommandLineParser>
#include <QLocale>

#include <cstdio>
#include <string_view>

namespace {

void NameApplication()
{
    QCoreApplication::setApplicationName("servo-debugger");
    QCoreApplication::setApplicationVersion(SERVO_VERSION);
}

}  // namespace

CZiridEVApp::CZiridEVApp(int& argc, char** argv) : qt((NameApplication(), argc), argv)
{
    QGuiApplication::setDesktopFileName("net.serialbus.ServoDebugger");  // its menu entry and icon
}

bool CZiridEVApp::TextOnly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
            arg == "--version")
            return true;
    }
    return false;
}

int CZiridEVApp::PrintText(int& argc, char** argv)
{
    QCoreApplication core((NameApplication(), argc), argv);
    const Options options = ParseOptions();
    return options.exitCode >= 0 ? options.exitCode : 0;
}

CZiridEVApp::~CZiridEVApp()
{
    metrics.reset();  // its threads read the window's board and the bus's statistics
    window.reset();  // stops the workers and closes the port before the bus goes
    bus.reset();
    demo.reset();
}

CZiridEVApp::Options CZiridEVApp::ParseOptions()
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Debugging tool for serial-bus smart servos.");
    const QCommandLineOption helpOption = parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption demoOption("demo", "Start a virtual bus with three servos and list it first.");
    QCommandLineOption shotOption("screenshot", "Save a PNG of the main window to FILE and exit.",
                                  "FILE");
    QCommandLineOption driveOption("drive",
        "Open the first port, search, select the first servo and leave the debug page polling "
        "with every curve on; print each new communication time-out; end after MINUTES "
        "(0: never).", "MINUTES");
    QCommandLineOption languageOption("language",
        "The window's language: en (English) or zh (Chinese). Without it English when the "
        "system's UI language is English, else Chinese.", "en|zh");
    parser.addOption(languageOption);
    QCommandLineOption trafficOption("traffic", "Open the traffic inspector (Ctrl+L) at start.");
    QCommandLineOption captureOption("fast-capture",
        "With --demo and --screenshot: the debug page's moves in fast capture (back-to-back "
        "feedback reads plotted against time).");
    parser.addOption(captureOption);
    QCommandLineOption stepOption("step-test",
        "With --demo and --screenshot: a picture of the step test's dialog after a sweep of the "
        "first servo's D gain.");
    parser.addOption(stepOption);
    QCommandLineOption calibrateOption("calibrate",
        "With --demo and --screenshot: a picture of the calibration dialog after the middle of "
        "every found servo was set.");
    parser.addOption(calibrateOption);
    QCommandLineOption overviewOption("overview",
        "With --demo and --screenshot: a picture of the bus overview (Ctrl+B) after a search, "
        "one servo dropping a share of its replies and another overheating for a moment. With "
        "--drive: the bus overview opened over the servos found, polling beside the page.");
    parser.addOption(overviewOption);
    QCommandLineOption programOption("program-page",
        "With --demo and --screenshot: a picture of the programming page of the first servo, "
        "two of its fault bits set and a row chosen.");
    parser.addOption(programOption);
    QCommandLineOption metricsOption("metrics",
        "Serve Prometheus metrics at http://ADDRESS:PORT/metrics while the window runs (ADDRESS: "
        "the loopback address unless given): every servo the bus overview watches, and the link "
        "statistics of every ID. Not in the build for Windows, which says so.", "ADDRESS:PORT");
    parser.addOption(metricsOption);
    parser.addOption(demoOption);
    parser.addOption(shotOption);
    parser.addOption(driveOption);
    parser.addOption(trafficOption);
    QCommandLineOption portOption("port",
        "Open the port NAME at start (a serial device, an rfc2217:// or tcp:// name); a port "
        "another of our programs holds is shared with it.", "NAME");
    QCommandLineOption baudOption("baud",
        "The rate for --port: 1000000 500000 250000 128000 115200 76800 57600 or 38400 "
        "(default 115200).", "RATE");
    parser.addOption(portOption);
    parser.addOption(baudOption);
    // The help and the errors are printed here rather than by the parser, which on Windows
    // would show them in a message box even to a console.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(parser.errorText()));
        Options failed;
        failed.exitCode = 1;
        return failed;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        Options help;
        help.exitCode = 0;
        return help;
    }
    // --help-all and --version, which only the parser prints; they end the program.
    parser.process(*QCoreApplication::instance());
    Options options;
    options.demo = parser.isSet(demoOption);
    options.screenshot = parser.value(shotOption);
    options.driveMinutes = parser.isSet(driveOption) ? parser.value(driveOption).toDouble() : -1;
    options.language = parser.value(languageOption);
    options.traffic = parser.isSet(trafficOption);
    options.fastCapture = parser.isSet(captureOption);
    options.stepTest = parser.isSet(stepOption);
    options.calibrate = parser.isSet(calibrateOption);
    options.overview = parser.isSet(overviewOption);
    options.programPage = parser.isSet(programOption);
    options.metrics = parser.value(metricsOption);
    options.port = parser.value(portOption);
    if (parser.isSet(baudOption)) {
        bool number = false;
        options.baud = parser.value(baudOption).toInt(&number);
        if (!number || BaudCodeOfRate(options.baud) < 0) {
            std::fprintf(stderr,
                         "servo-debugger: --baud %s: the rate must be one of 1000000 500000 "
                         "250000 128000 115200 76800 57600 38400\n",
                         qPrintable(parser.value(baudOption)));
            options.exitCode = 2;
        }
    }
    return options;
}

int CZiridEVApp::Run()
{
    const Options options = ParseOptions();
    if (options.exitCode >= 0)
        return options.exitCode;
    const std::optional<Language> language =
        ChooseLanguage(options.language, QLocale::system().uiLanguages());
    if (!language) {
        std::fprintf(stderr, "servo-debugger: unknown language '%s' (en or zh)\n",
                     qPrintable(options.language));
        return 2;
    }
    if (!InstallLanguage(qt, *language))
        std::fprintf(stderr, "servo-debugger: no English translation, the window stays Chinese\n");
    // A bad --metrics address is refused before any window opens.
    std::string metricsAddress;
    int metricsPort = 0;
    if (!options.metrics.isEmpty() &&
        !ParseMetricsAddress(options.metrics.toStdString(), metricsAddress, metricsPort)) {
        std::fprintf(stderr, "servo-debugger: --metrics must be ADDRESS:PORT or PORT (1..65535), not \"%s\"\n",
                     qPrintable(options.metrics));
        return 2;
    }
    if (options.demo) {
        demo = std::make_unique<DemoBus>();
        std::string error;
        if (!demo->Start(error)) {
            std::fprintf(stderr, "servo-debugger: no demo bus: %s\n", error.c_str());
            demo.reset();
        }
    }
    // Without a demo bus, the program's port (a serial device or a network port).
    bus = std::make_unique<ServoBus>(demo ? demo->MakePort() : nullptr);
    window = std::make_unique<CServoMain>(*bus);
    if (!options.metrics.isEmpty()) {
        // Bound before the port opens: a port in use ends the program before anything is sent.
        metrics = std::make_unique<MetricsServer>();
        std::string error;
        if (!metrics->Start(metricsAddress, metricsPort,
                            [board = window->Metrics(), &b = *bus] { return board->Render(b.Link()); }, error)) {
            std::fprintf(stderr, "servo-debugger: %s\n", error.c_str());
            metrics.reset();
            return 2;
        }
    }
    // A catalogue from elsewhere than the working directory is named in the status field.
    if (const std::string& file = window->Catalogue().FileName(); file != "setup.log") {
        const QString note = QCoreApplication::translate("CZiridEVApp", "型号文件: %1")
                                 .arg(QString::fromStdString(file));
        window->ShowNote(note);
    }
    if (demo)
        window->AddPortFirst(QString::fromStdString(demo->PortName()));
    window->show();
    // A port named at start opens as "打开" opens it: a failure is told in the status field.
    if (!options.port.isEmpty() || options.baud > 0)
        window->OpenAtStart(options.port, options.baud);
    if (options.traffic)
        window->ShowTraffic();
    if (options.driveMinutes >= 0)
        StartDemoDrive(*window, options.driveMinutes, options.overview && options.screenshot.isEmpty());

    if (!options.screenshot.isEmpty())
        StartScreenshot(*window, options.screenshot, demo != nullptr,
                        options.overview      ? ShotScene::Overview
                        : options.programPage ? ShotScene::Program
                        : options.calibrate   ? ShotScene::Calibrate
                        : options.stepTest    ? ShotScene::StepTest
                        : options.fastCapture ? ShotScene::FastCapture
                                              : ShotScene::Moves,
                        demo ? demo->Virtual() : nullptr);
    return QApplication::exec();
}
