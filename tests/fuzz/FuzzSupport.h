#pragma once

// Shared by the fuzz targets: property checks that end the run with a readable reason.

#include <cstdio>
#include <cstdlib>

// Aborts (libFuzzer then saves the input as a crash) with the failed property and where.
#define FUZZ_CHECK(condition)                                                                      \
    do                                                                                             \
    {                                                                                              \
        if (!(condition))                                                                          \
        {                                                                                          \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
