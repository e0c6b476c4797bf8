#include "pages/motion/MotionWindow.h"

#include "pages/motion/MotionPlot.h"
#include "servo/MotionFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kPoseColumn = 0, kTimeColumn = 1, kHoldColumn = 2;

QString PoseText(const Pose& pose)
{
    QStringList parts;
    for (const auto& [id, position] : pose)
        parts << QStringLiteral("%1:%2").arg(id).arg(position);
    return parts.join(QLatin1Char(' '));
}

// A button or box named by its caption.
template <class W>
W* Captioned(W* w)
{
    w->setAccessibleName(w->text());
    return w;
}

}  // namespace

MotionWindow::MotionWindow(PageHost& h, ModelCatalogue& c, QWidget* parent)
    : QWidget(parent, Qt::Window), host(h), bus(h.Bus()), catalogue(c), player(h.Bus())
{
    setWindowTitle(tr("动作"));
    BuildControls();
    ShowState();
}

MotionWindow::~MotionWindow() = default;

void MotionWindow::BuildControls()
{
    auto* idsLabel = new QLabel(tr("舵机 ID:"));
    idsEdit = new QLineEdit(QStringLiteral("1"));
    idsLabel->setBuddy(idsEdit);
    idsEdit->setAccessibleName(idsLabel->text());
    teachButton = Captioned(new QPushButton(tr("记录姿态")));
    releaseButton = Captioned(new QPushButton(tr("松开扭矩")));
    removeButton = Captioned(new QPushButton(tr("删除关键帧")));

    list = new QTableWidget(0, 3);
    list->setHorizontalHeaderLabels({tr("姿态"), tr("时间 (ms)"), tr("保持 (ms)")});
    list->horizontalHeader()->setSectionResizeMode(kPoseColumn, QHeaderView::Stretch);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAccessibleName(tr("关键帧"));

    auto* easingLabel = new QLabel(tr("插值:"));
    easingBox = new QComboBox;
    easingBox->addItems({tr("平滑"), tr("线性")});
    easingLabel->setBuddy(easingBox);
    easingBox->setAccessibleName(easingLabel->text());
    playButton = Captioned(new QPushButton(tr("播放")));
    stopButton = Captioned(new QPushButton(tr("停止")));
    loopBox = Captioned(new QCheckBox(tr("循环")));
    auto* speedLabel = new QLabel(tr("速度:"));
    speedBox = new QDoubleSpinBox;
    speedBox->setRange(kMinSpeedFactor, kMaxSpeedFactor);
    speedBox->setSingleStep(0.1);
    speedBox->setValue(1.0);
    speedBox->setSuffix(QStringLiteral(" x"));
    speedLabel->setBuddy(speedBox);
    speedBox->setAccessibleName(speedLabel->text());
    openButton = Captioned(new QPushButton(tr("打开...")));
    saveButton = Captioned(new QPushButton(tr("保存...")));
    plot = new MotionPlot;
    status = new QLabel;
    status->setObjectName(QStringLiteral("motionStatus"));
    status->setAccessibleName(tr("状态"));

    auto* teach = new QHBoxLayout;
    teach->addWidget(idsLabel);
    teach->addWidget(idsEdit, 1);
    teach->addWidget(teachButton);
    teach->addWidget(releaseButton);
    teach->addWidget(removeButton);
    auto* playRow = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{easingLabel, easingBox, playButton, stopButton, loopBox,
                                                     speedLabel, speedBox})
        playRow->addWidget(w);
    playRow->addStretch(1);
    playRow->addWidget(openButton);
    playRow->addWidget(saveButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(teach);
    layout->addWidget(list, 1);
    layout->addLayout(playRow);
    layout->addWidget(plot, 1);
    layout->addWidget(status);

    tick = new QTimer(this);
    tick->setInterval(50);
    connect(tick, &QTimer::timeout, this, [this] { plot->SetPosition(player.Status().ms); });
    connect(teachButton, &QPushButton::clicked, this, &MotionWindow::Teach);
    connect(releaseButton, &QPushButton::clicked, this, &MotionWindow::Release);
    connect(removeButton, &QPushButton::clicked, this, [this] {
        const int row = list->currentRow();
        if (row < 0 || row >= static_cast<int>(poses.size()))
            return;
        poses.erase(poses.begin() + row);
        list->removeRow(row);
        Refresh();
    });
    connect(playButton, &QPushButton::clicked, this, &MotionWindow::Play);
    connect(stopButton, &QPushButton::clicked, this, &MotionWindow::Stop);
    connect(easingBox, &QComboBox::currentIndexChanged, this, [this](int i) {
        easing = i == 1 ? Easing::Linear : Easing::MinimumJerk;
        Refresh();
    });
    connect(list, &QTableWidget::itemChanged, this, [this] { Refresh(); });
    connect(openButton, &QPushButton::clicked, this, [this] {
        const QString path = host.Files().OpenFileName(this, tr("打开动作"), tr("动作文件 (*.json)"));
        if (!path.isEmpty())
            LoadFile(path);
    });
    connect(saveButton, &QPushButton::clicked, this, [this] {
        const QString path = host.Files().SaveFileName(this, tr("保存动作"), tr("动作文件 (*.json)"));
        if (!path.isEmpty())
            SaveFile(path);
    });
}

