// A 13-byte memory read three ways: the least a program must do for it with bare system
// calls (drop pending input, write the 8-byte request, wait for and read the 19-byte reply),
// ReadMemory through ZNS and CZNComm on the benchmark's thread, and the same ReadMemory
// as a bus job that the benchmark's thread hands to the bus thread with ServoBus::Run. The
// far end is a minimal responder thread on a pseudo-terminal that answers the ID asked with
// a well-formed reply. The loops take turns within each round, so a busy moment of the
// machine falls on all of them; the figures are the medians over rounds and the ratios.
//
// Then the traffic inspector's cost: the same ReadMemory with the tap closed, against a byte
// channel without any tap, and with the traffic record open.
//
// Then the paced figure a user feels: the same read on the virtual bus holding each answer
// for its wire time at 1 Mbaud, beside the exchange's wire time.
#include "BenchSmoke.h"
#include "ReadResponder.h"
#include "CatalogueCopy.h"
#include "bus/ServoBus.h"
#include "bus/TrafficLog.h"
#include "protocol/ZNS.h"
#include "serial/CZNComm.h"
#include "serial/TtyLinux.h"
#include "sim/VirtualBus.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kExchangesPerTurn = SmokeScaled(200, 5);
const int kRounds = SmokeScaled(40, 2);

constexpr uint8_t kAddress = 56;

// The bare exchange: purge, write, then poll and read until the reply is complete.
class BareLoop {
public:
    explicit BareLoop(const std::string& path)
        : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        tty::ConfigureRaw(fd, 1000000);
        request = {0xFF, 0xFF, 1, 4, instr::kRead, kAddress, kCount, 0};
        request[kRequestSize - 1] = PacketChecksum(request.data() + 2, kRequestSize - 3);
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
        (void)!::write(fd, request.data(), request.size());
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
    std::array<uint8_t, kRequestSize> request{};
    int fd;
    uint8_t reply[kReplySize] = {};
};

// ReadMemory on the benchmark's thread, and the same as a bus job over the same port: the
// benchmark's thread posts it with ServoBus::Run and waits for its reply, as servoctl does,
// and the bus thread does the exchange. Both use one port, so one far end answers both.
class ServoLoops {
public:
    explicit ServoLoops(const std::string& path)
    {
        comm.Open(path);
        comm.SetBaudRate(1000000);
    }
    bool Direct() { return servo.ReadMemory(1, kAddress, data, kCount).ok(); }
    bool ThroughBus()
    {
        return bus.Run(JobKind::Command, [this](BusAccess& access) {
            return access.protocol.ReadMemory(1, kAddress, data, kCount).ok();
        });
    }

private:
    CZNComm comm;
    ZNS servo{comm};
    ServoBus bus{comm};
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
template <class Exchange>
double Turn(Exchange exchange, int n)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const auto start = Clock::now();
        if (!exchange())
            return -1;
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return Median(std::move(us));
}

// Runs the three loops in turns of kExchangesPerTurn, the first of each round rotating so none
// always follows another; each turn's median time per exchange goes to us[k]. False (the state
// told which) when a loop gets no good reply.
bool RotateTurns(benchmark::State& state, const char* const (&names)[3],
                 const std::function<bool()> (&loops)[3], std::vector<double> (&us)[3])
{
    int round = 0;
    for (auto _ : state) {
        double turn[3];
        for (int k = 0; k < 3; ++k) {
            const int which = (round + k) % 3;
            turn[which] = Turn(loops[which], kExchangesPerTurn);
            if (turn[which] < 0) {
                state.SkipWithError((std::string(names[which]) + ": no good reply").c_str());
                return false;
            }
        }
        ++round;
        for (int k = 0; k < 3; ++k)
            us[k].push_back(turn[k]);
    }
    return true;
}

// Each round's a / b.
std::vector<double> Ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> r;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        r.push_back(a[i] / b[i]);
    return r;
}

