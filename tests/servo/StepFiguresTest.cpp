// The step figures on synthetic responses whose answers are known in closed form.
#include "servo/StepTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

constexpr double kNone = StepFigures::kNone;

// A response from 0 to 1000 sampled every ms for 1.5 s, `y(t)` its share of the step.
std::vector<StepSample> Curve(const std::function<double(double)>& y)
{
    std::vector<StepSample> s;
    for (int ms = 0; ms <= 1500; ++ms) {
        StepSample x{static_cast<double>(ms), true, {}};
        x.values.position = static_cast<int>(std::lround(1000 * y(ms / 1000.0)));
        x.values.load = ms % 7 == 0 ? -300 : 10;
        s.push_back(x);
    }
    return s;
}

// An under-damped second-order response: its overshoot is exp(-ζπ/√(1-ζ²)); it stays in the
// ±2 % band after its envelope exp(-ζωt)/√(1-ζ²) falls to 0.02, and no sooner than half a
// period before.
constexpr double kZeta = 0.3, kOmega = 20;
const double kDamped = kOmega * std::sqrt(1 - kZeta * kZeta);
double SecondOrder(double t)
{
    return 1 - std::exp(-kZeta * kOmega * t) *
                   (std::cos(kDamped * t) + kZeta / std::sqrt(1 - kZeta * kZeta) * std::sin(kDamped * t));
}
const double kEnvelopeMs = 1000 * std::log(50 / std::sqrt(1 - kZeta * kZeta)) / (kZeta * kOmega);

TEST(StepFigures, KnownResponses)
{
    const double tau = 0.1;  // s
    const struct {
        const char* name;
        std::function<double(double)> y;
        double dead, rise, overshoot, settleLow, settleHigh, steady;
        bool reached, settled;
        double tolerance;  // ms, % or counts
    } cases[] = {
        // 1 - e^(-t/τ): leaves the 20-count band at τ·ln(1/0.98), 10 to 90 % in τ·ln 9, within
        // 2 % from τ·ln 50 (whole counts enter the band up to half a count early).
        {"first order", [&](double t) { return 1 - std::exp(-t / tau); }, 1000 * tau * std::log(1 / 0.98),
         1000 * tau * std::log(9), 0, 1000 * tau * std::log(50), 1000 * tau * std::log(50), 0, true, true, 2.5},
        // The same 30 ms late.
        {"dead time", [&](double t) { return t < 0.03 ? 0 : 1 - std::exp(-(t - 0.03) / tau); },
         30 + 1000 * tau * std::log(1 / 0.98), 1000 * tau * std::log(9), 0, 30 + 1000 * tau * std::log(50),
         30 + 1000 * tau * std::log(50), 0, true, true, 2.5},
        {"second order", SecondOrder, kNone, kNone, 100 * std::exp(-kZeta * std::numbers::pi / std::sqrt(1 - kZeta * kZeta)),
         kEnvelopeMs - 1000 * std::numbers::pi / kDamped, kEnvelopeMs, 0, true, true, 0.2},
        // Rings around the target for good: through the band, never settled.
        {"never settles", [](double t) { return 1 + 0.1 * std::sin(30 * t) * (t > 0.01); }, kNone, kNone, 10,
         kNone, kNone, kNone, true, false, 0.5},
        // Stalls halfway: never at 90 %, never in the band, half the step short.
        {"stalls", [&](double t) { return 0.5 * (1 - std::exp(-t / tau)); }, kNone, kNone, 0, kNone, kNone,
         -500, false, false, 0.5},
        // A plateau with ±1 count of noise: settled, no steady error to speak of.
        {"noisy plateau",
         [&](double t) {
             return 1 - std::exp(-t / tau) + ((static_cast<int>(t * 1000) * 7919) % 3 - 1) / 1000.0;
         },
         kNone, 1000 * tau * std::log(9), 0.1, 1000 * tau * std::log(50) - 3, 1000 * tau * std::log(50) + 3, 0,
         true, true, 1.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const StepFigures f = ComputeStepFigures(Curve(c.y), 0, 1000);
        EXPECT_EQ(f.band, 20);
        EXPECT_EQ(f.reached, c.reached);
        EXPECT_EQ(f.settled, c.settled);
        // NaN in the table: a figure the case says nothing about.
        auto near = [](double actual, double expected, double tolerance) {
            if (!std::isnan(expected)) {
                EXPECT_NEAR(actual, expected, tolerance);
            }
        };
        near(f.deadMs, c.dead, c.tolerance);
        near(f.riseMs, c.rise, c.tolerance);
        EXPECT_NEAR(f.overshootPct, c.overshoot, c.tolerance);
        if (std::isnan(c.settleLow)) {
            EXPECT_TRUE(!f.settled && std::isnan(f.settlingMs));
        } else {
            EXPECT_GE(f.settlingMs, c.settleLow - c.tolerance);
            EXPECT_LE(f.settlingMs, c.settleHigh + c.tolerance);
        }
        near(f.steadyError, c.steady, 1);
        EXPECT_EQ(f.peakLoad, 300);
    }
    // A step of no counts has nothing to rise; nothing at all has no figures.
    const StepFigures still = ComputeStepFigures(Curve([](double) { return 0.0; }), 0, 0);
    EXPECT_TRUE(still.settled && still.reached && std::isnan(still.riseMs) && still.overshootPct == 0);
    const StepFigures none = ComputeStepFigures({{1.0, false, {}}}, 0, 1000);
    EXPECT_TRUE(!none.reached && std::isnan(none.steadyError) && std::isnan(none.deadMs));
}

}  // namespace