Motion MotionWindow::CurrentMotion() const
{
    Motion motion;
    motion.easing = easing;
    for (int row = 0; row < list->rowCount() && row < static_cast<int>(poses.size()); ++row) {
        Keyframe kf;
        kf.pose = poses[static_cast<size_t>(row)];
        const QTableWidgetItem* time = list->item(row, kTimeColumn);
        const QTableWidgetItem* hold = list->item(row, kHoldColumn);
        kf.timeMs = time ? time->text().toInt() : 0;
        kf.holdMs = hold ? hold->text().toInt() : 0;
        motion.keyframes.push_back(kf);
    }
    return motion;
}

void MotionWindow::SetMotion(const Motion& motion)
{
    const QSignalBlocker quiet(list);
    easing = motion.easing;
    easingBox->setCurrentIndex(easing == Easing::Linear ? 1 : 0);
    poses.clear();
    list->setRowCount(0);
    for (const Keyframe& kf : motion.keyframes) {
        const int row = list->rowCount();
        list->insertRow(row);
        auto* pose = new QTableWidgetItem(PoseText(kf.pose));
        pose->setFlags(pose->flags() & ~Qt::ItemIsEditable);
        list->setItem(row, kPoseColumn, pose);
        list->setItem(row, kTimeColumn, new QTableWidgetItem(QString::number(kf.timeMs)));
        list->setItem(row, kHoldColumn, new QTableWidgetItem(QString::number(kf.holdMs)));
        poses.push_back(kf.pose);
    }
    Refresh();
}

bool MotionWindow::LoadFile(const QString& path)
{
    Motion motion;
    MotionFileError error;
    if (!LoadMotion(path.toStdString(), motion, error)) {
        ShowStatus(tr("无法打开 %1: %2").arg(path, QString::fromStdString(error.Text())));
        return false;
    }
    SetMotion(motion);
    ShowStatus(tr("已打开 %1").arg(path));
    return true;
}

bool MotionWindow::SaveFile(const QString& path)
{
    std::string error;
    if (!SaveMotion(path.toStdString(), CurrentMotion(), error)) {
        ShowStatus(tr("无法保存: %1").arg(QString::fromStdString(error)));
        return false;
    }
    ShowStatus(tr("已保存 %1").arg(path));
    return true;
}

std::vector<uint8_t> MotionWindow::ChosenIds()
{
    std::vector<uint8_t> ids;
    const QStringList parts = idsEdit->text().split(QRegularExpression(QStringLiteral("[\\s,]+")),
                                                    Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool number = false;
        const int id = part.toInt(&number);
        if (!number || id < 0 || id > 253 || std::find(ids.begin(), ids.end(), id) != ids.end()) {
            ShowStatus(tr("ID 无效: %1").arg(part));
            return {};
        }
        ids.push_back(static_cast<uint8_t>(id));
    }
    if (ids.empty())
        ShowStatus(tr("请输入舵机 ID"));
    return ids;
}

void MotionWindow::Teach()
{
    const std::vector<uint8_t> ids = ChosenIds();
    if (ids.empty())
        return;
    Keyframe names;
    for (const uint8_t id : ids)
        names.pose[id] = 0;
    if (!SameServos(CurrentMotion(), names)) {
        ShowStatus(tr("每个关键帧须是同一组舵机"));
        return;
    }
    busy = true;
    ShowState();
    auto queue = [this](auto call) { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); };
    bus.Post(JobKind::Command, [this, queue, ids](BusAccess& access) {
        std::vector<MotionServo> servos;
        uint8_t failed = 0;
        Pose pose;
        Reply r = IdentifyMotionServos(access.protocol, catalogue, ids, {}, servos, failed);
        if (r)
            r = ReadPose(access.protocol, servos, pose, failed);
        queue([this, r, failed, pose] {
            busy = false;
            if (!r) {
                ShowStatus(tr("舵机 %1 无应答").arg(failed));
            } else {
                Motion motion = CurrentMotion();
                motion.keyframes.push_back({pose, 1000, 0});
                SetMotion(motion);
                ShowStatus(tr("已记录关键帧 %1").arg(motion.keyframes.size()));
            }
            ShowState();
            emit busDone();
        });
    }, [this, queue] { queue([this] { busy = false; ShowState(); emit busDone(); }); });
}

