#pragma once
// A pseudo-terminal pair for tests: the test plays the far end of the line on the master
// side while CZNComm opens the slave by its path.

#include "serial/CZNComm.h"
#include "serial/TtyLinux.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

class PtyPair {
public:
    PtyPair()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path = name;
        tty::MakeRaw(slave);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair()
    {
        CloseMaster();
        if (slave >= 0)
            ::close(slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    void CloseMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void Send(const std::vector<uint8_t>& bytes) const
    {
        (void)!::write(master, bytes.data(), bytes.size());
    }
    // Whatever the slave side wrote within the given time, up to `want` bytes.
    std::vector<uint8_t> Receive(size_t want, int ms = 500) const
    {
        std::vector<uint8_t> got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (got.size() < want) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            uint8_t buf[512];
            const ssize_t r = ::read(master, buf, std::min(sizeof buf, want - got.size()));
            if (r <= 0)
                break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    int SlaveRate() const { return tty::ReadRate(master); }

    int master = -1;
    int slave = -1;
    std::string path;
};
