#include "app/core/SqlStore.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace App
{

namespace
{
// Each migration brings the tables from the version before it to its own; they run in one
// transaction and are recorded in schema_migrations. Types and statements are those both
// SQLite and PostgreSQL take. Times are ISO 8601 UTC text: they sort as they read.
struct Migration
{
    int version;
    std::vector<const char*> statements;
};

const std::array kMigrations = {
    Migration{1,
              {"CREATE TABLE stations ("
               " id TEXT PRIMARY KEY,"
               " first_seen TEXT NOT NULL)",
               "CREATE TABLE records ("
               " uuid TEXT PRIMARY KEY,"
               " serial TEXT NOT NULL,"
               " part_number TEXT,"
               " station TEXT NOT NULL REFERENCES stations(id),"
               " operator TEXT,"
               " start_time TEXT NOT NULL,"
               " end_time TEXT,"
               " plan_name TEXT,"
               " plan_version TEXT,"
               " plan_sha256 TEXT,"
               " box_serial TEXT,"
               " outcome TEXT NOT NULL CHECK (outcome IN"
               "  ('PASS', 'MARGINAL', 'FAIL', 'ERROR', 'ABORTED')),"
               " root_cause TEXT,"
               " program_version TEXT,"
               " document TEXT NOT NULL)",
               "CREATE INDEX records_serial ON records (serial, start_time)",
               "CREATE INDEX records_station ON records (station, start_time)",
               "CREATE INDEX records_start ON records (start_time)",
               "CREATE TABLE measurements ("
               " record_uuid TEXT NOT NULL REFERENCES records(uuid),"
               " position INTEGER NOT NULL,"
               " step_index INTEGER NOT NULL,"
               " step TEXT NOT NULL,"
               " name TEXT NOT NULL,"
               " value DOUBLE PRECISION,"
               " unit TEXT,"
               " comparison TEXT,"
               " low DOUBLE PRECISION,"
               " high DOUBLE PRECISION,"
               " marginal_low DOUBLE PRECISION,"
               " marginal_high DOUBLE PRECISION,"
               " outcome TEXT NOT NULL,"
               " PRIMARY KEY (record_uuid, position))",
               "CREATE INDEX measurements_name ON measurements (name, outcome)"}},
};

SqlParam Opt(const std::string& text)
{
    return text.empty() ? SqlParam() : SqlParam(text);
}

SqlParam Num(const std::optional<double>& value)
{
    if (!value)
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", *value);
    return std::string(text);
}

std::string Now()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string Cell(const SqlRow& row, std::size_t i)
{
    return i < row.size() && row[i] ? *row[i] : std::string();
}

std::uint64_t Count(const SqlRow& row, std::size_t i)
{
    return std::strtoull(Cell(row, i).c_str(), nullptr, 10);
}
} // namespace

SqlFailure SqlRecordStore::Exec(const std::string& sql, const std::vector<SqlParam>& params,
                                std::string& error, SqlResult* result)
{
    SqlResult scratch;
    return m_Db->Exec(sql, params, result ? *result : scratch, error);
}

bool SqlRecordStore::Open(std::string& error)
{
    m_Open = false;
    if (!m_Db->Connect(error))
        return false;
    // A station's role may only read and insert: when the tables are current, nothing else runs.
    SqlResult version;
    std::string ignored;
    if (Exec("SELECT MAX(version) FROM schema_migrations", {}, ignored, &version) ==
            SqlFailure::NONE &&
        !version.rows.empty())
        m_Version = int(Count(version.rows[0], 0));
    else
        m_Version = 0;
    if (m_Version > kStoreSchemaVersion)
    {
        error = "the store's tables are version " + std::to_string(m_Version) +
                ", newer than this program's " + std::to_string(kStoreSchemaVersion);
        return false;
    }
    if (m_Version < kStoreSchemaVersion)
    {
        if (Exec(m_Db->BeginMigration(), {}, error) != SqlFailure::NONE)
            return false;
        const auto fail = [&]
        {
            std::string rollback;
            Exec("ROLLBACK", {}, rollback);
            error = "cannot create the store's tables: " + error;
            return false;
        };
        if (Exec("CREATE TABLE IF NOT EXISTS schema_migrations ("
                 " version INTEGER PRIMARY KEY, applied TEXT NOT NULL)",
                 {}, error) != SqlFailure::NONE ||
            Exec("SELECT MAX(version) FROM schema_migrations", {}, error, &version) !=
                SqlFailure::NONE)
            return fail();
        // Another program may have migrated while this one waited for the lock.
        m_Version = version.rows.empty() ? 0 : int(Count(version.rows[0], 0));
        for (const Migration& migration : kMigrations)
        {
            if (migration.version <= m_Version)
                continue;
            for (const char* statement : migration.statements)
                if (Exec(statement, {}, error) != SqlFailure::NONE)
                    return fail();
            if (Exec("INSERT INTO schema_migrations (version, applied) VALUES ($1, $2)",
                     {std::to_string(migration.version), Now()}, error) != SqlFailure::NONE)
                return fail();
            m_Version = migration.version;
        }
        if (Exec("COMMIT", {}, error) != SqlFailure::NONE)
            return fail();
    }
    m_Open = true;
    return true;
}

bool SqlRecordStore::EnsureOpen(std::string& error)
{
    return m_Open || Open(error);
}

RecordStore::Put SqlRecordStore::Store(const StoreRecord& r, std::string& error)
{
    if (!EnsureOpen(error))
        return Put::UNREACHABLE;
    const auto failed = [&](SqlFailure failure)
    {
        std::string rollback;
        Exec("ROLLBACK", {}, rollback);
        return failure == SqlFailure::UNREACHABLE ? Put::UNREACHABLE : Put::REFUSED;
    };
    if (const SqlFailure f = Exec("BEGIN", {}, error); f != SqlFailure::NONE)
        return failed(f);
    if (const SqlFailure f = Exec("INSERT INTO stations (id, first_seen) VALUES ($1, $2)"
                                  " ON CONFLICT (id) DO NOTHING",
                                  {r.station, r.start}, error);
        f != SqlFailure::NONE)
        return failed(f);
    SqlResult inserted;
    if (const SqlFailure f =
            Exec("INSERT INTO records (uuid, serial, part_number, station, operator, start_time,"
                 " end_time, plan_name, plan_version, plan_sha256, box_serial, outcome, root_cause,"
                 " program_version, document)"
                 " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15)"
                 " ON CONFLICT (uuid) DO NOTHING",
                 {r.uuid, r.serial, Opt(r.partNumber), r.station, Opt(r.operatorName), r.start,
                  Opt(r.end), Opt(r.planName), Opt(r.planVersion), Opt(r.planSha256),
                  Opt(r.boxSerial), r.outcome, Opt(r.rootCause), Opt(r.programVersion), r.document},
                 error, &inserted);
        f != SqlFailure::NONE)
        return failed(f);
    if (inserted.changed == 0)
    {
        failed(SqlFailure::NONE);
        return Put::ALREADY;
    }
    for (std::size_t i = 0; i < r.measurements.size(); ++i)
    {
        const StoreMeasurement& m = r.measurements[i];
        if (const SqlFailure f = Exec(
                "INSERT INTO measurements (record_uuid, position, step_index, step, name, value,"
                " unit, comparison, low, high, marginal_low, marginal_high, outcome)"
                " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13)",
                {r.uuid, std::to_string(i), std::to_string(m.step), m.stepName, m.name,
                 Num(m.value), Opt(m.unit), Opt(m.comparison), Num(m.low), Num(m.high),
                 Num(m.marginalLow), Num(m.marginalHigh), m.outcome},
                error);
            f != SqlFailure::NONE)
            return failed(f);
    }
    if (const SqlFailure f = Exec("COMMIT", {}, error); f != SqlFailure::NONE)
        return failed(f);
    return Put::STORED;
}

bool SqlRecordStore::Find(const RecordFilter& filter, std::vector<RecordRow>& rows,
                          std::string& error)
{
    rows.clear();
    if (!EnsureOpen(error))
        return false;
    std::string sql = "SELECT uuid, serial, station, operator, start_time, plan_name,"
                      " plan_version, outcome, root_cause FROM records WHERE TRUE";
    std::vector<SqlParam> params;
    const auto where = [&](const char* condition, const std::string& value)
    {
        if (value.empty())
            return;
        params.push_back(value);
        sql += std::string(" AND ") + condition + " $" + std::to_string(params.size());
    };
    where("serial =", filter.serial);
    where("station =", filter.station);
    where("start_time >=", filter.since);
    where("outcome =", filter.outcome);
    sql += " ORDER BY start_time, uuid";
    SqlResult result;
    if (Exec(sql, params, error, &result) != SqlFailure::NONE)
        return false;
    for (const SqlRow& row : result.rows)
        rows.push_back({Cell(row, 0), Cell(row, 1), Cell(row, 2), Cell(row, 3), Cell(row, 4),
                        Cell(row, 5), Cell(row, 6), Cell(row, 7), Cell(row, 8)});
    return true;
}

bool SqlRecordStore::Yield(YieldBy by, std::vector<YieldRow>& rows, std::string& error)
{
    rows.clear();
    if (!EnsureOpen(error))
        return false;
    const std::string key = by == YieldBy::STATION ? "station"
                            : by == YieldBy::DAY   ? "SUBSTR(start_time, 1, 10)"
                                                   : "COALESCE(plan_name, '')";
    // A unit's first record in the group decides its first pass.
    const std::string sql =
        "WITH ranked AS (SELECT " + key +
        " AS k, serial, outcome, ROW_NUMBER() OVER (PARTITION BY " + key +
        ", serial ORDER BY start_time, uuid) AS n FROM records)"
        " SELECT k, COUNT(*), COUNT(DISTINCT serial),"
        " SUM(CASE WHEN outcome IN ('PASS', 'MARGINAL') THEN 1 ELSE 0 END),"
        " SUM(CASE WHEN n = 1 AND outcome IN ('PASS', 'MARGINAL') THEN 1 ELSE 0 END)"
        " FROM ranked GROUP BY k ORDER BY k";
    SqlResult result;
    if (Exec(sql, {}, error, &result) != SqlFailure::NONE)
        return false;
    for (const SqlRow& row : result.rows)
        rows.push_back({Cell(row, 0), Count(row, 1), Count(row, 2), Count(row, 3), Count(row, 4)});
    return true;
}

bool SqlRecordStore::Document(const std::string& uuid, std::string& document, std::string& error)
{
    document.clear();
    if (!EnsureOpen(error))
        return false;
    SqlResult result;
    if (Exec("SELECT document FROM records WHERE uuid = $1", {uuid}, error, &result) !=
        SqlFailure::NONE)
        return false;
    if (!result.rows.empty())
        document = Cell(result.rows[0], 0);
    return true;
}

} // namespace App
