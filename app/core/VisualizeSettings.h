#pragma once

#include <array>
#include <optional>
#include <string>

namespace zef
{
class IniFile;
}

namespace App
{

// Whether key "Logo" of chapter "VisualizeAngleDlg" reads NOBRAND in any letter case (a
// closed file or a missing key: no). Read afresh on every call.
bool IsNoBrand(const zef::IniFile& ini);

// Chapter "VisualizeAngleDlg": the colours (0x00BBGGRR), group titles and logo that both
// visualisation dialogs use. A missing or malformed key keeps its default.
struct VisualizeSettings
{
    static constexpr const char* CHAPTER = "VisualizeAngleDlg";

    // Named colours, as the controls' RGB_COLOR has them.
    static constexpr unsigned BLACK = 0x000000;
    static constexpr unsigned DARKGREEN = 0x003400;
    static constexpr unsigned LIGHTGREEN = 0x00FF00;
    static constexpr unsigned LIGHTRED = 0x0000FF;

    std::optional<unsigned> knobColor; // none: the system's button-face colour
    unsigned indicatorColor = DARKGREEN;
    unsigned segmentOffColor = DARKGREEN;
    unsigned segmentOnColor = LIGHTGREEN;
    unsigned segmentBackColor = BLACK;
    unsigned switchOnColor = LIGHTRED;
    unsigned switchOffColor = LIGHTGREEN;
    std::array<std::optional<std::string>, 3> outputTitles; // none: the template's text
    std::optional<std::string> logo;                        // path of a bitmap file
    bool noBrand = false;

    static VisualizeSettings Read(const zef::IniFile& ini);
};

} // namespace App
