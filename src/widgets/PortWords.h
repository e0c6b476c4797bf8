#pragma once
// The window's words for what the core reports of the port: why it did not open, why a rate
// was not taken. Each is a tr() text.

#include "serial/OpenError.h"
#include "servo/OpenAtRate.h"

#include <QCoreApplication>
#include <QString>

class PortWords {
    Q_DECLARE_TR_FUNCTIONS(PortWords)

public:
    // The reason alone; the system's own text for OpenError::Other.
    static QString OpenReason(const OpenFailure& failure);
    // "无法打开端口 %1: %2" with the port's name and the reason.
    static QString OpenFailed(const QString& port, const OpenFailure& failure);
    // A raw TCP port keeps its server's rate, a shared bus its owner's; any other names the
    // rate its driver runs at.
    static QString RateRefused(const QString& port, const RateRefusal& refusal);
    // The adapter waits `latencyMs` before passing on a reply: the figure, and how to lower
    // it on this system.
    static QString SlowAdapter(const QString& port, int latencyMs);

    // Sharing the bus. This window attached to `owner`'s bus under the name `port`:
    static QString SharedBy(const QString& port, const ShareOwner& owner);
    // What an attached window may not do there, naming the owner and its rate: a rate change
    // or a firmware update.
    enum class SharedRefusal { Rate, Firmware };
    static QString Refused(const ShareOwner& owner, int rate, SharedRefusal what);
    // This window's bus and how many other programs share it.
    static QString SharedWith(int programs);
};
