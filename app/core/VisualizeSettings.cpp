#include "app/core/VisualizeSettings.h"

#include "base/IniFile.h"
#include "base/String.h"

namespace App
{

bool IsNoBrand(const zef::IniFile& ini)
{
    zef::String value;
    if (ini.IsOpen())
        ini.GetString(VisualizeSettings::CHAPTER, "Logo", value);
    value.Upper();
    return value == "NOBRAND";
}

namespace
{
void ReadColor(const zef::IniFile& ini, const char* key, unsigned& color)
{
    int value = 0;
    if (ini.GetInt32(VisualizeSettings::CHAPTER, key, value))
        color = unsigned(value);
}

std::optional<std::string> ReadText(const zef::IniFile& ini, const char* key)
{
    zef::String value;
    if (!ini.GetString(VisualizeSettings::CHAPTER, key, value))
        return std::nullopt;
    return value.GetStdString();
}
} // namespace

VisualizeSettings VisualizeSettings::Read(const zef::IniFile& ini)
{
    VisualizeSettings s;
    if (!ini.IsOpen())
        return s;
    int knob = 0;
    if (ini.GetInt32(CHAPTER, "ColorRotationAngleKnob", knob))
        s.knobColor = unsigned(knob);
    ReadColor(ini, "ColorRotationAngleIndicator", s.indicatorColor);
    ReadColor(ini, "ColorDigitalAngleSegmentDisabled", s.segmentOffColor);
    ReadColor(ini, "ColorDigitalAngleSegmentEnabled", s.segmentOnColor);
    ReadColor(ini, "ColorDigitalAngleBackground", s.segmentBackColor);
    ReadColor(ini, "ColorSwitchEnabled", s.switchOnColor);
    ReadColor(ini, "ColorSwitchDisabled", s.switchOffColor);
    s.outputTitles = {ReadText(ini, "Output1"), ReadText(ini, "Output2"), ReadText(ini, "Output3")};
    s.logo = ReadText(ini, "Logo");
    s.noBrand = IsNoBrand(ini);
    return s;
}

} // namespace App
