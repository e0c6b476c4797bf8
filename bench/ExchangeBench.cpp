// A 13-byte memory read through ZNServo and CZNComm beside the least a program must do for
// the same exchange with bare system calls: drop pending input, write the 8-byte request,
// wait for and read the 19-byte reply. The far end is a minimal responder thread on a
// pseudo-terminal. The two loops take turns within each round, so a busy moment of the
// machine falls on both; the figures are the medians over rounds and their ratio.
//
// Then the paced figure a user feels: the same read on the virtual bus holding each answer
// for its wire time at 1 Mbaud, beside the exchange's wire time.
#include "protocol/ZNServo.h"
#include "serial/CZNComm.h"
#include "serial/LinuxTty.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#ifndef SERVO_SOURCE_DIR
#error "SERVO_SOURCE_DIR must name the source tree"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRequestSize = 8;
constexpr uint8_t kCount = 13;
constexpr int kReplySize = 5 + kCount + 1;
constexpr int kExchangesPerTurn = 200;
constexpr int kRounds = 40;

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
    int slave = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// The bare exchange: purge, write, then poll and read until the reply is complete.
class BareLoop {
public:
    explicit BareLoop(const std::string& path)
        : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        tty::ConfigureRaw(fd, 1000000);
    }
    ~BareLoop()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool IsOpen() const { return fd >= 0; }
    BareLoop(const BareLoop&) = delete;
    BareLoop& operator=(const BareLoop&) = delete;
    bool Exchange()
    {
        tty::Flush(fd, true, false);
        (void)!::write(fd, kRequest, sizeof kRequest);
        int got = 0;
        while (got < kReplySize) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                break;
            const ssize_t r = ::read(fd, reply + got, kReplySize - got);
            if (r > 0)
                got += static_cast<int>(r);
        }
        return got == kReplySize;
    }

private:
    static constexpr uint8_t kRequest[kRequestSize] = {0xFF, 0xFF, 0x01, 0x04, 0x02, 56, kCount, 0xAB};
    int fd;
    uint8_t reply[kReplySize] = {};
};

class ServoLoop {
public:
    explicit ServoLoop(const std::string& path)
    {
        comm.Open(path);
        comm.SetBaudRate(1000000);
    }
    bool Exchange() { return servo.ReadMemory(1, 56, data, kCount) == kCount; }

private:
    CZNComm comm;
    ZNServo servo{comm};
    uint8_t data[kCount] = {};
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

// The median microseconds of one exchange over a turn of `n` exchanges (a median, so a
// moment the machine spends elsewhere doesn't count); negative when one failed.
template <class Loop>
double Turn(Loop& loop, int n)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        if (!loop.Exchange())
            return -1;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return Median(std::move(us));
}

void ReadMemoryAgainstBareCalls(benchmark::State& state)
{
    // Both loops talk to the same responder where the system lets a second descriptor
    // open the port (root passes its exclusive mode): which CPU the far end's thread wakes
    // on changes an exchange's time more than anything measured here.
    Responder shared, spare;
    ServoLoop servo(shared.path);
    BareLoop sameEnd(shared.path);
    BareLoop otherEnd(spare.path);
    BareLoop& bare = sameEnd.IsOpen() ? sameEnd : otherEnd;
    state.SetLabel(sameEnd.IsOpen() ? "one far end" : "two far ends");
    std::vector<double> bareUs, servoUs, ratios;
    bool first = true;
    for (auto _ : state) {
        // Each loop goes first in every other round.
        double b, s;
        if (first) {
            b = Turn(bare, kExchangesPerTurn);
            s = Turn(servo, kExchangesPerTurn);
        } else {
            s = Turn(servo, kExchangesPerTurn);
            b = Turn(bare, kExchangesPerTurn);
        }
        first = !first;
        if (b < 0 || s < 0) {
            state.SkipWithError("short reply");
            break;
        }
        bareUs.push_back(b);
        servoUs.push_back(s);
        ratios.push_back(s / b);
    }
    state.counters["bare_us"] = Median(bareUs);
    state.counters["ReadMemory_us"] = Median(servoUs);
    state.counters["ratio"] = Median(servoUs) / Median(bareUs);
    state.counters["ratio_median_of_rounds"] = Median(ratios);
}

// ReadMemory of 13 bytes on the virtual bus at 1 Mbaud, each answer held for its wire time
// and the return delay: 8 + 19 bytes at 10 bits a byte are 270 us, plus 20 us.
void PacedReadMemory(benchmark::State& state)
{
    constexpr int kRate = 1000000;
    constexpr int kReturnDelayUs = 20;
    const auto catalogueFile = std::filesystem::temp_directory_path() /
                               ("bench-" + std::to_string(::getpid()) + "-setup.log");
    std::filesystem::copy_file(SERVO_SOURCE_DIR "/data/setup.log", catalogueFile,
                               std::filesystem::copy_options::overwrite_existing);
    {
        ModelCatalogue catalogue(catalogueFile.string());
        VirtualBus bus(catalogue);
        ServoSpec spec;
        spec.id = 1;
        spec.model = "Kestrel-12";
        spec.baudCode = 0;
        std::string error;
        if (!bus.AddServo(spec, error) || !bus.Start(error)) {
            state.SkipWithError(error.c_str());
        } else {
            bus.SetPacing(true, kReturnDelayUs);
            CZNComm comm;
            comm.Open(bus.DevicePath());
            comm.SetBaudRate(kRate);
            ZNServo servo(comm);
            uint8_t data[kCount];
            std::vector<double> us;
            for (auto _ : state) {
                const auto start = Clock::now();
                if (servo.ReadMemory(1, 56, data, kCount) != kCount) {
                    state.SkipWithError("short reply");
                    break;
                }
                us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
            const double wireUs = (kRequestSize + kReplySize) * 10 * 1e6 / kRate + kReturnDelayUs;
            state.counters["ReadMemory_us"] = Median(us);
            state.counters["wire_us"] = wireUs;
            state.counters["ratio"] = Median(us) / wireUs;
        }
    }
    std::filesystem::remove(catalogueFile);
}

BENCHMARK(ReadMemoryAgainstBareCalls)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PacedReadMemory)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
