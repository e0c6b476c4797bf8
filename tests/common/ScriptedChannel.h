#pragma once
// A port that records what the protocol sends and replays scripted replies, with the real
// protocol over it: the tests call the protocol's operations on the channel itself.
// Bytes in `pending` have arrived before the exchange (a purge drops them); bytes queued
// with Reply() arrive once a write has gone out. Limit() caps what each following read
// delivers, as a time-out cutting a reply short would. Events name each call the port
// gets: "sendN" (a write of N bytes), "recvN" (a read of N), "flush" (a purge).

#include "protocol/ZNS.h"

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

class ScriptedPort : public Port {
public:
    int Open(const std::string&) override { return 1; }
    int Close() override { return 1; }
    int SetBaudRate(int rate) override { return rate; }
    void SetTimeoutMs(int ms) override { timeoutMs = inForceMs = ms; }
    int OverrideTimeout(int ms) override
    {
        inForceMs = ms;
        return 1;
    }
    int Write(const uint8_t* buffer, int n) override
    {
        if (buffer == nullptr || n <= 0)
            return 0;
        events.push_back("send" + std::to_string(n));
        sent.insert(sent.end(), buffer, buffer + n);
        ++sendCalls;
        ArriveReplies();
        return sendResult ? n : 0;
    }
    int Read(uint8_t* buffer, int n) override
    {
        events.push_back("recv" + std::to_string(n));
        int cap = n;
        if (!limits.empty()) {
            cap = std::min(cap, limits.front());
            limits.pop_front();
        }
        int got = 0;
        while (got < cap && !pending.empty()) {
            buffer[got++] = pending.front();
            pending.pop_front();
        }
        return got;
    }
    int PurgeInput() override
    {
        events.push_back("flush");
        pending.clear();
        return 1;
    }
    int InputWaiting() override { return static_cast<int>(pending.size()); }
    bool IsOpen() const override { return true; }
    bool Gone() const override { return false; }
    const OpenFailure& LastOpenError() const override { return failure; }
    bool RateRefused() const override { return false; }
    RateControl Rates() const override { return RateControl::Device; }
    PortTiming Timing() const override { return {}; }
    int BaudRate() const override { return kDefaultRate; }
    int TimeoutMs() const override { return timeoutMs; }

    void Reply(std::vector<uint8_t> bytes) { replies.insert(replies.end(), bytes.begin(), bytes.end()); }
    void Limit(std::vector<int> caps) { limits.assign(caps.begin(), caps.end()); }

    std::vector<uint8_t> sent;
    std::vector<std::string> events;
    std::deque<uint8_t> pending;
    std::deque<int> limits;
    int sendCalls = 0;
    bool sendResult = true;
    int inForceMs = 100;  // the time-out the next read would wait

private:
    void ArriveReplies()
    {
        pending.insert(pending.end(), replies.begin(), replies.end());
        replies.clear();
    }
    std::vector<uint8_t> replies;
    OpenFailure failure;
    int timeoutMs = 100;
};

// The scripted port and the real protocol over it.
class ScriptedChannel : public ScriptedPort, public ZNS {
public:
    ScriptedChannel() : ZNS(static_cast<Port&>(*this)) {}
    using ScriptedPort::Reply;

    ServoProfile profile;  // how the test's servo codes its words and answers
};
