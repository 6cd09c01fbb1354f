// The largest run the box takes, collected in pieces of random size over the simulated link.

#include "tests/driver/SimulatorFixture.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::chrono_literals;
using DriverTest::SimulatorFixture;
using Tavik::Box;
using Tavik::SampleParameter;

namespace
{

using Lossless = SimulatorFixture;

TEST_F(Lossless, LargestRunArrivesCompleteInOrderAndWithoutADouble)
{
    ASSERT_EQ(box.SetPowerMode(Box::PWR_INTERNAL), Box::OK);
    // 1000 rpm on 13 + 12 bits: more than one step per reading and no wrap within the run, so
    // every reading is larger than the one before.
    sim->SetEncoder({.rpm = 1000});
    constexpr unsigned kCount = 16777214;
    constexpr auto kPeriod = 10us; // 8 MHz, 25 bits, 10 us: spaced by the delay
    SetParameters(SampleParameter::SPI_Binary, 8000000, 25, 10, kCount);
    const auto start = clock.Now();

    std::vector<unsigned> piece;
    ASSERT_EQ(box.Sample(piece), Box::TIMEOUT);
    std::mt19937 random(1807);
    std::uniform_int_distribution<int> pause(0, 300000); // us
    unsigned got = 0;
    unsigned last = 0;
    while (got < kCount)
    {
        ASSERT_LE(got + piece.size(), kCount) << "more readings than asked for";
        for (unsigned value : piece)
        {
            // Rising readings rule out a double and a swap; one lost or added anywhere moves
            // every later one off the moment it was taken, which the next spot check finds.
            ASSERT_TRUE(got == 0 || value > last) << "reading " << got;
            if (got % 65536 == 0 || got + 1 == kCount)
            {
                ASSERT_EQ(value, sim->ComputeReading(start + kPeriod * (got + 1)))
                    << "reading " << got;
            }
            last = value;
            ++got;
        }
        clock.Advance(std::chrono::microseconds(pause(random)));
        ASSERT_EQ(box.GetNextSamples(piece), Box::OK);
    }
    EXPECT_FALSE(sim->IsStreaming());
    clock.Advance(1s);
    ASSERT_EQ(box.GetNextSamples(piece), Box::OK);
    EXPECT_TRUE(piece.empty());
    EXPECT_EQ(sim->GetReadingsSent(), kCount);
}

} // namespace
