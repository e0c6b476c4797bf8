// CZNComm on Windows: a COM port opened without sharing, blocking ReadFile/WriteFile bounded
// by the port's total time-outs. Each read is one ReadFile for what the caller asks; the
// driver's queue holds the rest of a reply, so no read-ahead of our own is kept.
#include "serial/CZNComm.h"
#include "serial/WindowsPortName.h"

#include <windows.h>

#include <chrono>
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

}  // namespace

CZNComm::~CZNComm()
{
    Close();
}

int CZNComm::Open(const std::string& name)
{
    Close();
    if (name.empty() || name.size() >= MAX_PATH || name.find('\0') != std::string::npos)
        return 0;
    const std::string device = WindowsDeviceName(name);
    const HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    // Only serial devices: a file, a pipe or NUL under that name is no port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(h) != FILE_TYPE_CHAR || !::GetCommState(h, &dcb)) {
        ::CloseHandle(h);
        return 0;
    }
    handle = FromHandle(h);
    return 1;
}

int CZNComm::Close()
{
    const int h = handle.exchange(kClosed);
    if (h == kClosed)
        return 0;
    return ::CloseHandle(ToHandle(h)) ? 1 : 0;
}

int CZNComm::SetTimeouts(int ms)
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
    ::SetupComm(h, 1024, 1024);
    SetTimeouts(timeoutMs);

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

    ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
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
        DWORD errors = 0;
        ::ClearCommError(h, &errors, nullptr);
        // An unplugged adapter fails at once; it answers nothing, like a silent bus, so the
        // caller still waits its time-out and a loop of reads can never spin.
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
    if (!::WriteFile(h, buffer, static_cast<DWORD>(n), &sent, nullptr)) {
        DWORD errors = 0;
        ::ClearCommError(h, &errors, nullptr);
    }
    return static_cast<int>(sent);
}

int CZNComm::PurgeInput()
{
    if (!IsOpen())
        return 0;
    return ::PurgeComm(ToHandle(handle), PURGE_RXABORT | PURGE_RXCLEAR) ? 1 : 0;
}
