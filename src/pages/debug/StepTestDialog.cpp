#include "pages/debug/StepTestDialog.h"

#include "plot/StepPlot.h"
#include "servo/MemoryRows.h"
#include "protocol/ZNS.h"
#include "servo/ServoProgram.h"
#include "support/LeadingInt.h"
#include "widgets/Utf8.h"

#include <QCloseEvent>
#include <QRegularExpression>
#include <QSaveFile>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>

#include <algorithm>
#include <cmath>

namespace {

// Values of one sweep: ten runs a repeat keep apart by colour.
constexpr size_t kMostValues = 10;

QLabel* LabelFor(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return label;
}

QPushButton* Button(const QString& caption)
{
    auto* b = new QPushButton(caption);
    b->setAccessibleName(caption);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

StepTestDialog::StepTestDialog(PageHost& h, ModelCatalogue& catalogue, QWidget* parent)
    : QDialog(parent), host(h), bus(h.Bus()), program(std::make_unique<ServoProgram>(catalogue))
{
    setWindowTitle(tr("阶跃测试"));
    setAccessibleName(tr("阶跃测试"));
    BuildControls();
    ShowState();
}

StepTestDialog::~StepTestDialog()
{
    if (stop)
        *stop = true;
}

void StepTestDialog::BuildControls()
{
    startEdit = new QSpinBox;
    targetEdit = new QSpinBox;
    for (auto* e : {startEdit, targetEdit})
        e->setRange(0, 4095);
    startEdit->setValue(1500);
    targetEdit->setValue(2500);
    durationEdit = new QDoubleSpinBox;
    durationEdit->setRange(0.1, 10.0);
    durationEdit->setSingleStep(0.1);
    durationEdit->setDecimals(1);
    durationEdit->setValue(1.0);
    repeatsEdit = new QSpinBox;
    repeatsEdit->setRange(1, 10);
    sweepCombo = new QComboBox;
    sweepCombo->setObjectName(QStringLiteral("sweepCombo"));
    valuesEdit = new QLineEdit;
    valuesEdit->setPlaceholderText(QStringLiteral("16, 32, 64"));

    auto* form = new QGridLayout;
    const struct {
        const char* caption;
        QWidget* edit;
    } rows[] = {{QT_TR_NOOP("起点:"), startEdit},       {QT_TR_NOOP("目标:"), targetEdit},
                {QT_TR_NOOP("时长 (秒):"), durationEdit}, {QT_TR_NOOP("重复次数:"), repeatsEdit},
                {QT_TR_NOOP("扫描参数:"), sweepCombo},  {QT_TR_NOOP("参数值:"), valuesEdit}};
    int row = 0;
    for (const auto& r : rows) {
        form->addWidget(LabelFor(tr(r.caption), r.edit), row, 0);
        form->addWidget(r.edit, row++, 1);
    }
    // A combo box keeps its shown text as its name; the label stays its buddy.
    sweepCombo->setAccessibleName(QString());

    startButton = Button(tr("开始"));
    startButton->setObjectName(QStringLiteral("startButton"));
    csvButton = Button(tr("导出 CSV..."));
    imageButton = Button(tr("导出图片..."));
    closeButton = Button(tr("关闭"));
    status = new QLabel;
    status->setObjectName(QStringLiteral("stepStatus"));
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto* left = new QVBoxLayout;
    left->addLayout(form);
    left->addSpacing(6);
    left->addWidget(startButton);
    left->addWidget(status);
    left->addStretch(1);
    left->addWidget(csvButton);
    left->addWidget(imageButton);
    left->addWidget(closeButton);

    plot = new StepPlot;
    table = new QTableWidget(0, 0);
    table->setAccessibleName(tr("阶跃测试结果"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(plot);
    split->addWidget(table);
    split->setChildrenCollapsible(false);
    // The table shows six runs before it scrolls.
    table->setMinimumHeight(table->horizontalHeader()->sizeHint().height() +
                            6 * table->verticalHeader()->defaultSectionSize() + 4);
    split->setSizes({440, table->minimumHeight()});

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(split, 1);

    connect(startButton, &QPushButton::clicked, this, &StepTestDialog::OnStartStop);
    connect(sweepCombo, &QComboBox::currentIndexChanged, this, &StepTestDialog::OnSweepChosen);
    connect(csvButton, &QPushButton::clicked, this, &StepTestDialog::OnExportCsv);
    connect(imageButton, &QPushButton::clicked, this, &StepTestDialog::OnExportImage);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    resize(1180, 760);
}

void StepTestDialog::SetServo(const Servo& s)
{
    servo = s;
    // A model of a smaller range gets a step within it.
    if (startEdit->value() > s.maxPosition || targetEdit->value() > s.maxPosition) {
        startEdit->setValue(s.maxPosition * 3 / 8);
        targetEdit->setValue(s.maxPosition * 5 / 8);
    }
    for (auto* e : {startEdit, targetEdit})
        e->setMaximum(s.maxPosition);
    // The gains worth sweeping: rows the user may write, but neither the servo's ID, its baud
    // rate, its answer level nor its lock flag, which would cut the test's own line to it.
    const QString kept = sweepCombo->currentText();
    sweepRows.clear();
    sweepCombo->blockSignals(true);
    sweepCombo->clear();
    sweepCombo->addItem(tr("不扫描"));
    const int lock = LockAddress(s.rows);
    for (const MemoryItem& item : s.rows) {
        const int address = LeadingInt(item.address);
        const int size = LeadingInt(item.size);
        if (!RowWritable(item.access) || item.name == text::kNoValue || (size != 1 && size != 2) ||
            address == addr::kId || address == addr::kBaudCode || address == addr::kStatusLevel ||
            address == lock)
            continue;
        sweepRows.push_back(item);
        sweepCombo->addItem(QStringLiteral("%1 (%2)").arg(U(item.name.c_str())).arg(address));
    }
    sweepCombo->setCurrentIndex(std::max(0, sweepCombo->findText(kept)));
    sweepCombo->blockSignals(false);
    OnSweepChosen();
}

void StepTestDialog::OnSweepChosen()
{
    valuesEdit->setEnabled(!running && sweepCombo->currentIndex() > 0);
}

void StepTestDialog::ShowState()
{
    startButton->setText(running ? tr("停止") : tr("开始"));
    startButton->setAccessibleName(startButton->text());
    for (QWidget* w : std::initializer_list<QWidget*>{startEdit, targetEdit, durationEdit,
                                                      repeatsEdit, sweepCombo})
        w->setEnabled(!running);
    OnSweepChosen();
    const bool results = plot->Runs() > 0;
    csvButton->setEnabled(!running && results);
    imageButton->setEnabled(results);
}

void StepTestDialog::OnStartStop()
{
    if (running)
        Stop();
    else
        Start();
}

void StepTestDialog::Warning(const QString& text)
{
    host.Messages().Warning(this, tr("阶跃测试"), text);
}

void StepTestDialog::closeEvent(QCloseEvent* event)
{
    // A test without its window would go on moving the servo unseen.
    if (running)
        Stop();
    QDialog::closeEvent(event);
}

bool StepTestDialog::SweepValues(std::vector<SweepAxis>& swept)
{
    swept.clear();
    const int chosen = sweepCombo->currentIndex() - 1;
    if (chosen < 0 || chosen >= static_cast<int>(sweepRows.size()))
        return true;
    const MemoryItem& row = sweepRows[static_cast<size_t>(chosen)];
    const int minimum = LeadingInt(row.minimum);
    const int maximum = LeadingInt(row.maximum);
    SweepAxis axis;
    axis.address = LeadingInt(row.address);
    // Whole numbers apart by commas, semicolons or blanks, each within the row's range.
    static const QRegularExpression apart(QStringLiteral("[,;，；\\s]+"));
    static const QRegularExpression whole(QStringLiteral("^[-+]?\\d{1,6}$"));
    for (const QString& word : valuesEdit->text().split(apart, Qt::SkipEmptyParts)) {
        if (!whole.match(word).hasMatch()) {
            Warning(tr("参数值无效: %1").arg(word));
            return false;
        }
        const int v = word.toInt();
        if ((minimum != -1 && v < minimum) || (maximum != -1 && v > maximum)) {
            Warning(tr("%1 的值须在 %2 到 %3 之间: %4").arg(U(row.name.c_str())).arg(minimum).arg(maximum).arg(v));
            return false;
        }
        axis.values.push_back(v);
    }
    if (axis.values.size() > kMostValues) {
        Warning(tr("最多 %1 个参数值").arg(kMostValues));
        return false;
    }
    if (axis.values.empty()) {
        Warning(tr("请输入 %1 的参数值").arg(U(row.name.c_str())));
        return false;
    }
    sweptName = U(row.name.c_str());
    swept.push_back(std::move(axis));
    return true;
}

void StepTestDialog::Start()
{
    if (!bus.Facts().Open()) {
        Warning(tr("串口未打开"));
        return;
    }
    sweptName.clear();
    std::vector<SweepAxis> swept;
    if (!SweepValues(swept))
        return;
    axes = swept;
    StepSettings settings;
    settings.id = servo.id;
    settings.from = startEdit->value();
    settings.to = targetEdit->value();
    settings.duration = std::chrono::milliseconds(std::lround(durationEdit->value() * 1000));
    settings.repeat = repeatsEdit->value();

    results.clear();
    plot->Clear();
    plot->SetFrame(static_cast<double>(settings.duration.count()), *settings.from, settings.to,
                   StepBand(*settings.from, settings.to));
    QStringList headers{tr("运行")};
    if (!axes.empty())
        headers << sweptName;
    headers << tr("死区时间 (ms)") << tr("上升时间 (ms)") << tr("超调 (%)") << tr("调节时间 (ms)")
            << tr("稳态误差") << tr("峰值负载") << tr("峰值电流");
    table->setRowCount(0);
    table->setColumnCount(static_cast<int>(headers.size()));
    table->setHorizontalHeaderLabels(headers);

    program->SelectServo(servo.id, servo.key, servo.target.profile);
    stop = std::make_shared<std::atomic<bool>>(false);
    running = true;
    status->setText(tr("正在运行..."));
    ShowState();
    // Every call back is queued to the window's thread; the bus never waits for it.
    auto queue = [this](auto call) { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); };
    const bool posted = bus.Post(JobKind::Test, [this, queue, settings, swept, target = servo.target,
                                                 stopFlag = stop](BusAccess& access) {
        StepCallbacks callbacks;
        callbacks.runStarted = [queue, this](int run, const std::vector<int>& values) {
            queue([this, run, values] { OnRunStarted(run, values); });
        };
        callbacks.samples = [queue, this](int run, const std::vector<StepSample>& batch) {
            std::vector<StepPoint> points;
            points.reserve(batch.size());
            for (const StepSample& s : batch)
                if (s.answered)
                    points.push_back({s.ms, s.values.position});
            queue([this, run, points = std::move(points)] { OnSamples(run, points); });
        };
        callbacks.runDone = [queue, this](const StepRun& run) {
            queue([this, run] { OnRunDone(run); });
        };
        SweepReport report = RunStepSweep(access, *program, target, settings, swept, callbacks, *stopFlag);
        report.runs.clear();  // each came back as it ended
        queue([this, report = std::move(report)] { OnEnded(report); });
    }, [queue, this] {
        SweepReport dropped;
        dropped.end = StepEnd::Stopped;
        queue([this, dropped] { OnEnded(dropped); });
    });
    if (!posted) {
        running = false;
        ShowState();
    }
}

void StepTestDialog::Stop()
{
    if (stop)
        *stop = true;
    status->setText(tr("正在停止并恢复参数..."));
    startButton->setEnabled(false);  // until the test has ended and restored
}

QString StepTestDialog::Legend(int run, const std::vector<int>& values) const
{
    QString legend = tr("运行 %1").arg(run + 1);
    if (!values.empty() && !sweptName.isEmpty())
        legend += QStringLiteral(": %1 = %2").arg(sweptName).arg(values.front());
    return legend;
}

void StepTestDialog::OnRunStarted(int run, const std::vector<int>& values)
{
    while (plot->Runs() <= run)
        plot->AddRun(Legend(plot->Runs(), values));
    const int row = table->rowCount();
    table->insertRow(row);
    auto* first = new QTableWidgetItem(QString::number(run + 1));
    first->setData(Qt::DecorationRole, StepPlot::RunColour(run));
    table->setItem(row, 0, first);
    if (!values.empty() && !axes.empty())
        table->setItem(row, 1, new QTableWidgetItem(QString::number(values.front())));
    const int total = static_cast<int>(SweepGrid(axes).size()) * repeatsEdit->value();
    status->setText(tr("正在运行 %1/%2...").arg(run + 1).arg(total));
}

void StepTestDialog::OnSamples(int run, const std::vector<StepPoint>& points)
{
    plot->Append(run, points);
}

void StepTestDialog::OnRunDone(const StepRun& run)
{
    if (plot->Runs() <= run.index)
        OnRunStarted(run.index, run.values);
    std::vector<StepPoint> points;
    points.reserve(run.samples.size());
    for (const StepSample& s : run.samples)
        if (s.answered)
            points.push_back({s.ms, s.values.position});
    plot->SetPoints(run.index, std::move(points));
    ShowFigures(run);
    results.push_back(run);
    ShowState();
}

void StepTestDialog::ShowFigures(const StepRun& run)
{
    const int row = run.index;
    if (row >= table->rowCount())
        return;
    const StepFigures& f = run.figures;
    // A figure the response never reached shows a dash.
    auto number = [](double v, int decimals) {
        return std::isnan(v) ? QStringLiteral("—") : QString::number(v, 'f', decimals);
    };
    const QString cells[] = {number(f.deadMs, 1),      number(f.riseMs, 1),
                             number(f.overshootPct, 1), number(f.settlingMs, 1),
                             number(f.steadyError, 1),  QString::number(f.peakLoad),
                             QString::number(f.peakCurrent)};
    int column = axes.empty() ? 1 : 2;
    for (const QString& text : cells) {
        auto* item = new QTableWidgetItem(text);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(row, column++, item);
    }
}

void StepTestDialog::OnEnded(const SweepReport& report)
{
    running = false;
    startButton->setEnabled(true);
    QStringList said;
    switch (report.end) {
    case StepEnd::Done: said << tr("完成: %1 次运行").arg(results.size()); break;
    case StepEnd::Stopped: said << tr("已停止"); break;
    case StepEnd::NoAnswer: said << tr("舵机无应答"); break;
    case StepEnd::WriteFailed: said << tr("写入失败"); break;
    case StepEnd::Refused: said << tr("参数被拒绝: %1").arg(QString::fromStdString(report.refusal)); break;
    case StepEnd::NoTable: said << tr("没有该舵机型号的内存表"); break;
    case StepEnd::PortGone: said << tr("串口已断开"); break;
    }
    if (std::any_of(results.begin(), results.end(), [](const StepRun& r) {
            return r.end == StepEnd::Done && !r.figures.reached;
        }))
        said << tr("有运行未到达目标");
    // What was put back: the swept value, and the torque switched off again.
    for (const StepRestore& r : report.restores) {
        // The original as the programming page shows it: a signed row's by its sign bit.
        int original = r.original;
        for (const MemoryItem& row : sweepRows)
            if (LeadingInt(row.address) == r.address && row.signBit != "-1")
                original = DecodeSignMagnitude(r.original, LeadingInt(row.signBit));
        said << (r.restored ? tr("%1 已恢复为 %2") : tr("%1 恢复为 %2 失败!"))
                    .arg(sweptName.isEmpty() ? QString::number(r.address) : sweptName)
                    .arg(original);
    }
    if (report.torque)
        said << (report.torque->restored ? tr("扭能输出已关闭") : tr("关闭扭能输出失败!"));
    status->setText(said.join(QStringLiteral("; ")));
    ShowState();
    emit testEnded();
}

void StepTestDialog::OnExportCsv()
{
    const QString path = host.Files().SaveFileNameWithSuffix(this, tr("导出 CSV"), U("CSV (*.csv)"),
                                                             QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    // Every sample of every run, as servoctl step --csv writes them.
    std::string text = StepCsvHeader(axes) + "\n";
    for (const StepRun& run : results)
        for (const StepSample& s : run.samples)
            text += StepCsvRow(run, s) + "\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), static_cast<qint64>(text.size())) !=
                                                static_cast<qint64>(text.size()) || !file.commit())
        Warning(tr("导出失败: ") + file.errorString());
}

void StepTestDialog::OnExportImage()
{
    const QImage picture = plot->Picture();
    const QString path = host.Files().SaveFileNameWithSuffix(this, tr("导出图片"), U("PNG (*.png)"),
                                                             QStringLiteral("png"));
    if (path.isEmpty())
        return;
    if (!picture.save(path, "PNG"))
        Warning(tr("导出失败: ") + path);
}
