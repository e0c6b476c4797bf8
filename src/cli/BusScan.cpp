#include "cli/BusScan.h"

#include "cli/AutoTimeout.h"
#include "cli/CtlCommand.h"
#include "support/BaudRates.h"

#include <ostream>

namespace {

constexpr uint8_t kKeySize = 9;

void ScanAtPresentRate(Session& s, const ScanOptions& options, int rate)
{
    for (int id = options.from; id <= options.to; ++id) {
        ModelKey key{};
        if (!ProbeServo(s.servo, static_cast<uint8_t>(id), key))
            continue;
        s.out << id << "\t" << s.catalogue.LookupModelName(key);
        if (options.allRates)
            s.out << "\t" << rate;
        s.out << std::endl;
    }
}

}  // namespace

bool ProbeServo(ZNS& bus, uint8_t id, ModelKey& key)
{
    bus.FlushInput();
    const uint8_t count[1] = {kKeySize};
    if (!bus.SendPacket(id, 0, count, 1, instr::kRead))
        return false;
    // One answer of another ID (late for its own probe) is passed over.
    for (int heads = 0; heads < 2; ++heads) {
        uint8_t head[kReplyHeadSize];
        if (bus.ReceiveBytes(head, kReplyHeadSize) < kReplyHeadSize || head[0] != 0xFF ||
            head[1] != 0xFF)
            return false;
        if (head[2] == id) {
            uint8_t checksum;
            return bus.ReceiveBytes(key.data(), kKeySize) == kKeySize &&
                   bus.ReceiveBytes(&checksum, 1) == 1;
        }
        // LEN counts the error byte (already read with the head), the data and the checksum.
        uint8_t rest[256];
        const int restBytes = head[3] - 1;
        if (restBytes < 0 || bus.ReceiveBytes(rest, restBytes) < restBytes)
            return false;
    }
    return false;
}

int RunScan(Session& s, const ScanOptions& options)
{
    if (!options.allRates) {
        ScanAtPresentRate(s, options, s.comm.baudRate);
        return kCtlDone;
    }
    const int latency = AdapterLatencyMs(s.comm.latencyMs, s.comm.usbDevice);
    for (const int rate : kBaudRates) {
        if (options.autoTimeout)
            s.comm.timeoutMs = AutoTimeoutMs(kIdentifyExchange, rate, latency);
        s.comm.SetBaudRate(rate);  // puts timeoutMs in force
        ScanAtPresentRate(s, options, rate);
    }
    return kCtlDone;
}
