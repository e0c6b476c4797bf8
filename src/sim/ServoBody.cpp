#include "sim/ServoBody.h"

#include <algorithm>
#include <cmath>

namespace {

// Torque units (0..1000) per count of error for one unit of P; per count/s for one unit of
// D; per count·s for one unit of I. With the factory gains (32, 32, 0) a step of 1000 counts
// rises in about 0.15 s and overshoots by about 10 %.
constexpr double kPerP = 1.0 / 64;
constexpr double kPerD = 0.0011;
constexpr double kPerI = 0.125;
constexpr double kInertia = 0.0022;  // torque units per count/s²
constexpr double kViscous = 0.003;   // torque units per count/s
constexpr double kDryFriction = 0.1;
constexpr double kStiction = 0.2;
// The motor's own top speed: its torque falls to nothing there.
constexpr double kTopSpeed = 6000;
constexpr double kPositionLimit = 32767;

}  // namespace

void ServoBody::Hold(double at)
{
    position = path = at;
    velocity = pathSpeed = integral = torque = 0;
    saturated = false;
}

void ServoBody::Tick(const BodyInputs& in)
{
    const double dt = kStepSeconds;
    if (!in.torque) {
        // Without torque the gears hold it where it stands.
        Hold(position);
        return;
    }

    // The path: straight to the target, or along the speed and acceleration limits.
    const double distance = in.target - path;
    if (in.maxSpeed <= 0 && in.maxAccel <= 0) {
        path = in.target;
        pathSpeed = 0;
    } else {
        const double vmax = in.maxSpeed > 0 ? in.maxSpeed : kTopSpeed;
        double wanted = std::copysign(vmax, distance);
        if (in.maxAccel > 0)
            wanted = std::copysign(std::min(vmax, std::sqrt(2 * in.maxAccel * std::abs(distance))), distance);
        const double change = in.maxAccel > 0 ? in.maxAccel * dt : std::abs(wanted - pathSpeed);
        pathSpeed += std::clamp(wanted - pathSpeed, -change, change);
        const double move = pathSpeed * dt;
        if (std::abs(move) >= std::abs(distance)) {
            path = in.target;
            pathSpeed = 0;
        } else {
            path += move;
        }
    }

    const double limit = std::clamp(in.torqueLimit, 0.0, 1000.0);
    const double error = path - position;
    const double ki = in.i * kPerI;
    if (ki > 0) {
        // The integral never asks for more than the limit on its own (no wind-up).
        integral = std::clamp(integral + error * dt, -limit / ki, limit / ki);
    } else {
        integral = 0;
    }
    const double asked = in.p * kPerP * error + ki * integral - in.d * kPerD * (velocity - pathSpeed);
    // Near its top speed the motor has less torque to give in the direction it runs.
    const double room = limit * std::max(0.0, 1 - std::abs(velocity) / kTopSpeed);
    const bool along = asked * velocity > 0;
    const double cap = along ? room : limit;
    torque = std::clamp(asked, -cap, cap);
    saturated = std::abs(asked) >= limit;

    double net = torque - in.load - kViscous * velocity;
    if (velocity == 0 && std::abs(net) <= kStiction) {
        net = 0;
    } else {
        const double dry = std::copysign(kDryFriction, velocity != 0 ? velocity : net);
        // Dry friction stops a slow motion rather than turning it round.
        if (velocity != 0 && std::abs(velocity) <= kDryFriction / kInertia * dt && std::abs(net) <= kStiction) {
            velocity = 0;
            net = 0;
        } else {
            net -= dry;
        }
    }
    velocity += net / kInertia * dt;
    position += velocity * dt;
    if (std::abs(position) > kPositionLimit) {
        position = std::copysign(kPositionLimit, position);
        velocity = 0;
    }
}
