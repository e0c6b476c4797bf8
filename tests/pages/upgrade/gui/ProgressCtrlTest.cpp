// The text progress bar as it paints: shares, the two-colour text, an empty range, the
// override text, and when it repaints.
#include "widgets/CTextProgressCtrl.h"

#include <QImage>
#include <QTest>

#include <thread>

namespace {

// Whether a colour is near another (text is antialiased).
bool Near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue()) < 40;
}

int Count(const QImage& image, QRect area, const std::function<bool(QColor)>& test)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixelColor(x, y));
    return n;
}

}  // namespace

class ProgressCtrlTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<CTextProgressCtrl> Bar(int width = 200, int height = 24)
    {
        auto bar = std::make_unique<CTextProgressCtrl>();
        bar->resize(width, height);
        bar->show();
        if (!QTest::qWaitForWindowExposed(bar.get()))
            qFatal("bar not exposed");
        QCoreApplication::processEvents();
        return bar;
    }
    // The bar as it is painted now.
    static QImage Picture(CTextProgressCtrl& bar) { return bar.grab().toImage(); }

private slots:
    void coloursComeFromThePalette()
    {
        CTextProgressCtrl bar;
        QCOMPARE(bar.barColour, bar.palette().color(QPalette::Highlight));
        QCOMPARE(bar.backColour, bar.palette().color(QPalette::Base));
        QCOMPARE(bar.textOnBackColour, bar.barColour);
        QCOMPARE(bar.textOnBarColour, bar.backColour);
        QVERIFY(bar.barColour != bar.backColour);
        QCOMPARE(bar.Lower(), 0);
        QCOMPARE(bar.Upper(), 100);
        QCOMPARE(bar.Step(), 1);
        QCOMPARE(bar.BarWidthCache(), -1);
        QVERIFY(bar.GetWindowText().isEmpty());
    }

    void sharesAndTheirText_data()
    {
        QTest::addColumn<int>("lower");
        QTest::addColumn<int>("upper");
        QTest::addColumn<int>("pos");
        QTest::addColumn<int>("doneWidth");
        QTest::addColumn<QString>("text");
        QTest::newRow("new bar") << 0 << 100 << 0 << 0 << "0%";
        QTest::newRow("2 of 3") << 0 << 3 << 2 << 133 << "66%";  // 133.3 px, truncated
        QTest::newRow("29 of 100") << 0 << 100 << 29 << 58 << "29%";
        QTest::newRow("full") << 0 << 7 << 7 << 200 << "100%";
        QTest::newRow("beyond") << 0 << 100 << 150 << 200 << "150%";
        QTest::newRow("below") << 10 << 20 << 5 << 0 << "-50%";
    }
    void sharesAndTheirText()
    {
        QFETCH(int, lower);
        QFETCH(int, upper);
        QFETCH(int, pos);
        QFETCH(int, doneWidth);
        QFETCH(QString, text);
        auto bar = Bar();
        bar->SetRange(lower, upper);
        bar->SetPos(pos);
        QCOMPARE(bar->Pos(), pos);  // stored as given, never clamped
        QCOMPARE(bar->text(), text);
        const QImage image = Picture(*bar);
        // Along the top row, clear of the text: the done colour up to the edge, then the rest.
        for (int x = 0; x < 200; ++x) {
            const QColor want = x < doneWidth ? bar->barColour : bar->backColour;
            QVERIFY2(image.pixelColor(x, 0) == want, qPrintable(QString("x=%1").arg(x)));
        }
        // The text is there, in the colour of whichever part it lies over.
        const QRect middle(60, 4, 80, 16);
        const int ink = Count(image, middle, [&](QColor c) {
            return c != bar->barColour && c != bar->backColour;
        });
        QVERIFY(ink > 0 || doneWidth == 0 || doneWidth == 200);
        QVERIFY(Count(image, middle, [&](QColor c) {
                    return doneWidth >= 140 ? Near(c, bar->textOnBarColour)
                                            : Near(c, bar->textOnBackColour);
                }) > 0);
        // QProgressBar's own value follows, within its range, for assistive technology.
        QCOMPARE(bar->minimum(), lower);
        QCOMPARE(bar->maximum(), upper);
        QCOMPARE(bar->value(), std::clamp(pos, lower, upper));
    }

    void theTextChangesColourAtTheEdge()
    {
        auto bar = Bar();
        bar->SetRange(0, 2);
        bar->SetPos(1);  // the edge at x = 100 runs through the centred text
        QCOMPARE(bar->text(), QString("50%"));
        const QImage image = Picture(*bar);
        const QRect left(60, 2, 40, 20), right(100, 2, 40, 20);
        QVERIFY(Count(image, left, [&](QColor c) { return Near(c, bar->textOnBarColour); }) > 0);
        QCOMPARE(image.pixelColor(99, 0), bar->barColour);
        QCOMPARE(image.pixelColor(100, 0), bar->backColour);
        QVERIFY(Count(image, right, [&](QColor c) { return Near(c, bar->textOnBackColour); }) > 0);
    }

    void anEmptyRangePaintsNothing()
    {
        for (auto [l, u] : {std::pair{0, 0}, std::pair{5, 3}}) {
            auto bar = Bar();
            bar->SetRange(l, u);
            const long long before = bar->Paints();
            bar->SetPos(1);
            bar->repaint();
            QCOMPARE(bar->Paints(), before);
            QImage image(bar->size(), QImage::Format_ARGB32);
            image.fill(Qt::magenta);
            bar->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            QCOMPARE(Count(image, image.rect(), [](QColor c) { return c != QColor(Qt::magenta); }), 0);
        }
    }

    void theOverrideText()
    {
        auto bar = Bar();
        bar->SetRange(0, 4);
        bar->SetPos(1);
        bar->SetWindowText(QString::fromUtf8("等待"));
        QCOMPARE(bar->GetWindowText(), QString::fromUtf8("等待"));
        QCOMPARE(bar->text(), QString::fromUtf8("等待"));
        QCoreApplication::processEvents();
        const long long painted = bar->Paints();
        bar->SetWindowText(QString::fromUtf8("等待"));  // the same: nothing to do
        QCoreApplication::processEvents();
        QCOMPARE(bar->Paints(), painted);
        bar->SetWindowText(QString());
        QCOMPARE(bar->text(), QString("25%"));
        QVERIFY(bar->GetWindowText().isEmpty());  // never the percentage
        QTRY_VERIFY(bar->Paints() > painted);
    }

    void repaintsOnlyWhenTheWidthChanges()
    {
        auto bar = Bar(50);
        bar->SetPos(0);
        QCoreApplication::processEvents();
        const long long painted = bar->Paints();
        bar->SetPos(1);  // 0.5 px: still 0 wide
        QCOMPARE(bar->Paints(), painted);
        QCOMPARE(bar->Pos(), 1);
        bar->SetPos(2);  // 1 px: repainted before SetPos returns
        QCOMPARE(bar->Paints(), painted + 1);
        QCOMPARE(bar->SetPos(3), 2);
        QCOMPARE(bar->Paints(), painted + 1);

        // A resize forgets the width: the same position repaints.
        bar->resize(60, 24);
        QCoreApplication::processEvents();
        QCOMPARE(bar->BarWidthCache(), -1);
        const long long resized = bar->Paints();
        bar->SetPos(3);
        QCOMPARE(bar->Paints(), resized + 1);
        QCOMPARE(bar->BarWidthCache(), 1);
    }

    void stepsFromAnotherThread()
    {
        auto bar = Bar();
        bar->SetRange(0, 8);
        bar->SetStep(2);
        bar->SetPos(0);
        std::thread worker([&] {
            bar->StepIt();
            bar->StepIt();
            bar->StepIt();
        });
        worker.join();
        QCOMPARE(bar->Pos(), 6);
        QTRY_COMPARE(bar->value(), 6);
        QCOMPARE(bar->text(), QString("75%"));
        QCOMPARE(Picture(*bar).pixelColor(149, 0), bar->barColour);
        QCOMPARE(Picture(*bar).pixelColor(150, 0), bar->backColour);
    }
};

QTEST_MAIN(ProgressCtrlTest)
#include "ProgressCtrlTest.moc"
