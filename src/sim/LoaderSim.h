#pragma once
// A servo's firmware loader as the bus sees it after the upgrade instruction: the unlock
// sequence, the start byte, then 70-byte blocks, each answered with one byte.

#include "pages/upgrade/LoaderFrames.h"

#include <chrono>
#include <cstdint>
#include <vector>

class LoaderSim {
public:
    enum class Stage { Idle, Unlock, Start, Blocks };

    void Arm();
    bool Armed() const { return stage != Stage::Idle; }
    Stage CurrentStage() const { return stage; }

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
    std::vector<uint8_t> pending;
    std::vector<uint8_t> group;
    bool groupEnded = false;
    int nextBlock = 1;
    Crc16 crc = LoaderCrc();
    std::chrono::steady_clock::time_point last{};
};
