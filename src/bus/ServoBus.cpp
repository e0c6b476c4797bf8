#include "bus/ServoBus.h"

namespace {
// The bus whose job the calling thread runs, if any.
thread_local const ServoBus* currentBus = nullptr;
}  // namespace

BusAccess::BusAccess(ServoBus& b, JobKind k, uint64_t g)
    : protocol(b.Protocol()), port(b.Port()), kind(k), bus(b), generation(g),
      outerKind(b.traffic.Operation())
{
    bus.traffic.SetOperation(kind);
}

BusAccess::~BusAccess()
{
    bus.traffic.SetOperation(outerKind);
}

bool BusAccess::Stopping() const
{
    return bus.generation.load() != generation;
}

ServoBus::ServoBus(std::unique_ptr<CZNComm> p, Threading t) : ServoBus(*p, t)
{
    ownPort = std::move(p);
}

ServoBus::ServoBus(CZNComm& p, Threading t) : port(&p), protocol(p), threading(t)
{
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

bool ServoBus::PostPoll(PollSlot& slot, Job job)
{
    if (port->Gone()) {
        // A gone port fails every poll at once: one a second is enough to keep showing it.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        const auto last = slot.lastWhileGone.load();
        const auto period =
            std::chrono::duration_cast<std::chrono::steady_clock::duration>(kGonePollPeriod);
        if (last != 0 && now - last < period.count())
            return false;
        slot.lastWhileGone = now;
    }
    if (slot.queued.exchange(true))
        return false;
    return Enqueue(Entry{JobKind::Poll, std::move(job), {}, &slot});
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
    if (entry.slot)
        entry.slot->queued = false;
    if (entry.dropped)
        entry.dropped();
    return false;
}

void ServoBus::Execute(Entry& entry)
{
    // The slot frees before the job runs: a tick that comes while it reads queues the next.
    if (entry.slot)
        entry.slot->queued = false;
    BusAccess access(*this, entry.kind, generation);
    entry.job(access);
    ReportGone();
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
        // The next job often comes moments after the last one's result (kHandOverSpin).
        const auto until = std::chrono::steady_clock::now() + kHandOverSpin;
        while ((queue.empty() || running) && !shutDown &&
               std::chrono::steady_clock::now() < until) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        // A job another thread runs inline has the bus until it ends.
        wake.wait(lock, [this] { return shutDown || (!queue.empty() && !running); });
        if (queue.empty())
            return;  // shut down with nothing left
        if (running) {
            idle.wait(lock, [this] { return !running; });
            continue;
        }
        Entry entry = std::move(queue.front());
        queue.pop_front();
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
    }
    for (auto& e : dropped) {
        if (e.slot)
            e.slot->queued = false;
        if (e.dropped)
            e.dropped();
    }
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

void ServoBus::LeaveInline()
{
    ReportGone();
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
