// The scan's probe: a servo is listed only for a whole reply of the ID probed.
#include "Packets.h"
#include "ScriptedChannel.h"
#include "servo/Scan.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

// The identification bytes of a Kestrel-12.
Bytes Reply(uint8_t id)
{
    return Packet(id, 0, {5, 3, 0, 12, 1, 1, 4, 0, 1});
}

Bytes Joined(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ScanBus, ListsOnlyAWholeReplyOfTheProbedId)
{
    ModelCatalogue catalogue(SERVO_SOURCE_DIR "/data/setup.log");
    struct Case {
        const char* what;
        Bytes reply;
        bool found;
    } cases[] = {
        {"its own reply", Reply(4), true},
        {"another servo's late reply", Reply(3), false},
        {"a late reply, then its own", Joined(Reply(3), Reply(4)), false},
        {"no packet start", [] { Bytes b = Reply(4); b[0] = 0x00; return b; }(), false},
        {"a short reply", [] { Bytes b = Reply(4); b.resize(12); return b; }(), false},
        {"nothing", {}, false},
    };
    for (const auto& c : cases) {
        ScriptedChannel bus;
        bus.pending = {0xFF, 0xFF, 4};  // stale bytes: dropped before the request
        bus.Reply(c.reply);
        std::vector<int> listed;
        Identity found;
        ScanReports reports;
        reports.found = [&](int id, const Identity& identity) {
            listed.push_back(id);
            found = identity;
        };
        ScanBus(bus, catalogue, 4, 4, reports);
        EXPECT_EQ(listed.size(), c.found ? 1u : 0u) << c.what;
        EXPECT_EQ(bus.sent, (Bytes{0xFF, 0xFF, 4, 4, 2, 0, 9, 0xEC})) << c.what;
        if (c.found) {
            EXPECT_EQ(found.key[0], 5) << c.what;
            EXPECT_EQ(found.model, "Kestrel-12") << c.what;
        }
    }
}

}  // namespace
