#include "servo/UpgradeTransfer.h"

#include "servo/LoaderFrames.h"

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <thread>

namespace {

constexpr int kLoaderTimeoutMs = 500;
// The instruction must be on the wire before the rate change purges the queues, and the
// servo needs a moment to start its loader before it hears at the new rate.
constexpr auto kAfterInstruction = std::chrono::milliseconds(10);
constexpr auto kAfterRateChange = std::chrono::milliseconds(100);

UpgradeResult Stopped(UpgradeResult r, UpgradeOutcome outcome, const char* stage, int block,
                      int reply)
{
    r.outcome = outcome;
    r.stage = stage;
    r.block = block;
    r.reply = reply;
    return r;
}

UpgradeResult Exchange(BusAccess& access, const UpgradeJob& job, const std::atomic<bool>& userCancel,
                       const UpgradeReports& reports)
{
    auto cancelled = [&] { return userCancel.load() || access.Stopping(); };
    UpgradeResult r;
    if (cancelled())
        return Stopped(r, UpgradeOutcome::Cancelled, "unlock", 0, -1);
    if (access.protocol.LoaderExchange(LoaderStep::Unlock, 0, job.unlock.data(),
                                    static_cast<int>(job.unlock.size())) < 0)
        return Stopped(r, UpgradeOutcome::Failed, "unlock", 0, -1);
    if (cancelled())
        return Stopped(r, UpgradeOutcome::Cancelled, "start", 0, -1);
    const uint8_t start = kLoaderStart;
    if (access.protocol.LoaderExchange(LoaderStep::Start, 0, &start, 1) < 0)
        return Stopped(r, UpgradeOutcome::Failed, "start", 0, -1);

    const Crc16 crc = LoaderCrc();
    // The image window holds 1024 blocks; nothing is read beyond it.
    const int blocks = job.image ? std::min(job.blockCount, BlockCount(FirmwareImage::kSize)) : 0;
    for (int i = 1; i <= blocks; ++i) {
        if (cancelled())
            return Stopped(r, UpgradeOutcome::Cancelled, "block", i, -1);
        const UpgradeBlock block = BuildUpgradeBlock(job.image->data.data(), job.image->data.size(),
                                                     i, blocks,
                                                     static_cast<uint8_t>(job.kind), crc);
        for (;;) {
            const int reply =
                access.protocol.LoaderExchange(LoaderStep::Block, i, block.data(), kUpgradeBlockSize);
            if (reply == kLoaderAck)
                break;
            if (reply != kLoaderRefuse)
                return Stopped(r, UpgradeOutcome::Failed, "block", i, reply);
            if (reports.refused)
                reports.refused(i);
            // A refused block goes again, unchanged, for as long as the loader asks; a
            // cancel ends the repeats.
            if (cancelled())
                return Stopped(r, UpgradeOutcome::Cancelled, "block", i, reply);
        }
        ++r.blocksAcknowledged;
        if (reports.acknowledged)
            reports.acknowledged(i);
    }
    return r;
}

}  // namespace

UpgradeResult RunUpgrade(BusAccess& access, const UpgradeJob& job, const std::atomic<bool>& cancel,
                         const UpgradeReports& reports)
{
    const PortFacts port = access.Facts();
    if (port.Rates() == RateControl::Fixed) {
        // The loader's rate can't be set: nothing is sent, so no servo is left in its loader.
        UpgradeResult refused;
        refused.outcome = UpgradeOutcome::Failed;
        refused.rateFixed = true;
        return refused;
    }
    if (port.Rates() == RateControl::Shared) {
        UpgradeResult refused;
        refused.outcome = UpgradeOutcome::Failed;
        refused.shared = true;
        return refused;
    }
    if (reports.started)
        reports.started();
    if (!job.inLoader) {
        access.protocol.RequestUpgrade(job.servoId);
        std::this_thread::sleep_for(kAfterInstruction);
    }
    int savedRate;
    UpgradeResult result;
    {
        const KeptTimeout loader(access, kLoaderTimeoutMs);
        savedRate = access.SetRate(kLoaderBaudRate);
        std::this_thread::sleep_for(job.inLoader ? std::chrono::milliseconds(kInLoaderQuietMs)
                                                 : kAfterRateChange);
        result = Exchange(access, job, cancel, reports);
        result.portGone = port.Gone();
    }
    // The time-out and then the rate restored in every case (a port that is gone has
    // nothing to restore), before the job ends and before anyone is told.
    access.SetRate(savedRate);
    return result;
}

std::string UpgradeFailurePlace(const UpgradeResult& result, int blockCount)
{
    if (result.shared)
        return "before the start: the bus is another program's, which keeps its rate";
    if (result.rateFixed)
        return "before the start: a raw TCP port runs at its server's rate, so the loader's "
               + std::to_string(kLoaderBaudRate) + " baud cannot be set (an rfc2217:// port can)";
    if (result.stage != "block")
        return std::string("at the ") +
               (result.stage == "unlock" ? "unlock sequence" : "start byte") +
               (result.portGone ? " (port gone)" : " (no answer from the loader)");
    std::string where = "at block " + std::to_string(result.block) + " of " + std::to_string(blockCount);
    if (result.portGone)
        return where + " (port gone)";
    if (result.reply < 0)
        return where + " (no answer)";
    char reply[16];
    std::snprintf(reply, sizeof reply, "%02X", result.reply);
    return where + " (answer " + reply + ")";
}
