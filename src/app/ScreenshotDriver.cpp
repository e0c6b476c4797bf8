#include "app/ScreenshotDriver.h"

#include "app/CServoMain.h"
#include "app/TrafficWindow.h"
#include "pages/debug/CRobotDlg.h"
#include "pages/debug/StepTestDialog.h"
#include "pages/overview/OverviewWindow.h"
#include "pages/program/CalibrateDialog.h"
#include "sim/VirtualBus.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QLineEdit>
#include <QTabWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

// The control of `window` whose accessible name is `name`, in the window's language
// (`context` its class's translation context).
template <typename Control>
Control* PageControl(QWidget& window, const char* name, const char* context = "CRobotDlg")
{
    const QString shown = QCoreApplication::translate(context, name);
    for (Control* c : window.findChildren<Control*>())
        if (c->accessibleName() == shown)
            return c;
    return nullptr;
}

// Opens the step test, sweeps D from 1500 to 2500 over 1.5 s and calls `done` with its dialog
// once the sweep has ended.
void SweepD(CRobotDlg& page, const std::function<void(QWidget&)>& done)
{
    auto* open = PageControl<QPushButton>(page, "阶跃测试");
    if (!open)
        return done(page);
    open->click();
    StepTestDialog& dialog = page.StepDialog();
    const char* context = "StepTestDialog";
    auto* from = PageControl<QSpinBox>(dialog, "起点:", context);
    auto* to = PageControl<QSpinBox>(dialog, "目标:", context);
    auto* duration = PageControl<QDoubleSpinBox>(dialog, "时长 (秒):", context);
    auto* values = PageControl<QLineEdit>(dialog, "参数值:", context);
    auto* sweep = dialog.findChild<QComboBox*>(QStringLiteral("sweepCombo"));
    auto* start = dialog.findChild<QPushButton*>(QStringLiteral("startButton"));
    if (!from || !to || !duration || !values || !sweep || !start)
        return done(dialog);
    from->setValue(1500);
    to->setValue(2500);
    duration->setValue(1.5);
    for (int i = 0; i < sweep->count(); ++i)
        if (sweep->itemText(i).startsWith(QStringLiteral("D")))
            sweep->setCurrentIndex(i);
    values->setText(QStringLiteral("4, 8, 16, 32, 64"));
    QObject::connect(&dialog, &StepTestDialog::testEnded, &dialog, [&dialog, done] {
        QTimer::singleShot(300, &dialog, [&dialog, done] { done(dialog); });
    });
    start->click();
}

// The programming page's "校准" for the found servos, "设为中位" for all, and `done` with
// the dialog once the results are in.
void CalibrateAll(CServoMain& window, const std::function<void(QWidget&)>& done)
{
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabs"));
    auto* open = window.findChild<QPushButton*>(QStringLiteral("calibrateButton"));
    if (!tabs || !open)
        return done(window);
    tabs->setCurrentIndex(1);  // the programming page
    open->click();
    auto* dialog = window.findChild<CalibrateDialog*>();
    if (!dialog)
        return done(window);
    QTimer::singleShot(800, dialog, [dialog] { dialog->middleButton->click(); });
    QTimer::singleShot(2500, dialog, [dialog, done] { done(*dialog); });
}

// The programming page with the first servo's table read, its overvoltage and overload
// bits set and the row of address 13 chosen; `done` once the poll has shown them.
void ShowProgramPage(CServoMain& window, VirtualBus* demoBus, const std::function<void(QWidget&)>& done)
{
    auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("tabs"));
    if (!tabs)
        return done(window);
    tabs->setCurrentIndex(1);
    if (demoBus)
        demoBus->SetFaultBits(static_cast<uint8_t>(window.FoundIds().front()), 0x09);
    QTimer::singleShot(1500, &window, [&window, done] {
        auto* list = PageControl<QTableWidget>(window, "内存表", "ServoPG");
        for (int r = 0; list && r < list->rowCount(); ++r)
            if (list->item(r, 0) && list->item(r, 0)->text() == QLatin1String("13")) {
                list->setCurrentCell(r, 1);
                emit list->cellClicked(r, 1);
            }
        QTimer::singleShot(400, &window, [&window, done] { done(window); });
    });
}

