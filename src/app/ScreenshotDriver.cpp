#include "app/ScreenshotDriver.h"

#include "app/CServoMain.h"
#include "app/TrafficWindow.h"
#include "pages/debug/CRobotDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// The debug page's control whose accessible name is `name`, in the window's language.
template <typename Control>
Control* PageControl(CRobotDlg& page, const char* name)
{
    const QString shown = QCoreApplication::translate("CRobotDlg", name);
    for (Control* c : page.findChildren<Control*>())
        if (c->accessibleName() == shown)
            return c;
    return nullptr;
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

void StartScreenshot(CServoMain& window, const QString& file, bool demo, bool fastCapture)
{
    CServoMain* w = &window;
    auto finish = [w, file] {
        const bool saved = SaveScreenshot(*w, file);
        if (!saved)
            std::fprintf(stderr, "servo-debugger: cannot write %s\n", qPrintable(file));
        w->Shutdown();
        QApplication::exit(saved ? 0 : 1);
    };
    if (!demo) {
        QTimer::singleShot(300, w, finish);
        return;
    }
    // The debug page with curves: select the first servo, move it there and back.
    QObject::connect(w, &CServoMain::SearchFinished, w, [w, finish, fastCapture] {
        if (w->FoundServos().empty())
            return finish();
        w->ChooseServo(0, false);
        CRobotDlg& page = w->DebugPage();
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
