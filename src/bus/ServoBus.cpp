#include "bus/ServoBus.h"

#include "serial/CZNComm.h"
#include "share/PortByName.h"

#include "support/PeriodicTimer.h"

#include <algorithm>

using SteadyClock = std::chrono::steady_clock;

struct ServoBus::Periodic::State {
    SteadyClock::duration period;
    Job job;
    // Under the bus's mutex:
    SteadyClock::time_point due;
    bool queued = false;  // its last job still waits
    SteadyClock::time_point lastWhileGone;
    // While it runs, timers keep 1 ms resolution (Windows).
    std::unique_ptr<TimerResolutionHold> resolution;
};

namespace {
// The bus whose job the calling thread runs, if any.
thread_local const ServoBus* currentBus = nullptr;
// How deep in jobs (a job running another) the calling thread is.
thread_local int jobDepth = 0;
}  // namespace

BusAccess::BusAccess(ServoBus& b, JobKind k, uint64_t g)
    : protocol(b.protocol), kind(k), bus(b), generation(g),
      outerKind(b.traffic.Operation())
{
    bus.traffic.SetOperation(kind);
    // Every job starts with the port's kept time-out in force: whatever another time-out an
    // earlier job set ended with it. A job run inside another keeps the outer one's.
    if (jobDepth++ == 0 && bus.port->IsOpen())
        bus.port->OverrideTimeout(bus.port->TimeoutMs());
}

BusAccess::~BusAccess()
{
    --jobDepth;
    bus.traffic.SetOperation(outerKind);
}

bool BusAccess::Stopping() const
{
    return bus.generation.load() != generation;
}

PortFacts BusAccess::Facts() const
{
    return bus.Facts();
}

int BusAccess::Open(const std::string& name, bool exclusive)
{
    bus.port->SetExclusive(exclusive);
    const int opened = bus.port->Open(name);
    if (opened) {
        bus.traffic.PortOpened();
        bus.link.Reset();
        bus.link.SetRate(bus.port->BaudRate());
        bus.protocol.ForgetEcho();
        bus.echoNoted = false;
    }
    return opened;
}

int BusAccess::Close()
{
    return bus.port->Close();
}

int BusAccess::SetRate(int rate)
{
    const int before = bus.port->SetBaudRate(rate);
    bus.link.SetRate(bus.port->BaudRate());
    return before;
}

void BusAccess::SetTimeoutMs(int ms)
{
    bus.port->SetTimeoutMs(ms);
}

namespace {

// The program's port: any name it is given, a serial device or a network port.
std::unique_ptr<Port> PortOrDefault(std::unique_ptr<Port> p)
{
    return p ? std::move(p) : std::make_unique<PortByName>(std::make_unique<CZNComm>());
}

}  // namespace

ServoBus::ServoBus(std::unique_ptr<::Port> p, Threading t)
    : ServoBus(*PortOrDefault(std::move(p)).release(), t)
{
    ownPort.reset(port);
}

ServoBus::ServoBus(::Port& p, Threading t) : port(&p), protocol(p), threading(t)
{
    UpdateTap();
    if (threading == Threading::Own)
        thread = std::thread([this] { Loop(); });
}

ServoBus::~ServoBus()
{
    Shutdown();
    if (ownPort)
        ownPort->Close();
}

bool ServoBus::Post(JobKind kind, Job job, Dropped dropped)
{
    return Enqueue(Entry{kind, std::move(job), std::move(dropped), nullptr});
}

std::unique_ptr<ServoBus::Periodic> ServoBus::Every(std::chrono::milliseconds period, Job job,
                                                   bool start)
{
    auto state = std::make_shared<Periodic::State>();
    state->period = period;
    state->job = std::move(job);
    std::unique_ptr<Periodic> periodic(new Periodic(*this, std::move(state)));
    if (start)
        periodic->Start();
    return periodic;
}

void ServoBus::Periodic::Start()
{
    {
        std::lock_guard lock(bus.mutex);
        if (state->resolution)
            return;
        state->resolution = std::make_unique<TimerResolutionHold>();
        state->due = SteadyClock::now() + state->period;
        bus.periodics.push_back(state);
        bus.periodicsChanged = true;
    }
    bus.wake.notify_one();
}

void ServoBus::Periodic::Stop()
{
    std::unique_ptr<TimerResolutionHold> released;
    std::lock_guard lock(bus.mutex);
    released = std::move(state->resolution);
    std::erase(bus.periodics, state);
}

bool ServoBus::Periodic::Running() const
{
    std::lock_guard lock(bus.mutex);
    return state->resolution != nullptr;
}

SteadyClock::time_point ServoBus::QueueDue()
{
    auto next = SteadyClock::time_point::max();
    if (shutDown)
        return next;
    const auto now = SteadyClock::now();
    for (const auto& p : periodics) {
        if (p->due <= now) {
            p->due += p->period;
            if (p->due < now)
                p->due = now;  // a late job: the next follows at once, the missed ones are dropped
            // A gone port fails every job at once: one a second is enough to keep showing it.
            const bool resting = port->Gone() && p->lastWhileGone != SteadyClock::time_point{} &&
                                 now - p->lastWhileGone < kGonePollPeriod;
            if (!p->queued && !resting) {
                if (port->Gone())
                    p->lastWhileGone = now;
                p->queued = true;
                queue.push_back(Entry{JobKind::Poll, p->job, {}, p});
            }
        }
        next = std::min(next, p->due);
    }
    return next;
}

