#pragma once
// The window's words for the facts the servo core reports: fault bits, a poll without an
// answer, a temperature, a model the catalogue does not know. Each is a tr() text.

#include "servo/Faults.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>

class ServoWords {
    Q_DECLARE_TR_FUNCTIONS(ServoWords)

public:
    // The name of one fault bit.
    static QString FaultName(Fault fault);
    // "舵机正常", or the names of the set fault bits in their order, `separator` between them.
    static QString Faults(uint8_t status, const QString& separator);
    static QString Normal() { return tr("舵机正常"); }
    static QString Timeout() { return tr("通信超时"); }
    static QString Temperature(int degrees) { return tr("%1 度").arg(degrees); }
    static QString UnknownModel() { return tr("未知型号"); }
};
