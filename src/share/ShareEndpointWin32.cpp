// The endpoint on Windows: a named pipe per port name whose security admits this user only
// and which refuses remote clients. The client checks that the pipe's owner is this user too.
#include "share/ShareEndpoint.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <vector>

namespace share {

namespace {

// This user's security identifier, as a buffer and as text.
struct UserSid {
    std::vector<uint8_t> token;
    std::string text;
    PSID Sid() const { return token.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(token.data())->User.Sid; }
};

UserSid ThisUser()
{
    UserSid u;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return u;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    u.token.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, u.token.data(), size, &size)) {
        u.token.clear();
    } else {
        char* text = nullptr;
        if (ConvertSidToStringSidA(u.Sid(), &text)) {
            u.text = text;
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return u;
}

// COM3, com3 and \\.\COM3 are one port.
std::string Canonical(const std::string& portName)
{
    std::string name = portName.rfind("\\\\.\\", 0) == 0 ? portName.substr(4) : portName;
    if (name.rfind("rfc2217", 0) != 0 && name.rfind("tcp:", 0) != 0)
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return name;
}

std::string PipeName(const UserSid& user, const std::string& portName)
{
    return "\\\\.\\pipe\\servo-debugger-" + user.text + "-" + EndpointName(Canonical(portName));
}

class PipeStream final : public Stream {
public:
    PipeStream(HANDLE pipe, bool server) : pipe(pipe), server(server)
    {
        io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~PipeStream() override
    {
        if (server)
            DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        CloseHandle(io);
        CloseHandle(stop);
    }

    bool Send(const uint8_t* bytes, size_t n) override
    {
        while (n > 0) {
            DWORD done = 0;
            if (!Wait(WriteFile(pipe, bytes, static_cast<DWORD>(n), nullptr, Start()), INFINITE, done) ||
                done == 0)
                return false;
            bytes += done;
            n -= done;
        }
        return true;
    }

    int Receive(uint8_t* bytes, size_t n, int timeoutMs) override
    {
        if (down)
            return -1;
        DWORD done = 0;
        const BOOL started = ReadFile(pipe, bytes, static_cast<DWORD>(n), nullptr, Start());
        if (!Wait(started, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs), done))
            return timedOut ? 0 : -1;
        return done > 0 ? static_cast<int>(done) : -1;
    }

    void Shutdown() override
    {
        down = true;
        SetEvent(stop);
    }

private:
    OVERLAPPED* Start()
    {
        ov = {};
        ov.hEvent = io;
        ResetEvent(io);
        return &ov;
    }

    // Waits for the started operation: false when it failed, was stopped or timed out
    // (timedOut), with nothing left pending.
    bool Wait(BOOL started, DWORD timeoutMs, DWORD& done)
    {
        timedOut = false;
        if (!started && GetLastError() != ERROR_IO_PENDING)
            return false;
        const HANDLE events[2] = {io, stop};
        const DWORD w = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
        if (w != WAIT_OBJECT_0) {
            timedOut = w == WAIT_TIMEOUT;
            CancelIoEx(pipe, &ov);
            GetOverlappedResult(pipe, &ov, &done, TRUE);
            return false;
        }
        return GetOverlappedResult(pipe, &ov, &done, FALSE) != 0;
    }

    const HANDLE pipe;
    const bool server;
    HANDLE io = nullptr;
    HANDLE stop = nullptr;
    OVERLAPPED ov{};
    bool timedOut = false;
    std::atomic<bool> down{false};
};

class PipeListener final : public Listener {
public:
    PipeListener(std::string name, UserSid user, PSECURITY_DESCRIPTOR sd, HANDLE first)
        : name(std::move(name)), user(std::move(user)), sd(sd), next(first)
    {
        wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        io = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~PipeListener() override
    {
        if (next != INVALID_HANDLE_VALUE)
            CloseHandle(next);
        CloseHandle(wake);
        CloseHandle(io);
        LocalFree(sd);
    }

    std::unique_ptr<Stream> Accept() override
    {
        while (next != INVALID_HANDLE_VALUE) {
            OVERLAPPED ov{};
            ov.hEvent = io;
            ResetEvent(io);
            bool connected = ConnectNamedPipe(next, &ov) != 0 || GetLastError() == ERROR_PIPE_CONNECTED;
            if (!connected && GetLastError() == ERROR_IO_PENDING) {
                const HANDLE events[2] = {io, wake};
                DWORD done = 0;
                if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    CancelIoEx(next, &ov);
                    GetOverlappedResult(next, &ov, &done, TRUE);
                    return nullptr;
                }
                connected = GetOverlappedResult(next, &ov, &done, FALSE) != 0;
            }
            HANDLE taken = next;
            next = Instance(name, sd, false);
            if (connected)
                return std::make_unique<PipeStream>(taken, true);
            CloseHandle(taken);
        }
        return nullptr;
    }

    void Wake() override { SetEvent(wake); }

    static HANDLE Instance(const std::string& name, PSECURITY_DESCRIPTOR sd, bool first)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        return CreateNamedPipeA(name.c_str(),
                                PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                                    (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT |
                                    PIPE_REJECT_REMOTE_CLIENTS,
                                PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, &sa);
    }

private:
    const std::string name;
    const UserSid user;
    PSECURITY_DESCRIPTOR sd;
    HANDLE next;
    HANDLE wake = nullptr;
    HANDLE io = nullptr;
};

// Whether the pipe's owner is this user (and not a pipe another user made first).
bool OwnedBy(HANDLE pipe, const UserSid& user)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(pipe, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                        nullptr, nullptr, &sd) != ERROR_SUCCESS)
        return false;
    const bool same = owner && user.Sid() && EqualSid(owner, user.Sid());
    LocalFree(sd);
    return same;
}

}  // namespace

std::unique_ptr<Stream> Connect(const std::string& portName)
{
    const UserSid user = ThisUser();
    if (user.text.empty())
        return nullptr;
    const std::string name = PipeName(user, portName);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                     nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            if (!OwnedBy(h, user)) {
                CloseHandle(h);
                return nullptr;
            }
            return std::make_unique<PipeStream>(h, false);
        }
        // Every instance is taken for a moment: the owner makes the next one at once.
        if (GetLastError() != ERROR_PIPE_BUSY || !WaitNamedPipeA(name.c_str(), 1000))
            return nullptr;
    }
    return nullptr;
}

Endpoint Listen(const std::string& portName)
{
    Endpoint e;
    UserSid user = ThisUser();
    if (user.text.empty()) {
        e.problem = "this user's identity is unknown";
        return e;
    }
    // Full access for this user alone, nothing inherited.
    PSECURITY_DESCRIPTOR sd = nullptr;
    const std::string sddl = "D:P(A;;GA;;;" + user.text + ")";
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &sd,
                                                              nullptr)) {
        e.problem = "the pipe's security could not be made";
        return e;
    }
    const std::string name = PipeName(user, portName);
    const HANDLE first = PipeListener::Instance(name, sd, true);
    if (first == INVALID_HANDLE_VALUE) {
        LocalFree(sd);
        e.problem = "another program serves " + portName + " already";
        return e;
    }
    e.listener = std::make_unique<PipeListener>(name, std::move(user), sd, first);
    return e;
}

int ProcessId()
{
    return static_cast<int>(GetCurrentProcessId());
}

std::string ProgramName()
{
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, n);
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name = name.substr(slash + 1);
    if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return name.empty() ? "pid " + std::to_string(GetCurrentProcessId()) : name;
}

}  // namespace share
