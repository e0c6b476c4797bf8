// CZNComm on POSIX systems: a tty device in non-blocking mode, with every read and write
// paced by poll() against a steady-clock deadline.
#include "serial/CZNComm.h"
#include "serial/TtyLinux.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <climits>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineAfter(int ms)
{
    if (ms <= 0)
        ms = CZNComm::kUnboundedTimeoutCapMs;
    return Clock::now() + std::chrono::milliseconds(ms);
}

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for fd to become ready for `events`; false at the deadline or when the device has
// hung up or failed (the other end of a pseudo-terminal closed, an adapter unplugged).
bool WaitReady(int fd, short events, Clock::time_point deadline, bool& hungUp)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        // Callers wait only after the device had nothing for them, so a hang-up reported
        // now (even beside POLLIN, which a hung-up tty also reports) means it is gone.
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            hungUp = true;
            return false;
        }
        return (p.revents & events) != 0;
    }
}

// Waits until fd has bytes to read, or claims to: a hung-up tty reports readable too, and
// the read then tells. hangUpSeen reports a hang-up or error beside (or instead of) POLLIN.
bool WaitReadable(int fd, Clock::time_point deadline, bool& hangUpSeen)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        hangUpSeen = (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        return (p.revents & POLLIN) != 0;
    }
}

// Errors of a read or write that mean the device is no longer there.
bool DeviceGoneError(int e)
{
    return e == EIO || e == ENXIO || e == ENODEV;
}

// A pseudo-terminal (the virtual bus, a program's line) has a program of this machine at its
// far end: no adapter holds the bytes back, so its latency is none rather than unknown.
bool PseudoTerminal(int fd)
{
    constexpr unsigned kFirstPtyMajor = 136, kLastPtyMajor = 143;  // the kernel's pts devices
    struct stat st{};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= kFirstPtyMajor &&
           major(st.st_rdev) <= kLastPtyMajor;
}

}  // namespace

OpenError OpenErrorOf(int systemError)
{
    switch (systemError) {
    case ENOENT:
    case ENODEV:
    case ENXIO:  // a tty whose hardware isn't there
    case ENOTDIR:
    case ENAMETOOLONG:
        return OpenError::NoSuchDevice;
    case EACCES:
    case EPERM:
        return OpenError::PermissionDenied;
    case EBUSY:        // opened exclusively (TIOCEXCL) by another program
    case EWOULDBLOCK:  // its advisory lock is held
        return OpenError::Busy;
    case ENOTTY:
    case EISDIR:
        return OpenError::NotSerialDevice;
    default:
        return OpenError::Other;
    }
}

int CZNComm::OpenFailed(OpenError reason, int systemError)
{
    const std::string systemText =
        systemError ? std::error_code(systemError, std::generic_category()).message() : "";
    openFailure = {reason, systemText};
    return 0;
}

CZNComm::~CZNComm()
{
    Close();
}

int CZNComm::Open(const std::string& name)
{
    Close();
    openFailure = {};
    if (name.empty() || name.size() >= PATH_MAX || name.find('\0') != std::string::npos)
        return OpenFailed(OpenError::NoSuchDevice);
    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        return OpenFailed(OpenErrorOf(e), e);
    }
    // Only serial devices, and only one holder at a time: the advisory lock keeps out other
    // programs that honour it (and root, whom TIOCEXCL alone would let through).
    if (!::isatty(fd)) {
        ::close(fd);
        return OpenFailed(OpenError::NotSerialDevice);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        const int e = errno;
        ::close(fd);
        return OpenFailed(OpenErrorOf(e), e);
    }
    // Low latency only where a USB adapter is behind the name; other ports open as they are.
    const PortInfo info = DescribePort(name, systemRoots);
    usbDevice = info.usb;
    latencyMs = !info.usb && PseudoTerminal(fd) ? 0 : RequestLowLatency(fd, info);
    handle = fd;
    return 1;
}

void CZNComm::Vanished()
{
    gone = true;  // before the handle closes: whoever finds it closed also finds it gone
    const int fd = handle.exchange(kClosed);
    if (fd == kClosed)
        return;
    latencyMs = -1;
    usbDevice = false;
    ::close(fd);
}

int CZNComm::Close()
{
    const int fd = handle.exchange(kClosed);
    gone = false;
    {
        // Waits for a read in progress, which then finds the port closed.
        std::lock_guard lock(receivedMutex);
        receivedBegin = receivedEnd = 0;
    }
    if (fd == kClosed)
        return 0;
    latencyMs = -1;
    usbDevice = false;
    (void)::ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0 ? 1 : 0;
}

