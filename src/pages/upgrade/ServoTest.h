#pragma once
// The upgrade page ("升级"): firmware transfer and the communication test. This is its frame:
// the servo the upgrade addresses; the image loading, the transfer and the test are still to
// come. It has no poll and never takes the bus lock.

#include "protocol/ZNServo.h"

#include <QWidget>

#include <atomic>

class ServoTest : public QWidget {
    Q_OBJECT
public:
    explicit ServoTest(ZNServo& protocol, QWidget* parent = nullptr);

    void SelectServo(int id) { upgradeServoId = static_cast<uint8_t>(id); }
    uint8_t UpgradeServoId() const { return upgradeServoId; }

private:
    ZNServo& protocol;
    std::atomic<uint8_t> upgradeServoId{0};
};
