#include "bus/BusShare.h"

#include "protocol/ZNS.h"
#include "share/ShareLink.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr int kHelloWaitMs = 1000;
// How often a client's thread looks up from its connection while nothing comes.
constexpr int kIdleLookMs = 1000;

}  // namespace

namespace share {

// One attached program: its connection and the thread that reads it.
struct Attached {
    std::unique_ptr<share::Stream> stream;
    share::FrameLink link;
    ShareClient who;
    std::thread thread;
    std::atomic<bool> finished{false};

    explicit Attached(std::unique_ptr<share::Stream> s) : stream(std::move(s)), link(*stream) {}
    std::string Name() const
    {
        // With the pid: two clients of one program (a monitor and a save) stay apart.
        const std::string pid = "pid " + std::to_string(who.pid);
        return who.program.empty() ? pid : who.program + " (" + pid + ")";
    }
};

}  // namespace share

using share::Attached;

struct BusShare::State : std::enable_shared_from_this<BusShare::State> {
    ServoBus& bus;
    const std::string portName;
    const std::string owner;
    const Listener listener;
    std::unique_ptr<share::Listener> endpoint;
    std::string problem;
    std::thread acceptor;
    std::atomic<bool> stop{false};
    std::atomic<int> count{0};

    mutable std::mutex clientsMutex;
    std::vector<std::shared_ptr<Attached>> clients;

    // The turn: one client's job at a time is given to the bus, in the order they asked.
    std::mutex turnMutex;
    std::condition_variable turnChanged;
    std::deque<const Attached*> waiting;
    bool busy = false;

    std::mutex eventMutex;

    State(ServoBus& b, std::string p, std::string o, Listener l)
        : bus(b), portName(std::move(p)), owner(std::move(o)), listener(std::move(l)) {}

    void Accept();
    void Serve(const std::shared_ptr<Attached>& c);
    // Runs `job` on the bus in `c`'s turn; false when it never ran (the share or the bus
    // ending).
    bool InTurn(const Attached& c, const ServoBus::Job& job);
    share::ExchangeResult Execute(BusAccess& access, const Attached& c,
                                  const share::ExchangeRequest& request);
    // The exchanges of an uninterrupted sequence, on the bus, until its end, the client's
    // silence or its going.
    void Sequence(BusAccess& access, Attached& c);
    void Tell(bool joined, const Attached& c);
    void Refuse(Attached& c, const std::string& why);
};

BusShare::BusShare(ServoBus& bus, std::string portName, std::string ownerProgram, Listener l)
    : state(std::make_shared<State>(bus, std::move(portName), std::move(ownerProgram), std::move(l)))
{
    if (!bus.Facts().Open()) {
        state->problem = "the port is not open";
        return;
    }
    if (bus.Facts().SharedBy()) {
        state->problem = "the port is another program's bus";
        return;
    }
    share::Endpoint e = share::Listen(state->portName);
    state->problem = e.problem;
    state->endpoint = std::move(e.listener);
    if (state->endpoint)
        state->acceptor = std::thread([s = state] { s->Accept(); });
}

BusShare::~BusShare()
{
    State& s = *state;
    s.stop = true;
    if (s.endpoint)
        s.endpoint->Wake();
    {
        std::lock_guard lock(s.clientsMutex);
        for (auto& c : s.clients)
            c->stream->Shutdown();
    }
    {
        std::lock_guard lock(s.turnMutex);
        s.turnChanged.notify_all();
    }
    if (s.acceptor.joinable())
        s.acceptor.join();
    std::vector<std::shared_ptr<Attached>> left;
    {
        std::lock_guard lock(s.clientsMutex);
        left = s.clients;
    }
    for (auto& c : left)
        if (c->thread.joinable())
            c->thread.join();
}

bool BusShare::Serving() const
{
    return state->endpoint != nullptr;
}

std::string BusShare::Problem() const
{
    return state->problem;
}

int BusShare::Clients() const
{
    return state->count.load();
}

std::vector<ShareClient> BusShare::ClientList() const
{
    std::vector<ShareClient> list;
    std::lock_guard lock(state->clientsMutex);
    for (const auto& c : state->clients)
        if (!c->finished && !c->who.program.empty())
            list.push_back(c->who);
    return list;
}

void BusShare::State::Accept()
{
    while (!stop) {
        auto stream = endpoint->Accept();
        if (!stream)
            return;
        std::lock_guard lock(clientsMutex);
        // Clients that went are joined here, so threads don't pile up.
        std::erase_if(clients, [](const std::shared_ptr<Attached>& c) {
            if (!c->finished)
                return false;
            c->thread.join();
            return true;
        });
        auto c = std::make_shared<Attached>(std::move(stream));
        if (static_cast<int>(clients.size()) >= kMaxClients || stop) {
            bus.Traffic().Note("", "a program more than " + std::to_string(kMaxClients) +
                                       " was refused");
            continue;
        }
        clients.push_back(c);
        c->thread = std::thread([self = shared_from_this(), c] { self->Serve(c); });
    }
}

void BusShare::State::Tell(bool joined, const Attached& c)
{
    const int now = joined ? ++count : --count;
    std::lock_guard lock(eventMutex);
    if (listener)
        listener(ShareEvent{joined, c.who, now});
}

void BusShare::State::Refuse(Attached& c, const std::string& why)
{
    std::vector<uint8_t> head = c.link.Decoder().Pending();
    head.resize(std::min<size_t>(head.size(), 16));
    bus.Traffic().Note(c.Name(), why + ": connection ended", head);
    c.stream->Shutdown();
}

