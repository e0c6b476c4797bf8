// "校准" from the programming page, over the virtual bus: the found servos in its table, a
// middle for all (a model without the rows named), a travel recorded by hand and written,
// and undo.
#include "AppFixture.h"

#include "pages/program/CalibrateDialog.h"

#include <QAccessible>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

class CalibrateDialogTest : public QObject {
    Q_OBJECT

    QTemporaryDir data;

    static int Word(Rig& rig, int id, int address)
    {
        ServoMemory m{};
        rig.bus.Memory(static_cast<uint8_t>(id), m);
        const int w = m[static_cast<size_t>(address)] | m[static_cast<size_t>(address) + 1] << 8;
        return w & 0x800 && address == 31 ? -(w & 0x7FF) : w;
    }
    static bool Said(CalibrateDialog& d, const QString& text)
    {
        if (QTest::qWaitFor([&] { return d.messages->toPlainText().contains(text); }, 10000))
            return true;
        qWarning("the messages: %s", qPrintable(d.messages->toPlainText()));
        return false;
    }

private slots:
    // The backups go to a folder of the test's own, removed with it.
    void initTestCase() { qputenv("XDG_DATA_HOME", data.path().toUtf8()); }

    void MiddleTravelAndUndoOfTheFoundServos()
    {
        Rig rig({Servo(1, "Kestrel-12"), Servo(2, "Osprey-40H"), Servo(3, "苍鹭 HR25")});
        QVERIFY(rig.Open() && rig.Search());
        rig.ClickRow(0);
        rig.Ui().tabs->setCurrentIndex(1);
        auto* open = rig.window->findChild<QPushButton*>("calibrateButton");
        QVERIFY(open);
        QCOMPARE(open->text(), CalibrateDialog::Caption());
        open->click();
        auto* d = rig.window->findChild<CalibrateDialog*>();
        QVERIFY(d);
        // Every control is named by its caption; the table lists the three found servos.
        for (QPushButton* b : {d->middleButton, d->recordButton, d->writeButton, d->undoButton})
            QCOMPARE(QAccessible::queryAccessibleInterface(b)->text(QAccessible::Name), b->text());
        QCOMPARE(d->table->rowCount(), 3);
        QTRY_COMPARE_WITH_TIMEOUT(d->table->item(1, 1)->text(), U("Osprey-40H"), 5000);

        std::string error;
        QVERIFY(rig.bus.TurnByHand(1, 1000, error));
        QVERIFY(rig.bus.TurnByHand(2, 2048, error));  // at its middle already: nothing written
        d->middleButton->click();
        QVERIFY(Said(*d, U("舵机 1: 完成, 校正 0 → -1048")));
        QVERIFY(Said(*d, U("舵机 3: 型号 苍鹭 HR25 没有“位置校正”一项")));
        QCOMPARE(Word(rig, 1, 31), -1048);
        QTRY_COMPARE_WITH_TIMEOUT(d->table->item(0, 3)->text(), U("-1048"), 5000);

        // Servo 2 alone, turned by hand through 1500..2600 while recording.
        d->table->selectRow(1);
        d->recordButton->click();
        QCOMPARE(d->recordButton->text(), U("停止记录"));
        for (const int m : {1500, 2000, 2600}) {
            QVERIFY(rig.bus.TurnByHand(2, m, error));
            QTRY_COMPARE_WITH_TIMEOUT(d->table->item(1, 2)->text(), QString::number(m), 5000);
        }
        d->recordButton->click();
        auto* bar = qobject_cast<QProgressBar*>(d->table->cellWidget(1, 5));
        QTRY_COMPARE_WITH_TIMEOUT(bar->format(), U("1500..2600"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(d->writeButton->isEnabled(), 5000);
        d->writeButton->click();
        QVERIFY(Said(*d, U("舵机 2: 完成, 校正 0 → 0, 限位 0..4095 → 1500..2600")));
        QCOMPARE(Word(rig, 2, 9), 1500);
        QCOMPARE(Word(rig, 2, 11), 2600);

        d->table->clearSelection();
        d->messages->clear();
        d->undoButton->click();
        QVERIFY(Said(*d, U("舵机 2: 完成, 校正 0 → 0, 限位 1500..2600 → 0..4095")));
        QVERIFY(Said(*d, U("舵机 1: 完成, 校正 -1048 → 0")));
        QVERIFY(Said(*d, U("舵机 3: 没有校准备份")));
        d->close();
    }
};

QTEST_MAIN(CalibrateDialogTest)
#include "CalibrateDialogTest.moc"
