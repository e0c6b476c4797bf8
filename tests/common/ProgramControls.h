#pragma once
// The programming page's controls, found by name (in the window's language).

#include "Named.h"
#include "pages/program/ServoPG.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

struct ProgramControls : ControlsOf<ServoPG> {
    explicit ProgramControls(ServoPG& page) : ControlsOf(page, "ServoPG") {}

    QPushButton* saveButton = Find<QPushButton>("保存参数");
    QPushButton* loadButton = Find<QPushButton>("载入参数");
    QPushButton* restoreButton = Find<QPushButton>("重置参数");
    QPushButton* resetAngleButton = Find<QPushButton>("重置角度");
    QTableWidget* list = Find<QTableWidget>("内存表");
    QPlainTextEdit* statusBox = Find<QPlainTextEdit>("舵机状态");
    QLabel* itemLabel = ObjectNamed<QLabel>(page, "itemLabel");
    QLineEdit* valueEdit = Find<QLineEdit>("数值");
    QPushButton* writeButton = ObjectNamed<QPushButton>(page, "writeButton");
};