void MotionWindow::Release()
{
    const std::vector<uint8_t> ids = ChosenIds();
    if (ids.empty())
        return;
    busy = true;
    ShowState();
    auto queue = [this](auto call) { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); };
    bus.Post(JobKind::Command, [this, queue, ids](BusAccess& access) {
        std::vector<MotionServo> servos;
        uint8_t failed = 0;
        Reply r = IdentifyMotionServos(access.protocol, catalogue, ids, {}, servos, failed);
        for (size_t i = 0; r && i < servos.size(); ++i) {
            r = access.protocol.WriteByte(servos[i].profile, servos[i].id, servos[i].debug.torqueAddress, 0);
            failed = servos[i].id;
        }
        queue([this, r, failed] {
            busy = false;
            ShowStatus(r ? tr("扭矩已松开, 可用手摆姿态") : tr("舵机 %1 无应答").arg(failed));
            ShowState();
            emit busDone();
        });
    }, [this, queue] { queue([this] { busy = false; ShowState(); emit busDone(); }); });
}

void MotionWindow::Play()
{
    const Motion motion = CurrentMotion();
    for (size_t k = 0; k < motion.keyframes.size(); ++k)
        if (motion.keyframes[k].timeMs < 1 || motion.keyframes[k].timeMs > kMaxKeyframeMs ||
            motion.keyframes[k].holdMs < 0 || motion.keyframes[k].holdMs > kMaxKeyframeMs) {
            ShowStatus(tr("关键帧 %1 的时间无效").arg(k + 1));
            return;
        }
    if (motion.keyframes.empty()) {
        ShowStatus(tr("没有关键帧"));
        return;
    }
    PlayOptions options;
    options.loops = loopBox->isChecked() ? 0 : 1;
    options.speed = speedBox->value();
    busy = true;
    ShowState();
    auto queue = [this](auto call) { QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection); };
    bus.Post(JobKind::Command, [this, queue, motion, options](BusAccess& access) {
        MotionStart start = PrepareMotion(access.protocol, catalogue, motion, {});
        queue([this, queue, start = std::move(start), options] {
            busy = false;
            if (!start.ok()) {
                ShowStatus(start.problem == MotionStart::Problem::NoAnswer
                               ? tr("舵机 %1 无应答, 未移动").arg(start.id)
                               : tr("这些舵机不能用一个同步包驱动"));
                ShowState();
                emit busDone();
                return;
            }
            QStringList clamped;
            for (const MotionClamp& c : start.clamps)
                clamped << tr("舵机 %1 关键帧 %2: %3 → %4").arg(c.id).arg(c.keyframe + 1).arg(c.asked).arg(c.sent);
            player.Play(start, options, [queue, this](const MotionStatus& s) {
                queue([this, s] { OnEnded(s); });
            });
            plot->SetTimeline(player.Timeline());
            tick->start();
            ShowStatus(clamped.isEmpty() ? tr("播放中") : tr("播放中; 超出限位已限幅: %1").arg(clamped.join(QStringLiteral("; "))));
            ShowState();
            emit busDone();
        });
    }, [this, queue] { queue([this] { busy = false; ShowState(); emit busDone(); }); });
}

void MotionWindow::closeEvent(QCloseEvent* event)
{
    player.Stop(false);
    QWidget::closeEvent(event);
}

void MotionWindow::Stop()
{
    player.Stop(false);
}

void MotionWindow::OnEnded(const MotionStatus& s)
{
    tick->stop();
    plot->SetPosition(s.ms);
    switch (s.end) {
    case MotionEnd::Done: ShowStatus(tr("播放完毕, 保持姿态")); break;
    case MotionEnd::Stopped: ShowStatus(tr("已停止, 保持姿态")); break;
    case MotionEnd::Silent: ShowStatus(tr("舵机 %1 无应答, 动作已停止").arg(s.silentId)); break;
    case MotionEnd::PortGone: ShowStatus(tr("端口已断开, 动作已停止")); break;
    default: ShowStatus(tr("同步包未发出, 动作已停止")); break;
    }
    ShowState();
    emit busDone();
}

void MotionWindow::Refresh()
{
    const Motion motion = CurrentMotion();
    if (motion.keyframes.empty() || Playing()) {
        if (motion.keyframes.empty())
            plot->SetTimeline(nullptr);
        return;
    }
    // Before a playback: the keyframes from the first on, with no ease-in.
    const Pose& first = motion.keyframes.front().pose;
    plot->SetTimeline(std::make_shared<MotionTimeline>(motion, first, 0.0, 1, speedBox->value()));
    plot->SetPosition(-1);
}

void MotionWindow::ShowState()
{
    const bool playing = Playing();
    for (QWidget* w : std::initializer_list<QWidget*>{teachButton, releaseButton, removeButton, playButton, openButton})
        w->setEnabled(!busy && !playing);
    stopButton->setEnabled(playing);
}

void MotionWindow::ShowStatus(const QString& text)
{
    status->setText(text);
}
