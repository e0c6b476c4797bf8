// Threads that use the port and the protocol object without the bus lock may garble the
// bytes of an exchange, but never the memory of the port's or the protocol's buffers. Run
// under ThreadSanitizer this shows any unguarded access; in a plain build an unguarded purge
// between a read's two steps makes the read copy past its buffer.
#include "PtyPair.h"
#include "protocol/ZNS.h"
#include "serial/CZNComm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(UnlockedUse, ReadsBesidePurgesAndRateChangesStayInTheirBuffers)
{
    PtyPair pty;
    CZNComm comm;
    ASSERT_EQ(comm.Open(pty.path), 1);
    comm.SetTimeoutMs(2);
    comm.SetBaudRate(115200);
    std::atomic<bool> done{false};

    // The far end keeps the line busy, so reads find bytes to buffer.
    std::thread feeder([&] {
        const std::vector<uint8_t> reply(200, 0x5A);
        while (!done) {
            pty.Send(reply);
            std::this_thread::sleep_for(200us);
        }
    });
    std::thread reader([&] {
        uint8_t buffer[13];
        while (!done) {
            const int got = comm.Read(buffer, sizeof buffer);
            ASSERT_GE(got, 0);
            ASSERT_LE(got, 13);
        }
    });
    std::thread meddler([&] {
        for (int i = 0; i < 400; ++i) {
            if (i % 2)
                comm.PurgeInput();
            else
                comm.SetBaudRate(i % 4 ? 115200 : 1000000);
            std::this_thread::sleep_for(100us);
        }
    });
    meddler.join();
    done = true;
    reader.join();
    feeder.join();
}

TEST(UnlockedUse, TwoSendersKeepTheHeldBytesWhole)
{
    PtyPair pty;
    CZNComm comm;
    ASSERT_EQ(comm.Open(pty.path), 1);
    comm.SetBaudRate(1000000);
    ZNS servo(comm);
    std::atomic<bool> done{false};
    std::thread drain([&] {
        while (!done)
            pty.Receive(4096, 5);
    });
    auto send = [&](uint8_t id) {
        const uint8_t data[4] = {1, 2, 3, 4};
        for (int i = 0; i < 2000; ++i) {
            servo.SendBytes(data, sizeof data);
            if (i % 3 == 0)
                servo.FlushInput();
            servo.SendByte(id);
        }
    };
    std::thread a(send, 1), b(send, 2);
    a.join();
    b.join();
    done = true;
    drain.join();
}

}  // namespace
