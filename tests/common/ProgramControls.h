#pragma once
// The programming page's controls, found by name (in the window's language).

#include "Named.h"
#include "pages/program/ServoPG.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

struct ProgramControls {
    explicit ProgramControls(ServoPG& page) : page(page) {}

    ServoPG* operator->() const { return &page; }

    template <typename T>
    T* Find(const char* name) const
    {
        return Named<T>(page, QCoreApplication::translate("ServoPG", name));
    }

    ServoPG& page;
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
