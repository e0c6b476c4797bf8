// Low latency for USB serial adapters. Such adapters hold received bytes until their buffer
// fills or their latency timer runs out (16 ms on many), which would dwarf a bus exchange.
#include "serial/PortInfo.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

int RequestLowLatency(int fd, const PortInfo& port)
{
    if (!port.usb)
        return port.latencyMs;
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
        serial.flags |= ASYNC_LOW_LATENCY;
        (void)::ioctl(fd, TIOCSSERIAL, &serial);
    }
    if (port.latencyFile.empty())
        return -1;
    // Some drivers set the timer from the flag above; others only through the file.
    if (ReadLatencyTimer(port.latencyFile) > 1)
        (void)WriteLatencyTimer(port.latencyFile, 1);
    return ReadLatencyTimer(port.latencyFile);
}
