// A virtual servo's body on its own clock: the overload bit after the protection time at the
// torque limit, as the unload row allows, and cleared with the torque.
#include "CatalogueCopy.h"
#include "sim/ServoFactory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

constexpr int kTorque = 40, kTarget = 42, kMaxTorque = 16, kUnload = 19, kProtectTime = 35, kStatus = 56 + 9;

TEST(SimBody, OverloadAfterTheProtectionTime)
{
    const std::string file = CatalogueCopy("sim-body");
    ModelCatalogue catalogue(file);
    ServoModel model;
    std::string error;
    ASSERT_TRUE(FindServoModel(catalogue, "Kestrel-12", model, error)) << error;
    std::filesystem::remove(file);
    // Torque limited to 100 against a load of 300, sent 2000 counts away: at its limit from
    // the first step on.
    for (const int unload : {44, 0}) {
        SCOPED_TRACE(unload);
        SimServo servo(model);
        servo.memory[kMaxTorque] = 100;
        servo.memory[kMaxTorque + 1] = 0;
        servo.memory[kProtectTime] = 10;  // 100 ms
        servo.memory[kUnload] = static_cast<uint8_t>(unload);
        servo.memory[kTarget] = 4047 & 0xFF;
        servo.memory[kTarget + 1] = 4047 >> 8;
        servo.memory[kTorque] = 1;
        servo.SetLoad(300);
        const auto t0 = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
        servo.Advance(t0);
        auto overloaded = [&](int ms) {
            servo.Advance(t0 + std::chrono::milliseconds(ms));
            return (servo.memory[kStatus] & 0x20) != 0;
        };
        EXPECT_FALSE(overloaded(95));
        EXPECT_EQ(overloaded(105), unload == 44);
        EXPECT_EQ(overloaded(2000), unload == 44);
        servo.memory[kTorque] = 0;  // switching the torque off clears it
        EXPECT_FALSE(overloaded(2010));
    }
}

}  // namespace
