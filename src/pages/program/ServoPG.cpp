#include "pages/program/ServoPG.h"

#include "pages/program/CalibrateDialog.h"
#include "servo/ParameterFile.h"
#include "servo/ProgramTexts.h"
#include "servo/ValueCoding.h"
#include "support/LeadingInt.h"
#include "widgets/PortWords.h"
#include "widgets/ServoWords.h"
#include "widgets/Utf8.h"

#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { kAddress, kName, kValue, kArea, kAccess, kColumns };

}  // namespace

ServoPG::ServoPG(ModelCatalogue& c, PageHost& h, QWidget* parent)
    : QWidget(parent), host(h), catalogue(c), program(c)
{
    // The page's writes leave the port at 50 ms, until a rate change puts the port's own back.
    program.KeepIdleTimeout(ServoProgram::kIdleTimeoutMs);
    // The port has followed the servo already; the window shows the new rate.
    program.SetBaudFollower([this](int code) {
        // On the bus thread, right after the rate change: the rate the driver took.
        const int running = host.Bus().Facts().Rate();
        QMetaObject::invokeMethod(this, [this, code, running] { host.ShowBaud(code, running); },
                                  Qt::QueuedConnection);
    });
    BuildControls();
    poll = host.Bus().Every(std::chrono::milliseconds(kPollPeriodMs), [this](BusAccess& access) { PollMemory(access); });
    poll->Stop();  // until the page is shown
}

ServoPG::~ServoPG()
{
    StopPolling();
}

