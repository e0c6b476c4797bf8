#pragma once
// The upgrade page's controls, found by name (in the window's language).

#include "Named.h"
#include "pages/upgrade/ServoTest.h"
#include "widgets/CTextProgressCtrl.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

struct UpgradeControls : ControlsOf<ServoTest> {
    explicit UpgradeControls(ServoTest& page) : ControlsOf(page, "ServoTest") {}

    CTextProgressCtrl* progress = Find<CTextProgressCtrl>("固件升级");
    QPushButton* openButton = Find<QPushButton>("打开");
    QPushButton* upgradeButton = ObjectNamed<QPushButton>(page, "upgradeButton");
    QLabel* unlockLabel = ObjectNamed<QLabel>(page, "unlockLabel");
    QLabel* backupLabel = ObjectNamed<QLabel>(page, "backupLabel");
    QLabel* trafficLabel = ObjectNamed<QLabel>(page, "trafficLabel");
    // The range's two ends are named by untranslated labels.
    QLineEdit* fromEdit = Named<QLineEdit>(page, QStringLiteral("ID:"));
    QLineEdit* toEdit = Named<QLineEdit>(page, QStringLiteral("---"));
    QLineEdit* timeoutEdit = Find<QLineEdit>("超时");
    QLineEdit* startEdit = Find<QLineEdit>("起始地址");
    QLineEdit* endEdit = Find<QLineEdit>("结束地址");
    QPlainTextEdit* resultBox = Find<QPlainTextEdit>("测试结果");
    QPushButton* testButton = ObjectNamed<QPushButton>(page, "testButton");
    QPushButton* clearButton = Find<QPushButton>("清除");
};
