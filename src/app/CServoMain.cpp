#include "app/CServoMain.h"

#include "app/AppIcon.h"
#include "app/TrafficWindow.h"
#include "catalogue/ModelTypes.h"
#include "pages/debug/CRobotDlg.h"
#include "pages/motion/MotionWindow.h"
#include "pages/overview/OverviewWindow.h"
#include "pages/program/ServoPG.h"
#include "pages/upgrade/ServoTest.h"
#include "serial/NetworkPort.h"
#include "serial/DeviceLabel.h"
#include "serial/PortInfo.h"
#include "servo/AutoTimeout.h"
#include "servo/OpenAtRate.h"
#include "support/BaudRates.h"
#include "widgets/BusWords.h"
#include "widgets/PortWords.h"
#include "widgets/ServoWords.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>

namespace {

// The device went away under the open port.
QString PortGoneText()
{
    return CServoMain::tr("端口已断开");
}

}  // namespace

CServoMain::CServoMain(ServoBus& b, QWidget* parent)
    : QDialog(parent), bus(b), metricsBoard(std::make_shared<MetricsBoard>()),
      messages(std::make_unique<QtMessageBoxes>()), files(std::make_unique<QtFileDialogs>())
{
    setWindowTitle(QString::fromUtf8(kTitle));
    setWindowIcon(AppIcon());
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);
    BuildControls();

    programPage = new ServoPG(catalogue, *this);
    upgradePage = new ServoTest(catalogue, *this);
    debugPage = new CRobotDlg(catalogue, *this);  // starts its own poll
    tabs->addTab(debugPage, tr("调试"));
    tabs->addTab(programPage, tr("编程"));
    tabs->addTab(upgradePage, tr("升级"));
    tabs->setCurrentIndex(0);
    shownPage = debugPage;
    connect(tabs, &QTabWidget::currentChanged, this, &CServoMain::OnTabChanged);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this), &QShortcut::activated,
            this, &CServoMain::ShowTraffic);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this), &QShortcut::activated,
            this, &CServoMain::ShowMotion);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), this), &QShortcut::activated,
            this, &CServoMain::ShowOverview);
    // The window has no menu bar: its windows of their own are on its context menu, with
    // their shortcuts shown (the shortcuts above stay the ones that act).
    const std::pair<QString, void (CServoMain::*)()> windows[] = {
        {tr("通信记录") + QStringLiteral("\tCtrl+L"), &CServoMain::ShowTraffic},
        {tr("动作") + QStringLiteral("\tCtrl+M"), &CServoMain::ShowMotion},
        {tr("总线概览") + QStringLiteral("\tCtrl+B"), &CServoMain::ShowOverview}};
    for (const auto& [text, show] : windows) {
        auto* action = new QAction(text, this);
        connect(action, &QAction::triggered, this, show);
        addAction(action);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);

    for (int rate : kBaudRates)
        baudCombo->addItem(QString::number(rate));
    baudCombo->setCurrentIndex(4);

    bus.SetPortGoneListener([this] {
        // A bus is served only while its device is open: the clients hear "port gone" now,
        // and a device that later takes the same node is not attached to this window.
        // Serving starts again when the port opens again.
        bus.Post(JobKind::Command, [this](BusAccess&) {
            share.reset();
            sharers = 0;
        });
        QMetaObject::invokeMethod(this, [this] { OnPortGone(); }, Qt::QueuedConnection);
    });

    FillDescribedPorts(DescribePorts(SystemRoots{}));
}

void CServoMain::FillPortList(const std::vector<std::string>& names)
{
    // The last one enumerated stands first.
    std::vector<PortInfo> ports(names.size());
    std::transform(names.rbegin(), names.rend(), ports.begin(), [](const std::string& name) {
        PortInfo port;
        port.device = name;
        return port;
    });
    FillDescribedPorts(ports);
}

