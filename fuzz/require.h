// The fuzz targets' check: a broken expectation ends the run at once, so that libFuzzer keeps
// the input that broke it.
#pragma once

#define REQUIRE(condition)    \
    do {                      \
        if (!(condition)) {   \
            __builtin_trap(); \
        }                     \
    } while (0)
