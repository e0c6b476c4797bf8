// One memory read of 13 bytes after another through ZNS and CZNComm on a named port (a
// servo-sim device, or a COM port mapped onto it under wine) at 115200 baud, each exchange
// timed on its own. An exchange that does not come to a well-formed answer counts as failed
// and fails the run.
// Plain timing rather than Google Benchmark so the Windows build has it too; prints the
// median and the 10th and 90th percentiles in microseconds.
//   bench_bus_roundtrip PORT [EXCHANGES] [ID]
#include "protocol/ZNS.h"
#include "serial/CZNComm.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_bus_roundtrip PORT [EXCHANGES] [ID]\n");
        return 2;
    }
    const int exchanges = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    const auto id = static_cast<uint8_t>(argc > 3 ? std::atoi(argv[3]) : 1);
    CZNComm comm;
    if (!comm.Open(argv[1])) {
        std::fprintf(stderr, "bench_bus_roundtrip: cannot open %s\n", argv[1]);
        return 1;
    }
    comm.SetBaudRate(115200);  // the virtual bus's servos answer at their own rate
    ZNS servo(comm);
    uint8_t data[13];
    for (int i = 0; i < 100; ++i)
        (void)servo.ReadMemory(id, 56, data, sizeof data);

    std::vector<double> us;
    us.reserve(static_cast<size_t>(exchanges));
    int failed = 0;
    for (int i = 0; i < exchanges; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const Reply reply = servo.ReadMemory(id, 56, data, sizeof data);
        const auto end = std::chrono::steady_clock::now();
        if (!reply.ok()) {
            if (failed == 0)
                std::fprintf(stderr, "bench_bus_roundtrip: %s\n",
                             ReplyText(reply, comm.TimeoutMs()).c_str());
            ++failed;
        }
        us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[static_cast<size_t>(q * static_cast<double>(us.size() - 1))]; };
    std::printf("median_us %.1f p10_us %.1f p90_us %.1f exchanges %d failed %d\n", at(0.5),
                at(0.1), at(0.9), exchanges, failed);
    return failed == 0 ? 0 : 1;
}
