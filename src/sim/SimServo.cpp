#include "sim/SimServo.h"

#include "protocol/ZNS.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxSpeed = 3000;        // position steps per second when no speed is set
constexpr double kAccelerationUnit = 100;  // steps/s² per unit of the acceleration byte
constexpr int kFullRange = 4095;
// The shipped families' factory values for rows a family may lack.
constexpr int kFactoryGain[3] = {32, 32, 0};
constexpr int kFactoryTorque = 1000;
constexpr int kProtectTimeUnitMs = 10;
constexpr int kFactoryProtectMs = 2000;
constexpr uint8_t kOverloadBit = 0x20;
// Current (mA) per unit of torque; the supply sags by 0.1 V per kSagPerTenth mA.
constexpr double kCurrentPerTorque = 1.5;
constexpr double kSagPerTenth = 100;

}  // namespace

SimServo::SimServo(const ServoModel& m) : memory(m.factory), model(m)
{
    correction = Correction();
    // A servo powers up holding where it stands.
    HoldCentre();
    Step(0);
}

int SimServo::Centre() const
{
    const int divisor = std::max<int>(1, model.profile.positionDivisor);
    return kFullRange / divisor / 2;
}

void SimServo::Read(uint8_t address, uint8_t* out, int n) const
{
    for (int i = 0; i < n; ++i)
        out[i] = address + i < 256 ? memory[static_cast<size_t>(address + i)] : 0;
}

void SimServo::Write(uint8_t address, const uint8_t* data, int n)
{
    for (int i = 0; i < n && address + i < 256; ++i)
        memory[static_cast<size_t>(address + i)] = data[i];
    FollowCorrection();
}

void SimServo::Register(uint8_t address, const uint8_t* data, int n)
{
    registeredAddress = address;
    registered.assign(data, data + n);
}

void SimServo::Action()
{
    if (registered.empty())
        return;
    Write(registeredAddress, registered.data(), static_cast<int>(registered.size()));
    registered.clear();
}

void SimServo::Restore()
{
    memory = model.factory;
    memory[addr::kId] = 1;
    memory[addr::kBaudCode] = 4;
    registered.clear();
    FollowCorrection();
}

void SimServo::ResetAngle()
{
    HoldCentre();
}

void SimServo::HoldCentre()
{
    position = Centre();
    velocity = 0;
    body.Hold(position);
    PutWord(model.profile.torqueAddress + 2, static_cast<int>(position));
}

void SimServo::PutWord(int address, int value, int signBit)
{
    if (address < 0 || address + 1 >= 256)
        return;
    const uint16_t w = EncodeSignMagnitude(value, signBit);
    const bool highFirst = memory[addr::kByteOrder] != 0;
    memory[static_cast<size_t>(address)] = static_cast<uint8_t>(highFirst ? w >> 8 : w);
    memory[static_cast<size_t>(address + 1)] = static_cast<uint8_t>(highFirst ? w : w >> 8);
}

int SimServo::Word(int address) const
{
    if (address < 0 || address + 1 >= 256)
        return 0;
    const bool highFirst = memory[addr::kByteOrder] != 0;
    const int a = memory[static_cast<size_t>(address)];
    const int b = memory[static_cast<size_t>(address + 1)];
    return highFirst ? (a << 8) | b : (b << 8) | a;
}

int SimServo::SignedWord(int address) const
{
    return DecodeSignMagnitude(static_cast<uint16_t>(Word(address)), 15);
}

void SimServo::PutFeedback(int offset, int width, int value, int signBit)
{
    const DebugProfile& p = model.profile;
    // Only the fields that lie inside the model's feedback block are kept up to date.
    if (offset + width - 1 > p.feedbackLast - p.feedbackFirst)
        return;
    const int a = p.feedbackFirst + offset;
    if (width == 1)
        memory[static_cast<size_t>(a)] = static_cast<uint8_t>(value);
    else
        PutWord(a, value, signBit);
}

int SimServo::Span() const
{
    if (model.rows.span > 0)
        return model.rows.span;
    return (kFullRange + 1) / std::max<int>(1, model.profile.positionDivisor);
}

int SimServo::Correction() const
{
    if (model.rows.correction < 0)
        return 0;
    const auto field = static_cast<uint16_t>(Word(model.rows.correction));
    return DecodeSignMagnitude(field, model.rows.correctionSignBit) * model.correctionSense;
}

