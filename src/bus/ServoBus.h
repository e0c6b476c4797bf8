#pragma once
// The bus owner: the one port, the one protocol object over it, and the thread that runs bus
// jobs one at a time in the order they were submitted. A job has the protocol to itself for
// as long as it runs, so nobody else takes a lock for the bus: the window, the pages and
// servoctl submit jobs and get their results back through the jobs' own callbacks.

#include "bus/JobKind.h"
#include "bus/LinkStats.h"
#include "bus/TrafficLog.h"
#include "protocol/ZNS.h"
#include "serial/Port.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include <type_traits>

class ServoBus;

// What anyone may read of the bus's port, from any thread. Why the last opening failed and
// whether the last rate was refused are for the job that opened or set the rate, or for
// whoever its result reaches.
class PortFacts {
public:
    bool Open() const { return port.IsOpen(); }
    // The device or the connection went away under the open port.
    bool Gone() const { return port.Gone(); }
    // The rate in force, and who sets rates.
    int Rate() const { return port.BaudRate(); }
    RateControl Rates() const { return port.Rates(); }
    PortTiming Timing() const { return port.Timing(); }
    // The port's kept time-out.
    int TimeoutMs() const { return port.TimeoutMs(); }
    const OpenFailure& LastOpenError() const { return port.LastOpenError(); }
    bool RateRefused() const { return port.RateRefused(); }
    // The program whose bus this port is attached to (empty: the port is this program's).
    ShareOwner SharedBy() const { return port.SharedBy(); }

private:
    friend class ServoBus;
    friend class BusAccess;
    explicit PortFacts(const Port& p) : port(p) {}
    const Port& port;
};

// What a running job gets: the protocol to itself, and the port's operations.
class BusAccess {
public:
    ZNS& protocol;
    const JobKind kind;

    // True once the bus has been told to drop its work (the port or the window closing): a
    // long job ends between two exchanges.
    bool Stopping() const;

    PortFacts Facts() const;
    // Opens `name` (what was open closes first); the traffic record's times start there.
    // 1 = opened, 0 = failed (Facts().LastOpenError() tells why). A name another program of
    // this user holds and shares attaches to its bus (Facts().SharedBy()), unless
    // `exclusive`: then the device must be free, as it must be to be served.
    int Open(const std::string& name, bool exclusive = false);
    int Close();
    // Puts `rate` in force with the bus's line settings and the kept time-out, purging both
    // ways; returns the rate in force before (Facts().RateRefused(): not taken).
    int SetRate(int rate);
    // Keeps `ms` as the port's time-out and puts it in force.
    void SetTimeoutMs(int ms);

    // A job run inside another gives the traffic record back the outer job's kind.
    ~BusAccess();
    BusAccess(const BusAccess&) = delete;
    BusAccess& operator=(const BusAccess&) = delete;

private:
    friend class ServoBus;
    BusAccess(ServoBus& bus, JobKind kind, uint64_t generation);
    ServoBus& bus;
    const uint64_t generation;
    const JobKind outerKind;
};

// The port keeps `ms` as its time-out for a scope (a sequence whose rate changes must put it
// in force, as the firmware loader's does) and the time-out it kept before once the scope
// ends. Inside a job.
class KeptTimeout {
public:
    KeptTimeout(BusAccess& access, int ms) : access(access), saved(access.Facts().TimeoutMs())
    {
        access.SetTimeoutMs(ms);
    }
    ~KeptTimeout() { access.SetTimeoutMs(saved); }
    KeptTimeout(const KeptTimeout&) = delete;
    KeptTimeout& operator=(const KeptTimeout&) = delete;

private:
    BusAccess& access;
    const int saved;
};

class ServoBus {
public:
    using Job = std::function<void(BusAccess&)>;
    // Called instead of the job when it is dropped unrun; on the thread that drops it.
    using Dropped = std::function<void()>;

    // Own: jobs run on the bus's thread. Caller: each job runs at once on the thread that
    // submits it (logic tests that need no thread).
    enum class Threading { Own, Caller };

    // Without a port of its own: the program's port (PortByName over a serial device).
    explicit ServoBus(std::unique_ptr<::Port> port = nullptr, Threading threading = Threading::Own);
    // Over a port that outlives the bus (a test's).
    explicit ServoBus(::Port& port, Threading threading = Threading::Own);
    // Drops what is queued, lets the running job end (within its exchange's time-out), then
    // ends the thread. The port is closed.
    ~ServoBus();
    ServoBus(const ServoBus&) = delete;
    ServoBus& operator=(const ServoBus&) = delete;

    // The port's facts, for any thread; its operations are a job's (BusAccess).
    PortFacts Facts() const { return PortFacts(*port); }
    // Every packet in and out while tracing is on (the inspector, servoctl --trace).
    TrafficLog& Traffic() { return traffic; }
    void SetTracing(bool on);
    // What every exchange came to, per ID and for the bus (kept unless turned off); any
    // thread reads copies of it.
    const LinkStats& Link() const { return link; }
    void ResetLink() { link.Reset(); }
    void SetLinkStatistics(bool on);
    // Whether the adapter has been found to echo what is sent (the echo is skipped).
    bool EchoFound() const { return protocol.EchoFound(); }

    // Queues a job; false (and `dropped` called) once the bus is shut down.
    bool Post(JobKind kind, Job job, Dropped dropped = {});