// Each round runs one turn of the bare loop, of ReadMemory and of ReadMemory through the bus
// owner, the one going first changing from round to round. Reported: the medians over rounds
// and the ratios against the bare loop (of the medians, and the median of each round's).
void ExchangeAgainstBareCalls(benchmark::State& state)
{
    // The bare loop talks to the same responder where the system lets a second descriptor
    // open the port (root passes its exclusive mode): which CPU the far end's thread wakes
    // on changes an exchange's time more than anything measured here.
    Responder shared, spare;
    ServoLoops servo(shared.path);
    BareLoop sameEnd(shared.path);
    BareLoop otherEnd(spare.path);
    BareLoop& bare = sameEnd.IsOpen() ? sameEnd : otherEnd;
    state.SetLabel(sameEnd.IsOpen() ? "one far end" : "two far ends");
    const char* const names[3] = {"the bare loop", "ReadMemory", "ReadMemory through the bus"};
    const std::function<bool()> loops[3] = {[&] { return bare.Exchange(); },
                                            [&] { return servo.Direct(); },
                                            [&] { return servo.ThroughBus(); }};
    std::vector<double> us[3];
    if (!RotateTurns(state, names, loops, us))
        return;
    const std::vector<double> directRatios = Ratios(us[1], us[0]), busRatios = Ratios(us[2], us[0]);
    const double bareUs = Median(us[0]), directUs = Median(us[1]), busUs = Median(us[2]);
    state.counters["bare_us"] = bareUs;
    state.counters["ReadMemory_us"] = directUs;
    state.counters["bus_us"] = busUs;
    state.counters["ReadMemory_ratio"] = directUs / bareUs;
    state.counters["bus_ratio"] = busUs / bareUs;
    state.counters["ReadMemory_ratio_of_rounds"] = Median(directRatios);
    state.counters["bus_ratio_of_rounds"] = Median(busRatios);
}

// The protocol's read of kCount bytes through the port without any tap code: the figure a
// closed inspector is held against. The same calls ZNS makes: a purge, the request in one
// write, the head, the data and the checksum read apart, the reply checked whole.
bool UntappedRead(CZNComm& comm, uint8_t id, uint8_t* data)
{
    comm.PurgeInput();
    uint8_t request[8] = {0xFF, 0xFF, id, 4, 2, kAddress, kCount, 0};
    request[7] = PacketChecksum(request + 2, 5);
    if (comm.Write(request, 8) != 8)
        return false;
    uint8_t head[5];
    uint8_t block[kCount];
    uint8_t checksum = 0;
    if (comm.Read(head, 5) != 5 || head[0] != 0xFF || head[1] != 0xFF || head[2] != id ||
        head[3] != kCount + 2 || comm.Read(block, kCount) != kCount || comm.Read(&checksum, 1) != 1)
        return false;
    unsigned sum = static_cast<unsigned>(head[2]) + head[3] + head[4];
    for (uint8_t b : block)
        sum += b;
    if (static_cast<uint8_t>(~sum) != checksum)
        return false;
    std::copy_n(block, kCount, data);
    return true;
}

// Rounds of three turns over one port and far end, the order changing from round to round:
// no tap at all, ZNS with its tap closed, ZNS recording into a traffic log. Reported:
// the medians and the median of each round's ratio against no tap.
void InspectorTapCost(benchmark::State& state)
{
    Responder far;
    CZNComm comm;
    comm.Open(far.path);
    comm.SetBaudRate(1000000);
    ZNS closed(comm);
    ZNS open(comm);
    TrafficLog log;
    open.SetTap(&log);
    uint8_t data[kCount] = {};
    const char* const names[3] = {"no tap", "tap closed", "tap open"};
    const std::function<bool()> loops[3] = {
        [&] { return UntappedRead(comm, 1, data); },
        [&] { return closed.ReadMemory(1, kAddress, data, kCount).ok(); },
        [&] { return open.ReadMemory(1, kAddress, data, kCount).ok(); }};
    std::vector<double> us[3];
    if (!RotateTurns(state, names, loops, us))
        return;
    const std::vector<double> closedRatios = Ratios(us[1], us[0]), openRatios = Ratios(us[2], us[0]);
    state.counters["none_us"] = Median(us[0]);
    state.counters["closed_us"] = Median(us[1]);
    state.counters["open_us"] = Median(us[2]);
    state.counters["closed_ratio"] = Median(closedRatios);
    state.counters["open_ratio"] = Median(openRatios);
    state.counters["records"] = static_cast<double>(log.Next());
}

// ReadMemory of 13 bytes on the virtual bus at 1 Mbaud, each answer held for its wire time
// and the return delay: 8 + 19 bytes at 10 bits a byte are 270 us, plus 20 us.
void PacedReadMemory(benchmark::State& state)
{
    constexpr int kRate = 1000000;
    constexpr int kReturnDelayUs = 20;
    const std::string catalogueFile = CatalogueCopy("bench");
    {
        ModelCatalogue catalogue(catalogueFile);
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
            ZNS servo(comm);
            uint8_t data[kCount];
            std::vector<double> us;
            for (auto _ : state) {
                const auto start = Clock::now();
                const Reply reply = servo.ReadMemory(1, kAddress, data, kCount);
                if (!reply.ok()) {
                    state.SkipWithError(ReplyText(reply, comm.TimeoutMs()).c_str());
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

BENCHMARK(ExchangeAgainstBareCalls)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(InspectorTapCost)->Iterations(kRounds)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PacedReadMemory)->Iterations(SmokeScaled(2000, 20))->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
