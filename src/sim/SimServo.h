#pragma once
// One simulated servo: its 256-byte memory, what the bus instructions do to it, and its
// motion: a body that responds to its gain, torque and speed rows (or the plain motion of
// earlier versions, on demand), which keeps its feedback registers alive.

#include "servo/LoaderFrames.h"
#include "catalogue/ModelTypes.h"
#include "sim/ServoBody.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using ServoMemory = std::array<uint8_t, 256>;

// A model family as the catalogue describes it: its factory memory and debug settings.
// The rows the body reads, found by their names in the family's memory table; -1: the
// family has none, and the body uses the factory default of the shipped families.
struct BodyRows {
    int p = -1;               // "P比例系数"
    int d = -1;               // "D微分系数"
    int i = -1;               // "I积分系数"
    int maxTorque = -1;       // "最大扭矩", a word
    int unload = -1;          // "卸载条件": the fault bits that unload the motor
    int protectTime = -1;     // "保护时间", in 10 ms
    int protectTorque = -1;   // "保护扭矩", % of the maximum torque left once unloaded
    int correction = -1;      // "位置校正", a signed word: shifts the position and the targets
    int correctionSignBit = 11;
    int minLimit = -1;        // "最小角度限制", a word: targets below it are raised to it
    int maxLimit = -1;        // "最大角度限制", a word: targets above it are lowered to it
    int span = 0;             // the position range's size (the largest position + 1); 0: unknown
};

struct ServoModel {
    std::string name;
    ServoMemory factory{};
    DebugProfile profile{56, 68, 40, 1, 10};
    BodyRows rows;
    // +1: the position read is the shaft's less the correction; -1: the other way round (a
    // family whose correction counts the other way).
    int correctionSense = 1;
};

// How a virtual servo moves: with a body (inertia, friction, its gains) or the plain motion
// of earlier versions (straight to the target at the commanded speed).
enum class SimMotion { Body, Plain };

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
    // The plain motion: advances it by `seconds` and refreshes the feedback registers.
    void Step(double seconds);
    // The body: integrates its fixed steps up to `now` and refreshes the feedback registers.
    // The first call starts its clock.
    void Advance(std::chrono::steady_clock::time_point now);

    void SetMotion(SimMotion m) { motion = m; }
    SimMotion Motion() const { return motion; }
    // A constant torque against the motor (0..1000, the torque rows' units).
    void SetLoad(double torque) { loadTorque = torque; }
    // The output shaft turned by hand to `mechanical` (0 .. the range's end), as the position
    // would read with no correction; false with a message while the torque is on.
    bool TurnByHand(int mechanical, std::string& error);
    // Makes the correction count the other way from now on, the shaft staying where it is.
    void ReverseCorrection();
    // The position range's size: the positions run from 0 to Span() - 1 and wrap there.
    int Span() const;
    // The motor's current at the last step, in mA.
    double Current() const { return motorCurrent; }
    // The drop of a supply shared with other servos, in tenths of a volt, from the next step.
    void SetSupplySag(int tenths) { supplySag = tenths; }

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
    int Row(int address, int otherwise) const;
    BodyInputs Inputs();
    // The target taken: the target row held within the angle limits.
    int Target() const;
    // The correction in force, signed by the family's sense.
    int Correction() const;
    // A new correction moves the position read, not the shaft.
    void FollowCorrection();
    void PutPosition(double at);
    // The feedback registers; `sag` is the supply's drop in tenths of a volt.
    void Refresh(double position, double velocity, double load, double current, int sag,
                 int target, bool moving, int status);

    ServoModel model;
    // The position as it reads (the shaft's position less the correction in force); it
    // leaves 0 .. Span() - 1 only while the motor drives it past an end.
    double position = 0;
    int correction = 0;
    double velocity = 0;
    double load = 0;
    double temperature = 28;
    unsigned ticks = 0;
    SimMotion motion = SimMotion::Body;
    ServoBody body;
    double loadTorque = 0;
    double motorCurrent = 0;
    int supplySag = 0;
    long long bodySteps = 0;
    std::chrono::steady_clock::time_point clock{};
    bool clockStarted = false;
    // The speed a timed command asks for, fixed when its target arrives.
    int lastTarget = 0;
    int lastTime = 0;
    double timedSpeed = 0;
    // How long the motor has asked for its whole torque; past the protection time, and when
    // the unload row enables it, the overload bit and the reduced torque.
    double saturatedFor = 0;
    bool overloaded = false;
    uint8_t registeredAddress = 0;
    std::vector<uint8_t> registered;
};