bool ServoBus::Enqueue(Entry entry)
{
    {
        std::lock_guard lock(mutex);
        if (!shutDown && threading == Threading::Own) {
            queue.push_back(std::move(entry));
            wake.notify_one();
            return true;
        }
    }
    if (!shutDown) {  // the caller's thread runs it
        Execute(entry);
        return true;
    }
    if (entry.dropped)
        entry.dropped();
    return false;
}

void ServoBus::Execute(Entry& entry)
{
    BusAccess access(*this, entry.kind, generation);
    entry.job(access);
    ReportGone();
    ReportFindings();
}

void ServoBus::SetTracing(bool on)
{
    tracing = on;
    UpdateTap();
}

void ServoBus::SetLinkStatistics(bool on)
{
    linkOn = on;
    UpdateTap();
}

void ServoBus::UpdateTap()
{
    // The statistics see every packet and pass it on to the traffic record while it is traced.
    std::lock_guard lock(tapMutex);
    link.Forward(tracing ? &traffic : nullptr);
    protocol.SetTap(linkOn ? static_cast<PacketTap*>(&link) : tracing ? &traffic : nullptr);
}

void ServoBus::ReportFindings()
{
    if (protocol.EchoFound() && !echoNoted.exchange(true))
        traffic.Note({}, "the adapter echoes what is sent; the echo is skipped");
}

void ServoBus::SetPortGoneListener(std::function<void()> listener)
{
    std::lock_guard lock(listenerMutex);
    goneListener = std::move(listener);
}

void ServoBus::ReportGone()
{
    if (!port->Gone()) {
        goneReported = false;
        return;
    }
    if (goneReported.exchange(true))
        return;
    std::function<void()> listener;
    {
        std::lock_guard lock(listenerMutex);
        listener = goneListener;
    }
    if (listener)
        listener();
}

void ServoBus::Loop()
{
    currentBus = this;
    std::unique_lock lock(mutex);
    for (;;) {
        periodicsChanged = false;
        const auto due = QueueDue();
        // The next job often comes moments after the last one's result (kHandOverSpin).
        const auto until = SteadyClock::now() + kHandOverSpin;
        while ((queue.empty() || running) && !shutDown && SteadyClock::now() < until) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        // A job another thread runs inline has the bus until it ends.
        const auto ready = [this] {
            return shutDown || periodicsChanged || (!queue.empty() && !running);
        };
        if (due == SteadyClock::time_point::max())
            wake.wait(lock, ready);
        else if (!wake.wait_until(lock, due, ready))
            continue;  // a periodic job falls due
        if (periodicsChanged && !shutDown)
            continue;
        if (queue.empty())
            return;  // shut down with nothing left
        if (running) {
            idle.wait(lock, [this] { return !running; });
            continue;
        }
        Entry entry = std::move(queue.front());
        queue.pop_front();
        // A periodic job's slot frees before the job runs: a period that ends while it reads
        // queues the next.
        if (entry.periodic)
            entry.periodic->queued = false;
        running = true;
        lock.unlock();
        Execute(entry);
        entry = Entry{};  // the job's captures go before the next one runs
        lock.lock();
        running = false;
        idle.notify_all();
    }
}

void ServoBus::DropQueued()
{
    std::deque<Entry> dropped;
    {
        std::lock_guard lock(mutex);
        dropped.swap(queue);
        ++generation;
        for (auto& e : dropped)
            if (e.periodic)
                e.periodic->queued = false;
    }
    for (auto& e : dropped)
        if (e.dropped)
            e.dropped();
}

bool ServoBus::EnterWhenIdle()
{
    std::lock_guard lock(mutex);
    if (threading != Threading::Own || shutDown || running || !queue.empty())
        return false;
    running = true;
    currentBus = this;
    return true;
}

bool ServoBus::RunHereIfIdle(JobKind kind, const Job& job)
{
    if (OnBusThread() || !EnterWhenIdle())
        return false;
    struct Leave {
        ServoBus& bus;
        ~Leave() { bus.LeaveInline(); }
    } leave{*this};
    BusAccess access(*this, kind, generation);
    job(access);
    return true;
}

void ServoBus::LeaveInline()
{
    ReportGone();
    ReportFindings();
    currentBus = nullptr;
    bool queued;
    {
        std::lock_guard lock(mutex);
        running = false;
        queued = !queue.empty();
    }
    idle.notify_all();
    // The bus thread sleeps until there is work; a wake without any would cost a switch.
    if (queued)
        wake.notify_one();
}

void ServoBus::DropAndWait()
{
    DropQueued();
    if (OnBusThread())
        return;
    std::unique_lock lock(mutex);
    idle.wait(lock, [this] { return !running; });
}

void ServoBus::Shutdown()
{
    {
        std::lock_guard lock(mutex);
        shutDown = true;
    }
    DropQueued();
    wake.notify_all();
    if (OnBusThread())
        return;
    if (thread.joinable())
        thread.join();
    // A job that runs inline on another thread ends before the bus goes.
    std::unique_lock lock(mutex);
    idle.wait(lock, [this] { return !running; });
}

bool ServoBus::OnBusThread() const
{
    return currentBus == this;
}

int ServoBus::Pending() const
{
    std::lock_guard lock(mutex);
    return static_cast<int>(queue.size()) + (running ? 1 : 0);
}
