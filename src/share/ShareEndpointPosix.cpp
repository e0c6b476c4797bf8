// The endpoint on POSIX systems: a Unix-domain stream socket in $XDG_RUNTIME_DIR/servo-debugger/
// (else /tmp/servo-debugger-UID/), a folder of this user's that only this user may enter.
// Both ends check the folder, and each checks that the other runs as this user.
#include "share/ShareEndpoint.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>

namespace share {

namespace {

// The folder of this user's endpoints, made if missing: "" when it is not safe (another
// user's, open to others, not a folder).
std::string Folder(bool make, std::string* problem)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string dir = runtime && *runtime == '/'
                                ? std::string(runtime) + "/servo-debugger"
                                : "/tmp/servo-debugger-" + std::to_string(getuid());
    if (make && mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        if (problem)
            *problem = dir + ": " + std::strerror(errno);
        return {};
    }
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0) {
        if (problem)
            *problem = dir + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0) {
        if (problem)
            *problem = dir + " is not a folder of this user's that only this user may enter";
        return {};
    }
    return dir;
}

// The name that meets every other name of the same device: the real path of a device file.
std::string Canonical(const std::string& portName)
{
    if (portName.empty() || portName[0] != '/')
        return portName;
    char real[PATH_MAX];
    return realpath(portName.c_str(), real) ? std::string(real) : portName;
}

bool SocketAddress(const std::string& path, sockaddr_un& addr)
{
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool PeerIsThisUser(int fd)
{
    ucred cred{};
    socklen_t len = sizeof cred;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == getuid();
}

class SocketStream final : public Stream {
public:
    explicit SocketStream(int fd) : fd(fd) {}
    ~SocketStream() override { close(fd); }

    bool Send(const uint8_t* bytes, size_t n) override
    {
        while (n > 0) {
            const ssize_t sent = send(fd, bytes, n, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            bytes += sent;
            n -= static_cast<size_t>(sent);
        }
        return true;
    }

    int Receive(uint8_t* bytes, size_t n, int timeoutMs) override
    {
        if (down)
            return -1;
        pollfd p{fd, POLLIN, 0};
        int ready;
        do
            ready = poll(&p, 1, timeoutMs);
        while (ready < 0 && errno == EINTR);
        if (ready < 0)
            return -1;
        if (ready == 0)
            return 0;
        ssize_t got;
        do
            got = recv(fd, bytes, n, 0);
        while (got < 0 && errno == EINTR);
        return got > 0 ? static_cast<int>(got) : -1;
    }

    // shutdown() wakes a poll on another thread; the descriptor stays until the stream goes.
    void Shutdown() override
    {
        down = true;
        shutdown(fd, SHUT_RDWR);
    }

private:
    const int fd;
    std::atomic<bool> down{false};
};

class SocketListener final : public Listener {
public:
    SocketListener(int fd, std::string path) : fd(fd), path(std::move(path))
    {
        if (pipe2(wake, O_CLOEXEC) != 0)
            wake[0] = wake[1] = -1;
    }
    ~SocketListener() override
    {
        // Only the endpoint this listener made goes (a later owner may have made its own).
        struct stat now {};
        if (stat(path.c_str(), &now) == 0 && now.st_ino == made)
            unlink(path.c_str());
        close(fd);
        if (wake[0] >= 0) {
            close(wake[0]);
            close(wake[1]);
        }
    }

    std::unique_ptr<Stream> Accept() override
    {
        for (;;) {
            pollfd p[2] = {{fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
            if (poll(p, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return nullptr;
            }
            if (p[1].revents || woken)
                return nullptr;
            const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN)
                    continue;
                return nullptr;
            }
            // Another user's program gets nothing, not even a frame.
            if (!PeerIsThisUser(client)) {
                close(client);
                continue;
            }
            return std::make_unique<SocketStream>(client);
        }
    }

    void Wake() override
    {
        woken = true;
        if (wake[1] >= 0) {
            const char c = 1;
            [[maybe_unused]] const ssize_t w = write(wake[1], &c, 1);
        }
    }

    ino_t made = 0;

private:
    const int fd;
    const std::string path;
    int wake[2] = {-1, -1};
    std::atomic<bool> woken{false};
};

int ConnectTo(const std::string& path)
{
    sockaddr_un addr;
    if (!SocketAddress(path, addr))
        return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::unique_ptr<Stream> Connect(const std::string& portName)
{
    const std::string dir = Folder(false, nullptr);
    if (dir.empty())
        return nullptr;
    const int fd = ConnectTo(dir + "/" + EndpointName(Canonical(portName)));
    if (fd < 0)
        return nullptr;
    if (!PeerIsThisUser(fd)) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<SocketStream>(fd);
}

Endpoint Listen(const std::string& portName)
{
    Endpoint e;
    const std::string dir = Folder(true, &e.problem);
    if (dir.empty())
        return e;
    const std::string path = dir + "/" + EndpointName(Canonical(portName));
    sockaddr_un addr;
    if (!SocketAddress(path, addr)) {
        e.problem = path + ": name too long";
        return e;
    }
    // A live owner keeps its endpoint; one left by an owner that died is replaced.
    if (const int other = ConnectTo(path); other >= 0) {
        close(other);
        e.problem = "another program serves " + portName + " already";
        return e;
    }
    unlink(path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        e.problem = std::string("socket: ") + std::strerror(errno);
        return e;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
        e.problem = path + ": " + std::strerror(errno);
        close(fd);
        return e;
    }
    chmod(path.c_str(), 0600);
    auto listener = std::make_unique<SocketListener>(fd, path);
    struct stat st {};
    if (stat(path.c_str(), &st) == 0)
        listener->made = st.st_ino;
    e.listener = std::move(listener);
    return e;
}

int ProcessId()
{
    return static_cast<int>(getpid());
}

std::string ProgramName()
{
    std::ifstream comm("/proc/self/comm");
    std::string name;
    if (std::getline(comm, name) && !name.empty())
        return name;
    return "pid " + std::to_string(getpid());
}

}  // namespace share
