#pragma once
// The far end of the exchange benchmarks: a minimal responder thread on a pseudo-terminal
// that answers every whole 8-byte request with a well-formed read reply of kCount bytes from
// the ID the request names.

#include "serial/TtyLinux.h"

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

constexpr int kRequestSize = 8;
constexpr uint8_t kCount = 13;
constexpr int kReplySize = 5 + kCount + 1;

// The reply of servo `id` to a read of kCount bytes: header, ID, length, error byte 0, data,
// checksum.
inline std::array<uint8_t, kReplySize> ReplyOf(uint8_t id)
{
    std::array<uint8_t, kReplySize> reply{0xFF, 0xFF, id, kCount + 2, 0};
    unsigned sum = static_cast<unsigned>(id) + kCount + 2;
    for (int i = 0; i < kCount; ++i) {
        reply[static_cast<size_t>(5 + i)] = static_cast<uint8_t>(0x30 + i);
        sum += reply[static_cast<size_t>(5 + i)];
    }
    reply[kReplySize - 1] = static_cast<uint8_t>(~sum);
    return reply;
}

class Responder {
public:
    Responder()
    {
        char name[256];
        openpty(&master, &slave, name, nullptr, nullptr);
        path = name;
        tty::MakeRaw(slave);
        thread = std::thread([this] { Run(); });
    }
    ~Responder()
    {
        stop = true;
        thread.join();
        ::close(master);
        ::close(slave);
    }
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;
    std::string path;

private:
    // Answers every whole request with the reply of the ID the request names.
    void Run()
    {
        std::vector<uint8_t> request;
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buf[64];
            const ssize_t r = ::read(master, buf, sizeof buf);
            if (r <= 0)
                continue;
            request.insert(request.end(), buf, buf + r);
            while (request.size() >= kRequestSize) {
                const auto reply = ReplyOf(request[2]);
                request.erase(request.begin(), request.begin() + kRequestSize);
                (void)!::write(master, reply.data(), reply.size());
            }
        }
    }
    int master = -1;
    int slave = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
};