void CServoMain::FillDescribedPorts(const std::vector<PortInfo>& ports)
{
    portCombo->clear();
    for (const PortInfo& port : ports) {
        const QString name = QString::fromStdString(port.device);
        const QString label = QString::fromStdString(DeviceLabel(port));
        portCombo->addItem(label.isEmpty() ? name : name + " - " + label, name);
    }
    portCombo->setCurrentIndex(0);
}

std::string CServoMain::ChosenPort() const
{
    const int index = portCombo->currentIndex();
    if (index >= 0 && portCombo->currentText() == portCombo->itemText(index) &&
        portCombo->itemData(index).isValid())
        return portCombo->itemData(index).toString().toStdString();
    return portCombo->currentText().toStdString();
}

CServoMain::~CServoMain()
{
    Shutdown();
}

void CServoMain::BuildControls()
{
    auto* settings = new QGroupBox(tr("通信设置"));
    auto* settingsLayout = new QGridLayout(settings);
    portCombo = new QComboBox;
    portCombo->setEditable(true);
    portCombo->setMinimumContentsLength(12);
    baudCombo = new QComboBox;
    openButton = new QPushButton(tr("打开"));
    settingsLayout->addWidget(new QLabel(tr("端口:")), 0, 0);
    settingsLayout->addWidget(portCombo, 0, 1);
    settingsLayout->addWidget(new QLabel(tr("波特率:")), 1, 0);
    settingsLayout->addWidget(baudCombo, 1, 1);
    settingsLayout->addWidget(openButton, 2, 1);

    auto* searchBox = new QGroupBox(tr("舵机搜索"));
    auto* searchLayout = new QVBoxLayout(searchBox);
    searchButton = new QPushButton(tr("搜索"));
    statusField = new QLineEdit;
    statusField->setReadOnly(true);
    statusField->setAccessibleName(tr("状态"));
    servoList = new QTableWidget(0, 2);
    servoList->setHorizontalHeaderLabels({tr("ID号"), tr("型号")});
    servoList->verticalHeader()->hide();
    servoList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    servoList->setShowGrid(true);
    servoList->setSelectionBehavior(QAbstractItemView::SelectRows);
    servoList->setSelectionMode(QAbstractItemView::SingleSelection);
    servoList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    servoList->setColumnWidth(0, 60);
    servoList->setColumnWidth(1, 100);
    servoList->horizontalHeader()->setStretchLastSection(true);
    searchLayout->addWidget(searchButton);
    searchLayout->addWidget(statusField);
    searchLayout->addWidget(servoList, 1);

    for (auto* button : {openButton, searchButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    tabs = new QTabWidget;
    tabs->setMinimumSize(760, 540);

    auto* left = new QVBoxLayout;
    left->addWidget(settings);
    left->addWidget(searchBox, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addWidget(tabs, 1);

    // Fixed names for the controls whose captions change or which have none.
    portCombo->setObjectName("portCombo");
    baudCombo->setObjectName("baudCombo");
    openButton->setObjectName("openButton");
    searchButton->setObjectName("searchButton");
    servoList->setObjectName("servoList");
    tabs->setObjectName("tabs");

    connect(openButton, &QPushButton::clicked, this, &CServoMain::OnOpenClose);
    connect(searchButton, &QPushButton::clicked, this, &CServoMain::OnSearch);
    // A mouse click on a row selects a servo; moving through the list with keys does not.
    connect(servoList, &QTableWidget::cellClicked, this,
            [this](int row, int) { OnServoClicked(row); });
}

void CServoMain::ClickOpen()
{
    openButton->click();
}

void CServoMain::ClickSearch()
{
    searchButton->click();
}

void CServoMain::ChooseServo(int row, bool mark)
{
    if (mark)
        servoList->selectRow(row);
    emit servoList->cellClicked(row, 0);
}

void CServoMain::ShowPage(int index)
{
    tabs->setCurrentIndex(index);
}

void CServoMain::ShowNote(const QString& text)
{
    sharingShown = false;
    statusField->setText(text);
    statusField->setCursorPosition(0);
    statusField->setToolTip(text);
}

void CServoMain::SetDialogs(std::unique_ptr<MessageBoxes> m, std::unique_ptr<FileDialogs> f)
{
    messages = std::move(m);
    files = std::move(f);
}

void CServoMain::RememberNetworkPort(const QString& name)
{
    // The last few network ports opened stand after the local ports, the latest first.
    for (const QString& old : std::as_const(networkPorts))
        portCombo->removeItem(portCombo->findText(old));
    networkPorts.removeAll(name);
    networkPorts.prepend(name);
    while (networkPorts.size() > kKeptNetworkPorts)
        networkPorts.removeLast();
    portCombo->addItems(networkPorts);
    portCombo->setCurrentIndex(portCombo->findText(name));
}

void CServoMain::OpenAtStart(const QString& name, int rate)
{
    if (const int code = BaudCodeOfRate(rate); code >= 0)
        baudCombo->setCurrentIndex(code);
    if (name.isEmpty())
        return;
    if (const int listed = portCombo->findText(name); listed >= 0)
        portCombo->setCurrentIndex(listed);
    else
        portCombo->setEditText(name);
    ClickOpen();
}

void CServoMain::AddPortFirst(const QString& name)
{
    portCombo->insertItem(0, name);
    portCombo->setCurrentIndex(0);
}

void CServoMain::OnOpenClose()
{
    if (portBusy)
        return;  // the last click is still on its way through the bus
    const int rate = baudCombo->currentText().toInt();
    const std::string name = ChosenPort();
    portBusy = true;
    if (!portOpen) {
        // The polls run while the port is closed; the opening is a job, so none sees the
        // port half set up.
        bus.Post(JobKind::Command, [this, name, rate](BusAccess& access) {
            // Opened, the port keeps the time-out it had when first opened, whatever the
            // programming page's writes left it at since.
            if (openedTimeoutMs < 0)
                openedTimeoutMs = access.Facts().TimeoutMs();
            else
                access.SetTimeoutMs(openedTimeoutMs);
            const PortOpening opening = OpenAtRate(access, name, rate);
            const bool ok = opening.opened;
            const bool refused = ok && opening.refused;
            const OpenFailure failure = opening.failure;
            const RateRefusal refusal = opening.refusal;
            const PortTiming timing = access.Facts().Timing();
            const std::string unshared = ok ? StartSharing(access, name) : std::string();
            QMetaObject::invokeMethod(this, [this, ok, refused, failure, name, refusal, timing, unshared] {
                OnOpened(ok);
                const QString port = QString::fromStdString(name);
                // Attached to another program's bus: the list shows the rate it runs at.
                if (ok && refusal.control == RateControl::Shared)
                    baudCombo->setCurrentIndex(std::max(0, BaudCodeOfRate(refusal.running)));
                if (!ok)
                    ShowPortTrouble(PortWords::OpenFailed(port, failure));
                else if (refused)
                    ShowPortTrouble(PortWords::RateRefused(port, refusal));
                else if (refusal.owner)
                    ShowNote(PortWords::SharedBy(port, refusal.owner));
                else if (SlowAdapter(timing))
                    ShowPortTrouble(PortWords::SlowAdapter(port, timing.latencyMs));
                else if (!unshared.empty())
                    ShowPortTrouble(tr("端口未共享给其他程序: %1").arg(QString::fromStdString(unshared)));
                else if (ok)
                    ShowSharing();
                if (ok && IsNetworkPortName(name))
                    RememberNetworkPort(port);
                if (ok)
                    metricsBoard->SetPort(name);
            }, Qt::QueuedConnection);
        });
        return;
    }
    portOpen = 0;
    debugPage->StopRecording();  // a recording ends with the port
    // The shown page's poll stops and whatever waits for the bus is dropped; a running search
    // or test ends at its next exchange, and the port closes after it.
    StopCurrentPoll();
    search.Stop();
    bus.DropQueued();
    bus.Post(JobKind::Command, [this](BusAccess& access) {
        share.reset();  // the clients are told the port is gone
        access.Close();
        QMetaObject::invokeMethod(this, [this] { OnClosed(); }, Qt::QueuedConnection);
    });
}

std::string CServoMain::StartSharing(BusAccess& access, const std::string& name)
{
    if (access.Facts().SharedBy())
        return {};  // another program's bus: that program shares it
    share = std::make_unique<BusShare>(bus, name, kProgram, [this](const ShareEvent& e) {
        sharers = e.clients;
        QMetaObject::invokeMethod(this, [this] { ShowSharing(); }, Qt::QueuedConnection);
    });
    if (share->Serving())
        return {};
    std::string why = share->Problem();
    share.reset();
    return why.empty() ? std::string("cannot serve") : why;
}

void CServoMain::ShowSharing()
{
    const int programs = sharers;
    if (!portOpen && programs > 0)
        return;  // a client that came before the opening was shown: shown with it
    if (programs > 0) {
        ShowNote(PortWords::SharedWith(programs));
        sharingShown = true;
    } else if (sharingShown) {
        ShowNote(QString());
    }
}

void CServoMain::ShowPortTrouble(const QString& text)
{
    ShowNote(text);
    portTroubleShown = true;
}

void CServoMain::OnOpened(bool ok)
{
    portBusy = false;
    if (portTroubleShown) {  // an earlier failure no longer holds
        portTroubleShown = false;
        statusField->clear();
        statusField->setToolTip(QString());
    }
    if (ok) {
        portOpen = 1;
        openButton->setText(tr("关闭"));
        portCombo->setEnabled(false);
        baudCombo->setEnabled(false);
    }
    emit PortChanged(ok);
}

void CServoMain::OnPortGone()
{
    // The pages show no answer and the polls slow down; "关闭" and then "打开" (once the
    // device is back) take the port up again.
    if (portOpen && bus.Facts().Gone())
        ShowPortTrouble(PortGoneText());
}

void CServoMain::OnClosed()
{
    portBusy = false;
    if (sharingShown)
        ShowNote(QString());
    if (!searching)
        StartCurrentPoll();
    openButton->setText(tr("打开"));
    portCombo->setEnabled(true);
    baudCombo->setEnabled(true);
    emit PortChanged(false);
}

void CServoMain::ShowBaud(int code, int running)
{
    if (code >= 0 && code < baudCombo->count()) {
        baudCombo->setCurrentIndex(code);
        const int asked = baudCombo->currentText().toInt();
        // The servo's own rate change is told in the driver's words, whatever the port.
        const RateRefusal refusal{asked, running, RateControl::Device, {}};
        if (!RateMatches(running, asked))
            ShowPortTrouble(PortWords::RateRefused(QString(), refusal));
    }
}

void CServoMain::OnSearch()
{
    if (!portOpen)
        return;
    if (searching) {
        search.Stop();
        return;
    }
    StopCurrentPoll();
    searching = true;
    searchButton->setText(tr("停止"));
    servoList->setRowCount(0);
    found.clear();
    doubledIds.clear();

    // The search reports through queued calls and never waits for this thread.
    ServoSearch::Reports reports;
    reports.probing = [this](int id) {
        QMetaObject::invokeMethod(this, [this, id] {
            statusField->setText(tr("正在查找 ID:%1 舵机...").arg(id));
        }, Qt::QueuedConnection);
    };
    reports.found = [this](int id, const ModelKey& key, const std::string& model) {
        QMetaObject::invokeMethod(this, [this, id, key, model] {
            found.push_back(key);
            const int row = servoList->rowCount();
            servoList->insertRow(row);
            servoList->setItem(row, 0, new QTableWidgetItem(QString::number(id)));
            servoList->setItem(row, 1, new QTableWidgetItem(
                model == kUnknownModel ? ServoWords::UnknownModel() : QString::fromStdString(model)));
        }, Qt::QueuedConnection);
    };
    reports.doubled = [this](int id) {
        QMetaObject::invokeMethod(this, [this, id] {
            if (std::find(doubledIds.begin(), doubledIds.end(), id) == doubledIds.end()) {
                doubledIds.push_back(id);
                bus.Traffic().Note({}, BusWords::DoubledId(id).toStdString());
            }
        }, Qt::QueuedConnection);
    };
    reports.finished = [this] {
        QMetaObject::invokeMethod(this, [this] { OnSearchEnded(); }, Qt::QueuedConnection);
    };
    search.Start(bus, std::move(reports));
}

void CServoMain::OnSearchEnded()
{
    searching = false;
    if (bus.Facts().Gone() && portOpen)
        ShowPortTrouble(PortGoneText());
    else
        statusField->setText(tr("停止", "search status"));
    searchButton->setText(tr("搜索"));
    StartCurrentPoll();
    // Two servos on one ID are not one clean servo: said once, after the search.
    QStringList twice;
    for (const int id : doubledIds)
        twice << BusWords::DoubledId(id);
    if (!twice.isEmpty())
        Messages().Warning(this, tr("舵机搜索"), twice.join(QLatin1Char('\n')));
    emit SearchFinished();
}

void CServoMain::StopCurrentPoll()
{
    if (shownPage)
        shownPage->StopPolling();
}

void CServoMain::StartCurrentPoll()
{
    if (shownPage)
        shownPage->StartPolling();
}

void CServoMain::OnTabChanged(int index)
{
    StopCurrentPoll();
    shownPage = dynamic_cast<Page*>(tabs->widget(index));
    if (!searching)
        StartCurrentPoll();
}

void CServoMain::OnServoClicked(int row)
{
    if (row < 0 || row >= static_cast<int>(found.size()) || !servoList->item(row, 0))
        return;
    const int id = servoList->item(row, 0)->text().toInt();
    const ModelKey& key = found[static_cast<size_t>(row)];
    selectedProfile = catalogue.ProfileOf(key);
    debugPage->SelectServo(id, key, selectedProfile);
    programPage->SelectServo(id, key, selectedProfile);
    upgradePage->SelectServo(id, key);
}

void CServoMain::SetTransferRunning(bool running)
{
    tabs->tabBar()->setEnabled(!running);
    searchButton->setEnabled(!running);
    openButton->setEnabled(!running);
}

void CServoMain::Shutdown()
{
    bus.SetPortGoneListener({});
    search.Stop();
    searching = false;
    portOpen = 0;
    if (upgradePage)
        upgradePage->Shutdown();
    for (Page* page : std::initializer_list<Page*>{debugPage, programPage, upgradePage})
        if (page)
            page->StopPolling();
    if (overviewWindow)
        overviewWindow->StopPolling();
    // The jobs use the pages: none may run once they go. The running exchange ends within
    // its time-out; then nothing is left on the bus and the port closes.
    bus.DropAndWait();
    bus.Run(JobKind::Command, [this](BusAccess& access) {
        share.reset();
        access.Close();
    });
}

void CServoMain::closeEvent(QCloseEvent* event)
{
    Shutdown();
    event->accept();
    QCoreApplication::quit();
}

void CServoMain::ShowMotion()
{
    if (!motionWindow)
        motionWindow = new MotionWindow(*this, catalogue, this);
    motionWindow->show();
    motionWindow->raise();
    motionWindow->activateWindow();
}

void CServoMain::ShowOverview()
{
    if (!overviewWindow)
        overviewWindow = new OverviewWindow(*this, catalogue, metricsBoard, this);
    overviewWindow->show();
    overviewWindow->raise();
    overviewWindow->activateWindow();
}

void CServoMain::ShowTraffic()
{
    if (!trafficWindow)
        trafficWindow = new CTrafficWindow(bus, *this, this);
    trafficWindow->show();
    trafficWindow->raise();
    trafficWindow->activateWindow();
}

void CServoMain::keyPressEvent(QKeyEvent* event)
{
    // Enter and Esc close nothing; every other key goes its usual way.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
