// The simulator's settings text (TAVIK_SIMULATOR), and the encoder model of a box built from
// any text that parses.
#include "link/Clock.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorConfig.h"

#include "tests/fuzz/FuzzSupport.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

using FTD2xx::SimulatorConfig;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    SimulatorConfig config;
    config.boxes = 99; // a marker: a failed parse leaves the config untouched
    std::string error;
    const bool ok = SimulatorConfig::Parse(text, config, error);
    if (!ok)
    {
        FUZZ_CHECK(config.boxes == 99);
        FUZZ_CHECK(!error.empty());
        // The error quotes at most one setting of the text.
        FUZZ_CHECK(error.size() <= size + 100);
        return 0;
    }

    // Parsing is deterministic.
    SimulatorConfig again;
    std::string error2;
    FUZZ_CHECK(SimulatorConfig::Parse(text, again, error2));
    FUZZ_CHECK(again.boxes == config.boxes && again.encoder.stBits == config.encoder.stBits &&
               again.encoder.mtBits == config.encoder.mtBits &&
               again.encoder.gray == config.encoder.gray &&
               again.faults.stuckEvery == config.faults.stuckEvery &&
               again.faults.slipEvery == config.faults.slipEvery &&
               again.faults.grayBitEvery == config.faults.grayBitEvery &&
               again.faults.dead == config.faults.dead &&
               (again.encoder.rpm == config.encoder.rpm ||
                (std::isnan(again.encoder.rpm) && std::isnan(config.encoder.rpm))));

    const unsigned bits = config.encoder.stBits + config.encoder.mtBits;
    FUZZ_CHECK(config.boxes <= SimulatorConfig::kMaxBoxes);
    FUZZ_CHECK(bits >= 1 && bits <= 48);
    FUZZ_CHECK(std::isfinite(config.encoder.rpm) && std::fabs(config.encoder.rpm) <= 100000.0);
    FUZZ_CHECK(again.faults.cableMaxClockHz == config.faults.cableMaxClockHz);
    FUZZ_CHECK(config.faults.cableMaxClockHz <= 1000000000ul);

    // The encoder of such a box stays inside its bits at any time, near and far.
    FTD2xx::ManualClock clock;
    FTD2xx::SimulatedBox box("SIM00001", config.encoder, config.faults, clock);
    using namespace std::chrono;
    const FTD2xx::Clock::Duration times[] = {nanoseconds(0),       nanoseconds(1), milliseconds(50),
                                             seconds(1),           hours(1),       hours(24 * 365),
                                             hours(24 * 365 * 200)};
    const std::uint64_t limit = std::uint64_t(1) << bits;
    for (const auto t : times)
    {
        FUZZ_CHECK(box.GetEncoderPosition(clock.Now() + t) < limit);
        (void)box.ComputeReading(clock.Now() + t);
    }
    return 0;
}
