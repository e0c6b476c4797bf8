#pragma once
// The body of a virtual servo: a motor with inertia, viscous and dry friction and a torque
// limit, driven toward its target by a controller with the servo's own P, D and I gains, the
// speed and acceleration commands shaping the path it is sent along. Integrated in fixed
// steps, so the same commands at the same steps give the same motion.

#include <cstdint>

// What the servo's memory says for one step.
struct BodyInputs {
    bool torque = false;
    double target = 0;       // counts
    double maxSpeed = 0;     // counts/s along the path; 0: no limit of the command's own
    double maxAccel = 0;     // counts/s²; 0: none
    double torqueLimit = 1000;  // the maximum-torque row, 0..1000
    int p = 32, d = 32, i = 0;  // the gain rows
    double load = 0;         // a constant torque against the motor, in the same units
};

class ServoBody {
public:
    static constexpr double kStepSeconds = 0.001;

    explicit ServoBody(double at = 0) : position(at), path(at) {}

    // One fixed step.
    void Tick(const BodyInputs& in);
    // The position held still (a reset of the angle, power up).
    void Hold(double at);

    double position;
    double velocity = 0;
    double torque = 0;       // what the motor gives, after the limit
    bool saturated = false;  // the controller asked for more than the limit
    double path;             // where the controller is sending it now
    double pathSpeed = 0;
    double integral = 0;
};
