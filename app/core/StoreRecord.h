#pragma once

#include <optional>
#include <string>
#include <vector>

// A production test's record as the spool holds it (one JSON document per run, see
// docs/notes/test-record.schema.json), read into the fields that the stores index and the
// report shows. The document itself is kept whole beside them.
namespace App
{

inline constexpr const char* kRecordSchemaName = "tavik-test-record/1";

struct StoreMeasurement
{
    std::size_t step = 0; // index of its step in the record
    std::string stepName;
    std::string name;
    std::optional<double> value; // null: not measured
    std::string unit;
    std::string comparison;
    std::optional<double> low, high, marginalLow, marginalHigh;
    std::string outcome;
};

struct StoreRecord
{
    std::string uuid;
    std::string serial;
    std::string partNumber;
    std::string station;
    std::string operatorName;
    std::string start; // ISO 8601 UTC, e.g. "2026-12-09T21:30:00.123Z"
    std::string end;
    std::string planName;
    std::string planVersion;
    std::string planSha256;
    std::string boxSerial;
    std::string outcome;
    std::string rootCause; // empty when none
    std::string programVersion;
    std::string attachment; // "<uuid>.h5", empty when none
    std::vector<StoreMeasurement> measurements;
    std::string document; // the JSON text as read
};

// Parses and checks a record: its schema, a v4-like UUID, the outcome words and the fields the
// stores need. False with the reason (naming the field) in `error`.
bool ParseStoreRecord(const std::string& text, StoreRecord& record, std::string& error);
bool ReadStoreRecord(const std::string& path, StoreRecord& record, std::string& error);

// Is `text` a UUID in its 8-4-4-4-12 hexadecimal form? Spool files are named by it.
bool IsUuid(const std::string& text);

// PASS, MARGINAL, FAIL, ERROR or ABORTED.
bool IsOutcome(const std::string& text);

} // namespace App
