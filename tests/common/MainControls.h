#pragma once
// The main window's own controls: the status field by its accessible name (in the window's
// language), the others, whose captions change or which have none, by their object names.

#include "Named.h"
#include "app/CServoMain.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

struct MainControls {
    explicit MainControls(CServoMain& window) : window(window) {}

    CServoMain* operator->() const { return &window; }

    CServoMain& window;
    QComboBox* portCombo = ObjectNamed<QComboBox>(window, "portCombo");
    QComboBox* baudCombo = ObjectNamed<QComboBox>(window, "baudCombo");
    QPushButton* openButton = ObjectNamed<QPushButton>(window, "openButton");
    QPushButton* searchButton = ObjectNamed<QPushButton>(window, "searchButton");
    QLineEdit* statusField =
        Named<QLineEdit>(window, QCoreApplication::translate("CServoMain", "状态"));
    QTableWidget* servoList = ObjectNamed<QTableWidget>(window, "servoList");
    QTabWidget* tabs = ObjectNamed<QTabWidget>(window, "tabs");
};
