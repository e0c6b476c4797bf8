#include "sim/LoaderSim.h"

#include <algorithm>

namespace {
// A block whose bytes stop coming for this long is dropped; the host resends whole blocks.
constexpr std::chrono::milliseconds kBlockGap{200};
// A loader that hears nothing for this long after its unlock starts over: the host gave up
// (a failed or cancelled transfer) and will open it again.
constexpr std::chrono::milliseconds kRestartGap{300};
}  // namespace

void LoaderSim::Arm(uint8_t id, const std::array<uint8_t, 5>& key)
{
    owner = id;
    unlock = key;
    stage = Stage::Unlock;
    pending.clear();
    image.clear();
    nextBlock = 1;
    blocksAccepted = 0;
    blocksRefused = 0;
    complete = false;
}

int LoaderSim::Feed(uint8_t byte, std::chrono::steady_clock::time_point now, int& refuse)
{
    if (!pending.empty() && now - last > kBlockGap)
        pending.clear();
    if ((stage == Stage::Start || stage == Stage::Blocks) && now - last > kRestartGap)
        Arm(owner, unlock);
    last = now;
    groupEnded = false;
    switch (stage) {
    case Stage::Idle:
        return -1;
    case Stage::Unlock:
        pending.push_back(byte);
        if (pending.size() < unlock.size())
            return -1;
        group = pending;
        groupEnded = true;
        pending.clear();
        if (!std::equal(group.begin(), group.end(), unlock.begin()))
            return -1;  // a wrong key gets no answer
        stage = Stage::Start;
        return kLoaderAck;
    case Stage::Start:
        group.assign(1, byte);
        groupEnded = true;
        if (byte != kLoaderStart)
            return -1;
        stage = Stage::Blocks;
        return kLoaderAck;
    case Stage::Blocks:
        break;
    }
    pending.push_back(byte);
    if (pending.size() < kUpgradeBlockSize)
        return -1;
    group = pending;
    groupEnded = true;
    pending.clear();
    UpgradeBlock block;
    std::copy(group.begin(), group.end(), block.begin());
    const bool repeat = block[0] == static_cast<uint8_t>(nextBlock - 1) && nextBlock > 1;
    if (!IsValidUpgradeBlock(block, crc) ||
        (block[0] != static_cast<uint8_t>(nextBlock) && !repeat) || refuse > 0) {
        if (refuse > 0 && IsValidUpgradeBlock(block, crc))
            --refuse;
        ++blocksRefused;
        return kLoaderRefuse;
    }
    if (repeat)  // our answer to it was lost; the host sent it again
        return kLoaderAck;
    kind = block[2];
    image.insert(image.end(), block.begin() + 3, block.begin() + 3 + kBlockDataSize);
    ++blocksAccepted;
    ++nextBlock;
    if (block[69] == kBlockLast) {
        complete = true;
        stage = Stage::Idle;
    }
    return kLoaderAck;
}
