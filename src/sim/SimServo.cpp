#include "sim/SimServo.h"

#include "protocol/ZNS.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMaxSpeed = 3000;        // position steps per second when no speed is set
constexpr double kAccelerationUnit = 100;  // steps/s² per unit of the acceleration byte
constexpr int kFullRange = 4095;

}  // namespace

SimServo::SimServo(const ServoModel& m) : memory(m.factory), model(m)
{
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
}

void SimServo::ResetAngle()
{
    HoldCentre();
}

void SimServo::HoldCentre()
{
    position = Centre();
    velocity = 0;
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

void SimServo::Step(double dt)
{
    const int block = model.profile.torqueAddress + 1;
    const bool torque = memory[model.profile.torqueAddress] != 0;
    const double target = SignedWord(block + 1);
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
    const int maxVoltage = memory[14] ? memory[14] : 120;
    const int voltage = maxVoltage * 85 / 100 - static_cast<int>(std::abs(load) / 250) +
                        static_cast<int>(ticks / 7 % 2);

    PutFeedback(0, 2, static_cast<int>(std::lround(position)), 15);
    PutFeedback(2, 2, static_cast<int>(std::lround(velocity)), 15);
    PutFeedback(4, 2, static_cast<int>(std::lround(load)), 10);
    PutFeedback(6, 1, voltage, -1);
    PutFeedback(7, 1, static_cast<int>(temperature), -1);
    PutFeedback(8, 1, registered.empty() ? 0 : 1, -1);
    PutFeedback(9, 1, faultBits, -1);
    PutFeedback(10, 1, std::abs(velocity) >= 0.5 ? 1 : 0, -1);
    PutFeedback(11, 2, static_cast<int>(target), 15);
    PutFeedback(13, 2, static_cast<int>(std::lround(load * 1.5)), 15);
    PutFeedback(15, 2, static_cast<int>(std::lround(velocity)), 15);
}
