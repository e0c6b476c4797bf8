// What the port box and servoctl ports make of what Windows keeps of a port's device.
#include "serial/DeviceLabel.h"

#include <gtest/gtest.h>

TEST(DeviceLabel, UsbIdFromHardwareIds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"USB\\VID_1A2B&PID_3C4D&REV_0100", "1a2b:3c4d"},
        {"usb\\vid_1a2b&pid_3c4d", "1a2b:3c4d"},
        {"XBUS\\COMPORT&VID_1A2B&PID_3C4D", "1a2b:3c4d"},  // an adapter driver's own bus
        {"XBUS\\VID_1A2B+PID_3C4D+SERIAL\\0000", "1a2b:3c4d"},
        {"ACPI\\PNP0501", ""},                              // a UART on the board
        {"USB\\VID_1A2B", ""},                              // no product
        {"USB\\VID_1A2B&PID_3C", ""},                       // cut short
        {"USB\\VID_1A2G&PID_3C4D", ""},                     // not hex
        {"", ""},
    };
    for (const auto& [id, want] : cases)
        EXPECT_EQ(UsbIdOf(id), want) << id;
}

TEST(DeviceLabel, FriendlyNameAndMaker)
{
    struct Case {
        const char* device;
        const char* friendlyName;
        const char* manufacturer;
        const char* want;
    };
    const Case cases[] = {
        {"COM7", "USB Serial Port (COM7)", "Bench Adapters", "USB Serial Port (Bench Adapters)"},
        {"COM7", "USB Serial Port (com7)", "", "USB Serial Port"},
        {"COM17", "USB Serial Port (COM7)", "", "USB Serial Port (COM7)"},  // another port's
        {"COM1", "Communications Port (COM1)", "(Standard port types)", "Communications Port (Standard port types)"},
        {"COM7", "", "Bench Adapters", "Bench Adapters"},
        {"COM7", "", "", ""},
    };
    for (const Case& c : cases) {
        PortInfo port;
        port.device = c.device;
        port.friendlyName = c.friendlyName;
        port.manufacturer = c.manufacturer;
        EXPECT_EQ(DeviceLabel(port), c.want) << c.friendlyName;
    }
}
