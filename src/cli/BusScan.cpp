#include "cli/BusScan.h"

#include "cli/AutoTimeout.h"
#include "cli/CtlCommand.h"
#include "support/BaudRates.h"

#include <algorithm>
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
            // The rest of the reply, checked whole: a damaged one lists no servo.
            if (head[3] != kKeySize + 2)
                return false;
            uint8_t rest[kKeySize + 1];
            if (bus.ReceiveBytes(rest, kKeySize + 1) != kKeySize + 1)
                return false;
            unsigned sum = static_cast<unsigned>(head[2]) + head[3] + head[4];
            for (int i = 0; i < kKeySize; ++i)
                sum += rest[i];
            if (static_cast<uint8_t>(~sum) != rest[kKeySize])
                return false;
            std::copy_n(rest, kKeySize, key.begin());
            return true;
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
        if (s.comm.RateRefused()) {
            // Servos found now would be listed at a rate the line doesn't run at.
            s.err << "servoctl: the driver refused " << rate << " baud; not scanned\n";
            continue;
        }
        ScanAtPresentRate(s, options, rate);
    }
    return kCtlDone;
}
