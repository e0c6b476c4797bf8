#pragma once
// One simulated servo: its 256-byte memory, what the bus instructions do to it, and a simple
// motion model that keeps its feedback registers alive.

#include "servo/LoaderFrames.h"
#include "catalogue/ModelTypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using ServoMemory = std::array<uint8_t, 256>;

// A model family as the catalogue describes it: its factory memory and debug settings.
struct ServoModel {
    std::string name;
    ServoMemory factory{};
    DebugProfile profile{56, 68, 40, 1, 10};
};

class SimServo {
public:
    explicit SimServo(const ServoModel& model);

    uint8_t Id() const { return memory[addr::kId]; }
    int BaudCode() const { return memory[addr::kBaudCode]; }
    bool AnswersWrites() const { return memory[addr::kStatusLevel] != 0; }

    void Read(uint8_t address, uint8_t* out, int n) const;
    void Write(uint8_t address, const uint8_t* data, int n);
    void Register(uint8_t address, const uint8_t* data, int n);
    void Action();
    // Factory values back, then ID 1 and baud-rate code 4.
    void Restore();
    // The present position becomes the centre of the range.
    void ResetAngle();
    // Advances the motion by `seconds` and refreshes the feedback registers.
    void Step(double seconds);

    ServoMemory memory{};
    uint8_t faultBits = 0;
    // The bytes that open this servo's firmware loader (its family's, from the catalogue).
    std::array<uint8_t, 5> loaderUnlock = LoaderUnlock;

private:
    int Word(int address) const;
    int SignedWord(int address) const;
    void PutWord(int address, int value, int signBit = 15);
    void PutFeedback(int offset, int width, int value, int signBit);
    void HoldCentre();
    int Centre() const;

    ServoModel model;
    double position = 0;
    double velocity = 0;
    double load = 0;
    double temperature = 28;
    unsigned ticks = 0;
    uint8_t registeredAddress = 0;
    std::vector<uint8_t> registered;
};
