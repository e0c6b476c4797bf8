#pragma once
// A byte channel that records what the protocol sends and replays scripted replies.
// Bytes in `pending` have arrived before the exchange (a FlushInput drops them); bytes queued
// with Reply() arrive once the packet's last byte has gone out. Limit() caps what each
// following receive call delivers, as a time-out cutting a reply short would.

#include "protocol/ZNS.h"

#include <deque>
#include <string>
#include <vector>

class ScriptedChannel : public ZNS {
public:
    int SendByte(uint8_t value) override
    {
        events.push_back("send1");
        sent.push_back(value);
        ++sendCalls;
        ArriveReplies();
        return sendResult ? 1 : 0;
    }
    int SendBytes(const uint8_t* buffer, int n) override
    {
        if (buffer == nullptr)
            return 0;
        events.push_back("send" + std::to_string(n));
        sent.insert(sent.end(), buffer, buffer + n);
        ++sendCalls;
        return n;
    }
    int ReceiveBytes(uint8_t* buffer, int n) override
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
    int FlushInput() override
    {
        events.push_back("flush");
        pending.clear();
        return 1;
    }

    void Reply(std::vector<uint8_t> bytes) { replies.insert(replies.end(), bytes.begin(), bytes.end()); }
    void Limit(std::vector<int> caps) { limits.assign(caps.begin(), caps.end()); }

    ServoProfile profile;  // how the test's servo codes its words and answers
    std::vector<uint8_t> sent;
    std::vector<std::string> events;
    std::deque<uint8_t> pending;
    std::deque<int> limits;
    int sendCalls = 0;
    bool sendResult = true;

private:
    void ArriveReplies()
    {
        pending.insert(pending.end(), replies.begin(), replies.end());
        replies.clear();
    }
    std::vector<uint8_t> replies;
};
