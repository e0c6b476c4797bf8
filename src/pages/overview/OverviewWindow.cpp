#include "pages/overview/OverviewWindow.h"

#include "catalogue/ModelCatalogue.h"
#include "support/BaudRates.h"
#include "widgets/BusWords.h"
#include "widgets/ServoWords.h"
#include "words/HealthCsv.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum Column { kId, kModel, kPosition, kTemperature, kVoltage, kLoad, kStatus, kAnswered, kTimeouts, kChecksum,
              kLatency, kAge, kAlarms, kColumns };

// A latched alarm's row.
const QColor kAlarmColour(0xf4, 0xb4, 0xb4);
// Readings kept for the window at most (it takes them ten times a second).
constexpr size_t kMaxWaiting = 10000;

QString Dash()
{
    return QStringLiteral("—");
}

// The model as servoctl health names it in its file.
std::string CsvModel(const OverviewServo& s)
{
    return s.identity.model.empty() ? std::string("?") : s.identity.model;
}

template <class W>
W* Captioned(W* w)
{
    w->setAccessibleName(w->text());
    return w;
}

}  // namespace

OverviewWindow::OverviewWindow(PageHost& h, ModelCatalogue& c, std::shared_ptr<MetricsBoard> b, QWidget* parent)
    : QWidget(parent, Qt::Window), host(h), bus(h.Bus()), catalogue(c), board(std::move(b)),
      epoch(OverviewRound::Clock::now()), shared(std::make_shared<Shared>(epoch))
{
    setWindowTitle(tr("总线概览"));
    BuildControls();
    resize(980, 320);
}

OverviewWindow::~OverviewWindow()
{
    StopPolling();
}

void OverviewWindow::BuildControls()
{
    busLine = new QLabel;
    busLine->setObjectName(QStringLiteral("overviewBus"));
    busLine->setAccessibleName(tr("总线"));
    busLine->setWordWrap(true);
    table = new QTableWidget(0, kColumns);
    table->setObjectName(QStringLiteral("overviewTable"));
    table->setHorizontalHeaderLabels({tr("ID"), tr("型号"), tr("位置"), tr("温度"), tr("电压"), tr("负载"),
                                      tr("状态"), tr("应答 %"), tr("超时"), tr("校验错误"), tr("p99 延迟"),
                                      tr("上次应答"), tr("告警")});
    table->setAccessibleName(tr("舵机"));
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    scanButton = Captioned(new QPushButton(tr("扫描")));
    acknowledgeButton = Captioned(new QPushButton(tr("确认")));
    exportButton = Captioned(new QPushButton(tr("导出 CSV...")));
    logBox = Captioned(new QCheckBox(tr("记录日志...")));
    status = new QLabel;
    status->setObjectName(QStringLiteral("overviewStatus"));
    status->setAccessibleName(tr("状态"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(scanButton);
    buttons->addWidget(acknowledgeButton);
    buttons->addStretch(1);
    buttons->addWidget(logBox);
    buttons->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(busLine);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);
    layout->addWidget(status);

    timer = new QTimer(this);
    timer->setInterval(kRefreshMs);
    connect(timer, &QTimer::timeout, this, &OverviewWindow::Refresh);
    connect(scanButton, &QPushButton::clicked, this, [this] {
        StopPolling();
        Setup({});
    });
    connect(acknowledgeButton, &QPushButton::clicked, this, &OverviewWindow::Acknowledge);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = host.Files().SaveFileNameWithSuffix(this, tr("导出 CSV"), QStringLiteral("CSV (*.csv)"),
                                                                 QStringLiteral("csv"));
        if (!path.isEmpty() && !ExportCsv(path))
            host.Messages().Warning(this, tr("导出 CSV"), tr("无法写入 %1").arg(path));
    });
    connect(logBox, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) {
            SetLogFile({});
            return;
        }
        const QString path = host.Files().SaveFileNameWithSuffix(this, tr("记录日志"), QStringLiteral("CSV (*.csv)"),
                                                                 QStringLiteral("csv"));
        if (path.isEmpty() || !SetLogFile(path)) {
            if (!path.isEmpty())
                host.Messages().Warning(this, tr("记录日志"), tr("无法写入 %1").arg(path));
            const QSignalBlocker quiet(logBox);
            logBox->setChecked(false);
            return;
        }
        status->setText(tr("记录到 %1").arg(path));
    });
}

