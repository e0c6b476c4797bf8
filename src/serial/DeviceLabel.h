#pragma once
// What Windows tells of the device behind a COM port, in the words the port list shows.

#include "serial/PortInfo.h"

#include <string>

// "USB\VID_1A2B&PID_3C4D&REV_0100" (or the same on an adapter driver's own bus enumerator,
// "VID_1A2B+PID_3C4D+...") gives "1a2b:3c4d"; empty when the ID names no USB vendor and product.
std::string UsbIdOf(const std::string& hardwareId);

// A device's friendly name without the trailing " (COM7)" Windows adds for the port's own
// name, which the port list shows already.
std::string WithoutPortSuffix(const std::string& friendlyName, const std::string& portName);

// The port box's words for the device: "USB Serial Port (Maker)" from its friendly name and
// maker; empty when the system names neither.
std::string DeviceLabel(const PortInfo& port);
