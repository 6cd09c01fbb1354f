#pragma once

// Named colour values (0x00BBGGRR), shared with the program. Dark green, dark cyan and dark
// red use channel value 52, the other dark colours 128.

#include "controls/DrawContext.h"
#include "controls/GlimraExport.h"

namespace zef::Glimra
{

struct GLIMRA_API RGB_COLOR
{
    static constexpr ColorRef BLACK = 0x00000000;
    static constexpr ColorRef DARKBLUE = 0x00800000;
    static constexpr ColorRef DARKGREEN = 0x00003400;
    static constexpr ColorRef DARKCYAN = 0x00343400;
    static constexpr ColorRef DARKRED = 0x00000034;
    static constexpr ColorRef DARKMAGENTA = 0x00800080;
    static constexpr ColorRef BROWN = 0x00008080;
    static constexpr ColorRef DARKGRAY = 0x00808080;
    static constexpr ColorRef LIGHTGRAY = 0x00C0C0C0;
    static constexpr ColorRef LIGHTBLUE = 0x00FF0000;
    static constexpr ColorRef LIGHTGREEN = 0x0000FF00;
    static constexpr ColorRef LIGHTCYAN = 0x00FFFF00;
    static constexpr ColorRef LIGHTRED = 0x000000FF;
    static constexpr ColorRef LIGHTMAGENTA = 0x00FF00FF;
    static constexpr ColorRef YELLOW = 0x0000FFFF;
    static constexpr ColorRef WHITE = 0x00FFFFFF;

    RGB_COLOR() = default;
    RGB_COLOR(const RGB_COLOR&) = default;
    RGB_COLOR& operator=(const RGB_COLOR&) { return *this; } // nothing to copy
};

} // namespace zef::Glimra
