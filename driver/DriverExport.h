#pragma once

// Marks the classes and functions that TavikDriver exports.
#define TAVIK_DRIVER_API __attribute__((visibility("default")))
