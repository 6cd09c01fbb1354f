#pragma once

#include "app/core/ClockSweep.h"
#include "app/core/RunSettings.h"
#include "app/core/TestPlan.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace App
{

// The unit under test and who tests it where.
struct TestUnit
{
    std::string serial;
    std::string partNumber;
    std::string operatorName;
    std::string station; // front ends default it to /etc/machine-id's content
};

struct MeasurementResult
{
    std::string name;
    std::string unit;
    std::optional<double> value; // none: the step could not measure it (that fails)
    Limits limits;
    TestOutcome outcome = OUTCOME_FAIL;
};

struct StepResult
{
    std::string name;
    StepKind kind = STEP_BATCH;
    TestOutcome outcome = OUTCOME_ABORTED; // ABORTED until it ran: stopped or not reached
    unsigned attempts = 0;
    std::string error; // why it erred, was not checked or did not run; empty otherwise
    std::vector<MeasurementResult> measurements;
    std::vector<ClockSweep::Point> sweep; // the clocks a sweep step checked
    std::string rootCause;                // of the run analysis of its last attempt
};

// The box's settings during the test, as the record names them.
struct RecordedSettings
{
    PlanBox box;
    Tavik::Box::POWER_MODE supply = Tavik::Box::PWR_OFF; // the plan's, else the box's own
};

// One production test of one unit: what a record holds (docs/notes/test-record.md).
struct TestRecord
{
    std::string uuid;
    TestUnit unit;
    std::string start; // ISO 8601 UTC with milliseconds
    std::string end;
    std::string planName;
    std::string planVersion;
    std::string planSha256;
    std::string planFile;
    std::string boxSerial;
    std::string boxDescription;
    RecordedSettings settings;
    std::vector<StepResult> steps;
    std::optional<std::string> rootCause;
    TestOutcome outcome = OUTCOME_ERROR;
    std::string programVersion;
    // The attachment: the readings of the last batch or check step (else of the last read
    // step) with their settings; none when no step recorded.
    std::vector<unsigned> readings;
    RunSettings readingsSettings;
};

inline constexpr const char* kTestRecordSchema = "tavik-test-record/1";

// One line per failed measurement and per step that erred, for an operator:
// "Code check: spike_events = 8 events, limit EQ 0", "Code check: error: no readings ...".
std::vector<std::string> FailedLines(const TestRecord& record);

// A random RFC 4122 version 4 UUID, lower-case.
std::string NewUuid();
// 2026-12-09T21:30:00.123Z
std::string IsoUtcMillis(std::chrono::system_clock::time_point t);

// The record as its JSON document, `attachment` naming the readings' file ("" for none).
std::string TestRecordJson(const TestRecord& record, const std::string& attachment);

struct SpoolWrite
{
    std::string jsonPath;
    std::string h5Path; // empty without readings
    std::string error;  // empty when both were saved
    bool Ok() const { return error.empty(); }
};

// A station's default name from the content of /etc/machine-id: its first line, trimmed.
std::string StationFromMachineId(const std::string& text);

// Saves the record into `spoolDir` (created when missing): `<uuid>.h5` with the readings
// first, then `<uuid>.json`, each written beside its name, flushed to the disk and renamed
// over it, so a `.json` present means the record is complete.
SpoolWrite WriteTestRecord(const TestRecord& record, const std::string& spoolDir);

} // namespace App