long long OverviewWindow::NowMs() const
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(OverviewRound::Clock::now() - epoch).count();
}

void OverviewWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    StartPolling();
}

void OverviewWindow::closeEvent(QCloseEvent* event)
{
    StopPolling();
    QWidget::closeEvent(event);
}

void OverviewWindow::StartPolling()
{
    if (poll || settingUp)
        return;
    if (rows.empty()) {
        Setup(host.FoundIds());
        return;
    }
    // Watched before: the round still knows its servos.
    shared->stop = false;
    poll = bus.Every(OverviewRound::TurnPeriod(rows.size()), [s = shared, &c = catalogue](BusAccess& access) {
        if (s->stop || !access.Facts().Open())
            return;  // a closed port is no servo's silence
        if (auto reading = s->round.Turn(access.protocol, c)) {
            std::lock_guard lock(s->mutex);
            if (s->readings.size() < kMaxWaiting)
                s->readings.push_back(std::move(*reading));
        }
    });
    timer->start();
}

void OverviewWindow::StopPolling()
{
    shared->stop = true;
    poll.reset();
    if (timer)
        timer->stop();
    for (Row& row : rows)
        row.fresh = false;  // nothing read from now on is fresh
    Publish();
}

void OverviewWindow::Setup(std::vector<int> ids)
{
    settingUp = true;
    scanButton->setEnabled(false);
    shared->stop = false;
    const bool scan = ids.empty();
    status->setText(scan ? tr("正在扫描所有波特率...") : tr("正在识别舵机..."));
    // Servos watched before stay watched (one gone shows as silent, its alarms kept).
    std::vector<OverviewServo> kept;
    for (const Row& row : rows)
        kept.push_back(row.servo);
    const std::vector<int> known = host.DoubledIds();
    bus.Post(JobKind::Search, [this, s = shared, &c = catalogue, &b = bus, ids, scan, kept, known](BusAccess& access) {
        std::vector<ScanFinding> found;
        std::vector<int> watch = ids;
        std::vector<int> twice = scan ? std::vector<int>{} : known;
        if (scan) {
            found = ScanEveryRate(access, c, [this, s](int rate, int id) {
                if (s->stop)
                    return false;
                if (id % 32 == 0)
                    QMetaObject::invokeMethod(this, [this, rate, id] {
                        status->setText(tr("正在扫描: %1 波特, ID %2...").arg(rate).arg(id));
                    }, Qt::QueuedConnection);
                return true;
            });
            for (const ScanFinding& f : found)
                if (f.rate == access.Facts().Rate())
                    (f.doubled ? twice : watch).push_back(f.id);
        }
        if (access.Stopping()) {  // the port or the window is closing: nothing to identify
            QMetaObject::invokeMethod(this, [this] { OnSetupDropped(); }, Qt::QueuedConnection);
            return;
        }
        std::vector<OverviewServo> servos = WatchServos(access.protocol, c, watch);
        for (const int id : twice)
            servos.push_back(OverviewServo{id, true, {}, {}});
        for (const OverviewServo& old : kept)
            if (std::none_of(servos.begin(), servos.end(), [&](const OverviewServo& n) { return n.id == old.id; }))
                servos.push_back(old);
        std::sort(servos.begin(), servos.end(), [](const auto& x, const auto& y) { return x.id < y.id; });
        s->round.SetServos(servos);
        // The counts are the overview's own from here on (a scan's probes at other rates
        // would count as every servo's time-outs).
        b.ResetLink();
        const int rate = access.Facts().Rate();
        QMetaObject::invokeMethod(this, [this, servos, found, scan, rate] { OnWatching(servos, found, scan, rate); },
                                  Qt::QueuedConnection);
    }, [this] { QMetaObject::invokeMethod(this, [this] { OnSetupDropped(); }, Qt::QueuedConnection); });
}

void OverviewWindow::OnSetupDropped()
{
    settingUp = false;
    scanButton->setEnabled(true);
    status->setText(tr("已停止"));
    emit watching();
}

