#include "sim/BusLine.h"

#include "serial/TtyLinux.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace {

// A pseudo-terminal: programs open the slave side; the bus reads and answers on the master.
class PtyLine : public BusLine {
public:
    ~PtyLine() override { Close(); }

    bool Open(std::string& error) override
    {
        char path[256] = {};
        if (::openpty(&master, &slaveKeep, path, nullptr, nullptr) != 0) {
            error = "cannot open a pseudo-terminal";
            return false;
        }
        name = path;
        // The bus keeps the slave side open itself, so a program closing the port is not a
        // hang-up of the bus; raw until the program sets the line up.
        tty::ConfigureRaw(slaveKeep, 38400);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slaveKeep, F_SETFD, FD_CLOEXEC);
        return true;
    }

    void Close() override
    {
        if (master >= 0)
            ::close(master);
        if (slaveKeep >= 0)
            ::close(slaveKeep);
        master = slaveKeep = -1;
    }

    const std::string& Name() const override { return name; }

    int Receive(uint8_t* bytes, int n, int waitMs, int& rate, std::atomic<bool>& taking) override
    {
        pollfd p{master, POLLIN, 0};
        const int ready = ::poll(&p, 1, std::max(0, waitMs));
        if (ready > 0 && (p.revents & POLLIN)) {
            taking = true;
            const ssize_t r = ::read(master, bytes, static_cast<size_t>(n));
            if (r <= 0)
                return 0;
            // The line's rate when the bytes came is the rate the answers go out at, even
            // when the packet changes the servo's own rate.
            rate = tty::ReadRate(master);
            return static_cast<int>(r);
        }
        if (ready > 0)  // nobody holds the slave side open but the bus itself: nothing to hear
            std::this_thread::sleep_for(std::chrono::milliseconds(std::max(1, waitMs)));
        return 0;
    }

    void Send(const uint8_t* bytes, size_t n) override { (void)!::write(master, bytes, n); }

    bool Waiting() const override
    {
        if (master < 0)
            return false;
        // poll, unlike FIONREAD, also counts bytes the kernel has not yet moved into the
        // line's read buffer.
        pollfd p{master, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
    }

private:
    int master = -1;
    int slaveKeep = -1;
    std::string name;
};

}  // namespace

std::unique_ptr<BusLine> MakeDeviceLine()
{
    return std::make_unique<PtyLine>();
}