void ServoPG::BuildControls()
{
    setAccessibleName(tr("编程"));
    saveButton = new QPushButton(tr("保存参数"));
    loadButton = new QPushButton(tr("载入参数"));
    restoreButton = new QPushButton(tr("重置参数"));
    resetAngleButton = new QPushButton(tr("重置角度"));
    calibrateButton = new QPushButton(CalibrateDialog::Caption());
    calibrateButton->setObjectName("calibrateButton");
    auto* buttons = new QHBoxLayout;
    for (auto* b : {saveButton, loadButton, restoreButton, resetAngleButton, calibrateButton})
        buttons->addWidget(b);
    buttons->addStretch(1);

    list = new QTableWidget(0, kColumns);
    list->setAccessibleName(tr("内存表"));
    list->setHorizontalHeaderLabels({tr("地址"), tr("内存"), tr("数值"), tr("存储区域"), tr("读写")});
    list->verticalHeader()->hide();
    list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int widths[kColumns] = {60, 160, 80, 80, 80};
    for (int c = 0; c < kColumns; ++c)
        list->setColumnWidth(c, widths[c]);
    list->setMinimumWidth(60 + 160 + 80 + 80 + 80 + 24);

    statusBox = new QPlainTextEdit(tr("舵机正常"));
    statusBox->setAccessibleName(tr("舵机状态"));
    statusBox->setReadOnly(true);
    itemLabel = new QLabel(U("--"));
    valueEdit = new QLineEdit;
    valueEdit->setAccessibleName(tr("数值"));
    itemLabel->setBuddy(valueEdit);
    writeButton = new QPushButton(tr("保存"));
    valueEdit->setEnabled(false);
    writeButton->setEnabled(false);
    // The item's label and the write button change their captions; these names stay.
    itemLabel->setObjectName("itemLabel");
    writeButton->setObjectName("writeButton");

    auto* side = new QVBoxLayout;
    side->addWidget(statusBox, 1);
    side->addWidget(itemLabel);
    side->addWidget(valueEdit);
    side->addWidget(writeButton);
    auto* body = new QHBoxLayout;
    body->addWidget(list, 1);
    body->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addLayout(body, 1);

    for (auto* b : {saveButton, loadButton, restoreButton, resetAngleButton, calibrateButton, writeButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(saveButton, &QPushButton::clicked, this, &ServoPG::OnSaveParameters);
    connect(loadButton, &QPushButton::clicked, this, &ServoPG::OnLoadParameters);
    connect(restoreButton, &QPushButton::clicked, this, &ServoPG::OnRestoreParameters);
    connect(resetAngleButton, &QPushButton::clicked, this, &ServoPG::OnResetAngle);
    connect(writeButton, &QPushButton::clicked, this, &ServoPG::OnWrite);
    connect(calibrateButton, &QPushButton::clicked, this, &ServoPG::OnCalibrate);
    connect(list, &QTableWidget::cellClicked, this, [this](int row, int) { ChooseRow(row); });

    // The page sees its controls' keys before they do: the risk key never reaches them.
    for (auto* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void ServoPG::SelectServo(int id, const ModelKey& key, const ServoProfile& profile)
{
    program.SelectServo(id, key, profile);
}

void ServoPG::StartPolling()
{
    poll->Start();
}

void ServoPG::StopPolling()
{
    poll->Stop();
}

void ServoPG::PollMemory(BusAccess& access)
{
    PollReport report = program.Poll(access);
    ++pollTicks;
    if (!report.rebuild && report.values.empty() && report.status == PollReport::Status::Unchanged)
        return;
    QMetaObject::invokeMethod(this, [this, r = std::move(report)] { ShowPoll(r); },
                              Qt::QueuedConnection);
}

void ServoPG::Submit(std::function<bool(BusAccess&)> work, std::function<void(bool)> tell)
{
    host.Bus().Post(JobKind::Command, [this, work = std::move(work), tell = std::move(tell)](BusAccess& access) {
        const bool ok = work(access);
        QMetaObject::invokeMethod(this, [tell, ok] { tell(ok); }, Qt::QueuedConnection);
    });
}

void ServoPG::ShowPoll(const PollReport& report)
{
    if (report.rebuild) {
        list->setRowCount(0);
        list->setRowCount(static_cast<int>(report.rows.size()));
        for (int r = 0; r < static_cast<int>(report.rows.size()); ++r)
            for (int c = 0; c < kColumns; ++c)
                list->setItem(r, c, new QTableWidgetItem(QString::fromStdString(
                                        report.rows[static_cast<size_t>(r)][static_cast<size_t>(c)])));
    }
    for (const auto& [row, text] : report.values) {
        QTableWidgetItem* item = list->item(row, kValue);
        if (item == nullptr)
            continue;
        const QString shown = QString::fromStdString(text);
        if (item->text() != shown)
            item->setText(shown);
    }
    if (report.status != PollReport::Status::Unchanged) {
        const QString text = report.status == PollReport::Status::Timeout
                                 ? ServoWords::Timeout()
                                 : ServoWords::Faults(report.faults, QStringLiteral("\n"));
        if (statusBox->toPlainText() != text)
            statusBox->setPlainText(text);
    }
}

void ServoPG::ChooseRow(int row)
{
    if (row < 0 || row >= list->rowCount())
        return;
    auto text = [&](int column) {
        const QTableWidgetItem* item = list->item(row, column);
        return item ? item->text() : QString();
    };
    const bool writable = RowWritable(text(kAccess).toStdString());
    valueEdit->setEnabled(writable);
    writeButton->setEnabled(writable);
    writeSaves = text(kArea).toStdString() == text::kEprom;
    writeButton->setText(writeSaves ? tr("保存") : tr("设置"));
    valueEdit->setText(text(kValue));
    itemLabel->setText(text(kName));
}

bool ServoPG::TakeKeyPress(QKeyEvent* event)
{
    if (event->key() != kRiskKey)
        return false;
    if ((event->modifiers() & Qt::ControlModifier) && !event->isAutoRepeat())
        OnRiskOperation();
    return true;
}

void ServoPG::NoteKeyRelease(QKeyEvent* event)
{
    if ((event->key() != Qt::Key_Up && event->key() != Qt::Key_Down) || event->isAutoRepeat())
        return;
    // The list moved its selection on the press; the row it marks now is the one chosen.
    const int row = list->currentRow();
    if (row >= 0 && list->selectionModel()->isRowSelected(row, QModelIndex()))
        ChooseRow(row);
}

bool ServoPG::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && TakeKeyPress(static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::KeyRelease)
        NoteKeyRelease(static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

void ServoPG::keyPressEvent(QKeyEvent* event)
{
    if (TakeKeyPress(event))
        return;
    QWidget::keyPressEvent(event);
}

void ServoPG::keyReleaseEvent(QKeyEvent* event)
{
    NoteKeyRelease(event);
    QWidget::keyReleaseEvent(event);
}

void ServoPG::OnCalibrate()
{
    // The servos the search found, else the selected one.
    std::vector<uint8_t> ids;
    for (const int id : host.FoundIds())
        ids.push_back(static_cast<uint8_t>(id));
    if (ids.empty())
        ids.push_back(static_cast<uint8_t>(program.SelectedId()));
    auto* dialog = new CalibrateDialog(catalogue, host, std::move(ids), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void ServoPG::Tell(const QString& caption, const QString& text)
{
    host.Messages().Warning(this, caption, text);
}

void ServoPG::TellFailure(const QString& caption, const QString& text)
{
    if (!program.RateChangeRefused()) {
        Tell(caption, text);
        return;
    }
    const PortFacts port = host.Bus().Facts();
    Tell(caption, text + U("\n") +
                      PortWords::Refused(port.SharedBy(), port.Rate(), PortWords::SharedRefusal::Rate));
}

void ServoPG::OnWrite()
{
    const QString typed = valueEdit->text();
    const int row = list->currentRow();
    if (row < 0 || !list->selectionModel()->isRowSelected(row, QModelIndex()))
        return;
    const QTableWidgetItem* name = list->item(row, kName);
    const QTableWidgetItem* access = list->item(row, kAccess);
    if (!name || !access || name->text() == U("--") || access->text() == U(text::kReadOnly))
        return;
    const std::vector<MemoryItem> rows = program.Rows();
    if (row >= static_cast<int>(rows.size()))
        return;
    const WriteRequest request =
        PrepareWrite(rows[static_cast<size_t>(row)], LeadingInt(typed.toStdString()));
    if (request.refused != WriteRequest::Refused::No) {
        // The refusal names the item as the catalogue does: that name stays as it is.
        const QString name = QString::fromStdString(rows[static_cast<size_t>(row)].name);
        host.Messages().Warning(this, tr("参数错误"),
                                request.refused == WriteRequest::Refused::Below
                                    ? tr("%1不能小于%2").arg(name).arg(request.limit)
                                    : tr("%1不能大于%2").arg(name).arg(request.limit));
        return;
    }
    const bool save = writeSaves;
    Submit([this, request](BusAccess& access) {
        return program.WriteValue(access, request.address, request.size, request.value, request.eprom) != 0;
    }, [this, save](bool ok) {
        if (save && ok)
            Tell(tr("参数保存"), tr("舵参数保存成功"));
        else if (save)
            TellFailure(tr("参数保存"), tr("舵参数保存失败"));
        else if (!ok)
            TellFailure(tr("参数设置"), tr("舵参数设置失败"));
    });
}

void ServoPG::OnSaveParameters()
{
    if (program.MemorySize() == 0)
        return;
    // Only bytes read from this servo go into a file: without a fresh image (just after a
    // click, or while the servo doesn't answer) nothing is written and the page says so.
    if (!program.ParameterBytes()) {
        Tell(tr("参数保存"), ServoWords::Timeout());
        return;
    }
    const QString path = host.Files().SaveFileNameWithSuffix(
        this, QString(), U(msg::kFileFilter), U(msg::kFileSuffix));
    if (path.isEmpty())
        return;
    // The poll went on while the dialog was open: the image must still be fresh now.
    const auto bytes = program.ParameterBytes();
    if (!bytes)
        Tell(tr("参数保存"), ServoWords::Timeout());
    else if (!SaveParameterFile(QFile::encodeName(path).toStdString(), *bytes))
        Tell(tr("参数保存"), tr("无法保存参数文件"));
}

void ServoPG::OnLoadParameters()
{
    if (program.MemorySize() == 0)
        return;
    const QString path = host.Files().OpenFileName(this, QString(), U(msg::kFileFilter));
    if (path.isEmpty())
        return;
    host.Bus().Post(JobKind::Command, [this, file = QFile::encodeName(path).toStdString()](BusAccess& access) {
        const LoadResult result = program.LoadParameterFile(access, file);
        QMetaObject::invokeMethod(this, [this, result] {
            switch (result) {
            case LoadResult::CannotOpen:
                host.Messages().Plain(this, QCoreApplication::applicationName(),
                                      tr("无法打开参数文件"));
                return;
            case LoadResult::Loaded:
                Tell(tr("参数载入"), tr("参数载入成功"));
                return;
            case LoadResult::Failed:
                TellFailure(tr("参数载入"), tr("参数载入失败"));
                return;
            }
        }, Qt::QueuedConnection);
    });
}

void ServoPG::OnRestoreParameters()
{
    Submit([this](BusAccess& access) { return program.RestoreParameters(access); }, [this](bool ok) {
        if (ok)
            Tell(tr("参数恢复"), tr("参数恢复成功"));
        else
            TellFailure(tr("参数恢复"), tr("参数恢复失败"));
    });
}

void ServoPG::OnResetAngle()
{
    Submit([this](BusAccess& access) { return program.ResetAngle(access); }, [this](bool ok) {
        Tell(tr("角度重置"), ok ? tr("角度重置成功，圈数清除，角度恢复单圈角度!") : tr("角度重置失败!"));
    });
}

void ServoPG::OnRiskOperation()
{
    if (!host.Messages().Question(this, tr("风险操作"), tr("继续操作会产生损环舵机风险是否继续住下操作?")))
        return;
    Submit([this](BusAccess& access) { return program.RiskyOperation(access); }, [this](bool ok) {
        Tell(tr("风险操作"), ok ? tr("操作成功如舵机产生异常请联系售后") : tr("操作失败"));
    });
}
