// The window sharing its bus: its 50 ms poll while two clients read back to back (the poll's
// period and gaps, each client's exchanges a second), and its fast capture with one client
// polling at 20 Hz against the capture alone (samples a second, rounds interleaved). The
// clients attach in this process through the share's endpoint, as another program would.
// BENCH_SHARE_SECONDS sets each measured stretch (default 20; the smoke run takes 1).
#include "BenchSmoke.h"
#include "DebugControls.h"
#include "WindowBench.h"
#include "WindowBenchMain.h"
#include "pages/debug/CRobotDlg.h"

#include <QCheckBox>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

int Seconds()
{
    const char* env = std::getenv("BENCH_SHARE_SECONDS");
    return env ? std::max(1, std::atoi(env)) : SmokeScaled(20, 1);
}

// A program attached to the window's port: its own bus over the same name, reading servo 1's
// feedback block on a thread of its own, back to back or every `periodMs`.
class Client {
public:
    Client(const std::string& port, int periodMs) : periodMs(periodMs)
    {
        opened = bus.Run(JobKind::Command, [&](BusAccess& access) {
            access.SetTimeoutMs(100);
            return access.Open(port) == 1;
        });
        if (opened)
            thread = std::thread([this] { Loop(); });
    }
    ~Client()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        bus.Run(JobKind::Command, [](BusAccess& access) { access.Close(); });
    }
    bool Opened() const { return opened; }
    long long Answered() const { return answered; }
    long long Failed() const { return failed; }

private:
    void Loop()
    {
        auto next = Clock::now();
        while (!stop) {
            uint8_t block[17];
            const bool ok = bus.Run(JobKind::Poll, [&](BusAccess& access) {
                return static_cast<bool>(access.protocol.ReadMemory(1, 56, block, sizeof block));
            });
            ++(ok ? answered : failed);
            if (periodMs > 0) {
                next += std::chrono::milliseconds(periodMs);
                std::this_thread::sleep_until(next);
            }
        }
    }

    const int periodMs;
    ServoBus bus;
    bool opened = false;
    std::atomic<bool> stop{false};
    std::atomic<long long> answered{0}, failed{0};
    std::thread thread;
};

// The debug page polling servo 1 with every curve on.
void SelectServo(WindowOnBus& rig)
{
    DebugControls page(rig.window->DebugPage());
    ServoMemory memory{};
    rig.bus.Memory(1, memory);
    ModelKey key{};
    std::copy_n(memory.begin(), key.size(), key.begin());
    page->SelectServo(1, key, rig.window->Catalogue().ProfileOf(key));
    for (QCheckBox* box : page.channelBoxes)
        if (!box->isChecked())
            box->click();
}

// The window on the paced virtual bus, its port open at 1 Mbaud and its debug page polling
// servo 1; false (the benchmark told why) when the port did not open.
bool OpenPolling(benchmark::State& state, WindowOnBus& rig)
{
    rig.bus.SetPacing(true);
    rig.bus.KeepLogLines(false);
    if (const std::string error = rig.Open({{40, 1}}, 100, 0); !error.empty()) {
        state.SkipWithError(error.c_str());
        return false;
    }
    SelectServo(rig);
    return true;
}

