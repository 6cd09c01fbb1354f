#pragma once

#include "app/core/ClockSweep.h"
#include "app/core/Run.h"
#include "driver/Box.h"
#include "driver/SampleParameter.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace App
{

// The outcome of a measurement, a step and a whole production test, worst last but one:
// ABORTED (stopped, or not run after a critical failure) outranks everything. The names are
// the upper-case words the record, the stores and tavik-cli use.
enum TestOutcome
{
    OUTCOME_PASS,
    OUTCOME_MARGINAL,
    OUTCOME_FAIL,
    OUTCOME_ERROR, // the box failed, or the step could not be carried out
    OUTCOME_ABORTED,
};
const char* TestOutcomeName(TestOutcome outcome);
// The worse of two outcomes.
TestOutcome Worse(TestOutcome a, TestOutcome b);

enum StepKind
{
    STEP_READ,  // a few readings: is the encoder there, where does it stand
    STEP_BATCH, // a batch and its run analysis
    STEP_SWEEP, // the clock sweep
    STEP_CHECK, // a batch, the code tester with the step's settings and the run analysis
};
const char* StepKindName(StepKind kind);

enum Comparison
{
    CMP_EQ,
    CMP_NE,
    CMP_GT,
    CMP_GE,
    CMP_LT,
    CMP_LE,
    CMP_GELE,
    CMP_GTLT,
    CMP_GELT,
    CMP_GTLE,
};
const char* ComparisonName(Comparison comparison);

// A measurement's limits. EQ and NE compare with `low` (which equals `high`); the others
// take the bounds their name says. A value that passes but lies below `marginalLow` or above
// `marginalHigh` (inner bounds, near the limits) is MARGINAL.
struct Limits
{
    Comparison comparison = CMP_EQ;
    std::optional<double> low;
    std::optional<double> high;
    std::optional<double> marginalLow;
    std::optional<double> marginalHigh;

    // No value (the step could not measure it) fails.
    TestOutcome Judge(std::optional<double> value) const;
    // "EQ 0", "GE 1000000", "GELE 50 to 70 (marginal below 57, above 63)".
    std::string Text() const;
};

// A measurement the runner knows: what a plan may name.
struct MeasurementInfo
{
    const char* name;   // "spike_ppm"
    const char* unit;   // "ppm"
    unsigned kinds;     // bit (1 << StepKind) for each kind of step that produces it
    const char* source; // where its value comes from, for the docs
};
std::span<const MeasurementInfo> KnownMeasurements();
const MeasurementInfo* FindMeasurement(std::string_view name);

struct PlanMeasurement
{
    std::string name;
    std::string unit;
    Limits limits;
};

struct PlanStep
{
    std::string name;
    StepKind kind = STEP_BATCH;
    bool critical = false; // a failure ends the plan
    unsigned retries = 0;  // a failed step is run again up to this often
    unsigned count = 0;    // readings (read, batch, check)
    unsigned delayUs = 0;
    unsigned clockHz = 0; // 0: the plan's clock
    CheckSettings check;  // check
    ClockSweep::Settings sweep;
    std::vector<PlanMeasurement> measurements;
};

// The box's settings during the test; the runner writes them first and the box's own back at
// the end.
struct PlanBox
{
    Tavik::SampleParameter::SERIAL_MODE mode = Tavik::SampleParameter::SSI_Binary;
    unsigned clockHz = 1000000;
    unsigned stBits = 13;
    unsigned mtBits = 12;
    unsigned dataMask = 0; // the low st + mt bits unless the plan names one
    unsigned grayMask = 0;
    unsigned spiWord = 0;
    std::optional<Tavik::Box::POWER_MODE> supply; // none: as the box is
};

struct TestPlan
{
    std::string name;
    std::string version;
    std::string file;   // as given
    std::string sha256; // of the file's bytes, lower-case hex
    PlanBox box;
    std::vector<PlanStep> steps;
};

// "SSI" or "SPI" for the record.
const char* PlanModeName(Tavik::SampleParameter::SERIAL_MODE mode);
// "external", "internal", "internal_dcdc", "off".
const char* SupplyName(Tavik::Box::POWER_MODE supply);

// Reads a plan from TOML text. On any fault answers false with "<file>:<line>: <key>: <what>"
// in `error`: a syntax error, an unknown or missing key, a value out of range, an unknown
// measurement or one its step does not produce, limits that do not fit the comparison.
bool ParseTestPlan(std::string_view text, const std::string& file, TestPlan& plan,
                   std::string& error);
// The same from a file.
bool LoadTestPlan(const std::string& path, TestPlan& plan, std::string& error);

} // namespace App