int SimServo::Target() const
{
    const int target = SignedWord(model.profile.torqueAddress + 2);
    if (model.rows.minLimit < 0 || model.rows.maxLimit < 0)
        return target;
    const int low = Word(model.rows.minLimit);
    const int high = Word(model.rows.maxLimit);
    return low <= high ? std::clamp(target, low, high) : target;
}

void SimServo::PutPosition(double at)
{
    position = at;
    velocity = 0;
    body.Hold(at);
    PutFeedback(0, 2, static_cast<int>(std::lround(at)), 15);
}

namespace {

double Wrapped(double value, int span)
{
    const double r = std::fmod(value, span);
    return r < 0 ? r + span : r;
}

}  // namespace

void SimServo::FollowCorrection()
{
    const int now = Correction();
    if (now == correction)
        return;
    // The shaft stays; what it reads moves by the change, wrapping at the range's ends.
    const double shaft = (motion == SimMotion::Body ? body.position : position) + correction;
    correction = now;
    PutPosition(Wrapped(shaft - correction, Span()));
}

void SimServo::ReverseCorrection()
{
    const double shaft = (motion == SimMotion::Body ? body.position : position) + correction;
    model.correctionSense = -model.correctionSense;
    correction = Correction();
    PutPosition(Wrapped(shaft - correction, Span()));
}

bool SimServo::TurnByHand(int mechanical, std::string& error)
{
    if (memory[model.profile.torqueAddress] != 0) {
        error = "servo " + std::to_string(Id()) + " holds its position (its torque is on); "
                "switch the torque off first";
        return false;
    }
    if (mechanical < 0 || mechanical >= Span()) {
        error = "position " + std::to_string(mechanical) + " is outside 0.." + std::to_string(Span() - 1);
        return false;
    }
    FollowCorrection();
    PutPosition(Wrapped(mechanical - correction, Span()));
    return true;
}

void SimServo::Step(double dt)
{
    FollowCorrection();
    const int block = model.profile.torqueAddress + 1;
    const bool torque = memory[model.profile.torqueAddress] != 0;
    const double target = Target();
    const int time = Word(block + 3) & 0x3FF;
    double speed = std::abs(SignedWord(block + 5));
    const double accel = memory[static_cast<size_t>(std::min(block, 255))] * kAccelerationUnit;
    const double error = target - position;
    if (speed == 0 && time > 0)
        speed = std::abs(error) / (time / 1000.0);
    if (speed == 0 || speed > kMaxSpeed)
        speed = kMaxSpeed;

    double previous = velocity;
    if (!torque || dt <= 0) {
        if (!torque)
            velocity = 0;
    } else {
        // Head for the target at the commanded speed, braking in time when an acceleration
        // limit is set.
        double wanted = std::clamp(error / dt, -speed, speed);
        if (accel > 0) {
            const double braking = std::sqrt(2 * accel * std::abs(error));
            wanted = std::clamp(wanted, -braking, braking);
            velocity += std::clamp(wanted - velocity, -accel * dt, accel * dt);
        } else {
            velocity = wanted;
        }
        position += velocity * dt;
        if (std::abs(target - position) < 0.5 && std::abs(velocity) < accel * dt + 1) {
            position = target;
            velocity = 0;
        }
    }
    ++ticks;
    const double acceleration = dt > 0 ? (velocity - previous) / dt : 0;
    load = torque ? std::clamp(velocity / 6 + acceleration / 200, -1000.0, 1000.0) : 0;
    temperature += ((28 + std::abs(load) / 40) - temperature) * std::min(1.0, dt / 20);
    motorCurrent = load * kCurrentPerTorque;
    Refresh(position, velocity, load, motorCurrent, static_cast<int>(std::abs(load) / 250),
            static_cast<int>(target), std::abs(velocity) >= 0.5, faultBits);
}

void SimServo::Refresh(double at, double speed, double torque, double current, int sag,
                       int target, bool moving, int status)
{
    const int maxVoltage = memory[14] ? memory[14] : 120;
    const int voltage = maxVoltage * 85 / 100 - sag - supplySag + static_cast<int>(ticks / 7 % 2);
    PutFeedback(0, 2, static_cast<int>(std::lround(at)), 15);
    PutFeedback(2, 2, static_cast<int>(std::lround(speed)), 15);
    PutFeedback(4, 2, static_cast<int>(std::lround(torque)), 10);
    PutFeedback(6, 1, voltage, -1);
    PutFeedback(7, 1, static_cast<int>(temperature), -1);
    PutFeedback(8, 1, registered.empty() ? 0 : 1, -1);
    PutFeedback(9, 1, status, -1);
    PutFeedback(10, 1, moving ? 1 : 0, -1);
    PutFeedback(11, 2, target, 15);
    PutFeedback(13, 2, static_cast<int>(std::lround(current)), 15);
    PutFeedback(15, 2, static_cast<int>(std::lround(speed)), 15);
}

