// A box on a bad cable can answer anything. Here the fake answers every command with
// random bytes, at random times, in random amounts, and link calls fail at random; the
// driver must only ever answer with its status codes and reports. Run under the
// sanitizer build to catch out-of-bounds access.

#include "driver/Box.h"

#include "tests/driver/DriverTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>

using namespace std::chrono_literals;
using DriverTest::AssertionRecorder;
using DriverTest::BoxFixture;
using LinkFake::Bytes;
using LinkFake::Chunk;
using LinkFake::Op;
using Tavik::Box;
using Tavik::SampleParameter;

namespace
{

class RandomBox : public BoxFixture, public ::testing::WithParamInterface<unsigned int>
{
protected:
    std::mt19937 rng{GetParam()};

    unsigned int Uniform(unsigned int lo, unsigned int hi)
    {
        return std::uniform_int_distribution<unsigned int>(lo, hi)(rng);
    }
    bool Chance(unsigned int percent) { return Uniform(1, 100) <= percent; }

    Bytes RandomBytes(unsigned int maxLength)
    {
        Bytes bytes(Uniform(0, maxLength));
        for (auto& b : bytes)
            b = static_cast<unsigned char>(Uniform(0, 255));
        return bytes;
    }

    std::vector<Chunk> RandomReply(const Bytes&)
    {
        std::vector<Chunk> chunks;
        const unsigned int parts = Uniform(0, 3);
        for (unsigned int i = 0; i < parts; ++i)
            chunks.push_back({std::chrono::milliseconds(Uniform(0, 400)), RandomBytes(12)});
        return chunks;
    }

    void MaybeDisturbLink()
    {
        if (Chance(5))
            device->Arrive(RandomBytes(9), std::chrono::milliseconds(Uniform(0, 300)));
        if (Chance(4))
        {
            const Op ops[] = {Op::GetStatus,   Op::PurgeInputBuffer, Op::Write, Op::Read,
                              Op::ResetDevice, Op::SetTimeouts,      Op::Open};
            device->Fail(ops[Uniform(0, 6)],
                         Chance(50) ? FTD2xx::STATUS_IO_ERROR : FTD2xx::STATUS_READ_TIMEOUT);
        }
        if (Chance(20))
            device->Clock().Advance(std::chrono::milliseconds(Uniform(0, 300)));
    }

    SampleParameter RandomParameter()
    {
        SampleParameter p;
        p.SetSampleCount(Uniform(0, 40));
        p.SetFrequence(Uniform(0, 9000000));
        p.SetDataBits(Uniform(0, 70));
        p.SetDelay(Uniform(0, 5000));
        p.SetMode(static_cast<SampleParameter::SERIAL_MODE>(Uniform(0, 4)));
        return p;
    }

    // One random operation; returns its status.
    int RandomOperation(std::size_t& maxValues)
    {
        unsigned int u = 0;
        Box::POWER_MODE pm = Box::PWR_OFF;
        Box::OUTPUT_MODE om = Box::OUT_OPEN;
        std::vector<unsigned int> values;
        SampleParameter p = RandomParameter();
        int status = Box::OK;
        switch (Uniform(0, 19))
        {
        case 0:
            // Mostly a valid index, sometimes none; reopening an open box included.
            if (!box.IsOpen() || Chance(10))
                status = box.Open(Chance(85) ? 0 : (Chance(50) ? -1 : 1));
            break;
        case 1:
            status = box.Reset();
            break;
        case 2:
            status = box.SetPowerMode(static_cast<Box::POWER_MODE>(Uniform(0, 4)));
            break;
        case 3:
            status = box.GetPowerMode(pm);
            break;
        case 4:
            status = box.SetOutput(static_cast<int>(Uniform(0, 4)) - 1,
                                   static_cast<Box::OUTPUT_MODE>(Uniform(0, 3)));
            break;
        case 5:
            status = box.GetOutput(static_cast<int>(Uniform(0, 4)) - 1, om);
            break;
        case 6:
            status = box.SetSampleParameter(p);
            break;
        case 7:
            status = box.GetSampleParameter(p);
            break;
        case 8:
        case 9:
            status = box.Sample(values);
            maxValues = std::max(maxValues, values.size());
            break;
        case 10:
            status = box.GetNextSamples(values);
            maxValues = std::max(maxValues, values.size());
            break;
        case 11:
            status = box.TerminateSample();
            break;
        case 12:
            status = box.SetSPIData(Uniform(0, 0xFFFFFFFFu));
            break;
        case 13:
            status = box.GetSPIData(u);
            break;
        case 14:
            status = box.SetDataMask(Uniform(0, 0xFFFFFFFFu));
            break;
        case 15:
            status = box.GetDataMask(u);
            break;
        case 16:
            status = box.SetGrayBinaryMask(Uniform(0, 0xFFFFFFFFu));
            break;
        case 17:
            status = box.GetGrayBinaryMask(u);
            break;
        case 18:
            status = box.ResetUsb();
            break;
        case 19:
            if (Chance(20))
                box.Close();
            break;
        }
        return status;
    }
};

} // namespace

TEST_P(RandomBox, AnswersOnlyWithStatusCodesAndReports)
{
    AssertionRecorder recorder;
    device->SetResponder([this](const Bytes& written) { return RandomReply(written); });
    ASSERT_EQ(box.Open(0), Box::OK);
    std::size_t maxValues = 0;
    int seen[Box::TIMEOUT + 1] = {};
    for (int i = 0; i < 1500; ++i)
    {
        MaybeDisturbLink();
        const int status = RandomOperation(maxValues);
        ASSERT_GE(status, Box::OK);
        ASSERT_LE(status, Box::TIMEOUT);
        ++seen[status];
        const char* text = box.GetStatusAsString(status);
        ASSERT_NE(text, nullptr);
        if (status == Box::FAILED)
        {
            EXPECT_STRNE(text, "") << "step " << i;
        }
    }
    EXPECT_LE(maxValues, 16777215u);
    // The run reached the interesting paths, not only a closed box.
    EXPECT_GT(seen[Box::OK], 100);
    EXPECT_GT(seen[Box::FAILED], 10);
    EXPECT_GT(seen[Box::TIMEOUT], 50);
    // Replies come from outside the program: garbled ones are errors, never reports.
    for (const auto& report : AssertionRecorder::Reports())
        EXPECT_EQ(report.expression, "IsOpen()") << report.info;
}

TEST_P(RandomBox, WithoutHandlerOnlyTheReportExceptionEscapes)
{
    DriverTest::ScopedWorkDir dir;
    device->SetResponder([this](const Bytes& written) { return RandomReply(written); });
    ASSERT_EQ(box.Open(0), Box::OK);
    std::size_t maxValues = 0;
    int reports = 0;
    for (int i = 0; i < 400; ++i)
    {
        MaybeDisturbLink();
        try
        {
            const int status = RandomOperation(maxValues);
            ASSERT_GE(status, Box::OK);
            ASSERT_LE(status, Box::TIMEOUT);
        }
        catch (const std::runtime_error& e)
        {
            ++reports;
            ASSERT_EQ(std::string(e.what()).rfind("XAssertionFailed in libTavikDriver.so.", 0), 0u);
        }
    }
    SUCCEED() << reports << " reports";
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, RandomBox,
                         ::testing::Values(1u, 2u, 3u, 5u, 8u, 13u, 21u, 34u, 55u, 89u, 4242u,
                                           20261208u));
