#include "pages/upgrade/ServoTest.h"

#include "servo/FirmwareFile.h"
#include "widgets/CTextProgressCtrl.h"
#include "widgets/Utf8.h"

#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace {

QLineEdit* Edit(const char* text, const QString& name, bool digitsOnly, QWidget* parent)
{
    auto* edit = new QLineEdit(U(text), parent);
    edit->setAccessibleName(name);
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 12);
    if (digitsOnly)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
    return edit;
}

}  // namespace

ServoTest::ServoTest(ModelCatalogue& c, PageHost& h, QWidget* parent)
    : QWidget(parent), catalogue(c), host(h)
{
    BuildControls();
    ShowUnlock(selectedKey);
}

ServoTest::~ServoTest()
{
    Shutdown();
}

void ServoTest::BuildControls()
{
    auto* upgradeGroup = new QGroupBox(tr("固件升级"));
    progress = new CTextProgressCtrl;
    progress->setAccessibleName(tr("固件升级"));
    progress->setMinimumHeight(24);
    openButton = new QPushButton(tr("打开"));
    upgradeButton = new QPushButton(tr("升级"));
    upgradeButton->setEnabled(false);
    unlockLabel = new QLabel;
    backupLabel = new QLabel;
    backupLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* upgradeLayout = new QGridLayout(upgradeGroup);
    upgradeLayout->addWidget(progress, 0, 0, 1, 3);
    upgradeLayout->setColumnStretch(0, 1);
    upgradeLayout->addWidget(unlockLabel, 1, 0);
    upgradeLayout->addWidget(openButton, 1, 1);
    upgradeLayout->addWidget(upgradeButton, 1, 2);
    upgradeLayout->addWidget(backupLabel, 2, 0, 1, 3);

    auto* testGroup = new QGroupBox(tr("通信测试"));
    trafficLabel = new QLabel(tr("通信流量:0Byte"));
    fromEdit = Edit("1", "ID:", true, this);
    toEdit = Edit("17", "---", false, this);
    timeoutEdit = Edit("50", tr("超时"), true, this);
    startEdit = Edit("0", tr("起始地址"), true, this);
    endEdit = Edit("66", tr("结束地址"), true, this);
    resultBox = new QPlainTextEdit;
    resultBox->setReadOnly(true);
    resultBox->setAccessibleName(tr("测试结果"));
    resultBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    resultBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A whole pass of the page-start range (17 lines) fits without scroll bars.
    resultBox->setMinimumHeight(resultBox->fontMetrics().lineSpacing() * 17 +
                                2 * resultBox->frameWidth() + 8);
    testButton = new QPushButton(tr("测试"));
    clearButton = new QPushButton(tr("清除"));
    // These change their captions; the names stay.
    upgradeButton->setObjectName("upgradeButton");
    testButton->setObjectName("testButton");
    unlockLabel->setObjectName("unlockLabel");
    backupLabel->setObjectName("backupLabel");
    trafficLabel->setObjectName("trafficLabel");

    auto label = [&](const QString& text, QLineEdit* buddy) {
        auto* l = new QLabel(text);
        l->setBuddy(buddy);
        return l;
    };
    auto* testLayout = new QGridLayout(testGroup);
    testLayout->addWidget(trafficLabel, 0, 0, 1, 8);
    testLayout->addWidget(label("ID:", fromEdit), 1, 0);
    testLayout->addWidget(fromEdit, 1, 1);
    testLayout->addWidget(label("---", toEdit), 1, 2);
    testLayout->addWidget(toEdit, 1, 3);
    testLayout->addWidget(label(tr("超时"), timeoutEdit), 1, 4);
    testLayout->addWidget(timeoutEdit, 1, 5);
    testLayout->addWidget(label(tr("起始地址"), startEdit), 2, 0);
    testLayout->addWidget(startEdit, 2, 1);
    testLayout->addWidget(label(tr("结束地址"), endEdit), 2, 2);
    testLayout->addWidget(endEdit, 2, 3);
    testLayout->setColumnStretch(6, 1);
    testLayout->addWidget(testButton, 2, 6, Qt::AlignRight);
    testLayout->addWidget(clearButton, 2, 7);
    testLayout->addWidget(resultBox, 3, 0, 1, 8);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(upgradeGroup);
    layout->addWidget(testGroup, 1);

    for (auto* b : {openButton, upgradeButton, testButton, clearButton})
        b->setAutoDefault(false);
    connect(openButton, &QPushButton::clicked, this, &ServoTest::LoadFirmware);
    connect(upgradeButton, &QPushButton::clicked, this, &ServoTest::StartUpgrade);
    connect(testButton, &QPushButton::clicked, this, &ServoTest::ToggleTest);
    connect(clearButton, &QPushButton::clicked, this, &ServoTest::ClearTest);
}

void ServoTest::LoadFirmware()
{
    QString path = host.Files().OpenFileName(this, tr("打开固件"),
                                                    U("Hex Files (*.hex);;Bin Files (*.bin)"));
    if (path.isEmpty())
        return;
    // A typed name without an extension is a HEX file's.
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
        path += U(".hex");
    const FirmwareLoadResult result =
        LoadFirmwareFile(QFile::encodeName(path).toStdString(), image);
    if (result.status != FirmwareLoad::Loaded) {
        imageReady = false;
        UpdateUpgradeEnabled();
        host.Messages().Warning(this, tr("打开固件"),
                                      result.status == FirmwareLoad::CannotOpen ? tr("无法打开固件")
                                                                                : tr("固件格式错误"));
        return;
    }
    imageKind = result.kind;
    blockCount = ::BlockCount(image.length);
    progress->SetRange(0, blockCount);
    progress->SetStep(1);
    progress->SetPos(0);
    imageReady = true;
    UpdateUpgradeEnabled();
}

void ServoTest::UpdateUpgradeEnabled()
{
    // A running test keeps the transfer out; a running transfer keeps its own button for
    // "取消".
    upgradeButton->setEnabled(UpgradeRunning() || (imageReady && !TestRunning()));
}

void ServoTest::Shutdown()
{
    shuttingDown = true;
    cancelUpgrade = true;
    testRunning = false;
    testAbort = true;
    // The window closes: whatever still runs on the bus ends without telling this page.
    upgradeActive = false;
    testActive = false;
}

void ServoTest::keyPressEvent(QKeyEvent* event)
{
    // Enter and Esc do nothing on the page.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