int SimServo::Row(int address, int otherwise) const
{
    return address >= 0 && address < 256 ? memory[static_cast<size_t>(address)] : otherwise;
}

BodyInputs SimServo::Inputs()
{
    const int block = model.profile.torqueAddress + 1;
    const BodyRows& rows = model.rows;
    BodyInputs in;
    in.torque = memory[model.profile.torqueAddress] != 0;
    const int target = Target();
    const int time = Word(block + 3) & 0x3FF;
    // A timed command's speed covers its distance in its time, from where it was given.
    if (target != lastTarget || time != lastTime) {
        timedSpeed = time > 0 ? std::abs(target - body.path) / (time / 1000.0) : 0;
        lastTarget = target;
        lastTime = time;
    }
    in.target = target;
    in.maxSpeed = std::abs(SignedWord(block + 5));
    if (in.maxSpeed == 0)
        in.maxSpeed = timedSpeed;
    in.maxAccel = memory[static_cast<size_t>(std::min(block, 255))] * kAccelerationUnit;
    in.p = Row(rows.p, kFactoryGain[0]);
    in.d = Row(rows.d, kFactoryGain[1]);
    in.i = Row(rows.i, kFactoryGain[2]);
    in.torqueLimit = rows.maxTorque >= 0 ? Word(rows.maxTorque) : kFactoryTorque;
    if (overloaded)
        in.torqueLimit = in.torqueLimit * Row(rows.protectTorque, 0) / 100.0;
    in.load = loadTorque;
    return in;
}

void SimServo::Advance(std::chrono::steady_clock::time_point now)
{
    if (motion != SimMotion::Body)
        return;
    constexpr auto kStep = std::chrono::microseconds(static_cast<long long>(ServoBody::kStepSeconds * 1e6));
    if (!clockStarted) {
        clock = now;
        clockStarted = true;
    }
    FollowCorrection();
    long long steps = (now - clock) / kStep;
    clock += steps * kStep;
    // After a long stall (a suspended machine) the servo catches up on a few seconds only.
    steps = std::min<long long>(steps, 5000);
    // The registers are refreshed on every call, steps or not: a change made to the servo
    // (its fault bits) shows at once.
    BodyInputs in = Inputs();
    if (!in.torque) {
        // Switching the torque off clears an overload.
        overloaded = false;
        saturatedFor = 0;
    }
    const int protectMs = model.rows.protectTime >= 0
                              ? Row(model.rows.protectTime, 0) * kProtectTimeUnitMs
                              : kFactoryProtectMs;
    const bool unloads = (Row(model.rows.unload, kOverloadBit) & kOverloadBit) != 0;
    for (long long k = 0; k < steps; ++k) {
        body.Tick(in);
        saturatedFor = body.saturated && in.torque ? saturatedFor + ServoBody::kStepSeconds : 0;
        if (unloads && !overloaded && saturatedFor * 1000 >= protectMs && in.torque) {
            overloaded = true;
            in = Inputs();  // the next steps run with the reduced torque
        }
    }
    // The voltage's flicker keeps the plain motion's pace: one tick per 10 ms.
    bodySteps += steps;
    ticks = static_cast<unsigned>(bodySteps / 10);
    position = body.position;
    velocity = body.velocity;
    load = body.torque;
    motorCurrent = load * kCurrentPerTorque;
    const double dt = static_cast<double>(steps) * ServoBody::kStepSeconds;
    temperature += ((28 + std::abs(load) / 40) - temperature) * std::min(1.0, dt / 20);
    const int status = faultBits | (overloaded ? kOverloadBit : 0);
    Refresh(position, velocity, load, motorCurrent, static_cast<int>(std::abs(motorCurrent) / kSagPerTenth),
            static_cast<int>(in.target), std::abs(velocity) >= 0.5 || std::abs(body.path - in.target) >= 0.5,
            status);
}
