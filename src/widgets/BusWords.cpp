#include "widgets/BusWords.h"

#include "servo/BusHealth.h"

#include <QStringList>

#include <utility>

QString BusWords::Alarms(uint32_t alarms, const QString& separator)
{
    const std::pair<uint32_t, const char*> words[] = {
        {kAlarmHot, QT_TR_NOOP("接近温度上限")}, {kAlarmVoltageLow, QT_TR_NOOP("电压过低")},
        {kAlarmVoltageHigh, QT_TR_NOOP("电压过高")}, {kAlarmOverload, QT_TR_NOOP("负载过高")},
        {kAlarmFault, QT_TR_NOOP("故障位")},      {kAlarmSilent, QT_TR_NOOP("1 秒无应答")},
        {kAlarmSag, QT_TR_NOOP("电源电压跌落")}};
    QStringList names;
    for (const auto& [bit, word] : words)
        if (alarms & bit)
            names << tr(word);
    return names.join(separator);
}
