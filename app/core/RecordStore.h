#pragma once

#include "app/core/StoreRecord.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where production test records end up: an embedded SQLite file per station, or one
// PostgreSQL database for a whole line. Both hold the same tables (docs/notes/store.md) and
// answer the same queries; a record's UUID is its key, so storing it again changes nothing.
namespace App
{

// The version of the tables this program writes; the store's migrations bring it there.
inline constexpr int kStoreSchemaVersion = 1;

struct RecordFilter
{
    std::string serial;
    std::string station;
    std::string since; // a date or an ISO 8601 UTC time: records that started then or later
    std::string outcome;
};

// One row of `tavik-cli records`.
struct RecordRow
{
    std::string uuid;
    std::string serial;
    std::string station;
    std::string operatorName;
    std::string start;
    std::string planName;
    std::string planVersion;
    std::string outcome;
    std::string rootCause;
};

enum class YieldBy
{
    STATION,
    DAY, // the UTC date of the start
    PLAN,
};

// Counts per group. A unit passes first time when its first record in the group (by start)
// is PASS or MARGINAL.
struct YieldRow
{
    std::string key;
    std::uint64_t records = 0;
    std::uint64_t units = 0;     // distinct serial numbers
    std::uint64_t passed = 0;    // records PASS or MARGINAL
    std::uint64_t firstPass = 0; // units
    double FirstPassYield() const { return units ? double(firstPass) / double(units) : 0.0; }
};

class RecordStore
{
public:
    enum class Put
    {
        STORED,
        ALREADY,     // the UUID was there: nothing written
        REFUSED,     // the store said no to this record (rights, constraints): try it later
        UNREACHABLE, // no answer: the record waits
    };

    virtual ~RecordStore() = default;

    // Names the store without a password, the same each time for the same store: the spool
    // marks what was sent to it by this name.
    virtual const std::string& Id() const = 0;
    // Connects, and creates or migrates the tables on first use.
    virtual bool Open(std::string& error) = 0;
    // Writes the record, its measurements and its station in one transaction.
    virtual Put Store(const StoreRecord& record, std::string& error) = 0;
    virtual bool Find(const RecordFilter& filter, std::vector<RecordRow>& rows,
                      std::string& error) = 0;
    virtual bool Yield(YieldBy by, std::vector<YieldRow>& rows, std::string& error) = 0;
    // The stored document of a record, empty when the UUID is unknown.
    virtual bool Document(const std::string& uuid, std::string& document, std::string& error) = 0;
    virtual int SchemaVersion() = 0;
};

// What `spec` names: "postgresql://..." or "postgres://...", or a libpq key=value string
// ("service=line", "host=... dbname=..."); anything else is an SQLite file's path. Null with
// the reason when the backend was not built in.
std::unique_ptr<RecordStore> MakeRecordStore(const std::string& spec, std::string& error);
bool IsPostgresSpec(const std::string& spec);

// The per-user data folder: $XDG_DATA_HOME/tavik, else $HOME/.local/share/tavik; empty when
// neither is an absolute path. Front ends pass the environment's values.
std::string UserDataFolder(const char* xdgDataHome, const char* home);
// The store without a choice made: records.sqlite in the data folder.
std::string DefaultStoreSpec(const std::string& dataFolder);
std::string DefaultSpoolFolder(const std::string& dataFolder);

} // namespace App
