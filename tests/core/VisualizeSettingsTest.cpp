#include "app/core/VisualizeSettings.h"

#include "base/IniFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>

using namespace App;

class VisualizeSettingsTest : public ::testing::Test
{
protected:
    void Ini(const std::string& content)
    {
        const std::string name = "VisualizeSettingsTest-" + std::to_string(::getpid()) + ".ini";
        std::ofstream(name) << content;
        ASSERT_TRUE(m_Ini.Open(name.c_str()).IsOk());
    }
    zef::IniFile m_Ini;
};

TEST_F(VisualizeSettingsTest, DefaultsWithoutTheChapterOrFile)
{
    const VisualizeSettings closed = VisualizeSettings::Read(m_Ini);
    Ini("[Other]\nColorSwitchEnabled=1\n");
    const VisualizeSettings s = VisualizeSettings::Read(m_Ini);
    for (const VisualizeSettings& v : {closed, s})
    {
        EXPECT_FALSE(v.knobColor);
        EXPECT_EQ(v.indicatorColor, 13312u);
        EXPECT_EQ(v.segmentOffColor, 13312u);
        EXPECT_EQ(v.segmentOnColor, 65280u);
        EXPECT_EQ(v.segmentBackColor, 0u);
        EXPECT_EQ(v.switchOnColor, 255u);
        EXPECT_EQ(v.switchOffColor, 65280u);
        EXPECT_FALSE(v.outputTitles[1]);
        EXPECT_FALSE(v.logo);
        EXPECT_FALSE(v.noBrand);
    }
}

TEST_F(VisualizeSettingsTest, EveryKeyAndMalformedColoursKeepDefaults)
{
    Ini("[VisualizeAngleDlg]\nColorRotationAngleKnob=123\nColorRotationAngleIndicator=4\n"
        "ColorDigitalAngleSegmentDisabled=5\nColorDigitalAngleSegmentEnabled=6\n"
        "ColorDigitalAngleBackground=7\nColorSwitchEnabled=red\nColorSwitchDisabled=9x\n"
        "Output2=Brake\nLogo=logo.bmp\n");
    const VisualizeSettings s = VisualizeSettings::Read(m_Ini);
    EXPECT_EQ(s.knobColor, 123u);
    EXPECT_EQ(s.indicatorColor, 4u);
    EXPECT_EQ(s.segmentOffColor, 5u);
    EXPECT_EQ(s.segmentOnColor, 6u);
    EXPECT_EQ(s.segmentBackColor, 7u);
    EXPECT_EQ(s.switchOnColor, 255u);
    EXPECT_EQ(s.switchOffColor, 65280u);
    EXPECT_FALSE(s.outputTitles[0]);
    EXPECT_EQ(s.outputTitles[1], "Brake");
    EXPECT_EQ(s.logo, "logo.bmp");
    EXPECT_FALSE(s.noBrand);
}

TEST_F(VisualizeSettingsTest, NoBrandInAnyCase)
{
    Ini("[VisualizeAngleDlg]\nLogo=NoBrand\n");
    EXPECT_TRUE(VisualizeSettings::Read(m_Ini).noBrand);
    EXPECT_TRUE(IsNoBrand(m_Ini));
}
