// CZNComm on Windows: a COM port opened without sharing, blocking ReadFile/WriteFile bounded
// by the port's total time-outs. Each read is one ReadFile for what the caller asks; the
// driver's queue holds the rest of a reply, so no read-ahead of our own is kept.
#include "serial/CZNComm.h"
#include "serial/WindowsPortName.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

// The handle travels in CZNComm's int field. Kernel handles carry only 32 significant bits
// (they are shared with 32-bit processes), and INVALID_HANDLE_VALUE is -1, the closed marker.
HANDLE ToHandle(int value)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
}

int FromHandle(HANDLE h)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(h));
}

// A total time-out of 0 means "no time-out" to Windows; the bench must never hang on it.
DWORD TotalTimeout(int ms)
{
    return static_cast<DWORD>(ms > 0 ? ms : CZNComm::kUnboundedTimeoutCapMs);
}

// The system's text for an error number, without its line break.
std::string SystemText(DWORD error)
{
    char text[256] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, error, 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == '.'))
        s.pop_back();
    return s;
}

// After a read or write failed: whether the device behind the handle has gone. A port that is
// still there always reports its line state; once its adapter is pulled the drivers fail that
// as well (access denied, device not connected, bad command, ...), whatever the first
// failure was. Line errors leave it working: they are cleared by this very call.
bool DeviceGone(HANDLE h)
{
    DWORD errors = 0;
    return !::ClearCommError(h, &errors, nullptr) && ::GetLastError() != ERROR_INVALID_HANDLE;
}

}  // namespace

OpenError OpenErrorOf(int systemError)
{
    switch (static_cast<DWORD>(systemError)) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
        return OpenError::NoSuchDevice;
    // A COM port another program has open answers "access denied": ports are never shared.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return OpenError::Busy;
    default:
        return OpenError::Other;
    }
}

int CZNComm::OpenFailed(OpenError reason, int systemError)
{
    const std::string systemText =
        systemError ? SystemText(static_cast<DWORD>(systemError)) : std::string();
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
    if (name.empty() || name.size() >= MAX_PATH || name.find('\0') != std::string::npos)
        return OpenFailed(OpenError::NoSuchDevice);
    const std::string device = WindowsDeviceName(name);
    const HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        // A folder or a read-only file is refused as "access denied" too; a port has no
        // attributes in the file system.
        if (e == ERROR_ACCESS_DENIED && ::GetFileAttributesA(device.c_str()) != INVALID_FILE_ATTRIBUTES)
            return OpenFailed(OpenError::NotSerialDevice);
        return OpenFailed(OpenErrorOf(static_cast<int>(e)), static_cast<int>(e));
    }
    // Only serial devices: a file, a pipe or NUL under that name is no port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(h) != FILE_TYPE_CHAR || !::GetCommState(h, &dcb)) {
        ::CloseHandle(h);
        return OpenFailed(OpenError::NotSerialDevice);
    }
    // What Windows keeps of the device: a USB adapter, and the latency timer its driver
    // waits before passing on a short reply (the tool reads it, and says when it is long).
    const PortInfo info = DescribePort(name, systemRoots);
    usbDevice = info.usb;
    latencyMs = info.latencyMs;
    handle = FromHandle(h);
    return 1;
}

void CZNComm::Vanished()
{
    gone = true;  // before the handle closes: whoever finds it closed also finds it gone
    const int h = handle.exchange(kClosed);
    if (h == kClosed)
        return;
    latencyMs = -1;
    usbDevice = false;
    ::CloseHandle(ToHandle(h));
}

int CZNComm::Close()
{
    const int h = handle.exchange(kClosed);
    gone = false;
    if (h == kClosed)
        return 0;
    latencyMs = -1;
    usbDevice = false;
    return ::CloseHandle(ToHandle(h)) ? 1 : 0;
}

int CZNComm::OverrideTimeout(int ms)
{
    readTimeoutMs = ms;
    writeTimeoutMs = ms;
    if (!IsOpen())
        return 0;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = TotalTimeout(ms);
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = TotalTimeout(ms);
    return ::SetCommTimeouts(ToHandle(handle), &t) ? 1 : 0;
}

int CZNComm::SetBaudRate(int rate)
{
    if (!IsOpen())
        return rate;
    const HANDLE h = ToHandle(handle);
    // What was written leaves at the old rate first (bounded by the write time-out): a
    // packet followed at once by a rate change would otherwise be thrown away unsent.
    ::FlushFileBuffers(h);
    ::SetupComm(h, 1024, 1024);
    OverrideTimeout(timeoutMs);

    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool known = ::GetCommState(h, &dcb);
    const int previous = known ? static_cast<int>(dcb.BaudRate) : 0;
    if (rate > 0)
        dcb.BaudRate = static_cast<DWORD>(rate);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    // No flow control of any kind: XON/XOFF would swallow the bytes 0x11 and 0x13 of a
    // packet, and a CTS/DSR wait would stall a bus adapter that leaves those lines open.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    // Every byte as it came: NULs kept, no error character, and a line error must not stop
    // later reads until someone clears it.
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    const bool applied = known && ::SetCommState(h, &dcb);

    // What the driver actually runs at: a driver may accept a rate it can't make and keep
    // another, so the rate is read back rather than assumed.
    DCB now{};
    now.DCBlength = sizeof now;
    if (::GetCommState(h, &now))
        baudRate = static_cast<int32_t>(now.BaudRate);
    else
        baudRate = applied ? rate : 0;
    rateRefused = rate > 0 && (!applied || !RateMatches(baudRate, rate));

    // Only the input: what is received from now on is at the new rate.
    ::PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR);
    DWORD errors = 0;
    ::ClearCommError(h, &errors, nullptr);
    return previous;
}

int CZNComm::Read(uint8_t* buffer, int n)
{
    if (!IsOpen() || buffer == nullptr || n <= 0)
        return 0;
    const HANDLE h = ToHandle(handle);
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(TotalTimeout(readTimeoutMs));
    DWORD got = 0;
    if (!::ReadFile(h, buffer, static_cast<DWORD>(n), &got, nullptr)) {
        if (DeviceGone(h)) {
            // The port closes, so the name is free for the adapter when it comes back, and
            // the caller learns it at once.
            Vanished();
            return static_cast<int>(got);
        }
        // Any other failure answers nothing, like a silent bus: the caller still waits its
        // time-out, so a loop of reads can never spin.
        std::this_thread::sleep_until(deadline);
    }
    return static_cast<int>(got);
}

int CZNComm::Write(const uint8_t* buffer, int n)
{
    if (!IsOpen() || buffer == nullptr || n <= 0)
        return 0;
    const HANDLE h = ToHandle(handle);
    DWORD sent = 0;
    if (!::WriteFile(h, buffer, static_cast<DWORD>(n), &sent, nullptr) && DeviceGone(h))
        Vanished();
    return static_cast<int>(sent);
}

int CZNComm::PurgeInput()
{
    if (!IsOpen())
        return 0;
    return ::PurgeComm(ToHandle(handle), PURGE_RXABORT | PURGE_RXCLEAR) ? 1 : 0;
}

int CZNComm::InputWaiting()
{
    COMSTAT status{};
    DWORD errors = 0;
    if (!IsOpen() || !::ClearCommError(ToHandle(handle), &errors, &status))
        return 0;
    return static_cast<int>(status.cbInQue);
}
