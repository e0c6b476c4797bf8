// The upgrade page's bus work on the virtual bus with pacing (what the program sends reaches
// the servos no sooner than its wire time, and every answer is held for its wire time plus a
// 20 µs return delay, at the line's rate):
// - a 64 KiB firmware transfer: the blocks from the first answer to the last, against their
//   wire limit of 71 bytes × 20 µs each at 500000 baud (goal: at most 1.05×), and the whole
//   transfer against 1024 × 71 × 20 µs = 1.454 s plus the fixed 110 ms of waits;
// - the communication test's response time for 67 bytes at 1000000 baud, against the wire
//   time of the 8-byte request and the 73-byte reply (goal: at most 1.15×).
// Both run as bus jobs on the bus owner's thread, as the page runs them. Each figure is
// reported as a ratio; run with --benchmark_repetitions and read the medians.
#include "BenchSmoke.h"
#include "CatalogueCopy.h"
#include "bus/ServoBus.h"
#include "serial/CZNComm.h"
#include "servo/CommTest.h"
#include "servo/UpgradeTransfer.h"
#include "sim/VirtualBus.h"
#include "support/BaudRates.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct PacedBus {
    explicit PacedBus(int baudCode)
    {
        catalogueFile = CatalogueCopy("upgrade-bench");
        catalogue = std::make_unique<ModelCatalogue>(catalogueFile);
        bus = std::make_unique<VirtualBus>(*catalogue);
        std::string error;
        ServoSpec spec;
        spec.id = 1;
        spec.model = "Kestrel-12";
        spec.baudCode = baudCode;
        bus->AddServo(spec, error);
        bus->SetPacing(true, 20);
        bus->Start(error);
        comm.SetTimeoutMs(100);
        comm.Open(bus->DevicePath());
        comm.SetBaudRate(BaudRateOfCode(baudCode));
    }
    ~PacedBus()
    {
        servoBus.Shutdown();
        comm.Close();
        bus.reset();
        std::filesystem::remove(catalogueFile);
    }
    std::string catalogueFile;
    std::unique_ptr<ModelCatalogue> catalogue;
    std::unique_ptr<VirtualBus> bus;
    CZNComm comm;
    ServoBus servoBus{comm};
};

// One write and a wait for the answer byte straight on the descriptor: the least any
// program can spend per block on this line.
int BareSendAndAwait(int fd, const uint8_t* bytes, int n)
{
    if (::write(fd, bytes, static_cast<size_t>(n)) != n)
        return -1;
    pollfd p{fd, POLLIN, 0};
    uint8_t answer = 0;
    if (::poll(&p, 1, 500) != 1 || ::read(fd, &answer, 1) != 1)
        return -1;
    return answer;
}

