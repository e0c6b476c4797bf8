#include "pages/debug/CRobotDlg.h"

#include "pages/debug/StepTestDialog.h"
#include "plot/CPIC.h"
#include "servo/MemoryRows.h"
#include "support/LeadingInt.h"
#include "widgets/ServoWords.h"
#include "widgets/Utf8.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSlider>

#include <cstdlib>

namespace {

int Number(const QLineEdit* edit)
{
    return LeadingInt(edit->text().toStdString());
}

QLineEdit* ValueField(const QString& label, const QString& text)
{
    auto* field = new QLineEdit(text);
    field->setReadOnly(true);  // readable and selectable, by keyboard and screen readers too
    field->setAccessibleName(label);
    return field;
}

QLineEdit* Edit(const QString& label, const char* text, int maxLength, bool digitsOnly)
{
    auto* edit = new QLineEdit(U(text));
    edit->setMaxLength(maxLength);
    if (digitsOnly)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    edit->setAccessibleName(label);
    return edit;
}

QLabel* LabelFor(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

CRobotDlg::CRobotDlg(ModelCatalogue& c, PageHost& h, QWidget* parent)
    : QWidget(parent), catalogue(c), host(h), bus(h.Bus())
{
    setAccessibleName(tr("调试"));
    BuildControls();
    plot->SetSeries(&samples);
    plot->InitCanvas();
    // Every key aimed at the page or one of its controls passes the page first.
    installEventFilter(this);
    for (auto* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    // A bus busy with a search or a command skips polls instead of piling them up.
    poll = bus.Every(std::chrono::milliseconds(kPollPeriodMs), [this](BusAccess& access) {
        if (tickObserver)
            tickObserver();
        PollOnce(access);
    });
    capture = bus.Every(std::chrono::milliseconds(0), [this](BusAccess& access) { CaptureOnce(access); },
                        false);
}

CRobotDlg::~CRobotDlg()
{
    StopPolling();
    plot->SetSeries(nullptr);  // the series goes before the page's child windows
}

void CRobotDlg::BuildControls()
{
    // The plot with its check boxes and sliders to the right.
    plot = new CPIC;
    const char* channelCaptions[6] = {QT_TR_NOOP("位置(黑)"), QT_TR_NOOP("扭力(红)"),
                                      QT_TR_NOOP("速度(绿)"), QT_TR_NOOP("目标(蓝)"),
                                      QT_TR_NOOP("快慢(黄)"), QT_TR_NOOP("电流(青)")};
    auto* plotControls = new QVBoxLayout;
    for (int c = 0; c < 6; ++c) {
        auto* box = new QCheckBox(tr(channelCaptions[c]));
        box->setAccessibleName(tr(channelCaptions[c]));
        box->setChecked(c == kPosition || c == kLoad || c == kSpeed);
        connect(box, &QCheckBox::clicked, this, [this, c](bool on) { OnChannelClicked(c, on); });
        channelBoxes[c] = box;
    }
    // Position, load, speed, current; target and fast/slow hidden until asked for.
    for (int c : {kPosition, kLoad, kSpeed, kCurrent, kTarget, kFastSlow})
        plotControls->addWidget(channelBoxes[c]);
    channelBoxes[kTarget]->hide();
    channelBoxes[kFastSlow]->hide();
    plotControls->addSpacing(8);
    shiftSlider = new QSlider(Qt::Horizontal);
    shiftSlider->setRange(0, 2000);
    shiftSlider->setValue(0);
    shiftSlider->setAccessibleName(tr("水平位移"));
    spacingSlider = new QSlider(Qt::Horizontal);
    spacingSlider->setRange(8, 64);
    spacingSlider->setValue(8);
    spacingSlider->setAccessibleName(tr("水平缩放"));
    plotControls->addWidget(LabelFor(tr("水平位移"), shiftSlider));
    plotControls->addWidget(shiftSlider);
    plotControls->addWidget(LabelFor(tr("水平缩放"), spacingSlider));
    plotControls->addWidget(spacingSlider);
    plotControls->addStretch(1);
    connect(shiftSlider, &QSlider::actionTriggered, this, [this] {
        plot->SetHorizontalShift(shiftSlider->sliderPosition());
        plot->update();
    });
    connect(spacingSlider, &QSlider::actionTriggered, this, [this] {
        plot->SetSampleSpacing(spacingSlider->sliderPosition());
        plot->update();
    });

    // "舵机操作".
    auto* operation = new QGroupBox(tr("舵机操作"));
    auto* op = new QGridLayout(operation);
    idEdit = Edit("ID:", "0", 3, true);
    lastEdit = Edit("---", "10", 3, false);
    lastEdit->setEnabled(false);
    torqueBox = new QCheckBox(tr("扭能输出"));
    torqueBox->setAccessibleName(tr("扭能输出"));
    op->addWidget(LabelFor("ID:", idEdit), 0, 0);
    op->addWidget(idEdit, 0, 1);
    op->addWidget(LabelFor("---", lastEdit), 0, 2);
    op->addWidget(lastEdit, 0, 3);
    op->addWidget(torqueBox, 0, 4, 1, 2);

    modeGroup = new QButtonGroup(this);
    const char* modeCaptions[3] = {QT_TR_NOOP("普通写"), QT_TR_NOOP("同步写"),
                                   QT_TR_NOOP("异步写")};
    auto* modes = new QHBoxLayout;
    for (int m = 0; m < 3; ++m) {
        modeButtons[m] = new QRadioButton(tr(modeCaptions[m]));
        modeButtons[m]->setAccessibleName(tr(modeCaptions[m]));
        modeGroup->addButton(modeButtons[m], m);
        modes->addWidget(modeButtons[m]);
    }
    modeButtons[0]->setChecked(true);
    executeButton = new QPushButton(tr("异步执行"));
    executeButton->setAccessibleName(tr("异步执行"));
    executeButton->setEnabled(false);
    modes->addWidget(executeButton);
    op->addLayout(modes, 1, 0, 1, 6);

    targetSlider = new QSlider(Qt::Horizontal);
    targetSlider->setRange(0, 4095);
    targetSlider->setValue(2047);
    targetSlider->setAccessibleName(tr("目标位置"));
    op->addWidget(targetSlider, 2, 0, 1, 6);

    accelerationEdit = Edit(tr("加速度"), "0", 3, true);
    targetEdit = Edit(tr("目标"), "2047", 6, false);
    speedEdit = Edit(tr("速度"), "0", 5, false);
    timeEdit = Edit(tr("时间"), "0", 5, false);
    op->addWidget(LabelFor(tr("加速度"), accelerationEdit), 3, 0);
    op->addWidget(accelerationEdit, 3, 1);
    op->addWidget(LabelFor(tr("目标"), targetEdit), 3, 2);
    op->addWidget(targetEdit, 3, 3);
    op->addWidget(LabelFor(tr("速度"), speedEdit), 4, 0);
    op->addWidget(speedEdit, 4, 1);
    op->addWidget(LabelFor(tr("时间"), timeEdit), 4, 2);
    op->addWidget(timeEdit, 4, 3);
    setButton = new QPushButton(tr("设置"));
    setButton->setAccessibleName(tr("设置"));
    op->addWidget(setButton, 3, 4, 1, 2);
    stepButton = new QPushButton(tr("阶跃测试"));
    stepButton->setAccessibleName(tr("阶跃测试"));
    op->addWidget(stepButton, 4, 4, 1, 2);
    for (auto* b : {executeButton, setButton, stepButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    // "舵机反馈".
    auto* feedback = new QGroupBox(tr("舵机反馈"));
    auto* fb = new QGridLayout(feedback);
    voltageField = ValueField(tr("电压:"), "0.0 V");
    temperatureField = ValueField(tr("温度:"), ServoWords::Temperature(0));
    loadField = ValueField(tr("扭力:"), "0");
    speedField = ValueField(tr("速度:"), "0");
    positionField = ValueField(tr("位置:"), "0");
    currentField = ValueField(tr("电流:"), "0");
    movingField = ValueField(tr("移动:"), "0");
    statusField = ValueField(tr("状态:"), ServoWords::Normal());
    targetField = ValueField(tr("目标:"), "0");
    const struct {
        const char* label;
        QLineEdit* field;
    } rows[] = {{QT_TR_NOOP("电压:"), voltageField}, {QT_TR_NOOP("温度:"), temperatureField},
                {QT_TR_NOOP("扭力:"), loadField},    {QT_TR_NOOP("速度:"), speedField},
                {QT_TR_NOOP("位置:"), positionField}, {QT_TR_NOOP("电流:"), currentField},
                {QT_TR_NOOP("移动:"), movingField},  {QT_TR_NOOP("目标:"), targetField}};
    for (int i = 0; i < 8; ++i) {
        auto* label = LabelFor(tr(rows[i].label), rows[i].field);
        fb->addWidget(label, i / 2, (i % 2) * 2);
        fb->addWidget(rows[i].field, i / 2, (i % 2) * 2 + 1);
        if (rows[i].field == targetField)
            targetLabel = label;
    }
    fb->addWidget(LabelFor(tr("状态:"), statusField), 4, 0);
    fb->addWidget(statusField, 4, 1, 1, 3);
    fb->setRowStretch(5, 1);
    targetLabel->hide();
    targetField->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(plot, 1);
    top->addLayout(plotControls);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(operation, 3);
    bottom->addWidget(feedback, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    connect(setButton, &QPushButton::clicked, this, &CRobotDlg::OnSet);
    connect(stepButton, &QPushButton::clicked, this, &CRobotDlg::OnStepTest);
    // Each scroll notification of the target slider is one command: every step of a drag, a
    // click on the track, a key, and the end of a drag.
    connect(targetSlider, &QSlider::actionTriggered, this, [this] { OnTargetScroll(); });
    connect(targetSlider, &QSlider::sliderReleased, this, [this] { OnTargetScroll(); });
    connect(torqueBox, &QCheckBox::clicked, this, &CRobotDlg::OnTorque);
    connect(executeButton, &QPushButton::clicked, this, &CRobotDlg::OnExecute);
    connect(modeGroup, &QButtonGroup::idClicked, this, &CRobotDlg::OnModeClicked);
    connect(idEdit, &QLineEdit::textChanged, this, &CRobotDlg::OnIdChanged);
    connect(lastEdit, &QLineEdit::textChanged, this, &CRobotDlg::OnLastChanged);
    BuildPlotMenu();
}

DebugProfile CRobotDlg::Profile() const
{
    return Target().debug;
}

DebugTarget CRobotDlg::Target() const
{
    std::lock_guard lock(targetMutex);
    return target;
}

WriteMode CRobotDlg::CurrentMode() const
{
    const int id = modeGroup->checkedId();
    return id == 1 ? WriteMode::Sync : id == 2 ? WriteMode::Registered : WriteMode::Normal;
}

void CRobotDlg::Issue(int target, int speed, int time, int acceleration)
{
    // One job: the whole command, all its packets and replies, goes out unbroken.
    bus.Post(JobKind::Command, [mode = CurrentMode(), first = firstId.load(), last = lastId.load(),
                                profile = Target().profile, target, speed, time,
                                acceleration](BusAccess& access) {
        IssuePositionCommand(access.protocol, profile, mode, first, last, target, speed, time,
                             acceleration);
    });
}

void CRobotDlg::OnSet()
{
    int target = Number(targetEdit);
    const int acceleration = Number(accelerationEdit);
    int speed = Number(speedEdit);
    targetSlider->setValue(target);  // limited to the slider's range; sends nothing
    speed = EncodeSpeed(speed);
    const int limited = LimitTarget(target);
    if (limited != target) {
        target = limited;
        targetEdit->setText(QString::number(target));
    }
    const int time = EncodeTime(Number(timeEdit));
    Issue(target, speed, time, acceleration);
}

void CRobotDlg::OnTargetScroll()
{
    const int target = targetSlider->sliderPosition();
    targetEdit->setText(QString::number(target));
    Issue(target, EncodeSpeed(Number(speedEdit)), EncodeTime(Number(timeEdit)),
          Number(accelerationEdit));
}

void CRobotDlg::OnTorque()
{
    bus.Post(JobKind::Command, [mode = CurrentMode(), first = firstId.load(), last = lastId.load(),
                                target = Target(), on = torqueBox->isChecked()](BusAccess& access) {
        SendTorqueSwitch(access.protocol, target.profile, mode, first, last,
                         TorqueSwitchAddress(target), on);
    });
}

void CRobotDlg::OnExecute()
{
    bus.Post(JobKind::Command, [](BusAccess& access) { access.protocol.Action(); });
}

void CRobotDlg::OnModeClicked(int mode)
{
    executeButton->setEnabled(mode == 2);
    lastEdit->setEnabled(mode != 0);
}

void CRobotDlg::OnIdChanged(const QString& text)
{
    int id = LeadingInt(text.toStdString());
    if (id > 253) {
        id = 253;
        firstId = id;
        idEdit->setText(QStringLiteral("253"));
        return;
    }
    firstId = id;
}

void CRobotDlg::OnLastChanged(const QString& text)
{
    const int last = LeadingInt(text.toStdString());
    if (last <= 254) {
        lastId = last;
        return;
    }
    // Past the broadcast ID: back to the initial range end.
    lastId = 10;
    lastEdit->setText(QStringLiteral("10"));
}

void CRobotDlg::OnChannelClicked(int channel, bool ticked)
{
    if (ticked)
        plot->channelMask |= 1 << channel;
    else
        plot->channelMask &= ~(1 << channel);
    plot->update();
}

void CRobotDlg::SelectServo(int id, const ModelKey& key, const ServoProfile& profile)
{
    idEdit->setText(QString::number(id));  // sets firstId
    selectedKey = key;
    DebugProfile p{};
    const bool hasRow = catalogue.LookupDebugProfile(key, p) != 0;
    {
        std::lock_guard lock(targetMutex);
        target = Retarget(target, profile, hasRow ? &p : nullptr);
    }
    if (!hasRow) {
        UpdateStepServo();
        return;  // the previous feedback range, scale and position address stay
    }
    const int divisor = EffectiveDivisor(p.positionDivisor);
    // The samples read so far keep the scale they were read with.
    samples.SetScale({divisor, p.speedFactor});
    const int m = 4095 / divisor;
    targetSlider->setRange(0, m);
    targetSlider->setValue(m / 2);
    targetEdit->setText(QString::number(m / 2));
    plot->SetPositionFactor(divisor);
    plot->update();
    UpdateStepServo();
}

StepTestDialog& CRobotDlg::StepDialog()
{
    // Made once and kept: a test still running when the dialog closes reports to it.
    if (!stepDialog) {
        stepDialog = new StepTestDialog(host, catalogue, this);
        // A servo selected while a test ran is the next test's.
        connect(stepDialog, &StepTestDialog::testEnded, this, &CRobotDlg::UpdateStepServo);
    }
    return *stepDialog;
}

void CRobotDlg::UpdateStepServo()
{
    // A running test keeps the servo it started with.
    if (!stepDialog || stepDialog->Running())
        return;
    StepTestDialog::Servo s;
    s.id = firstId;
    s.key = selectedKey;
    s.target = target;  // the window's thread alone sets it
    MemoryTable table;
    const int count = catalogue.LookupMemoryTable(table, selectedKey);
    s.rows.assign(table.begin(), table.begin() + TableRows(table, count));
    s.maxPosition = targetSlider->maximum();
    stepDialog->SetServo(s);
}

void CRobotDlg::OnStepTest()
{
    StepTestDialog& dialog = StepDialog();
    UpdateStepServo();
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
}

bool CRobotDlg::HiddenControlsKey(QKeyEvent* key)
{
    if (key->key() != kHiddenControlsKey)
        return false;
    if (key->modifiers() & Qt::ControlModifier) {
        if (host.Messages().Question(this, tr("异常操作"), tr("异常操作,是否继续?"))) {
            channelBoxes[kTarget]->show();
            channelBoxes[kFastSlow]->show();
            targetLabel->show();
            targetField->show();
        }
    }
    return true;  // the key never reaches a control
}

bool CRobotDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && HiddenControlsKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::KeyPress && watched == this) {
        // Enter and Esc do nothing on the page.
        const int k = static_cast<QKeyEvent*>(event)->key();
        if (k == Qt::Key_Return || k == Qt::Key_Enter || k == Qt::Key_Escape)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CRobotDlg::StartPolling()
{
    if (!fastCapture)
        poll->Start();
}

void CRobotDlg::StopPolling()
{
    EndCapture();
    poll->Stop();
}

void CRobotDlg::PollOnce(BusAccess& access)
{
    const DebugTarget t = Target();
    CaptureSample sample;
    sample.id = firstId.load();
    sample.answered = static_cast<bool>(
        ReadFeedback(access.protocol, static_cast<uint8_t>(sample.id), t.debug, t.profile, sample.values));
    sample.time = CaptureSample::Clock::now();
    ++(sample.answered ? answered : timedOut);
    HandOver(sample, SampleKind::Polled);
}

void CRobotDlg::HandOver(const CaptureSample& sample, SampleKind kind)
{
    samples.Add(sample, kind);
    // The poll tells the window of its samples; a capture's are read once a screen frame.
    const bool notice = kind == SampleKind::Polled;
    // However many samples come before the window reads, it is told once.
    if (notice && !noticed.exchange(true))
        QMetaObject::invokeMethod(this, [this] { TakeSamples(); }, Qt::QueuedConnection);
}

void CRobotDlg::TakeSamples()
{
    noticed = false;  // before the read: a sample added after it brings a notice of its own
    batch.clear();
    samples.ReadSince(samplesRead, batch);
    if (batch.empty())
        return;
    if (fastCapture)
        ShowCaptured(batch);
    else
        ShowPolled(batch);
}

void CRobotDlg::ShowPolled(const std::vector<CaptureSample>& polled)
{
    const Feedback* shown = nullptr;  // the fields show the newest answer only
    for (const CaptureSample& s : polled) {
        RecordPoll(s.answered ? &s.values : nullptr);
        if (s.answered)
            shown = &s.values;
    }
    if (shown) {
        ShowFields(*shown);
        plot->update();  // the plot reads the series; a repaint without erasing the background
    }
    if (!polled.back().answered)
        statusField->setText(ServoWords::Timeout());
}

void CRobotDlg::ShowFields(const Feedback& f)
{
    // A field whose text stays the same is left alone, so it isn't repainted 20 times a second.
    auto show = [](QLineEdit* field, const QString& value) {
        if (field->text() != value)
            field->setText(value);
    };
    show(positionField, QString::number(f.position));
    show(speedField, QString::number(f.speed));
    show(loadField, QString::number(f.load));
    show(targetField, QString::number(f.target));
    show(currentField, QString::number(f.current));
    show(voltageField, QString::fromStdString(VoltageText(f.voltage)));
    show(temperatureField, ServoWords::Temperature(f.temperature));
    show(movingField, QString::number(f.moving));
    show(statusField, ServoWords::Faults(static_cast<uint8_t>(f.status), QStringLiteral(" ")));
}
