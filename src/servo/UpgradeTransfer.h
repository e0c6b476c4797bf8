#pragma once
// The firmware transfer: the upgrade instruction at the port's rate (left out when the servo
// is still in its loader), then the servo's loader at 500000 baud (unlock sequence, start byte, 70-byte blocks, one answer byte each). It is one
// bus job from the instruction until the port's rate and time-out are restored, and reports
// only through callbacks that must not wait for another thread.

#include "servo/FirmwareImage.h"
#include "servo/LoaderFrames.h"
#include "bus/ServoBus.h"

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>

enum class UpgradeOutcome { Done, Failed, Cancelled };

struct UpgradeResult {
    UpgradeOutcome outcome = UpgradeOutcome::Done;
    int blocksAcknowledged = 0;
    // Where a failure happened: "unlock", "start" or "block"; for a block, its number (from
    // 1) and the answer byte (-1 for none).
    std::string stage;
    int block = 0;
    int reply = -1;
    // The port went away during the transfer (a failure, named as such).
    bool portGone = false;
    // Nothing was sent: the port's rate is its server's (a raw TCP port).
    bool rateFixed = false;
    // Nothing was sent: the bus is another program's, which keeps its rate and its loader.
    bool shared = false;
};

struct UpgradeJob {
    uint8_t servoId = 0;
    const FirmwareImage* image = nullptr;
    int32_t kind = kImageHex;
    int blockCount = 0;
    // The five bytes that open the loader: the built-in ones are the virtual bus's; a real
    // servo's loader needs its maker's (the catalogue's "[升级]" row, or typed).
    std::array<uint8_t, 5> unlock = LoaderUnlock;
    // The servo is still in its loader (a transfer failed or was cancelled): no upgrade
    // instruction, the transfer starts at the unlock step.
    bool inLoader = false;
};

// A way back from the loader waits this long at the loader's rate before the unlock, so
// that a loader left mid-transfer has dropped the half-received block and listens for the
// unlock sequence again.
inline constexpr int kInLoaderQuietMs = 500;

struct UpgradeReports {
    std::function<void()> started;                   // the progress goes back to 0
    std::function<void(int block)> acknowledged;     // block (from 1) answered 0x06
    std::function<void(int block)> refused;          // block answered 0x15, sent again
};

// Where a failed transfer stopped, as servoctl and the Python module tell it: "at block 3 of
// 12 (answer 15)", "at the unlock sequence (no answer from the loader)", ...
std::string UpgradeFailurePlace(const UpgradeResult& result, int blockCount);

// Runs the whole transfer inside a bus job. `cancel` (or the bus dropping its work) is
// looked at before each step and each block: once it is set, nothing more is sent and the
// port is restored.
UpgradeResult RunUpgrade(BusAccess& access, const UpgradeJob& job, const std::atomic<bool>& cancel,
                         const UpgradeReports& reports);