int CZNComm::OverrideTimeout(int ms)
{
    readTimeoutMs = ms;
    writeTimeoutMs = ms;
    return IsOpen() ? 1 : 0;
}

int CZNComm::SetBaudRate(int rate)
{
    if (!IsOpen())
        return rate;
    // Linux sizes tty queues itself; the 1024-byte request of other systems has no
    // counterpart here.
    OverrideTimeout(timeoutMs);
    std::lock_guard lock(receivedMutex);
    const int fd = handle;
    const int previous = tty::ReadRate(fd);
    // What was written leaves at the old rate first: a packet followed at once by a rate
    // change (a restore, then the port following the servo) would otherwise be thrown away
    // unsent. Only the input is purged.
    tty::Drain(fd, previous);
    const bool applied = rate <= 0 || tty::ConfigureRaw(fd, rate);
    tty::LowerModemLines(fd);
    tty::Flush(fd, true, false);
    receivedBegin = receivedEnd = 0;
    // What the driver runs at: one may refuse a rate and keep the old one.
    const int now = tty::ReadRate(fd);
    baudRate = now > 0 ? now : (applied ? rate : 0);
    rateRefused = rate > 0 && (!applied || !RateMatches(baudRate, rate));
    return previous;
}

int CZNComm::TakeReceived(uint8_t* buffer, int n)
{
    const size_t take = std::min(static_cast<size_t>(n), receivedEnd - receivedBegin);
    std::memcpy(buffer, received.data() + receivedBegin, take);
    receivedBegin += take;
    if (receivedBegin == receivedEnd)
        receivedBegin = receivedEnd = 0;
    return static_cast<int>(take);
}

int CZNComm::Read(uint8_t* buffer, int n)
{
    if (!IsOpen() || buffer == nullptr || n <= 0)
        return 0;
    std::lock_guard lock(receivedMutex);
    int got = TakeReceived(buffer, n);
    if (got == n)
        return got;
    const int fd = handle;
    if (fd == kClosed)
        return got;  // closed while this read waited for the buffer
    const auto deadline = DeadlineAfter(readTimeoutMs);
    bool failed = false;
    bool vanished = false;
    while (got < n) {
        // A reply is rarely in yet when it is asked for: read only once poll says bytes are
        // there, which saves a read per exchange.
        bool hangUpSeen = false;
        if (!WaitReadable(fd, deadline, hangUpSeen)) {
            vanished = hangUpSeen;
            break;
        }
        const ssize_t r = ::read(fd, received.data(), received.size());
        if (r > 0) {
            receivedEnd = static_cast<size_t>(r);
            got += TakeReceived(buffer + got, n - got);
            continue;
        }
        // A hung-up tty reads as end of file; an unplugged one fails with EIO or ENODEV.
        if ((r < 0 && DeviceGoneError(errno)) || (r == 0 && hangUpSeen)) {
            vanished = true;
            break;
        }
        if (r < 0 && errno != EINTR && errno != EAGAIN) {
            failed = true;
            break;
        }
    }
    if (vanished && got < n) {
        // The device is gone: the port closes and the caller learns it at once.
        receivedBegin = receivedEnd = 0;
        Vanished();
    } else if (failed && got < n) {
        // Any other failure answers nothing, like a silent bus: the caller still waits its
        // time-out, so a loop of reads can never spin at full speed.
        std::this_thread::sleep_until(deadline);
    }
    return got;
}

int CZNComm::Write(const uint8_t* buffer, int n)
{
    if (!IsOpen() || buffer == nullptr || n <= 0)
        return 0;
    const int fd = handle;
    const auto deadline = DeadlineAfter(writeTimeoutMs);
    int sent = 0;
    bool hungUp = false;
    while (sent < n) {
        const ssize_t r = ::write(fd, buffer + sent, static_cast<size_t>(n - sent));
        if (r > 0) {
            sent += static_cast<int>(r);
            continue;
        }
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 && DeviceGoneError(errno)) {
            hungUp = true;
            break;
        }
        if (r < 0 && errno != EAGAIN)
            break;
        if (!WaitReady(fd, POLLOUT, deadline, hungUp))
            break;
    }
    if (hungUp && sent < n)
        Vanished();
    return sent;
}

int CZNComm::PurgeInput()
{
    std::lock_guard lock(receivedMutex);
    receivedBegin = receivedEnd = 0;
    if (!IsOpen())
        return 0;
    return tty::Flush(handle, true, false) ? 1 : 0;
}

int CZNComm::InputWaiting()
{
    std::lock_guard lock(receivedMutex);
    int queued = 0;
    if (IsOpen() && ::ioctl(handle, FIONREAD, &queued) != 0)
        queued = 0;
    return static_cast<int>(receivedEnd - receivedBegin) + queued;
}
