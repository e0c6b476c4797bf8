// One 13-byte memory read through ZNServo and CZNComm over a pseudo-terminal, beside the same
// bytes exchanged with bare write()/read() on the same kind of pseudo-terminal. The far end
// is a minimal responder thread that answers every 8-byte request with a 19-byte reply.
#include "protocol/ZNServo.h"
#include "serial/CZNComm.h"
#include "serial/LinuxTty.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr int kRequestSize = 8;
constexpr uint8_t kCount = 13;
constexpr int kReplySize = 5 + kCount + 1;

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
    std::string path;
    int slave = -1;

private:
    void Run()
    {
        std::vector<uint8_t> reply(kReplySize, 0x11);
        reply[0] = reply[1] = 0xFF;
        int have = 0;
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buf[64];
            const ssize_t r = ::read(master, buf, sizeof buf);
            if (r <= 0)
                continue;
            have += static_cast<int>(r);
            while (have >= kRequestSize) {
                have -= kRequestSize;
                (void)!::write(master, reply.data(), reply.size());
            }
        }
    }
    int master = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
};

void ThroughZNServo(benchmark::State& state)
{
    Responder responder;
    CZNComm comm;
    comm.Open(responder.path);
    comm.SetBaudRate(1000000);
    ZNServo servo(comm);
    uint8_t data[kCount];
    for (auto _ : state) {
        if (servo.ReadMemory(1, 56, data, kCount) != kCount)
            state.SkipWithError("short reply");
    }
}

void RawWriteRead(benchmark::State& state)
{
    Responder responder;
    const int fd = ::open(responder.path.c_str(), O_RDWR | O_NOCTTY);
    tty::ConfigureRaw(fd, 1000000);
    const uint8_t request[kRequestSize] = {0xFF, 0xFF, 0x01, 0x04, 0x02, 56, kCount, 0xAB};
    uint8_t reply[kReplySize];
    for (auto _ : state) {
        (void)!::write(fd, request, sizeof request);
        int got = 0;
        while (got < kReplySize) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                break;
            const ssize_t r = ::read(fd, reply + got, kReplySize - got);
            if (r > 0)
                got += static_cast<int>(r);
        }
        if (got != kReplySize)
            state.SkipWithError("short reply");
    }
    ::close(fd);
}

BENCHMARK(RawWriteRead)->UseRealTime();
BENCHMARK(ThroughZNServo)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
