// What every fuzz target shares. FUZZ_TARGET opens the target's body (data,
// size: the input); FUZZ_CHECK states a property beyond "no crash": a broken one
// aborts, which libFuzzer saves as a crash and the replay program reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

#define FUZZ_TARGET                                                                                          \
    static void FuzzOne(const std::uint8_t* data, std::size_t size);                                         \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)                        \
    {                                                                                                        \
        return FuzzOne(data, size), 0;                                                                       \
    }                                                                                                        \
    static void FuzzOne(const std::uint8_t* data, std::size_t size)
