// The fake link's timing rules, which the driver tests (and others) rely on.

#include "tests/fakes/FakeDevice.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;
using LinkFake::Bytes;
using LinkFake::FakeDevice;

TEST(FakeDevice, ReadWaitsForLateBytesWithinTheTimeoutOnTheManualClock)
{
    FakeDevice device("S", "D");
    const auto start = device.Now();
    unsigned long written = 0;
    device.AddChunkedReply({{0ms, {1}}, {120ms, {2, 3}}, {500ms, {4}}});
    ASSERT_EQ(device.Write({0x16}, written), 0);
    EXPECT_EQ(device.Waiting(), 1u);
    EXPECT_EQ(device.Scheduled(), 3u);

    Bytes buffer;
    EXPECT_EQ(device.Read(buffer, 3), 0);
    EXPECT_EQ(buffer, (Bytes{1, 2, 3}));
    EXPECT_EQ(device.Now() - start, 120ms);

    // The last byte comes after the 200 ms deadline: the read times out empty-handed.
    EXPECT_EQ(device.Read(buffer, 1), FTD2xx::STATUS_READ_TIMEOUT);
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(device.Now() - start, 320ms);
    device.Clock().Advance(300ms);
    EXPECT_EQ(device.Waiting(), 1u);
}

TEST(FakeDevice, PurgeDropsArrivedBytesButNotLaterOnes)
{
    FakeDevice device("S", "D");
    device.Arrive({1, 2});
    device.Arrive({3}, 50ms);
    EXPECT_EQ(device.PurgeInputBuffer(), 0);
    EXPECT_EQ(device.Waiting(), 0u);
    device.Clock().Advance(50ms);
    unsigned long rx = 0, tx = 0, events = 0;
    EXPECT_EQ(device.GetStatus(rx, tx, events), 0);
    EXPECT_EQ(rx, 1u);
}

TEST(FakeDevice, FailuresAreCountedAndRecorded)
{
    FakeDevice device("S", "D");
    device.Fail(LinkFake::Op::Write, FTD2xx::STATUS_IO_ERROR, 2);
    unsigned long written = 0;
    EXPECT_EQ(device.Write({1}, written), FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(device.Write({2}, written), FTD2xx::STATUS_IO_ERROR);
    EXPECT_EQ(device.Write({3}, written), 0);
    EXPECT_EQ(device.Calls(),
              (std::vector<std::string>{"Write 01 failed", "Write 02 failed", "Write 03"}));
    EXPECT_EQ(device.Writes(), (std::vector<Bytes>{{3}}));
}
