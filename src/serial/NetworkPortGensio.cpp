// The network port through gensio: its tcp layer, with its telnet layer speaking the COM
// port option of RFC 2217 on top for rfc2217:// ports. gensio runs its events in whichever
// thread waits on it; the bus runs one exchange at a time, so one thread at a time does.
#include "serial/NetworkPort.h"

#include <gensio/gensio.h>
#include <gensio/gensio_os_funcs.h>
#include <gensio/gensio_os_funcs_public.h>
#include <gensio/sergensio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono_literals::operator""ms;

// A busy server is asked again after these gaps, doubling from the first to the last.
constexpr auto kFirstRetry = 100ms;
constexpr auto kLastRetry = 400ms;
// How long a new raw connection is watched for a busy server's words and close, at least.
constexpr auto kRawSettle = 20ms;
// How often a server is asked whether it has agreed to the COM port option yet.
constexpr auto kAgreementPoll = 1ms;
constexpr size_t kBusyTextMax = 120;

gensio_time TimeLeft(Clock::time_point deadline)
{
    const auto left = std::max(Clock::duration::zero(), deadline - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return gensio_time{ns / 1000000000, static_cast<int32_t>(ns % 1000000000)};
}

Clock::time_point DeadlineAfter(int ms)
{
    return Clock::now() + std::chrono::milliseconds(ms > 0 ? ms : Port::kUnboundedTimeoutCapMs);
}

// The process's gensio functions, made once. A connection that resets would raise SIGPIPE on
// the next write and end the program; the write's error says it instead.
gensio_os_funcs* OsFuncs()
{
    static gensio_os_funcs* const funcs = [] {
        struct sigaction old {};
        if (::sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL)
            std::signal(SIGPIPE, SIG_IGN);
        gensio_os_funcs* o = nullptr;
        return gensio_default_os_hnd(0, &o) == 0 ? o : nullptr;
    }();
    return funcs;
}

OpenError OpenErrorOfGensio(int err)
{
    switch (err) {
    case GE_CONNREFUSE:
        return OpenError::Refused;
    case GE_NOTFOUND:
    case GE_UNKNOWN_NAME_ERROR:
    case GE_NAME_ERROR:
    case GE_NAME_SERVER_FAILURE:
    case GE_NAME_INVALID:
    case GE_NAME_NET_NOT_UP:
    case GE_HOSTDOWN:
        return OpenError::HostNotFound;
    case GE_TIMEDOUT:
        return OpenError::ConnectTimeout;
    case GE_CERTINVALID:
    case GE_CERTNOTFOUND:
    case GE_CERTREVOKED:
    case GE_CERTEXPIRED:
    case GE_NOCERT:
    case GE_KEYINVALID:
        return OpenError::CertificateRefused;
    default:
        return OpenError::Other;
    }
}

class NetworkPort final : public Port {
public:
    NetworkPort() : o(OsFuncs()), waiter(o ? o->alloc_waiter(o) : nullptr) {}
    ~NetworkPort() override
    {
        Close();
        if (waiter)
            o->free_waiter(waiter);
    }

    int Open(const std::string& name) override
    {
        Close();
        gone = false;
        rateRefused = false;
        failure = {};
        NetworkAddress address;
        if (!ParseNetworkPortName(name, address))
            return Failed(OpenError::Other, "not a network port: expected rfc2217://HOST:PORT, "
                                            "rfc2217s://HOST:PORT or tcp://HOST:PORT");
        if (!waiter)
            return Failed(OpenError::Other, "the network library could not start");
        rfc2217 = address.rfc2217;
        rateGiven = false;
        lineSet = false;
        std::string tls;
        if (address.tls) {
            const char* ca = std::getenv("SERVO_TLS_CA");
            if (ca && std::string_view(ca).find_first_of(",()") != std::string_view::npos)
                return Failed(OpenError::Other, "SERVO_TLS_CA names a path with a comma or a "
                                                "parenthesis, which the network library can't take");
            tls = ca && *ca ? "ssl(CA=" + std::string(ca) + ")," : "ssl,";
        }
        // Small packets go out at once: with Nagle's rule a request would wait for the
        // acknowledgement of the one before (tens of milliseconds with delayed ACKs).
        const std::string spec = tls + "tcp(nodelay)," + address.host + "," + address.port;
        // A server still holding its device for another connection (or for the one that
        // just closed) says so in a line of text and closes the new one: it is asked again,
        // less and less often, until the connect time-out.
        const auto deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
        auto gap = kFirstRetry;
        for (bool wasBusy = false;; wasBusy = true) {
            const Attempt attempt = Connect(spec, deadline);
            // A busy server that then runs out the time is still the busy server.
            const bool late = failure.reason == OpenError::ConnectTimeout
                              || failure.reason == OpenError::NoRfc2217;
            if (attempt == Attempt::Failed && !(wasBusy && late))
                return 0;
            if (attempt == Attempt::Ready)
                break;
            if (attempt == Attempt::Failed || Clock::now() + gap >= deadline) {
                Failed(OpenError::ServerBusy, busyText);
                return 0;
            }
            std::this_thread::sleep_for(gap);
            gap = std::min(gap * 2, kLastRetry);
        }
        open = true;
        return 1;
    }

    int Close() override
    {
        open = false;
        if (!io)
            return 0;
        Abandon();
        return 1;
    }

    int SetBaudRate(int rate) override
    {
        if (!IsOpen())
            return rate;
        const int before = baudRate;
        OverrideTimeout(timeoutMs);
        if (!sio) {
            // The server's own setting, which the client can neither read nor change: the
            // rate the port is opened at is taken as the server's, any other one refused.
            if (!rateGiven) {
                baudRate = rate;
                rateGiven = true;
            }
            rateRefused = rate != baudRate;
            DropReceived();
            return before;
        }
        // The rest of the bus's line first (8 data bits, no parity, 1 stop bit, once per
        // connection) and both queues purged; the server handles its requests in order, so
        // its answer to the rate, waited for last, says all of them are in force before the
        // next packet reaches the device. The modem lines are left to the server's set-up:
        // a server that ignores them (ser2net's "local" devices) never answers them, and
        // the answers to later requests would wait behind them.
        if (!lineSet) {
            sergensio_datasize(sio, 8, nullptr, nullptr);
            sergensio_parity(sio, SERGENSIO_PARITY_NONE, nullptr, nullptr);
            sergensio_stopbits(sio, 1, nullptr, nullptr);
            lineSet = true;
        }
        sergensio_flush(sio, SERGENSIO_FLUSH_RCV_XMIT_BUFFERS);
        unsigned int running = 0;
        const bool answered = AskRate(static_cast<unsigned int>(rate), running);
        if (answered)
            baudRate = static_cast<int>(running);
        rateRefused = !answered || !RateMatches(baudRate, rate);
        DropReceived();
        return before;
    }

    int OverrideTimeout(int ms) override
    {
        readTimeoutMs = ms;
        writeTimeoutMs = ms;
        return IsOpen() ? 1 : 0;
    }

    int Write(const uint8_t* buffer, int n) override
    {
        if (!IsOpen() || buffer == nullptr || n <= 0)
            return 0;
        const auto deadline = DeadlineAfter(writeTimeoutMs);
        int sent = 0;
        while (sent < n && IsOpen()) {
            gensiods count = 0;
            const int err = gensio_write(io, &count, buffer + sent,
                                         static_cast<gensiods>(n - sent), nullptr);
            if (err) {
                ConnectionLost();
                break;
            }
            sent += static_cast<int>(count);
            if (sent == n || Clock::now() >= deadline)
                break;
            // The connection's queue is full: wait until it takes more.
            writable = false;
            gensio_set_write_callback_enable(io, true);
            while (!writable && IsOpen() && Clock::now() < deadline)
                WaitUntil(deadline);
            if (io)
                gensio_set_write_callback_enable(io, false);
        }
        return sent;
    }

    int Read(uint8_t* buffer, int n) override
    {
        if (!IsOpen() || buffer == nullptr || n <= 0)
            return 0;
        const auto deadline = DeadlineAfter(readTimeoutMs);
        int got = Take(buffer, n);
        while (got < n && !lost && Clock::now() < deadline) {
            WaitUntil(deadline);
            got += Take(buffer + got, n - got);
        }
        if (lost && got < n)
            ConnectionLost();
        return got;
    }

    int PurgeInput() override
    {
        if (!IsOpen())
            return 0;
        // What already came over the connection is dropped here. The server's own queue is
        // purged with every rate change; asking it before every request would cost most of
        // an exchange: its acknowledgement and the reply travel as two small segments, and a
        // server that waits for the first one's ACK before sending the second (Nagle's rule,
        // ser2net's default) holds every reply for a delayed ACK of about 40 ms.
        Poll();
        DropReceived();
        return 1;
    }

    int InputWaiting() override
    {
        if (!IsOpen())
            return 0;
        Poll();
        std::lock_guard lock(receivedMutex);
        return static_cast<int>(received.size());
    }

    bool IsOpen() const override { return open && !gone; }
    bool Gone() const override { return gone; }
    const OpenFailure& LastOpenError() const override { return failure; }
    bool RateRefused() const override { return rateRefused; }
    RateControl Rates() const override { return rfc2217 ? RateControl::Server : RateControl::Fixed; }
    PortTiming Timing() const override { return {-1, false, roundTripUs}; }
    int BaudRate() const override { return baudRate; }
    int TimeoutMs() const override { return timeoutMs; }
    void SetTimeoutMs(int ms) override
    {
        timeoutMs = ms;
        OverrideTimeout(ms);
    }

private:
    static int Event(gensio*, void* data, int event, int err, unsigned char* buf,
                     gensiods* buflen, const char* const*)
    {
        auto* self = static_cast<NetworkPort*>(data);
        switch (event) {
        case GENSIO_EVENT_READ:
            if (err) {
                self->lost = true;  // closed or reset by the far end
            } else if (buf && buflen) {
                std::lock_guard lock(self->receivedMutex);
                self->received.insert(self->received.end(), buf, buf + *buflen);
            }
            self->o->wake(self->waiter);
            return 0;
        case GENSIO_EVENT_WRITE_READY:
            self->writable = true;
            self->o->wake(self->waiter);
            return 0;
        default:
            return GE_NOTSUP;
        }
    }

    static void Opened(gensio*, int err, void* data)
    {
        auto* self = static_cast<NetworkPort*>(data);
        self->openResult = err;
        self->opening = false;
        self->o->wake(self->waiter);
    }

    static void Closed(gensio*, void* data)
    {
        auto* self = static_cast<NetworkPort*>(data);
        self->closing = false;
        self->o->wake(self->waiter);
    }

    static void RateDone(sergensio*, int err, unsigned int value, void* data)
    {
        auto* self = static_cast<NetworkPort*>(data);
        self->rateAnswer = err ? 0 : value;
        self->rateError = err;
        self->askingRate = false;
        self->o->wake(self->waiter);
    }

    enum class Attempt { Ready, Busy, Failed };

    // One connection to the server, up to the point where the first request may go: on
    // rfc2217:// once the server has agreed to the COM port option and told its rate; on
    // tcp:// once the connection stayed quiet a moment. Busy: the server closed it at once
    // or sent a line of text first (busyText holds what it said).
    Attempt Connect(const std::string& spec, Clock::time_point deadline)
    {
        gensio* made = nullptr;
        if (const int err = str_to_gensio(spec.c_str(), o, &NetworkPort::Event, this, &made))
            return Fail(err);
        io = made;
        const auto started = Clock::now();
        if (const int err = OpenLayer(false, deadline)) {
            Abandon();
            return Fail(err);
        }
        const auto setUp = Clock::now() - started;
        // The telnet layer goes on top once the connection is made, so that a server that
        // does not speak telnet is told apart from one that can't be reached: gensio's
        // telnet layer opens only when the server has spoken.
        if (rfc2217) {
            gensio* telnet = nullptr;
            if (const int err = str_to_gensio_child(io, "telnet(rfc2217)", o, &NetworkPort::Event,
                                                    this, &telnet)) {
                Abandon();
                return Fail(err);
            }
            io = telnet;
            if (const int err = OpenLayer(true, deadline)) {
                if (err == GE_REMCLOSE || err == GE_IOERR)
                    return Busy();  // closed at once
                Abandon();
                if (err != GE_TIMEDOUT)
                    return Fail(err);
                Failed(OpenError::NoRfc2217, {});
                return Attempt::Failed;
            }
        }
        roundTripUs = static_cast<int>(
            std::chrono::duration_cast<std::chrono::microseconds>(setUp).count());
        sio = rfc2217 ? gensio_to_sergensio(io) : nullptr;
        gensio_set_read_callback_enable(io, true);
        if (sio) {
            // The server's answer to a question about the rate is one round trip through
            // the server itself: the time the bus's exchanges lose to the network. The
            // shortest of three: a server that holds a small answer back until its last
            // segment is acknowledged (Nagle's rule) makes the first one tens of ms longer.
            if (!AwaitAgreement(deadline)) {
                if (lost || ReceivedTextLine())
                    return Busy();
                Abandon();
                Failed(OpenError::NoRfc2217, {});
                return Attempt::Failed;
            }
            for (int i = 0; i < 2 && !lost; ++i) {
                const auto asked = Clock::now();
                unsigned int rate = 0;
                if (!AskRate(0, rate))
                    break;
                baudRate = static_cast<int>(rate);
                const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked);
                roundTripUs = std::min<int>(roundTripUs, static_cast<int>(us.count()));
            }
        } else {
            // Nothing comes back in band on a raw connection: a busy server's words and its
            // close come right after the connection is made, so it is given that moment.
            const auto quiet = std::min<Clock::time_point>(
                deadline, Clock::now() + std::max<Clock::duration>(kRawSettle, setUp * 4));
            while (!lost && Clock::now() < quiet)
                WaitUntil(quiet);
        }
        Poll();
        if (lost || ReceivedTextLine())
            return Busy();
        // Anything else that came before the first request waits for the opener to record
        // it as stray; the first exchange's purge drops it otherwise.
        return Attempt::Ready;
    }

    // Opens the connection (or only its top layer) within the deadline: 0 or gensio's error.
    int OpenLayer(bool topOnly, Clock::time_point deadline)
    {
        opening = true;
        openResult = 0;
        const int err = topOnly ? gensio_open_nochild(io, &NetworkPort::Opened, this)
                                : gensio_open(io, &NetworkPort::Opened, this);
        if (err) {
            opening = false;
            return err;
        }
        while (opening && Clock::now() < deadline)
            WaitUntil(deadline);
        return opening ? GE_TIMEDOUT : openResult;
    }

    // Waits until the server has agreed to the COM port option, and asks it the rate. gensio
    // refuses requests until the server's DO COM-PORT-OPTION came, and tells no one when it
    // comes: a server that agrees only after the client's WILL is asked again a moment later.
    bool AwaitAgreement(Clock::time_point deadline)
    {
        for (;;) {
            // A busy server's words and close may have come with its greeting: it is asked
            // nothing (gensio would keep an unanswered request's record past the close).
            Poll();
            if (lost || ReceivedTextLine())
                return false;
            const auto asked = Clock::now();
            askingRate = true;
            const int err = sergensio_baud(sio, 0, &NetworkPort::RateDone, this);
            if (err == 0) {
                while (askingRate && !lost && Clock::now() < deadline)
                    WaitUntil(deadline);
                if (askingRate || rateError != 0 || rateAnswer == 0)
                    return false;
                baudRate = static_cast<int>(rateAnswer);
                roundTripUs = static_cast<int>(
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - asked).count());
                return true;
            }
            askingRate = false;
            if (err != GE_NOTSUP || lost || Clock::now() >= deadline)
                return false;
            WaitUntil(std::min(deadline, Clock::now() + kAgreementPoll));
        }
    }

    Attempt Fail(int gensioError)
    {
        Failed(OpenErrorOfGensio(gensioError), gensio_err_to_str(gensioError));
        return Attempt::Failed;
    }

    // Keeps what the busy server said (its printable characters) and lets the connection go.
    Attempt Busy()
    {
        busyText.clear();
        {
            std::lock_guard lock(receivedMutex);
            for (const uint8_t c : received)
                if (c >= 0x20 && c < 0x7F && busyText.size() < kBusyTextMax)
                    busyText += static_cast<char>(c);
                else if (!busyText.empty() && busyText.back() != ' ')
                    busyText += ' ';
        }
        while (!busyText.empty() && busyText.back() == ' ')
            busyText.pop_back();
        Abandon();
        return Attempt::Busy;
    }

    // Whether what came so far is a line of text: a server's words, not a servo's bytes
    // (whose packets start with FF FF).
    bool ReceivedTextLine()
    {
        std::lock_guard lock(receivedMutex);
        bool ended = false;
        for (const uint8_t c : received) {
            if (c == '\r' || c == '\n')
                ended = true;
            else if ((c < 0x20 && c != '\t') || c >= 0x7F)
                return false;
        }
        return ended;
    }

    // Sets (or with 0 only asks) the device's rate through the server; false when the
    // server did not answer within a second (or the port's time-out, if longer).
    bool AskRate(unsigned int rate, unsigned int& running)
    {
        askingRate = true;
        if (sergensio_baud(sio, rate, &NetworkPort::RateDone, this) != 0) {
            askingRate = false;
            return false;
        }
        const auto deadline = DeadlineAfter(std::max(1000, static_cast<int>(timeoutMs)));
        while (askingRate && !lost && Clock::now() < deadline)
            WaitUntil(deadline);
        if (askingRate) {
            // An answer that comes later must find nobody to tell: the callback is only
            // ever run from a wait on this port, and the port is closed before it waits
            // again when the connection broke. A slow server keeps the flag for the next ask.
            return false;
        }
        running = rateAnswer;
        return rateError == 0 && rateAnswer != 0;
    }

    // Runs the connection's events until the waiter is woken or the deadline passes.
    void WaitUntil(Clock::time_point deadline)
    {
        gensio_time left = TimeLeft(deadline);
        o->wait(waiter, 1, &left);
    }

    // Handles what has already arrived, without waiting.
    void Poll()
    {
        gensio_time none{0, 0};
        o->wait(waiter, 1, &none);
    }

    int Take(uint8_t* buffer, int n)
    {
        std::lock_guard lock(receivedMutex);
        const size_t take = std::min(static_cast<size_t>(n), received.size());
        std::copy_n(received.begin(), take, buffer);
        received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(take));
        return static_cast<int>(take);
    }

    void DropReceived()
    {
        std::lock_guard lock(receivedMutex);
        received.clear();
    }

    int Failed(OpenError reason, const std::string& text)
    {
        failure = {reason, text};
        return 0;
    }

    // The connection went: the port closes itself and says it is gone.
    void ConnectionLost()
    {
        gone = true;
        Abandon();
    }

    // Closes the connection (waiting a moment for it to end cleanly) and frees it.
    void Abandon()
    {
        open = false;
        if (!io)
            return;
        closing = true;
        if (gensio_close(io, &NetworkPort::Closed, this) == 0) {
            const auto deadline = DeadlineAfter(1000);
            while (closing && Clock::now() < deadline)
                WaitUntil(deadline);
        }
        Free();
    }

    void Free()
    {
        if (io)
            gensio_free(io);
        io = nullptr;
        sio = nullptr;
        lost = false;
        opening = closing = askingRate = false;
        DropReceived();
    }

    gensio_os_funcs* const o;
    gensio_waiter* const waiter;
    gensio* io = nullptr;
    sergensio* sio = nullptr;
    std::atomic<bool> rfc2217{false};
    // Set by gensio's callbacks, which run in the thread waiting in this port.
    bool opening = false;
    bool closing = false;
    bool askingRate = false;
    bool writable = false;
    bool lost = false;
    bool rateGiven = false;  // a raw port's rate was given at its opening
    bool lineSet = false;    // the data bits, parity and stop bits went to the server
    int openResult = 0;
    int rateError = 0;
    unsigned int rateAnswer = 0;
    // Read from other threads (the window asks whether the port is open).
    std::atomic<bool> open{false};
    std::atomic<bool> gone{false};
    std::atomic<bool> rateRefused{false};
    std::atomic<int> roundTripUs{0};
    std::atomic<int> baudRate{kDefaultRate};
    std::atomic<int> timeoutMs{100};
    std::atomic<int> readTimeoutMs{100};
    std::atomic<int> writeTimeoutMs{100};
    OpenFailure failure;
    std::string busyText;  // what a busy server said on the last connection
    std::mutex receivedMutex;
    std::deque<uint8_t> received;
};

}  // namespace

std::unique_ptr<Port> MakeNetworkPort()
{
    return std::make_unique<NetworkPort>();
}
