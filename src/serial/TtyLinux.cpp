#include "serial/TtyLinux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <array>
#include <chrono>
#include <thread>
#include <utility>

namespace tty {
namespace {

constexpr std::array<std::pair<int, unsigned>, 19> kClassicRates{{
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},
    {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {500000, B500000}, {1000000, B1000000},
}};

void SetRate(termios2& t, int rate)
{
    t.c_cflag &= ~CBAUD;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    unsigned code = BOTHER;
    for (const auto& [r, c] : kClassicRates)
        if (r == rate)
            code = c;
    t.c_cflag |= code | (code << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(rate);
    t.c_ospeed = static_cast<speed_t>(rate);
}

void SetRawFlags(termios2& t)
{
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CMSPAR);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    // Reads are paced by poll(); the driver returns whatever is queued at once.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

}  // namespace

int ReadRate(int fd)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return 0;
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return static_cast<int>(t.c_ospeed);
    for (const auto& [r, c] : kClassicRates)
        if (c == code)
            return r;
    return static_cast<int>(t.c_ospeed);
}

bool ConfigureRaw(int fd, int rate)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    SetRawFlags(t);
    SetRate(t, rate);
    return ioctl(fd, TCSETS2, &t) == 0;
}

bool MakeRaw(int fd)
{
    termios2 t{};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    SetRawFlags(t);
    return ioctl(fd, TCSETS2, &t) == 0;
}

void LowerModemLines(int fd)
{
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &lines);
}

bool Flush(int fd, bool input, bool output)
{
    if (!input && !output)
        return true;
    const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return ioctl(fd, TCFLSH, which) == 0;
}

bool Drain(int fd, int rate)
{
    // tcdrain alone could wait forever for a driver that stopped sending; the queue is
    // watched against a deadline first, and tcdrain then waits only for the hardware.
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0)
        return false;
    const long long wireUs = rate > 0 ? queued * 10LL * 1000000 / rate : 0;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(2 * wireUs + 20000);
    while (queued > 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (ioctl(fd, TIOCOUTQ, &queued) != 0)
            return false;
    }
    return ioctl(fd, TCSBRK, 1) == 0;
}

}  // namespace tty
