#include "link/SimulatorConfig.h"

#include <gtest/gtest.h>

using FTD2xx::SimulatorConfig;

namespace
{

SimulatorConfig ParseOk(const std::string& text)
{
    SimulatorConfig config;
    std::string error;
    EXPECT_TRUE(SimulatorConfig::Parse(text, config, error)) << text << ": " << error;
    return config;
}

std::string ParseError(const std::string& text)
{
    SimulatorConfig config;
    config.boxes = 5;
    std::string error;
    EXPECT_FALSE(SimulatorConfig::Parse(text, config, error)) << text;
    EXPECT_EQ(config.boxes, 5u) << "a failed parse must leave the config alone";
    return error;
}

} // namespace

TEST(SimulatorConfig, CountAloneListsThatManyBoxesWithDefaultEncoder)
{
    EXPECT_EQ(ParseOk("").boxes, 0u);
    EXPECT_EQ(ParseOk("0").boxes, 0u);
    const SimulatorConfig c = ParseOk(" 3 ");
    EXPECT_EQ(c.boxes, 3u);
    EXPECT_EQ(c.encoder.stBits, 13u);
    EXPECT_EQ(c.encoder.mtBits, 12u);
    EXPECT_DOUBLE_EQ(c.encoder.rpm, 60.0);
    EXPECT_FALSE(c.encoder.gray);
    EXPECT_EQ(c.faults.glitchEvery, 0u);
    EXPECT_EQ(ParseOk("8").boxes, 8u);
}

TEST(SimulatorConfig, AllSettings)
{
    const SimulatorConfig c =
        ParseOk("2, st=17,mt=0, rpm=-30.5, code=gray, glitch=10, late=300, stall=5, unplug=7");
    EXPECT_EQ(c.boxes, 2u);
    EXPECT_EQ(c.encoder.stBits, 17u);
    EXPECT_EQ(c.encoder.mtBits, 0u);
    EXPECT_DOUBLE_EQ(c.encoder.rpm, -30.5);
    EXPECT_TRUE(c.encoder.gray);
    EXPECT_EQ(c.faults.glitchEvery, 10u);
    EXPECT_EQ(c.faults.lateReplyMs, 300u);
    EXPECT_EQ(c.faults.stallAfter, 5u);
    EXPECT_EQ(c.faults.unplugAtCommand, 7u);
}

TEST(SimulatorConfig, SettingsWithoutCountMeanOneBox)
{
    EXPECT_EQ(ParseOk("st=14").boxes, 1u);
    EXPECT_EQ(ParseOk("boxes=4,code=binary").boxes, 4u);
}

TEST(SimulatorConfig, DirectionWinsOverTheSignOfRpm)
{
    EXPECT_DOUBLE_EQ(ParseOk("dir=backward").encoder.rpm, -60.0);
    EXPECT_DOUBLE_EQ(ParseOk("dir=backward,rpm=10").encoder.rpm, -10.0);
    EXPECT_DOUBLE_EQ(ParseOk("rpm=-10,dir=forward").encoder.rpm, 10.0);
    EXPECT_DOUBLE_EQ(ParseOk("rpm=0").encoder.rpm, 0.0);
}

TEST(SimulatorConfig, MalformedTextsAreRejectedWithAReason)
{
    EXPECT_NE(ParseError("9").find("boxes"), std::string::npos);
    EXPECT_NE(ParseError("1,colour=red").find("colour"), std::string::npos);
    EXPECT_NE(ParseError("1,st=abc").find("abc"), std::string::npos);
    ParseError("1,st=-1");
    ParseError("1,st=33");
    ParseError("1,st=32,mt=32"); // frame longer than the box's shift register can model
    ParseError("1,st=0,mt=0");
    ParseError("1,rpm=fast");
    ParseError("1,rpm=1e9");
    ParseError("1,dir=left");
    ParseError("1,code=bcd");
    ParseError("1,glitch=");
    ParseError("1,,st=3");
    ParseError("1,gray"); // a bare word after the count
    ParseError("yes");
}

TEST(SimulatorConfig, ACableIsGivenInMetresOrAsItsHighestCleanClock)
{
    EXPECT_EQ(ParseOk("cable=50").faults.cableMaxClockHz, 833333ul);
    EXPECT_EQ(ParseOk("cable=50m").faults.cableMaxClockHz, 833333ul);
    EXPECT_EQ(ParseOk("cable=500k").faults.cableMaxClockHz, 500000ul);
    EXPECT_EQ(ParseOk("cable=1.2MHz").faults.cableMaxClockHz, 1200000ul);
    EXPECT_EQ(ParseOk("cable=500000Hz").faults.cableMaxClockHz, 500000ul);
    EXPECT_EQ(ParseOk("cable=0").faults.cableMaxClockHz, 0ul);
    EXPECT_EQ(ParseError("cable=50ft"), "invalid value \"50ft\" for cable (expected metres (50, "
                                        "50m) or the highest clean clock (500k, 1.2M, 500000Hz))");
}
