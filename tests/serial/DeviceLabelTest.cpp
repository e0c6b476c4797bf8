// What the port box and servoctl ports make of what Windows keeps of a port's device.
#include "serial/DeviceLabel.h"

#include <gtest/gtest.h>

#include <array>

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

TEST(DeviceLabel, FriendlyNameAndMaker)
{
    const std::array<const char*, 4> cases[] = {
        {"COM7", "USB Serial Port (COM7)", "Bench Adapters", "USB Serial Port (Bench Adapters)"},
        {"COM17", "USB Serial Port (com7)", "", "USB Serial Port (com7)"},  // another port's
        {"COM1", "Communications Port (COM1)", "(Standard port types)", "Communications Port (Standard port types)"},
        {"COM7", "", "", ""},
    };
    for (const auto& [device, friendlyName, manufacturer, want] : cases) {
        PortInfo port;
        port.device = device;
        port.friendlyName = friendlyName;
        port.manufacturer = manufacturer;
        EXPECT_EQ(DeviceLabel(port), want) << friendlyName;
    }
}
