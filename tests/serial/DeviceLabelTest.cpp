// The USB vendor and product servoctl ports reads from a Windows device's hardware ID (the
// label is checked by the window's tests and under wine).
#include "serial/DeviceLabel.h"

#include <gtest/gtest.h>

TEST(DeviceLabel, UsbIdFromHardwareIds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_1A2B&PID_3C4D&REV_0100", "1a2b:3c4d"},
        {"XBUS\\COMPORT&vid_1a2b&pid_3c4d", "1a2b:3c4d"},  // an adapter driver's own bus
        {"ACPI\\PNP0501", ""},                             // a UART on the board
        {"USB\\VID_1A2B&PID_3C", ""},                      // cut short
        {"USB\\VID_1A2G&PID_3C4D", ""},                    // not hex
    };
    for (const auto& [id, want] : cases)
        EXPECT_EQ(UsbIdOf(id), want) << id;
}
