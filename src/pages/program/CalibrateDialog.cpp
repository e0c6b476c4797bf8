#include "pages/program/CalibrateDialog.h"

#include "widgets/Utf8.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <mutex>

namespace {

enum Column { kId, kModel, kPosition, kCorrection, kLimits, kTravel, kColumns };

QString Range(int low, int high)
{
    return QStringLiteral("%1..%2").arg(low).arg(high);
}

}  // namespace

// What the bus jobs use: it outlives the dialog as long as a job holds it. Results reach the
// dialog only while it exists (`dialog`, set to null as it goes, under the mutex).
struct CalibrateDialog::State {
    State(ModelCatalogue& c, std::vector<uint8_t> i) : catalogue(c), program(c), ids(std::move(i)) {}
    ModelCatalogue& catalogue;
    ServoProgram program;
    const std::vector<uint8_t> ids;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    CalibrateDialog* dialog = nullptr;

    template <class F>
    void Post(F&& f)
    {
        std::lock_guard lock(mutex);
        if (dialog)
            QMetaObject::invokeMethod(dialog, std::forward<F>(f), Qt::QueuedConnection);
    }
};

CalibrateDialog::CalibrateDialog(ModelCatalogue& catalogue, PageHost& h, std::vector<uint8_t> ids,
                                 QWidget* parent)
    : QDialog(parent), host(h), state(std::make_shared<State>(catalogue, std::move(ids)))
{
    state->dialog = this;
    spans.assign(state->ids.size(), 4096);  // until a look at the servos tells their range
    BuildControls();
    // The live columns: a look at every servo every period, its result shown when it comes.
    std::weak_ptr<State> weak = state;
    poll = host.Bus().Every(std::chrono::milliseconds(kPollPeriodMs), [weak](BusAccess& access) {
        const auto s = weak.lock();
        if (!s)
            return;
        auto rows = ReadCalibration(access, s->program, s->catalogue, s->ids);
        s->Post([s = s.get(), rows = std::move(rows)] {
            if (s->dialog && !s->dialog->recording)
                s->dialog->ShowRows(rows);
        });
    });
}

CalibrateDialog::~CalibrateDialog()
{
    poll->Stop();
    state->stop = true;  // a recording ends at its next round
    std::lock_guard lock(state->mutex);
    state->dialog = nullptr;
}

QString CalibrateDialog::Caption()
{
    return tr("校准");
}

