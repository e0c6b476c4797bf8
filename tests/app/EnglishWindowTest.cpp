// The window in English: the embedded translation loads, every text the three pages and the
// main window show is free of Chinese except the catalogue's, nothing is cut off, message
// boxes speak English, and the language is chosen as asked.
#include "AppFixture.h"
#include "DebugControls.h"
#include "ProgramControls.h"

#include "widgets/Dialogs.h"
#include "widgets/Language.h"
#include "widgets/PortWords.h"
#include "widgets/ServoWords.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>

namespace {

bool HasChinese(const QString& text)
{
    static const QRegularExpression cjk(QStringLiteral("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    return text.contains(cjk);
}

QString Describe(const QWidget* w)
{
    return QString::fromLatin1(w->metaObject()->className()) + " in " +
           (w->parentWidget() ? QString::fromLatin1(w->parentWidget()->metaObject()->className())
                              : QString());
}

// Every text the visible widgets of `window` show or name, as "where: text". Table cells of
// the catalogue's columns (model names, memory-item names, areas, access) are left out.
QStringList ShownTexts(QWidget& window)
{
    static const QStringList catalogueColumns = {"Model", "Memory", "Area", "Access"};
    QStringList texts;
    auto add = [&](const QWidget* w, const QString& text) {
        if (!text.isEmpty())
            texts << Describe(w) + ": " + text;
    };
    add(&window, window.windowTitle());
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        add(w, w->accessibleName());
        add(w, w->accessibleDescription());
        add(w, w->toolTip());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(w, b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(w, l->text());
        if (auto* g = qobject_cast<QGroupBox*>(w))
            add(w, g->title());
        if (auto* e = qobject_cast<QLineEdit*>(w))
            add(w, e->text());
        if (auto* e = qobject_cast<QPlainTextEdit*>(w))
            add(w, e->toPlainText());
        if (auto* t = qobject_cast<QTabBar*>(w))
            for (int i = 0; i < t->count(); ++i)
                add(w, t->tabText(i));
        if (auto* t = qobject_cast<QTableWidget*>(w)) {
            for (int c = 0; c < t->columnCount(); ++c) {
                const QString header = t->horizontalHeaderItem(c)->text();
                add(w, header);
                if (catalogueColumns.contains(header))
                    continue;
                for (int r = 0; r < t->rowCount(); ++r)
                    if (t->item(r, c))
                        add(w, t->item(r, c)->text());
            }
        }
    }
    return texts;
}

// Visible captions narrower than their text needs: cut off at the window's size.
QStringList CutOff(QWidget& window)
{
    QStringList cut;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisible())
            continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w); l && !l->wordWrap())
            text = l->text();
        if (!text.isEmpty() && w->width() < w->minimumSizeHint().width())
            cut << Describe(w) + ": " + text;
    }
    if (auto* tabs = window.findChild<QTabBar*>())
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->tabRect(i).width() < tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)))
                cut << "tab: " + tabs->tabText(i);
    return cut;
}

}  // namespace

class EnglishWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        WorkDir();
        QVERIFY(InstallLanguage(*qApp, Language::English));
    }

    void languageIsChosenAsAsked_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("system");
        QTest::addColumn<int>("chosen");  // 0 Chinese, 1 English, -1 refused
        QTest::newRow("C locale") << "" << QStringList{"C"} << 0;
        QTest::newRow("English system") << "" << QStringList{"en-US", "en"} << 1;
        QTest::newRow("German, then English") << "" << QStringList{"de", "de-DE", "en"} << 1;
        QTest::newRow("Chinese before English") << "" << QStringList{"zh-CN", "en"} << 0;
        QTest::newRow("zh over an English system") << "zh" << QStringList{"en-US"} << 0;
        QTest::newRow("en over the C locale") << "en" << QStringList{"C"} << 1;
        QTest::newRow("unknown") << "fr" << QStringList{"en"} << -1;
    }
    void languageIsChosenAsAsked()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, system);
        QFETCH(int, chosen);
        const std::optional<Language> language = ChooseLanguage(option, system);
        QCOMPARE(language ? int(*language) : -1, chosen);
    }

    void everyPageShowsEnglish()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(2, "苍鹭 HR25")});
        auto& w = *rig.window;
        MainControls ui(w);
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        rig.ClickRow(1);
        const QString shots = qEnvironmentVariable("SERVO_SCREENSHOT_DIR");
        for (int page = 0; page < 3; ++page) {
            ui.tabs->setCurrentIndex(page);
            if (page == 0)  // the feedback fields filled by the poll
                QTRY_VERIFY(DebugControls(w.DebugPage()).voltageField->text() != "0.0 V");
            if (page == 1)  // the memory table read
                QTRY_VERIFY(ProgramControls(w.ProgramPage()).list->rowCount() > 0);
            rig.Settle();
            QStringList chinese;
            for (const QString& t : ShownTexts(w))
                if (HasChinese(t))
                    chinese << t;
            QVERIFY2(chinese.isEmpty(), qPrintable("page " + QString::number(page) +
                                                   " shows Chinese:\n" + chinese.join('\n')));
            const QStringList cut = CutOff(w);
            QVERIFY2(cut.isEmpty(), qPrintable("cut off:\n" + cut.join('\n')));
            if (!shots.isEmpty())
                w.grab().save(shots + QString("/english-page-%1.png").arg(page));
        }
        // The catalogue's texts stay as they are.
        QCOMPARE(ui.servoList->item(1, 1)->text(), U("苍鹭 HR25"));
    }

    void messageBoxesSpeakEnglish()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        auto& w = *rig.window;
        MainControls ui(w);
        auto boxes = std::make_unique<ScriptedBoxes>();
        ScriptedBoxes& shown = *boxes;
        w.SetDialogs(std::move(boxes), std::make_unique<QtFileDialogs>());
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        rig.ClickRow(0);
        ui.tabs->setCurrentIndex(1);
        ProgramControls page(w.ProgramPage());
        // A refused value: the window's refusal with the catalogue's item name in it, a name
        // that holds a word the window translates elsewhere ("过载") and stays as it is.
        QTRY_VERIFY(page.list->rowCount() > 30);
        for (int r = 0; r < page.list->rowCount(); ++r)
            if (page.list->item(r, 0)->text() == "36")
                page.list->setCurrentCell(r, 1);
        emit page.list->cellClicked(page.list->currentRow(), 1);
        QCOMPARE(page.itemLabel->text(), U("过载扭矩"));
        page.valueEdit->setText("101");
        page.writeButton->click();
        QCOMPARE(shown.Shown().value(0), "Invalid value|" + U("过载扭矩") + " must not be above 100");

        // The debug page's question for its hidden controls, as Qt shows it: title, text and
        // buttons in English.
        shown.answer = false;
        const qsizetype before = shown.Shown().size();
        ui.tabs->setCurrentIndex(0);
        QTest::keyClick(&w.DebugPage(), CRobotDlg::kHiddenControlsKey, Qt::ControlModifier);
        QCOMPARE(shown.Shown().size(), before + 1);
        const QString title = shown.boxes.back().title;
        const QString text = shown.boxes.back().text;
        QVERIFY(!title.isEmpty());
        auto box = QtMessageBoxes::MakeQuestion(&w, title, text);
        QStringList texts{box->windowTitle(), box->text()};
        for (QAbstractButton* b : box->buttons())
            texts << b->text();
        for (const QString& t : texts)
            QVERIFY2(!t.isEmpty() && !HasChinese(t), qPrintable(texts.join('|')));
    }

    // The window's words for the core's facts: each fault bit, open failure and refused rate
    // has an English text of its own (Other speaks the system's text).
    void everyFactHasEnglishWordsOfItsOwn()
    {
        QStringList words;
        for (const Fault fault : kFaults)
            words << ServoWords::FaultName(fault);
        for (int r = int(OpenError::None) + 1; r < int(OpenError::Other); ++r)
            words << PortWords::OpenReason({static_cast<OpenError>(r), "system text"});
        for (const RateControl control : {RateControl::Device, RateControl::Fixed})
            words << PortWords::RateRefused("rfc2217://bench:2000", {57600, 115200, control, {}});
        for (const QString& w : words)
            QVERIFY2(!w.isEmpty() && !HasChinese(w) && words.count(w) == 1, qPrintable(w));
    }
};

QTEST_MAIN(EnglishWindowTest)
#include "EnglishWindowTest.moc"