void BusShare::State::Serve(const std::shared_ptr<Attached>& c)
{
    share::Frame f;
    const auto got = c->link.Read(f, kHelloWaitMs);
    std::optional<share::Hello> hello;
    if (got == share::FrameLink::Got::Frame)
        hello = share::DecodeHello(f);
    if (!hello || hello->program.empty()) {
        if (got == share::FrameLink::Got::Bad)
            Refuse(*c, share::FrameErrorText(c->link.Decoder().Error()));
        else if (got == share::FrameLink::Got::Frame)
            Refuse(*c, "no greeting");
        c->finished = true;
        return;
    }
    {
        std::lock_guard lock(clientsMutex);
        c->who = {hello->program, hello->pid};
    }
    if (!c->link.Send(share::Encode(share::Welcome{share::ProcessId(), bus.Facts().Rate(), owner}))) {
        c->finished = true;
        return;
    }
    Tell(true, *c);
    while (!stop) {
        const auto g = c->link.Read(f, kIdleLookMs);
        if (g == share::FrameLink::Got::Silent)
            continue;
        if (g == share::FrameLink::Got::Ended)
            break;
        if (g == share::FrameLink::Got::Bad) {
            Refuse(*c, share::FrameErrorText(c->link.Decoder().Error()));
            break;
        }
        if (f.type == share::FrameType::Exchange) {
            const auto request = share::DecodeExchange(f);
            if (!request) {
                Refuse(*c, "a malformed exchange");
                break;
            }
            auto result = std::make_shared<share::ExchangeResult>();
            result->outcome = Outcome::PortGone;
            const Attached* self = c.get();
            InTurn(*c, [this, self, request, result](BusAccess& access) {
                *result = Execute(access, *self, *request);
            });
            if (!c->link.Send(share::Encode(*result)))
                break;
        } else if (f.type == share::FrameType::Hold) {
            InTurn(*c, [this, c](BusAccess& access) { Sequence(access, *c); });
        } else if (f.type != share::FrameType::Release) {
            Refuse(*c, "a frame a client does not send");
            break;
        }
    }
    c->stream->Shutdown();
    Tell(false, *c);
    c->finished = true;
}

bool BusShare::State::InTurn(const Attached& c, const ServoBus::Job& job)
{
    {
        std::unique_lock lock(turnMutex);
        waiting.push_back(&c);
        turnChanged.wait(lock, [&] { return stop || (!busy && waiting.front() == &c); });
        std::erase(waiting, &c);
        if (stop) {
            turnChanged.notify_all();
            return false;
        }
        busy = true;
    }
    bool ran = bus.RunHereIfIdle(JobKind::Command, job);
    if (!ran) {
        // The bus is busy: the job waits in its queue, behind at most the owner's own work.
        auto done = std::make_shared<std::atomic<int>>(0);  // 1 ran, 2 dropped
        auto self = shared_from_this();
        const bool queued = bus.Post(
            JobKind::Command,
            [self, job, done](BusAccess& access) {
                if (!self->stop)
                    job(access);
                std::lock_guard lock(self->turnMutex);
                *done = 1;
                self->turnChanged.notify_all();
            },
            [self, done] {
                std::lock_guard lock(self->turnMutex);
                *done = 2;
                self->turnChanged.notify_all();
            });
        std::unique_lock lock(turnMutex);
        if (queued)
            turnChanged.wait(lock, [&] { return stop || *done != 0; });
        ran = *done == 1;
    }
    std::lock_guard lock(turnMutex);
    busy = false;
    turnChanged.notify_all();
    return ran;
}

share::ExchangeResult BusShare::State::Execute(BusAccess& access, const Attached& c,
                                               const share::ExchangeRequest& request)
{
    share::ExchangeResult result;
    if (request.packet[4] == instr::kUpgrade) {
        // The firmware loader is the owner's to enter: the packet is not sent.
        result.outcome = Outcome::WriteFailed;
    } else {
        bus.Traffic().SetSource(c.Name());
        Reply r;
        {
            const ZNS::ReplyTimeout wait(access.protocol,
                                         std::min(request.timeoutMs, kLongestClientWaitMs));
            r = access.protocol.Relay(request.packet.data(), static_cast<int>(request.packet.size()),
                                      request.replySize, result.reply);
        }
        bus.Traffic().SetSource({});
        result.outcome = r.outcome;
        result.damage = r.damage;
    }
    result.rate = access.Facts().Rate();
    return result;
}

void BusShare::State::Sequence(BusAccess& access, Attached& c)
{
    share::Frame f;
    // The owner closing its port ends the sequence too.
    while (!stop && !access.Stopping()) {
        const auto g = c.link.Read(f, static_cast<int>(kSilenceLimit.count()));
        if (g == share::FrameLink::Got::Silent) {
            bus.Traffic().Note(c.Name(), "silent for a second in an uninterrupted sequence: the bus is free again");
            return;
        }
        if (g == share::FrameLink::Got::Ended) {
            c.stream->Shutdown();
            return;
        }
        if (g == share::FrameLink::Got::Bad) {
            Refuse(c, share::FrameErrorText(c.link.Decoder().Error()));
            return;
        }
        if (f.type == share::FrameType::Release)
            return;
        if (f.type != share::FrameType::Exchange)
            continue;  // a Hold inside the sequence changes nothing
        const auto request = share::DecodeExchange(f);
        if (!request) {
            Refuse(c, "a malformed exchange");
            return;
        }
        if (!c.link.Send(share::Encode(Execute(access, c, *request)))) {
            c.stream->Shutdown();
            return;
        }
    }
}