void OverviewWindow::OnWatching(std::vector<OverviewServo> servos, std::vector<ScanFinding> found, bool scanned,
                                int rate)
{
    settingUp = false;
    scanButton->setEnabled(true);
    std::vector<Row> next;
    for (OverviewServo& s : servos) {
        auto old = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.servo.id == s.id; });
        if (old != rows.end()) {
            next.push_back(std::move(*old));
            // Found again: its limits anew, what is latched kept.
            if (s.identity.read) {
                next.back().servo = s;
                next.back().health.SetLimits(s.limits);
            }
        } else {
            Row row;
            row.servo = s;
            row.health = ServoHealth(s.limits);
            next.push_back(std::move(row));
        }
    }
    rows = std::move(next);
    doubled.clear();
    for (const Row& row : rows)
        if (row.servo.doubled)
            doubled.push_back(row.servo.id);
    for (const int id : doubled)
        bus.Traffic().Note({}, BusWords::DoubledId(id).toStdString());
    if (scanned) {
        // The port follows the servos; the main window's rate list shows it.
        host.ShowBaud(BaudCodeOfRate(rate), rate);
        QStringList elsewhere;
        for (const ScanFinding& f : found)
            if (f.rate != rate)
                elsewhere << tr("ID %1 (%2 波特)").arg(f.id).arg(f.rate);
        if (rows.empty())
            status->setText(tr("所有波特率下都没有舵机应答"));
        else if (!elsewhere.isEmpty())
            status->setText(tr("在 %1 波特监视; 其他波特率的舵机未监视: %2").arg(rate).arg(elsewhere.join(QStringLiteral(", "))));
        else
            status->setText(tr("在 %1 波特监视 %2 个舵机").arg(rate).arg(rows.size()));
    } else {
        status->setText(tr("在 %1 波特监视 %2 个舵机").arg(rate).arg(rows.size()));
    }
    ShowRows();
    ShowBusLine();
    if (!rows.empty() && isVisible())
        StartPolling();
    emit watching();
}

void OverviewWindow::Refresh()
{
    std::vector<OverviewReading> taken;
    {
        std::lock_guard lock(shared->mutex);
        taken.swap(shared->readings);
    }
    for (const OverviewReading& r : taken)
        Take(r);
    if (log.is_open() && !log.flush()) {
        // A full disk or a file gone: said once, and the log ends.
        log.close();
        const QSignalBlocker quiet(logBox);
        logBox->setChecked(false);
        status->setText(tr("日志写入失败, 记录已停止"));
    }
    ShowRows();
    ShowBusLine();
    Publish();
}

void OverviewWindow::Take(const OverviewReading& r)
{
    auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& x) { return x.servo.id == r.id; });
    if (row == rows.end())
        return;
    if (r.identified) {
        row->servo = *r.identified;
        row->health.SetLimits(r.identified->limits);
    }
    const uint32_t raised = row->health.Poll(r.ms, r.answered ? &r.feedback : nullptr);
    row->fresh = r.answered;
    if (r.answered) {
        row->last = r.feedback;
        row->answeredMs = r.ms;
    }
    if (raised) {
        const QString text = tr("ID %1 告警: %2").arg(r.id).arg(BusWords::Alarms(raised, QStringLiteral(", ")));
        bus.Traffic().Note({}, text.toStdString());
        status->setText(text);
    }
    if (log.is_open())
        log << HealthCsvRow(r.ms, r.id, CsvModel(row->servo), bus.Link().Of(static_cast<uint8_t>(r.id)),
                            r.answered ? &r.feedback : nullptr, row->health.Active())
            << '\n';
}