// Types a move into the debug page and presses "设置".
void Move(CRobotDlg& page, const char* target)
{
    auto* acceleration = PageControl<QLineEdit>(page, "加速度");
    auto* speed = PageControl<QLineEdit>(page, "速度");
    auto* to = PageControl<QLineEdit>(page, "目标");
    auto* set = PageControl<QPushButton>(page, "设置");
    if (!acceleration || !speed || !to || !set)
        return;
    acceleration->setText("30");
    speed->setText("700");
    to->setText(target);
    set->click();
}

}  // namespace

bool SaveScreenshot(QWidget& w, const QString& file)
{
    QPixmap shot = w.grab();
    // An open traffic inspector is drawn over the window's lower right part, as it would sit.
    if (auto* main = qobject_cast<CServoMain*>(&w); main && main->TrafficWindow() &&
                                                    main->TrafficWindow()->isVisible()) {
        const QPixmap inspector = main->TrafficWindow()->grab();
        QPainter painter(&shot);
        const QPoint at(std::max(0, shot.width() - inspector.width() - 16),
                        std::max(0, shot.height() - inspector.height() - 16));
        painter.fillRect(QRect(at + QPoint(4, 4), inspector.size()), QColor(0, 0, 0, 70));
        painter.drawPixmap(at, inspector);
        painter.setPen(Qt::darkGray);
        painter.drawRect(QRect(at, inspector.size()).adjusted(0, 0, -1, -1));
    }
    return shot.save(file, "PNG");
}

// Opens the bus overview over the servos the search found; once it watches, servo 3 drops a quarter of
// its replies and servo 2 overheats for a moment; `done` with the overview a while later.
void WatchFaults(CServoMain& window, VirtualBus* demoBus, const std::function<void(QWidget&)>& done)
{
    window.ShowOverview();
    OverviewWindow* overview = window.Overview();
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = QObject::connect(overview, &OverviewWindow::watching, overview, [overview, demoBus, done, once] {
        QObject::disconnect(*once);
        if (demoBus) {
            demoBus->SetServoFault(3, 0.25, 0);
            demoBus->SetFaultBits(2, 0x04);
            QTimer::singleShot(1500, overview, [demoBus] { demoBus->SetFaultBits(2, 0); });
        }
        QTimer::singleShot(5000, overview, [overview, done] { done(*overview); });
    });
}

void StartScreenshot(CServoMain& window, const QString& file, bool demo, ShotScene scene, VirtualBus* demoBus)
{
    CServoMain* w = &window;
    auto finishWith = [w, file](QWidget& shown) {
        const bool saved = SaveScreenshot(shown, file);
        if (!saved)
            std::fprintf(stderr, "servo-debugger: cannot write %s\n", qPrintable(file));
        w->Shutdown();
        QApplication::exit(saved ? 0 : 1);
    };
    auto finish = [w, finishWith] { finishWith(*w); };
    if (!demo) {
        QTimer::singleShot(300, w, finish);
        return;
    }
    // The debug page with curves: select the first servo, move it there and back, or sweep
    // its D gain in the step test.
    QObject::connect(w, &CServoMain::SearchFinished, w, [w, finish, finishWith, scene, demoBus] {
        if (w->FoundServos().empty())
            return finish();
        w->ChooseServo(0, false);
        if (scene == ShotScene::Overview)
            return WatchFaults(*w, demoBus, finishWith);
        if (scene == ShotScene::Program)
            return ShowProgramPage(*w, demoBus, finishWith);
        CRobotDlg& page = w->DebugPage();
        if (scene == ShotScene::StepTest)
            return SweepD(page, finishWith);
        if (scene == ShotScene::Calibrate)
            return CalibrateAll(*w, finishWith);
        const bool fastCapture = scene == ShotScene::FastCapture;
        if (fastCapture)
            page.SetFastCapture(true);
        QTimer::singleShot(600, w, [&page] { Move(page, "3300"); });
        QTimer::singleShot(3000, w, [&page] { Move(page, "900"); });
        // A capture's picture waits for the second move to settle.
        QTimer::singleShot(fastCapture ? 8000 : 6200, w, finish);
    });
    // The port opens on the bus; the search starts when the window hears it did.
    auto opened = std::make_shared<QMetaObject::Connection>();
    *opened = QObject::connect(w, &CServoMain::PortChanged, w, [w, finish, opened](bool open) {
        QObject::disconnect(*opened);
        if (!open)
            return finish();
        w->ClickSearch();
    });
    QTimer::singleShot(100, w, [w] { w->ClickOpen(); });
}
