#pragma once
// The main window's own controls: the status field by its accessible name (in the window's
// language), the others, whose captions change or which have none, by their object names.

#include "Named.h"
#include "app/CServoMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

struct MainControls : ControlsOf<CServoMain> {
    explicit MainControls(CServoMain& window) : ControlsOf(window, "CServoMain") {}

    QComboBox* portCombo = ObjectNamed<QComboBox>(page, "portCombo");
    QComboBox* baudCombo = ObjectNamed<QComboBox>(page, "baudCombo");
    QPushButton* openButton = ObjectNamed<QPushButton>(page, "openButton");
    QPushButton* searchButton = ObjectNamed<QPushButton>(page, "searchButton");
    QLineEdit* statusField = Find<QLineEdit>("状态");
    QTableWidget* servoList = ObjectNamed<QTableWidget>(page, "servoList");
    QTabWidget* tabs = ObjectNamed<QTabWidget>(page, "tabs");
};
