#include "widgets/ServoWords.h"

#include <QStringList>

QString ServoWords::FaultName(Fault fault)
{
    switch (fault) {
    case Fault::Voltage: return tr("过压/欠压");
    case Fault::Temperature: return tr("过热");
    case Fault::Current: return tr("过流");
    case Fault::Load: return tr("过载");
    case Fault::Sensor: return tr("传感器出错");
    }
    return {};
}

QString ServoWords::Faults(uint8_t status, const QString& separator)
{
    const QString faults = JoinFaults(status, separator, &ServoWords::FaultName);
    return faults.isEmpty() ? Normal() : faults;
}
