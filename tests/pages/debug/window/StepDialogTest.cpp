// The debug page's step test on the offscreen platform over the virtual bus: a sweep's runs
// drawn with their legend and figures, exported as CSV and PNG, and a stop that leaves the
// swept gain and the torque switch as they were.
#include "AppFixture.h"
#include "DebugControls.h"

#include "pages/debug/StepTestDialog.h"
#include "plot/StepPlot.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>

namespace {

constexpr int kD = 22;  // the D row of the shipped families, 32 when made

struct StepControls : ControlsOf<StepTestDialog> {
    using ControlsOf::ControlsOf;
    QSpinBox* start = Find<QSpinBox>("起点:");
    QSpinBox* target = Find<QSpinBox>("目标:");
    QDoubleSpinBox* duration = Find<QDoubleSpinBox>("时长 (秒):");
    QSpinBox* repeats = Find<QSpinBox>("重复次数:");
    QComboBox* sweep = ObjectNamed<QComboBox>(page, "sweepCombo");
    QLineEdit* values = Find<QLineEdit>("参数值:");
    QPushButton* startStop = ObjectNamed<QPushButton>(page, "startButton");
    QPushButton* csv = Find<QPushButton>("导出 CSV...");
    QPushButton* image = Find<QPushButton>("导出图片...");
    QLabel* status = ObjectNamed<QLabel>(page, "stepStatus");
    StepPlot* plot = Named<StepPlot>(page, QCoreApplication::translate("StepPlot", "阶跃曲线"));
    QTableWidget* table = Find<QTableWidget>("阶跃测试结果");
};

int MemoryByte(VirtualBus& bus, int address)
{
    ServoMemory m{};
    bus.Memory(1, m);
    return m[static_cast<size_t>(address)];
}

}  // namespace

class StepDialogTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { WorkDir(); }

    void sweepDrawsRunsAndExportsThemStopRestores()
    {
        Rig rig({Servo(1, "Kestrel-12")});
        QVERIFY(rig.Open());
        QVERIFY(rig.Search());
        rig.ClickRow(0);
        auto files = std::make_unique<ScriptedFiles>();
        QString& chosen = files->save;
        rig.window->SetDialogs(std::make_unique<ScriptedBoxes>(), std::move(files));
        DebugControls page(rig.window->DebugPage());
        page.Find<QPushButton>("阶跃测试")->click();
        StepTestDialog& dialog = page->StepDialog();
        QVERIFY(dialog.isVisible());
        StepControls d(dialog, "StepTestDialog");
        const int torque = page->Profile().torqueAddress;
        d.start->setValue(1500);
        d.target->setValue(2500);
        d.duration->setValue(0.4);
        d.sweep->setCurrentIndex(d.sweep->findText(U("D微分系数 (22)")));
        QVERIFY(d.values->isEnabled());

        // Two runs, one per value: each its legend entry, its table row and its figures; the
        // gain and the torque switch as they were before.
        d.values->setText("8, 64");
        d.startStop->click();
        QCOMPARE(d.startStop->text(), U("停止"));
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running(), 30000);
        QCOMPARE(d.plot->Legend(), QStringList({U("运行 1: D微分系数 = 8"), U("运行 2: D微分系数 = 64")}));
        QCOMPARE(d.table->rowCount(), 2);
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(d.table->item(row, 1)->text(), QString::number(row ? 64 : 8));
            QVERIFY(d.table->item(row, 3)->text().toDouble() > 0);  // the rise time
        }
        // The lower D overshoots more.
        QVERIFY(d.table->item(0, 4)->text().toDouble() > d.table->item(1, 4)->text().toDouble());
        QVERIFY2(d.status->text().contains(U("D微分系数 已恢复为 32")), qPrintable(d.status->text()));
        QCOMPARE(MemoryByte(rig.bus, kD), 32);
        QCOMPARE(MemoryByte(rig.bus, torque), 0);

        // CSV: every sample of both runs under the header; PNG: the plot as shown.
        QTemporaryDir dir;
        chosen = dir.filePath("runs.csv");
        d.csv->click();
        QFile csv(chosen);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(csv.readAll()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.front().startsWith("run,addr22,time_ms,position"));
        const size_t samples = dialog.Results()[0].samples.size() + dialog.Results()[1].samples.size();
        QCOMPARE(size_t(lines.size()), samples + 1);
        QVERIFY(lines.last().startsWith("2,64,"));
        chosen = dir.filePath("runs.png");
        d.image->click();
        QCOMPARE(QImage(chosen).size(), d.plot->size());

        // A stop in the middle of a sweep: the runs end, the gain goes back to 32, the torque off.
        d.values->setText("8, 16, 24, 40");
        d.duration->setValue(3);
        d.startStop->click();
        QTRY_VERIFY_WITH_TIMEOUT(d.table->rowCount() == 1 && MemoryByte(rig.bus, kD) == 8, 10000);
        d.startStop->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Running(), 10000);
        QVERIFY(dialog.Results().size() < 4);
        QVERIFY2(d.status->text().startsWith(U("已停止")), qPrintable(d.status->text()));
        QVERIFY(d.status->text().contains(U("D微分系数 已恢复为 32")));
        QCOMPARE(MemoryByte(rig.bus, kD), 32);
        QCOMPARE(MemoryByte(rig.bus, torque), 0);
    }
};

QTEST_MAIN(StepDialogTest)
#include "StepDialogTest.moc"
