#pragma once

#include "app/core/RecordStore.h"

#include <optional>
#include <string>
#include <vector>

// The record store's SQL, shared by SQLite and PostgreSQL: each backend brings a connection
// that runs one parameterised statement ($1, $2, ... as PostgreSQL writes them).
namespace App
{

using SqlParam = std::optional<std::string>; // null, or the value as text
using SqlRow = std::vector<std::optional<std::string>>;

struct SqlResult
{
    std::vector<SqlRow> rows;
    std::uint64_t changed = 0; // rows an INSERT wrote
};

enum class SqlFailure
{
    NONE,
    REFUSED,     // the statement was understood and denied (rights, constraints, data)
    UNREACHABLE, // the database did not answer: connection lost, file locked
    OTHER,
};

class SqlConnection
{
public:
    virtual ~SqlConnection() = default;
    virtual bool Connect(std::string& error) = 0;
    virtual SqlFailure Exec(const std::string& sql, const std::vector<SqlParam>& params,
                            SqlResult& result, std::string& error) = 0;
    // The statement that starts the migrations' transaction and keeps a second program
    // from migrating at the same time.
    virtual const char* BeginMigration() const = 0;
};

class SqlRecordStore : public RecordStore
{
public:
    SqlRecordStore(std::string id, std::unique_ptr<SqlConnection> connection)
        : m_Id(std::move(id)), m_Db(std::move(connection))
    {
    }
    const std::string& Id() const override { return m_Id; }
    bool Open(std::string& error) override;
    Put Store(const StoreRecord& record, std::string& error) override;
    bool Find(const RecordFilter& filter, std::vector<RecordRow>& rows,
              std::string& error) override;
    bool Yield(YieldBy by, std::vector<YieldRow>& rows, std::string& error) override;
    bool Document(const std::string& uuid, std::string& document, std::string& error) override;
    int SchemaVersion() override { return m_Version; }

private:
    SqlFailure Exec(const std::string& sql, const std::vector<SqlParam>& params, std::string& error,
                    SqlResult* result = nullptr);
    bool EnsureOpen(std::string& error);

    std::string m_Id;
    std::unique_ptr<SqlConnection> m_Db;
    bool m_Open = false;
    int m_Version = 0;
};

std::unique_ptr<SqlConnection> MakeSqliteConnection(const std::string& path);
std::unique_ptr<SqlConnection> MakePostgresConnection(const std::string& conninfo);

} // namespace App