// The same transfer as the page's, without the bus owner, the port's buffering or the
// page's checks: the floor the virtual line itself sets (its two pseudo-terminal hand-overs
// per block). Returns the seconds from the first block's answer to the last, or -1.
double BareTransfer(PacedBus& rig, const UpgradeJob& job)
{
    const Reply asked = rig.servoBus.Run(JobKind::Command, [&](BusAccess& access) {
        return access.protocol.RequestUpgrade(job.servoId);
    });
    if (asked.outcome == Outcome::WriteFailed || asked.outcome == Outcome::PortClosed)
        return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const int saved = rig.comm.SetBaudRate(kLoaderBaudRate);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int fd = rig.comm.Handle();
    const Crc16 crc = LoaderCrc();
    double seconds = -1;
    if (BareSendAndAwait(fd, job.unlock.data(), 5) >= 0 &&
        BareSendAndAwait(fd, &kLoaderStart, 1) >= 0) {
        Clock::time_point first;
        int i = 1;
        for (; i <= job.blockCount; ++i) {
            const UpgradeBlock block = BuildUpgradeBlock(job.image->data.data(), job.image->data.size(),
                                                         i, job.blockCount,
                                                         static_cast<uint8_t>(job.kind), crc);
            if (BareSendAndAwait(fd, block.data(), kUpgradeBlockSize) != kLoaderAck)
                break;
            if (i == 1)
                first = Clock::now();
        }
        if (i > job.blockCount)
            seconds = std::chrono::duration<double>(Clock::now() - first).count();
    }
    rig.comm.SetBaudRate(saved);
    return seconds;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The page's transfer and the bare one, interleaved on one line: the page's blocks against
// the bare blocks (what the program adds) and against the wire limit.
void BM_Transfer64KiB(benchmark::State& state)
{
    PacedBus rig(4);  // the servo listens at 115200 until its loader takes over
    auto image = std::make_unique<FirmwareImage>();
    for (uint32_t i = 0; i < FirmwareImage::kSize; ++i)
        image->data[i] = static_cast<uint8_t>(i * 7);
    // The smoke run sends the first 16 blocks only.
    image->length = SmokeRun() ? 16 * 64 : FirmwareImage::kSize;
    UpgradeJob job;
    job.servoId = 1;
    job.image = image.get();
    job.kind = kImageBin;
    job.blockCount = BlockCount(image->length);
    const double wireSeconds = job.blockCount * 71 * 20e-6 + 0.110;
    const double blockWireSeconds = (job.blockCount - 1) * 71 * 20e-6;
    std::atomic<bool> cancel{false};
    std::vector<double> totals, blocks, bare;
    Clock::time_point firstAck, lastAck;
    UpgradeReports reports;
    reports.acknowledged = [&](int block) {
        (block == 1 ? firstAck : lastAck) = Clock::now();
    };
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const UpgradeResult r = rig.servoBus.Run(JobKind::Transfer, [&](BusAccess& access) {
            return RunUpgrade(access, job, cancel, reports);
        });
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        const double floor = BareTransfer(rig, job);
        if (r.outcome != UpgradeOutcome::Done || floor < 0) {
            state.SkipWithError("the transfer failed");
            return;
        }
        state.SetIterationTime(seconds);
        totals.push_back(seconds);
        blocks.push_back(std::chrono::duration<double>(lastAck - firstAck).count());
        bare.push_back(floor);
    }
    state.counters["wire_s"] = wireSeconds;
    state.counters["ratio"] = Median(totals) / wireSeconds;
    state.counters["blocks_s"] = Median(blocks);
    state.counters["blocks_wire_s"] = blockWireSeconds;
    state.counters["blocks_ratio"] = Median(blocks) / blockWireSeconds;
    state.counters["bare_ratio"] = Median(bare) / blockWireSeconds;
    state.counters["to_bare"] = Median(blocks) / Median(bare);
}
BENCHMARK(BM_Transfer64KiB)->UseManualTime()->Iterations(SmokeScaled(5, 1))->Unit(benchmark::kMillisecond);

void BM_CommTestResponse(benchmark::State& state)
{
    PacedBus rig(0);  // 1000000 baud
    CommTestPlan plan;
    PlanCommTest(1, 1, 0, 66, 50, plan);
    const double wireUs = (8 + 67 + 6) * 10.0;  // 10 bits a byte at 1 Mbaud
    CommTestCounts counts;
    std::vector<long long> times;
    const int passCount = SmokeScaled(200, 5);
    for (auto _ : state) {
        std::atomic<bool> running{true}, abort{false};
        int passes = 0;
        RunCommTest(rig.servoBus, plan, counts, running, abort,
                    [&](const CommTestPass& pass) {
                        for (const auto& s : pass.samples)
                            if (s.answered)
                                times.push_back(s.microseconds);
                        if (++passes >= passCount)
                            running = false;
                    });
    }
    if (times.empty()) {
        state.SkipWithError("no read was answered");
        return;
    }
    std::sort(times.begin(), times.end());
    const double p50 = static_cast<double>(times[times.size() / 2]);
    state.counters["p50_us"] = p50;
    state.counters["p99_us"] = static_cast<double>(times[times.size() * 99 / 100]);
    state.counters["wire_us"] = wireUs;
    state.counters["ratio"] = p50 / wireUs;
    state.counters["unanswered"] = static_cast<double>(counts.timeouts[1]);
}
BENCHMARK(BM_CommTestResponse)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
