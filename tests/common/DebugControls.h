#pragma once
// The debug page's controls by their accessible names (in the window's language), the plot
// menu's actions by their captions.

#include "Named.h"
#include "pages/debug/CRobotDlg.h"
#include "plot/CPIC.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

struct DebugControls : ControlsOf<CRobotDlg> {
    explicit DebugControls(CRobotDlg& page) : ControlsOf(page, "CRobotDlg")
    {
        const char* boxes[6] = {"位置(黑)", "扭力(红)", "速度(绿)", "目标(蓝)", "快慢(黄)", "电流(青)"};
        for (int c = 0; c < 6; ++c)
            channelBoxes[c] = Find<QCheckBox>(boxes[c]);
        const char* modes[3] = {"普通写", "同步写", "异步写"};
        for (int m = 0; m < 3; ++m)
            modeButtons[m] = Find<QRadioButton>(modes[m]);
        for (QAction* a : plotMenu->actions()) {
            for (auto [caption, action] : {std::pair{"暂停", &pauseAction}, {"导出 CSV...", &exportCsvAction},
                                           {"导出图片...", &exportImageAction}, {"清除", &clearAction},
                                           {"高速采集", &fastCaptureAction}, {"开始记录...", &recordAction}})
                if (a->text() == Tr(caption))
                    *action = a;
        }
        if (!pauseAction || !exportCsvAction || !exportImageAction || !clearAction ||
            !fastCaptureAction || !recordAction)
            qFatal("the plot menu lacks an action");
    }

    CPIC* plot = Named<CPIC>(page, QCoreApplication::translate("CPIC", "曲线"));
    QCheckBox* channelBoxes[6] = {};  // in the plot's channel order
    QSlider* shiftSlider = Find<QSlider>("水平位移");
    QSlider* spacingSlider = Find<QSlider>("水平缩放");
    QLineEdit* idEdit = Find<QLineEdit>("ID:");
    QLineEdit* lastEdit = Find<QLineEdit>("---");
    QCheckBox* torqueBox = Find<QCheckBox>("扭能输出");
    QRadioButton* modeButtons[3] = {};
    QPushButton* executeButton = Find<QPushButton>("异步执行");
    QSlider* targetSlider = Find<QSlider>("目标位置");
    QLineEdit* accelerationEdit = Find<QLineEdit>("加速度");
    QLineEdit* targetEdit = Find<QLineEdit>("目标");
    QLineEdit* speedEdit = Find<QLineEdit>("速度");
    QLineEdit* timeEdit = Find<QLineEdit>("时间");
    QPushButton* setButton = Find<QPushButton>("设置");
    QLineEdit* voltageField = Find<QLineEdit>("电压:");
    QLineEdit* temperatureField = Find<QLineEdit>("温度:");
    QLineEdit* loadField = Find<QLineEdit>("扭力:");
    QLineEdit* speedField = Find<QLineEdit>("速度:");
    QLineEdit* positionField = Find<QLineEdit>("位置:");
    QLineEdit* currentField = Find<QLineEdit>("电流:");
    QLineEdit* movingField = Find<QLineEdit>("移动:");
    QLineEdit* statusField = Find<QLineEdit>("状态:");
    QLineEdit* targetField = Find<QLineEdit>("目标:");
    QMenu* plotMenu = Find<QMenu>("曲线菜单");
    QAction* pauseAction = nullptr;
    QAction* exportCsvAction = nullptr;
    QAction* exportImageAction = nullptr;
    QAction* clearAction = nullptr;
    QAction* fastCaptureAction = nullptr;
    QAction* recordAction = nullptr;
};