// The window's 50 ms poll at 1 Mbaud on the paced virtual bus, alone and while two clients
// read back to back, in alternating stretches: the median period and the p99 gap between two
// polls of each, and each client's exchanges a second.
void PollWhileClientsRead(benchmark::State& state)
{
    const int seconds = Seconds();
    const int rounds = SmokeScaled(4, 1);
    for (auto _ : state) {
        WindowOnBus rig;
        if (!OpenPolling(state, rig))
            return;
        CRobotDlg& page = rig.window->DebugPage();
        std::mutex mutex;
        std::vector<Clock::time_point> ticks;
        page.SetTickObserver([&] {
            std::lock_guard lock(mutex);
            ticks.push_back(Clock::now());
        });
        const std::string port = rig.bus.DevicePath();
        const int stretchMs = std::max(1000, seconds * 1000 / (2 * rounds));
        std::vector<double> alone, shared, perClient;
        long long failed = 0;
        for (int r = 0; r < rounds; ++r) {
            for (bool withClients : {false, true}) {
                std::unique_ptr<Client> first, second;
                if (withClients) {
                    first = std::make_unique<Client>(port, 0);
                    second = std::make_unique<Client>(port, 0);
                    if (!first->Opened() || !second->Opened()) {
                        state.SkipWithError("a client did not attach");
                        page.SetTickObserver({});
                        rig.window->Shutdown();
                        return;
                    }
                }
                {
                    std::lock_guard lock(mutex);
                    ticks.clear();
                }
                const auto wall0 = Clock::now();
                Wait(stretchMs);
                const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
                std::lock_guard lock(mutex);
                for (size_t i = 1; i < ticks.size(); ++i)
                    (withClients ? shared : alone).push_back(Ms(ticks[i] - ticks[i - 1]));
                if (withClients) {
                    perClient.push_back(static_cast<double>(first->Answered()) / wall);
                    perClient.push_back(static_cast<double>(second->Answered()) / wall);
                    failed += first->Failed() + second->Failed();
                }
            }
        }
        page.SetTickObserver({});
        rig.window->Shutdown();
        state.counters["poll_period_median_ms"] = Percentile(shared, 0.5);
        state.counters["poll_gap_p99_ms"] = Percentile(shared, 0.99);
        state.counters["poll_gap_max_ms"] = Percentile(shared, 1.0);
        state.counters["alone_period_median_ms"] = Percentile(alone, 0.5);
        state.counters["alone_gap_p99_ms"] = Percentile(alone, 0.99);
        state.counters["alone_gap_max_ms"] = Percentile(alone, 1.0);
        state.counters["client_per_s_median"] = Percentile(perClient, 0.5);
        state.counters["client_per_s_min"] = Percentile(perClient, 0.0);
        state.counters["client_failed"] = static_cast<double>(failed);
        if (shared.empty() || alone.empty() || Percentile(perClient, 0.0) == 0)
            state.SkipWithError("no poll or no client exchange");
    }
}

// The window's fast capture at 1 Mbaud on the paced virtual bus, alone and with one client
// polling at 20 Hz, in alternating rounds: samples a second of each, medians of the rounds.
void CaptureWithClient(benchmark::State& state)
{
    const int seconds = Seconds();
    const int rounds = SmokeScaled(4, 1);
    for (auto _ : state) {
        WindowOnBus rig;
        if (!OpenPolling(state, rig))
            return;
        CRobotDlg& page = rig.window->DebugPage();
        page.SetFastCapture(true);
        if (!page.FastCapture()) {
            state.SkipWithError("no fast capture");
            rig.window->Shutdown();
            return;
        }
        const std::string port = rig.bus.DevicePath();
        const int stretchMs = std::max(1000, seconds * 1000 / (2 * rounds));
        std::vector<double> alone, shared, client;
        for (int r = 0; r < rounds; ++r) {
            for (bool withClient : {false, true}) {
                auto other = withClient ? std::make_unique<Client>(port, 50) : nullptr;
                if (other && !other->Opened()) {
                    state.SkipWithError("the client did not attach");
                    rig.window->Shutdown();
                    return;
                }
                const long long before = page.SamplesCaptured();
                const auto wall0 = Clock::now();
                Wait(stretchMs);
                const double wall = std::chrono::duration<double>(Clock::now() - wall0).count();
                const double rate = static_cast<double>(page.SamplesCaptured() - before) / wall;
                (withClient ? shared : alone).push_back(rate);
                if (other)
                    client.push_back(static_cast<double>(other->Answered()) / wall);
            }
        }
        page.SetFastCapture(false);
        rig.window->Shutdown();
        const double a = Percentile(alone, 0.5), s = Percentile(shared, 0.5);
        state.counters["capture_alone_per_s"] = a;
        state.counters["capture_with_client_per_s"] = s;
        state.counters["ratio"] = a > 0 ? s / a : 0;
        state.counters["client_per_s"] = Percentile(client, 0.5);
        if (a == 0 || s == 0)
            state.SkipWithError("no sample was captured");
    }
}

BENCHMARK(PollWhileClientsRead)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(CaptureWithClient)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    return RunWindowBenchmarks(argc, argv);
}