    // A periodic job (a page's poll): its job once every period on the bus's thread, a
    // period whose last job still waits skipped, and while the port is gone one job every
    // kGonePollPeriod. Stop never waits for the bus: a job already queued still runs (a
    // window going away drops those with DropAndWait), and a job may stop its own poll.
    class Periodic {
    public:
        ~Periodic() { Stop(); }
        Periodic(const Periodic&) = delete;
        Periodic& operator=(const Periodic&) = delete;
        // Starting a running job or stopping a stopped one does nothing; a start counts the
        // period from now.
        void Start();
        void Stop();
        bool Running() const;

    private:
        friend class ServoBus;
        struct State;
        Periodic(ServoBus& bus, std::shared_ptr<State> state) : bus(bus), state(std::move(state)) {}
        ServoBus& bus;
        std::shared_ptr<State> state;
    };
    // A periodic job, started unless `start` is false: its first job one period from now.
    // Only a bus with a thread of its own runs periodic jobs. A period of zero is a capture:
    // the next job goes out as soon as the last one has ended, and a job submitted meanwhile
    // runs before it, so a command waits for one exchange at most.
    std::unique_ptr<Periodic> Every(std::chrono::milliseconds period, Job job, bool start = true);
    static constexpr std::chrono::milliseconds kGonePollPeriod{1000};

    // Called once per loss, right after the job that found the port gone, on the thread that
    // ran it; it must not wait for another thread. An empty function removes the listener.
    void SetPortGoneListener(std::function<void()> listener);

    // Runs `job` at once on the calling thread if the bus is idle (as Run does), and says
    // whether it did; a busy bus is left alone. For a thread that must never wait for the bus
    // and posts the job instead when this fails (the shared bus's clients).
    bool RunHereIfIdle(JobKind kind, const Job& job);

    // Queues a job and waits for its result. For threads that may wait for the bus
    // (servoctl, the Python module, tests), never for the window's thread.
    template <class F>
    auto Run(JobKind kind, F&& f) -> std::invoke_result_t<F&, BusAccess&>;

    // Drops every queued job and tells the running one to stop. Returns at once.
    void DropQueued();
    // The same, then waits for the running job to end (within its exchange's time-out): for
    // a window going away, whose objects the jobs use.
    void DropAndWait();
    // Drops what is queued, ends the running job and the thread; afterwards jobs are refused.
    void Shutdown();

    // True while the caller is a job of this bus.
    bool OnBusThread() const;
    // Jobs queued or running.
    int Pending() const;

    // How long the bus thread looks for the next job, yielding, before it sleeps: a caller
    // that runs jobs one after another posts the next one moments after the last result,
    // and waking a sleeping thread costs a good part of a short exchange.
    static constexpr std::chrono::microseconds kHandOverSpin{100};

private:
    friend class BusAccess;
    struct Entry {
        JobKind kind;
        Job job;
        Dropped dropped;
        std::shared_ptr<Periodic::State> periodic;  // the periodic job this one is of
    };

    bool Enqueue(Entry entry);
    // Takes the idle bus for a job on the calling thread; false when it is busy or queued.
    bool EnterWhenIdle();
    void LeaveInline();
    void Execute(Entry& entry);
    void Loop();
    // Tells the listener when the port has gone since it was last told.
    void ReportGone();
    // Notes in the traffic record what the protocol found on the bus since the last time.
    void ReportFindings();
    void UpdateTap();
    // With the mutex held: queues the jobs of the periodic jobs that are due, and says when
    // the next one falls due (none: max).
    std::chrono::steady_clock::time_point QueueDue();

    std::unique_ptr<::Port> ownPort;
    ::Port* port;
    ZNS protocol;
    TrafficLog traffic;
    LinkStats link;
    std::atomic<bool> tracing{false};
    std::atomic<bool> linkOn{true};
    std::atomic<bool> echoNoted{false};
    std::mutex tapMutex;
    const Threading threading;

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Entry> queue;
    std::vector<std::shared_ptr<Periodic::State>> periodics;  // the running ones
    bool periodicsChanged = false;  // the bus thread's wait must look at them again
    bool running = false;   // a job is being executed
    std::atomic<bool> shutDown{false};
    std::atomic<uint64_t> generation{0};  // raised by every drop
    std::mutex listenerMutex;
    std::function<void()> goneListener;
    std::atomic<bool> goneReported{false};
    std::thread thread;
};

template <class F>
auto ServoBus::Run(JobKind kind, F&& f) -> std::invoke_result_t<F&, BusAccess&>
{
    using R = std::invoke_result_t<F&, BusAccess&>;
    if (OnBusThread()) {
        // A job that runs another has the bus already.
        BusAccess access(*this, kind, generation);
        return f(access);
    }
    // An idle bus runs the job on the caller's thread, marked as the bus's running job: one
    // job at a time and their order are kept, without two thread hand-overs.
    if (EnterWhenIdle()) {
        struct Leave {
            ServoBus& bus;
            ~Leave() { bus.LeaveInline(); }
        } leave{*this};
        BusAccess access(*this, kind, generation);
        return f(access);
    }
    auto task = std::make_shared<std::packaged_task<R(BusAccess&)>>(std::forward<F>(f));
    std::future<R> result = task->get_future();
    // A dropped job abandons its result: get() throws std::future_error.
    Post(kind, [task](BusAccess& access) { (*task)(access); }, [task] { task->reset(); });
    return result.get();
}
