#pragma once
// A servo's firmware loader as the bus sees it after the upgrade instruction: the unlock
// sequence, the start byte, then 70-byte blocks, each answered with one byte. It stays armed
// until an image is complete: a host that gave up and falls silent finds it waiting for the
// unlock sequence again.

#include "servo/LoaderFrames.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

class LoaderSim {
public:
    enum class Stage { Idle, Unlock, Start, Blocks };

    // Starts the loader of the servo `owner`, which opens to `key` (its family's unlock bytes).
    void Arm(uint8_t owner, const std::array<uint8_t, 5>& key = LoaderUnlock);
    uint8_t Owner() const { return owner; }
    bool Armed() const { return stage != Stage::Idle; }

    // Takes one byte; returns the answer byte, or -1 when none is due yet. `refuse` turns a
    // good block's answer into a refusal (and is used up by it).
    int Feed(uint8_t byte, std::chrono::steady_clock::time_point now, int& refuse);

    // Whether the last byte fed completed a group (the unlock sequence, the start byte or a
    // block), and that group's bytes, for the log.
    bool GroupEnded() const { return groupEnded; }
    const std::vector<uint8_t>& LastGroup() const { return group; }

    std::vector<uint8_t> image;  // data of the accepted blocks, in order
    uint8_t kind = 0;
    int blocksAccepted = 0;
    int blocksRefused = 0;
    bool complete = false;

private:
    Stage stage = Stage::Idle;
    uint8_t owner = 0;
    std::array<uint8_t, 5> unlock = LoaderUnlock;
    std::vector<uint8_t> pending;
    std::vector<uint8_t> group;
    bool groupEnded = false;
    int nextBlock = 1;
    Crc16 crc = LoaderCrc();
    std::chrono::steady_clock::time_point last{};
};