void OverviewWindow::ShowRows()
{
    const auto link = std::make_unique<LinkSnapshot>(bus.Link().Copy());
    const long long now = NowMs();
    table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const Row& row = rows[static_cast<size_t>(r)];
        const IdLinkStats& l = link->ids[static_cast<size_t>(row.servo.id) % link->ids.size()];
        const Feedback& f = row.last;
        const std::string& model = row.servo.identity.model;
        QString texts[kColumns];
        texts[kId] = QString::number(row.servo.id);
        texts[kModel] = model.empty()                ? QStringLiteral("?")
                        : model == kUnknownModel     ? ServoWords::UnknownModel()
                                                     : QString::fromStdString(model);
        // A servo whose last poll went unanswered shows no values as if they were fresh.
        texts[kPosition] = row.fresh ? QString::number(f.position) : Dash();
        texts[kTemperature] = row.fresh ? ServoWords::Temperature(f.temperature) : Dash();
        texts[kVoltage] = row.fresh ? QString::fromStdString(VoltageText(f.voltage)) : Dash();
        texts[kLoad] = row.fresh ? QString::number(f.load) : Dash();
        texts[kStatus] = row.servo.doubled ? tr("两个舵机?")
                         : row.fresh       ? ServoWords::Faults(static_cast<uint8_t>(f.status), QStringLiteral(" "))
                         : l.requests      ? ServoWords::Timeout()
                                           : Dash();
        texts[kAnswered] = l.requests ? QString::number(100.0 * static_cast<double>(l.answered) /
                                                            static_cast<double>(l.requests), 'f', 1)
                                      : Dash();
        texts[kTimeouts] = QString::number(l.timeouts);
        texts[kChecksum] = QString::number(l.checksumErrors);
        texts[kLatency] = l.answered ? tr("%1 ms").arg(static_cast<double>(l.LatencyPercentileUs(0.99)) / 1000.0, 0, 'f', 2)
                                     : Dash();
        texts[kAge] = row.answeredMs >= 0 ? tr("%1 秒").arg(static_cast<double>(now - row.answeredMs) / 1000.0, 0, 'f', 1)
                                          : Dash();
        texts[kAlarms] = BusWords::Alarms(row.health.Latched(), QStringLiteral(", "));
        const QBrush background = row.health.Latched() ? QBrush(kAlarmColour) : QBrush();
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = table->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                if (c != kModel && c != kStatus && c != kAlarms)
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table->setItem(r, c, item);
            }
            if (item->text() != texts[c])
                item->setText(texts[c]);
            if (item->background() != background)
                item->setBackground(background);
        }
    }
}

void OverviewWindow::ShowBusLine()
{
    const BusLinkStats b = bus.Link().Bus();
    QStringList parts;
    parts << tr("总线: %1 次交换/秒, 线路占用 %2%")
                 .arg(b.lastSecond.ExchangesPerSecond(), 0, 'f', 0)
                 .arg(100.0 * b.lastSecond.BusyShare(), 0, 'f', 1);
    if (bus.EchoFound())
        parts << BusWords::EchoFound();
    for (const int id : doubled)
        parts << BusWords::DoubledId(id);
    busLine->setText(parts.join(QStringLiteral("; ")));
}

void OverviewWindow::Publish()
{
    if (!board)
        return;
    std::vector<MetricsServo> servos;
    for (const Row& row : rows)
        servos.push_back(MetricsServo{row.servo.id, {}, row.fresh, row.last});
    board->SetServos(std::move(servos));
}

void OverviewWindow::Acknowledge()
{
    for (Row& row : rows)
        row.health.Acknowledge();
    ShowRows();
}

bool OverviewWindow::ExportCsv(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const long long now = NowMs();
    const auto link = std::make_unique<LinkSnapshot>(bus.Link().Copy());
    std::string text = std::string(kHealthCsvHeader) + '\n';
    for (const Row& row : rows)
        text += HealthCsvRow(now, row.servo.id, CsvModel(row.servo),
                             link->ids[static_cast<size_t>(row.servo.id) % link->ids.size()],
                             row.fresh ? &row.last : nullptr, row.health.Latched()) +
                '\n';
    const auto size = static_cast<qint64>(text.size());
    return file.write(text.data(), size) == size && file.flush();
}

bool OverviewWindow::SetLogFile(const QString& path)
{
    if (log.is_open())
        log.close();
    if (path.isEmpty())
        return true;
    log.clear();
    log.open(QFile::encodeName(path).toStdString(), std::ios::trunc);
    if (!log)
        return false;
    log << kHealthCsvHeader << '\n';
    return static_cast<bool>(log.flush());
}