void CalibrateDialog::BuildControls()
{
    setWindowTitle(Caption());
    setAccessibleName(Caption());
    table = new QTableWidget(static_cast<int>(state->ids.size()), kColumns);
    table->setAccessibleName(tr("舵机"));
    table->setHorizontalHeaderLabels({tr("ID"), tr("型号"), tr("位置"), tr("校正"), tr("限位"), tr("行程")});
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(kId, 50);
    for (int r = 0; r < table->rowCount(); ++r) {
        table->setItem(r, kId, new QTableWidgetItem(QString::number(state->ids[static_cast<size_t>(r)])));
        for (int c = kModel; c < kTravel; ++c)
            table->setItem(r, c, new QTableWidgetItem(U("--")));
        auto* bar = new QProgressBar;
        bar->setAccessibleName(tr("行程") + U(" ") + QString::number(state->ids[static_cast<size_t>(r)]));
        bar->setRange(0, 1);
        bar->setValue(0);
        bar->setFormat(U("--"));
        table->setCellWidget(r, kTravel, bar);
    }
    middleButton = new QPushButton(tr("设为中位"));
    recordButton = new QPushButton(tr("记录行程"));
    writeButton = new QPushButton(tr("写入"));
    undoButton = new QPushButton(tr("撤销"));
    writeButton->setEnabled(false);
    messages = new QPlainTextEdit;
    messages->setAccessibleName(tr("消息"));
    messages->setReadOnly(true);
    messages->setMaximumBlockCount(500);

    auto* buttons = new QHBoxLayout;
    for (auto* b : {middleButton, recordButton, writeButton, undoButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(table, 3);
    layout->addWidget(messages, 1);
    resize(760, 420);

    connect(middleButton, &QPushButton::clicked, this, &CalibrateDialog::OnMiddle);
    connect(recordButton, &QPushButton::clicked, this, &CalibrateDialog::OnRecord);
    connect(writeButton, &QPushButton::clicked, this, &CalibrateDialog::OnWrite);
    connect(undoButton, &QPushButton::clicked, this, &CalibrateDialog::OnUndo);
}

int CalibrateDialog::RowOf(int id) const
{
    for (size_t r = 0; r < state->ids.size(); ++r)
        if (state->ids[r] == id)
            return static_cast<int>(r);
    return -1;
}

std::vector<uint8_t> CalibrateDialog::Chosen() const
{
    std::vector<uint8_t> ids;
    for (int r = 0; r < table->rowCount(); ++r)
        if (table->selectionModel()->isRowSelected(r, QModelIndex()))
            ids.push_back(state->ids[static_cast<size_t>(r)]);
    return ids.empty() ? state->ids : ids;
}

void CalibrateDialog::Submit(JobKind kind,
                             std::function<std::vector<CalibrationResult>(BusAccess&, State&)> work,
                             std::function<void(const std::vector<CalibrationResult>&)> done)
{
    SetBusy(true);
    std::shared_ptr<State> s = state;
    host.Bus().Post(kind, [s, work = std::move(work), done = std::move(done)](BusAccess& access) {
        auto results = work(access, *s);
        s->Post([s = s.get(), done, results = std::move(results)] {
            if (!s->dialog)
                return;
            s->dialog->SetBusy(false);
            done(results);
        });
    });
}

void CalibrateDialog::SetBusy(bool busy)
{
    middleButton->setEnabled(!busy);
    undoButton->setEnabled(!busy);
    recordButton->setEnabled(!busy || recording);
    writeButton->setEnabled(!busy && !recorded.empty());
}

void CalibrateDialog::OnMiddle()
{
    const std::vector<uint8_t> ids = Chosen();
    CalibrationOptions options;
    options.backupFolder = CalibrationFolder();
    Submit(JobKind::Command,
           [ids, options](BusAccess& access, State& s) {
               return CalibrateMiddle(access, s.program, s.catalogue, ids, options);
           },
           [this](const std::vector<CalibrationResult>& r) { Report(r); });
}

void CalibrateDialog::OnRecord()
{
    if (recording) {
        state->stop = true;
        return;
    }
    recording = true;
    recorded.clear();
    state->stop = false;
    recordButton->setText(tr("停止记录"));
    live.assign(state->ids.size(), TravelTrack(1));
    const std::vector<uint8_t> ids = Chosen();
    Submit(JobKind::Test,
           [ids](BusAccess& access, State& s) {
               auto next = std::chrono::steady_clock::now();
               return RecordTravel(access, s.program, s.catalogue, ids, std::chrono::milliseconds(0), s.stop,
                                   [&](const std::vector<std::optional<int>>& readings) {
                                       // A few times a second is enough to watch.
                                       if (std::chrono::steady_clock::now() < next)
                                           return;
                                       next += std::chrono::milliseconds(100);
                                       std::vector<std::optional<int>> byRow(s.ids.size());
                                       for (size_t i = 0; i < ids.size(); ++i)
                                           for (size_t r = 0; r < s.ids.size(); ++r)
                                               if (s.ids[r] == ids[i])
                                                   byRow[r] = readings[i];
                                       s.Post([d = &s, byRow] {
                                           if (d->dialog)
                                               d->dialog->ShowReadings(byRow);
                                       });
                                   });
           },
           [this](const std::vector<CalibrationResult>& results) {
               recording = false;
               recordButton->setText(tr("记录行程"));
               for (const CalibrationResult& r : results) {
                   if (r.Ok())
                       recorded.push_back(r);
                   const int row = RowOf(r.id);
                   auto* bar = row >= 0 ? qobject_cast<QProgressBar*>(table->cellWidget(row, kTravel)) : nullptr;
                   if (bar && r.span > 0 && r.samples > 0) {
                       bar->setRange(0, r.span);
                       bar->setValue(std::min(r.span, r.travelHigh - r.travelLow));
                       bar->setFormat(Range(r.travelLow, r.travelHigh));
                   }
                   if (!r.Ok())
                       messages->appendPlainText(Outcome(r));
               }
               SetBusy(false);
           });
}

void CalibrateDialog::OnWrite()
{
    // Consent is asked here, before the job: the bus never waits for the window.
    std::vector<std::pair<CalibrationResult, bool>> work;
    for (const CalibrationResult& r : recorded) {
        bool consent = false;
        if (r.crossesSeam)
            consent = host.Messages().Question(
                this, Caption(),
                tr("舵机 %1 的行程 (%2) 跨过零点: 写入把零点移到未用一段中间的校正?")
                    .arg(r.id)
                    .arg(Range(r.travelLow, r.travelHigh)));
        work.emplace_back(r, consent);
    }
    recorded.clear();
    const std::string folder = CalibrationFolder();
    Submit(JobKind::Command,
           [work, folder](BusAccess& access, State& s) {
               std::vector<CalibrationResult> results;
               for (const auto& [r, consent] : work) {
                   CalibrationOptions options;
                   options.backupFolder = folder;
                   options.consent = [consent = consent](const CalibrationResult&) { return consent; };
                   results.push_back(WriteTravel(access, s.program, s.catalogue, r, options));
               }
               return results;
           },
           [this](const std::vector<CalibrationResult>& r) { Report(r); });
}

void CalibrateDialog::OnUndo()
{
    const std::vector<uint8_t> ids = Chosen();
    const std::string folder = CalibrationFolder();
    Submit(JobKind::Command,
           [ids, folder](BusAccess& access, State& s) {
               return UndoCalibration(access, s.program, s.catalogue, ids, folder);
           },
           [this](const std::vector<CalibrationResult>& r) { Report(r); });
}

void CalibrateDialog::ShowRows(const std::vector<CalibrationResult>& rows)
{
    for (const CalibrationResult& r : rows) {
        const int row = RowOf(r.id);
        if (row < 0)
            continue;
        auto set = [&](int column, const QString& text) {
            if (table->item(row, column)->text() != text)
                table->item(row, column)->setText(text);
        };
        const bool known = r.Ok();
        if (known && r.span > 0)
            spans[static_cast<size_t>(row)] = r.span;
        set(kModel, r.model.empty() ? U("--") : QString::fromStdString(r.model));
        set(kPosition, known && r.readBack ? QString::number(*r.readBack) : U("--"));
        set(kCorrection, known ? QString::number(r.newCorrection) : U("--"));
        set(kLimits, known ? Range(r.newLow, r.newHigh) : U("--"));
    }
}

void CalibrateDialog::ShowReadings(const std::vector<std::optional<int>>& readings)
{
    for (size_t r = 0; r < readings.size() && r < live.size(); ++r) {
        if (!readings[r])
            continue;
        table->item(static_cast<int>(r), kPosition)->setText(QString::number(*readings[r]));
        const int span = spans[r];
        if (live[r].Empty())
            live[r] = TravelTrack(span);
        live[r].Add(*readings[r]);
        if (auto* bar = qobject_cast<QProgressBar*>(table->cellWidget(static_cast<int>(r), kTravel))) {
            bar->setRange(0, span);
            bar->setValue(std::min(span, live[r].Moved()));
            bar->setFormat(Range(live[r].Low(), live[r].High()));
        }
    }
}

void CalibrateDialog::Report(const std::vector<CalibrationResult>& results)
{
    for (const CalibrationResult& r : results)
        messages->appendPlainText(Outcome(r));
}

QString CalibrateDialog::Outcome(const CalibrationResult& r)
{
    const QString servo = tr("舵机 %1: ").arg(r.id);
    QString text;
    switch (r.end) {
    case CalibrationEnd::Done:
        text = tr("完成, 校正 %1 → %2, 限位 %3 → %4").arg(r.oldCorrection).arg(r.newCorrection)
                   .arg(Range(r.oldLow, r.oldHigh), Range(r.newLow, r.newHigh));
        if (r.reversed)
            text += tr(" (校正方向相反)");
        if (!r.backup.empty())
            text += tr(", 备份 %1").arg(QString::fromStdString(r.backup));
        break;
    case CalibrationEnd::NoAnswer: text = tr("无应答"); break;
    case CalibrationEnd::NoRows:
        text = tr("型号 %1 没有“%2”一项, 无法校准")
                   .arg(QString::fromStdString(r.model), QString::fromStdString(r.missingRow));
        break;
    case CalibrationEnd::TargetOutOfRange: text = tr("超出范围"); break;
    case CalibrationEnd::CorrectionOutOfRange:
        text = tr("所需校正 %1 无法写入; 请把关节转到约 %2 (现为 %3) 后再校准")
                   .arg(r.newCorrection).arg(r.turnTo).arg(r.position);
        break;
    case CalibrationEnd::TorqueStuck: text = tr("无法关闭扭矩"); break;
    case CalibrationEnd::BackupFailed: text = tr("无法写入备份 %1").arg(QString::fromStdString(r.backup)); break;
    case CalibrationEnd::WriteFailed: text = tr("写入失败"); break;
    case CalibrationEnd::CheckFailed:
        text = tr("校正后位置读数为 %1, 不在目标的 ±%2 之内")
                   .arg(r.readBack ? QString::number(*r.readBack) : U("--"))
                   .arg(kMiddleTolerance);
        break;
    case CalibrationEnd::NotMoved: text = tr("关节未转动"); break;
    case CalibrationEnd::CrossesSeam: text = tr("行程跨过零点, 未写入"); break;
    case CalibrationEnd::NoBackup: text = tr("没有校准备份"); break;
    }
    if (r.end != CalibrationEnd::Done && r.written)
        text += r.restored ? tr("; 已写回备份 %1").arg(QString::fromStdString(r.backup))
                           : tr("; 备份未能写回, 请载入 %1").arg(QString::fromStdString(r.backup));
    if (!r.torqueRestored)
        text += tr("; 无法重新打开扭矩");
    return servo + text;
}
