#pragma once
// The smoke run: with SERVO_BENCH_SMOKE set (CTest's bench_smoke_* tests set it), every
// benchmark runs briefly, once, so that one that no longer runs is noticed; its figures
// mean nothing then.

#include <cstdlib>

inline bool SmokeRun()
{
    const char* value = std::getenv("SERVO_BENCH_SMOKE");
    return value != nullptr && *value != '\0';
}

// `full` normally, `smoke` in the smoke run.
inline int SmokeScaled(int full, int smoke)
{
    return SmokeRun() ? smoke : full;
}
