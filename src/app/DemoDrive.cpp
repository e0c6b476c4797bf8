#include "app/DemoDrive.h"

#include "app/CServoMain.h"
#include "widgets/ServoWords.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

const char* const kCurves[] = {"位置(黑)", "扭力(红)", "速度(绿)", "电流(青)", "目标(蓝)", "快慢(黄)"};

void TickEveryCurve(CServoMain& window)
{
    for (QCheckBox* box : window.findChildren<QCheckBox*>())
        for (const char* caption : kCurves)
            if (box->text() == QCoreApplication::translate("CRobotDlg", caption) &&
                !box->isChecked())
                box->click();
}

bool ShowsTimeout(CServoMain& window)
{
    const QString timeout = ServoWords::Timeout();  // in the window's language
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->text().contains(timeout))
            return true;
    for (QLineEdit* edit : window.findChildren<QLineEdit*>())
        if (edit->text().contains(timeout))
            return true;
    return false;
}

}  // namespace

void StartDemoDrive(CServoMain& window, double minutes, bool overview)
{
    if (minutes > 0) {
        QTimer::singleShot(static_cast<int>(minutes * 60 * 1000), &window, [&window] {
            window.Shutdown();
            QApplication::exit(0);
        });
    }
    QObject::connect(&window, &CServoMain::SearchFinished, &window, [&window, overview] {
        if (window.FoundServos().empty()) {
            std::fprintf(stderr, "servo-debugger: the search found no servo to drive\n");
            return;
        }
        window.ShowPage(0);
        window.ChooseServo(0, true);
        TickEveryCurve(window);
        if (overview)
            window.ShowOverview();
        std::printf("driving: servo selected, polling\n");
        std::fflush(stdout);
    });
    // Later than the screenshot's own start, whose open and search it then leaves alone.
    auto search = [&window] {
        if (!window.Searching() && window.FoundServos().empty())
            window.ClickSearch();
    };
    QTimer::singleShot(300, &window, [&window, search] {
        if (window.PortOpen())
            return search();
        // The port opens on the bus; the search starts when the window hears it did.
        auto opened = std::make_shared<QMetaObject::Connection>();
        *opened = QObject::connect(&window, &CServoMain::PortChanged, &window,
                                   [opened, search](bool open) {
                                       QObject::disconnect(*opened);
                                       if (open)
                                           search();
                                       else
                                           std::fprintf(stderr, "servo-debugger: could not open "
                                                                "the first port\n");
                                   });
        window.ClickOpen();
    });
    // A label or field that newly shows the time-out text counts one time-out.
    auto* watch = new QTimer(&window);
    auto shown = std::make_shared<bool>(false);
    QObject::connect(watch, &QTimer::timeout, &window, [&window, shown] {
        const bool now = ShowsTimeout(window);
        if (now && !*shown) {
            std::printf("通信超时\n");
            std::fflush(stdout);
        }
        *shown = now;
    });
    watch->start(10);
}
