#include "widgets/ServoWords.h"

#include "servo/Feedback.h"

#include <QStringList>

QString ServoWords::Fault(uint8_t bit)
{
    switch (bit) {
    case 0x01: return tr("过压/欠压");
    case 0x04: return tr("过热");
    case 0x08: return tr("过流");
    case 0x20: return tr("过载");
    case 0x02: return tr("传感器出错");
    default: return {};
    }
}

QString ServoWords::Faults(uint8_t status, const QString& separator)
{
    QStringList names;
    for (const uint8_t bit : kFaultBits)
        if (status & bit)
            names << Fault(bit);
    return names.isEmpty() ? Normal() : names.join(separator);
}
