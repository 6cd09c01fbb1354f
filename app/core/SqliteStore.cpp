#include "app/core/SqlStore.h"

#include <sqlite3.h>

#include <memory>

namespace App
{

namespace
{
struct CloseDb
{
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct Finalize
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Db = std::unique_ptr<sqlite3, CloseDb>;
using Statement = std::unique_ptr<sqlite3_stmt, Finalize>;

// Another station's program holding the file longer than this is reported, not waited for.
constexpr int kBusyMs = 10000;

SqlFailure Classify(int code)
{
    switch (code & 0xff)
    {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_PROTOCOL:
        return SqlFailure::UNREACHABLE;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CONSTRAINT:
    case SQLITE_MISMATCH:
        return SqlFailure::REFUSED;
    default:
        return SqlFailure::OTHER;
    }
}

class SqliteConnection : public SqlConnection
{
public:
    explicit SqliteConnection(std::string path) : m_Path(std::move(path)) {}

    bool Connect(std::string& error) override
    {
        sqlite3* db = nullptr;
        const int code = sqlite3_open_v2(m_Path.c_str(), &db,
                                         SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        m_Db.reset(db);
        if (code != SQLITE_OK)
        {
            error = m_Path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
            m_Db.reset();
            return false;
        }
        sqlite3_busy_timeout(db, kBusyMs);
        sqlite3_extended_result_codes(db, 1);
        // Foreign keys are off in SQLite unless asked for; the stores agree on them.
        sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
        return true;
    }

    SqlFailure Exec(const std::string& sql, const std::vector<SqlParam>& params, SqlResult& result,
                    std::string& error) override
    {
        result = {};
        if (!m_Db)
        {
            error = m_Path + ": not open";
            return SqlFailure::UNREACHABLE;
        }
        // $1 is PostgreSQL's; ?1 means the same to SQLite.
        std::string text = sql;
        for (char& c : text)
            if (c == '$')
                c = '?';
        sqlite3_stmt* raw = nullptr;
        int code = sqlite3_prepare_v2(m_Db.get(), text.c_str(), int(text.size()), &raw, nullptr);
        Statement statement(raw);
        if (code != SQLITE_OK)
            return Fail(code, error);
        for (std::size_t i = 0; i < params.size(); ++i)
        {
            const int index = int(i) + 1;
            code = params[i] ? sqlite3_bind_text(statement.get(), index, params[i]->data(),
                                                 int(params[i]->size()), SQLITE_TRANSIENT)
                             : sqlite3_bind_null(statement.get(), index);
            if (code != SQLITE_OK)
                return Fail(code, error);
        }
        const int columns = sqlite3_column_count(statement.get());
        while ((code = sqlite3_step(statement.get())) == SQLITE_ROW)
        {
            SqlRow row;
            for (int c = 0; c < columns; ++c)
            {
                const auto* value =
                    reinterpret_cast<const char*>(sqlite3_column_text(statement.get(), c));
                row.push_back(
                    value ? std::optional<std::string>(std::string(
                                value, std::size_t(sqlite3_column_bytes(statement.get(), c))))
                          : std::nullopt);
            }
            result.rows.push_back(std::move(row));
        }
        if (code != SQLITE_DONE)
            return Fail(code, error);
        result.changed = std::uint64_t(sqlite3_changes64(m_Db.get()));
        return SqlFailure::NONE;
    }

    const char* BeginMigration() const override { return "BEGIN IMMEDIATE"; }

private:
    SqlFailure Fail(int code, std::string& error)
    {
        error = m_Path + ": " + sqlite3_errmsg(m_Db.get());
        return Classify(code);
    }

    std::string m_Path;
    Db m_Db;
};
} // namespace

std::unique_ptr<SqlConnection> MakeSqliteConnection(const std::string& path)
{
    return std::make_unique<SqliteConnection>(path);
}

} // namespace App
