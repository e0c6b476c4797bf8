#pragma once
// The window's words for what is found on the whole bus: the alarms of a servo's health, an
// ID where two servos may answer, an adapter that echoes. Each is a tr() text.

#include <QCoreApplication>
#include <QString>

#include <cstdint>

class BusWords {
    Q_DECLARE_TR_FUNCTIONS(BusWords)

public:
    // The alarm bits of servo/BusHealth.h set in `alarms`, `separator` between them.
    static QString Alarms(uint32_t alarms, const QString& separator);
    // "ID 3: two servos may answer to this ID".
    static QString DoubledId(int id) { return tr("ID %1: 可能有两个舵机应答此 ID").arg(id); }
    static QString EchoFound() { return tr("适配器回显发送的字节, 回显已跳过"); }
};
