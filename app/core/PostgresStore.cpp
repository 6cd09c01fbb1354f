#include "app/core/SqlStore.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>

namespace App
{

namespace
{
struct Finish
{
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct Clear
{
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, Finish>;
using Result = std::unique_ptr<PGresult, Clear>;

// A server that does not answer is reported after this many seconds, unless the connection
// string says otherwise.
constexpr const char* kConnectTimeout = "10";

std::string Trimmed(const char* message)
{
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

class PostgresConnection : public SqlConnection
{
public:
    explicit PostgresConnection(std::string conninfo) : m_Conninfo(std::move(conninfo)) {}

    bool Connect(std::string& error) override
    {
        // The connection string comes last, so what it says wins (sslmode, connect_timeout,
        // service); a password comes from ~/.pgpass, PGPASSFILE or the service file.
        const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
        const char* values[] = {kConnectTimeout, "Tavik", m_Conninfo.c_str(), nullptr};
        m_Db.reset(PQconnectdbParams(keys, values, 1));
        if (!m_Db || PQstatus(m_Db.get()) != CONNECTION_OK)
        {
            error = "PostgreSQL: " + Trimmed(m_Db ? PQerrorMessage(m_Db.get()) : "out of memory");
            m_Db.reset();
            return false;
        }
        return true;
    }

    SqlFailure Exec(const std::string& sql, const std::vector<SqlParam>& params, SqlResult& out,
                    std::string& error) override
    {
        out = {};
        // A connection the server dropped (a restart) is made again once per statement.
        if (!m_Db || PQstatus(m_Db.get()) != CONNECTION_OK)
        {
            if (m_Db)
                PQreset(m_Db.get());
            if (!m_Db || PQstatus(m_Db.get()) != CONNECTION_OK)
            {
                std::string reason;
                if (!Connect(reason))
                {
                    error = reason;
                    return SqlFailure::UNREACHABLE;
                }
            }
        }
        std::vector<const char*> values;
        for (const SqlParam& param : params)
            values.push_back(param ? param->c_str() : nullptr);
        // Without parameters the simple protocol, which also takes two statements in one.
        Result result(params.empty() ? PQexec(m_Db.get(), sql.c_str())
                                     : PQexecParams(m_Db.get(), sql.c_str(), int(values.size()),
                                                    nullptr, values.data(), nullptr, nullptr, 0));
        const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        {
            error = "PostgreSQL: " + Trimmed(PQerrorMessage(m_Db.get()));
            const char* state =
                result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
            const std::string code = state ? state : "";
            // Class 08: connection; 57P: the server shutting down; no code: no answer.
            if (PQstatus(m_Db.get()) != CONNECTION_OK || code.empty() || code.rfind("08", 0) == 0 ||
                code.rfind("57P", 0) == 0)
                return SqlFailure::UNREACHABLE;
            // 42501: insufficient privilege; 23: constraints; 22: data.
            if (code == "42501" || code.rfind("23", 0) == 0 || code.rfind("22", 0) == 0)
                return SqlFailure::REFUSED;
            return SqlFailure::OTHER;
        }
        const int rows = PQntuples(result.get());
        const int columns = PQnfields(result.get());
        for (int r = 0; r < rows; ++r)
        {
            SqlRow row;
            for (int c = 0; c < columns; ++c)
                row.push_back(PQgetisnull(result.get(), r, c)
                                  ? std::nullopt
                                  : std::optional<std::string>(PQgetvalue(result.get(), r, c)));
            out.rows.push_back(std::move(row));
        }
        out.changed = std::strtoull(PQcmdTuples(result.get()), nullptr, 10);
        return SqlFailure::NONE;
    }

    // One program at a time creates or migrates the tables; the lock ends with the transaction.
    const char* BeginMigration() const override
    {
        return "BEGIN; SELECT pg_advisory_xact_lock(4711290)";
    }

private:
    std::string m_Conninfo;
    Connection m_Db;
};
} // namespace

std::unique_ptr<SqlConnection> MakePostgresConnection(const std::string& conninfo)
{
    return std::make_unique<PostgresConnection>(conninfo);
}

// The store's name for the spool's markers: host, port and database, or the service; never
// the password or other options.
std::string PostgresStoreId(const std::string& conninfo, std::string& error)
{
    char* message = nullptr;
    std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
        PQconninfoParse(conninfo.c_str(), &message), PQconninfoFree);
    if (!options)
    {
        error = "PostgreSQL connection string: " + Trimmed(message ? message : "out of memory");
        PQfreemem(message);
        return {};
    }
    std::string service, host, port, dbname, user;
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o)
    {
        const std::string key = o->keyword;
        const std::string value = o->val ? o->val : "";
        if (key == "service")
            service = value;
        else if (key == "host" || key == "hostaddr")
            host = host.empty() ? value : host;
        else if (key == "port")
            port = value;
        else if (key == "dbname")
            dbname = value;
    }
    if (!service.empty())
        return "postgresql:service=" + service;
    return "postgresql://" + host + (port.empty() ? "" : ":" + port) + "/" + dbname;
}

} // namespace App
