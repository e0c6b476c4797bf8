#pragma once
// The invariant checks of the fuzz targets: a failed check prints where and why and aborts,
// which libFuzzer records as a crash together with the input.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, ...)                                                   \
    do {                                                                             \
        if (!(condition)) {                                                          \
            std::fprintf(stderr, "%s:%d: invariant failed: %s: ", __FILE__, __LINE__, \
                         #condition);                                                \
            std::fprintf(stderr, __VA_ARGS__);                                       \
            std::fputc('\n', stderr);                                                \
            std::abort();                                                            \
        }                                                                            \
    } while (false)

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size);
