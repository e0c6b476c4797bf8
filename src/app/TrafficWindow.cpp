#include "app/TrafficWindow.h"

#include "bus/ServoBus.h"
#include "pages/PageHost.h"
#include "widgets/Dialogs.h"
#include "widgets/Utf8.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr JobKind kOperations[] = {JobKind::Poll, JobKind::Command, JobKind::Search,
                                   JobKind::Transfer, JobKind::Test};

}  // namespace

CTrafficWindow::CTrafficWindow(ServoBus& b, PageHost& h, QWidget* parent)
    : QDialog(parent), bus(b), host(h)
{
    setWindowTitle(tr("通信记录"));
    setAccessibleName(tr("通信记录"));
    resize(900, 420);

    auto* idLabel = new QLabel(U("ID:"));
    idFilter = new QLineEdit;
    idFilter->setValidator(new QIntValidator(0, 254, idFilter));
    idFilter->setPlaceholderText(tr("全部"));
    idFilter->setMaximumWidth(70);
    idFilter->setAccessibleName(U("ID:"));
    idLabel->setBuddy(idFilter);

    auto* operationLabel = new QLabel(tr("操作:"));
    operationFilter = new QComboBox;
    operationFilter->addItem(tr("全部"));
    for (JobKind k : kOperations)
        operationFilter->addItem(TrafficModel::OperationText(k));
    operationLabel->setBuddy(operationFilter);

    pauseButton = new QPushButton(tr("暂停"));
    clearButton = new QPushButton(tr("清除"));
    exportButton = new QPushButton(tr("导出..."));
    for (auto* button : {pauseButton, clearButton, exportButton}) {
        button->setAccessibleName(button->text());
        button->setAutoDefault(false);
    }

    table = new QTableView;
    table->setModel(&model);
    table->setAccessibleName(tr("通信记录"));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    // Rows of one height, so the view needs no measuring of 100,000 rows.
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table->setColumnWidth(TrafficModel::Time, 100);
    // Wide enough for the header's own text in either language, and for the cells' words.
    for (int column : {int(TrafficModel::Direction), int(TrafficModel::Operation)})
        table->setColumnWidth(column, std::max(50, table->horizontalHeader()->sectionSizeHint(column)));
    table->setColumnWidth(TrafficModel::Program, 120);
    table->setColumnWidth(TrafficModel::Bytes, 330);
    table->horizontalHeader()->setStretchLastSection(true);

    statusLabel = new QLabel;
    statusLabel->setAccessibleName(tr("状态"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(idLabel);
    filters->addWidget(idFilter);
    filters->addSpacing(12);
    filters->addWidget(operationLabel);
    filters->addWidget(operationFilter);
    filters->addStretch(1);
    filters->addWidget(pauseButton);
    filters->addWidget(clearButton);
    filters->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(table, 1);
    layout->addWidget(statusLabel);

    timer = new QTimer(this);
    timer->setInterval(kPullMs);
    connect(timer, &QTimer::timeout, this, &CTrafficWindow::Pull);
    connect(idFilter, &QLineEdit::textChanged, this, &CTrafficWindow::OnFilterChanged);
    connect(operationFilter, &QComboBox::currentIndexChanged, this,
            &CTrafficWindow::OnFilterChanged);
    connect(pauseButton, &QPushButton::clicked, this, &CTrafficWindow::OnPause);
    connect(clearButton, &QPushButton::clicked, this, &CTrafficWindow::OnClear);
    connect(exportButton, &QPushButton::clicked, this, &CTrafficWindow::OnExport);
    ShowCounts();
}

CTrafficWindow::~CTrafficWindow()
{
    bus.SetTracing(false);
}

void CTrafficWindow::showEvent(QShowEvent* event)
{
    bus.SetTracing(true);
    timer->start();
    QDialog::showEvent(event);
}

void CTrafficWindow::hideEvent(QHideEvent* event)
{
    // A closed inspector costs the bus one load per packet.
    bus.SetTracing(false);
    timer->stop();
    QDialog::hideEvent(event);
}

void CTrafficWindow::Pull()
{
    if (paused)
        return;
    TrafficLog::Batch batch = bus.Traffic().Since(next, kPullBatch);
    next = batch.next;
    QScrollBar* bar = table->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const bool any = !batch.records.empty();
    model.Append(std::move(batch.records));
    if (any && atEnd)
        table->scrollToBottom();
    ShowCounts();
}

void CTrafficWindow::ShowCounts()
{
    QString text = tr("%1 条").arg(model.rowCount());
    if (const uint64_t dropped = bus.Traffic().Dropped())
        text += tr("；较早的 %1 条已丢弃（只保留最新的 %2 条）")
                    .arg(dropped)
                    .arg(TrafficLog::kCapacity);
    if (paused)
        text += tr("；已暂停");
    statusLabel->setText(text);
}

void CTrafficWindow::OnFilterChanged()
{
    std::optional<int> id;
    if (!idFilter->text().isEmpty())
        id = idFilter->text().toInt();
    std::optional<JobKind> operation;
    if (const int i = operationFilter->currentIndex(); i > 0)
        operation = kOperations[i - 1];
    model.SetFilter(id, operation);
    next = 0;  // the rows fill again from the log's oldest record
    Pull();
}

void CTrafficWindow::OnPause()
{
    paused = !paused;
    pauseButton->setText(paused ? tr("继续") : tr("暂停"));
    pauseButton->setAccessibleName(pauseButton->text());
    if (!paused)
        Pull();
    ShowCounts();
}

void CTrafficWindow::OnClear()
{
    bus.Traffic().Clear();
    model.Clear();
    ShowCounts();
}

bool CTrafficWindow::ExportCsv(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    std::string text = TrafficCsvHeader();
    text += '\n';
    for (const TrafficRecord& r : model.Rows()) {
        text += TrafficCsvRow(r);
        text += '\n';
    }
    const auto size = static_cast<qint64>(text.size());
    return file.write(text.data(), size) == size && file.flush();
}

void CTrafficWindow::OnExport()
{
    const QString path =
        host.Files().SaveFileNameWithSuffix(this, tr("导出"), U("CSV (*.csv)"), U("csv"));
    if (path.isEmpty())
        return;
    if (!ExportCsv(path))
        host.Messages().Warning(this, tr("导出"), tr("导出失败: %1").arg(path));
}
