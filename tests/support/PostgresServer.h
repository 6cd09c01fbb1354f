#pragma once

// A real PostgreSQL server for the store tests: initdb and pg_ctl of the installed server in a
// scratch folder, listening on a Unix socket there and nowhere else. The server refuses to
// run as root, so under root (CI) it runs as the user nobody.

#include <libpq-fe.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <pwd.h>
#include <unistd.h>

class PostgresServer
{
public:
    PostgresServer() = default;
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;
    ~PostgresServer()
    {
        if (!m_Folder.empty())
        {
            Stop();
            std::error_code ignored;
            std::filesystem::remove_all(m_Folder, ignored);
        }
    }

    // Creates and starts the server; false with the reason to skip for.
    bool Start(std::string& why)
    {
        m_Bin = FindBin();
        if (m_Bin.empty())
        {
            why = "no PostgreSQL server installed (initdb, pg_ctl in /usr/lib/postgresql/*/bin; "
                  "SETUP_STORE_TEST=1 scripts/setup-deps.sh installs postgresql-15)";
            return false;
        }
        char folder[] = "/tmp/tavik-pg-XXXXXX";
        if (!mkdtemp(folder))
        {
            why = "no scratch folder";
            return false;
        }
        m_Folder = folder;
        if (geteuid() == 0)
        {
            const passwd* nobody = getpwnam("nobody");
            if (!nobody || chown(folder, nobody->pw_uid, nobody->pw_gid) != 0)
            {
                why = "running as root and no user nobody to run the server as";
                return false;
            }
            m_As = "runuser -u nobody -- ";
        }
        if (!Run(m_Bin + "/initdb -D " + m_Folder +
                 "/data -U postgres -A trust --no-sync -E UTF8"
                 " --locale=C >" +
                 m_Folder + "/initdb.log 2>&1"))
        {
            why = "initdb failed (" + m_Folder + "/initdb.log)";
            return false;
        }
        if (!Start())
        {
            why = "the server did not start (" + m_Folder + "/server.log)";
            return false;
        }
        return true;
    }

    bool Start()
    {
        return Run(m_Bin + "/pg_ctl -D " + m_Folder + "/data -l " + m_Folder +
                   "/server.log -w -o \"-k " + m_Folder +
                   " -c listen_addresses='' -c fsync=off -p 5432\" start >/dev/null");
    }

    bool Stop()
    {
        return Run(m_Bin + "/pg_ctl -D " + m_Folder + "/data -m fast -w stop >/dev/null 2>&1");
    }

    std::string Conninfo(const std::string& user = "postgres",
                         const std::string& database = "postgres") const
    {
        return "host=" + m_Folder + " port=5432 user=" + user + " dbname=" + database;
    }

    // Runs SQL as the superuser; the error text, empty on success.
    std::string Admin(const std::string& sql, const std::string& database = "postgres") const
    {
        std::unique_ptr<PGconn, decltype(&PQfinish)> db(
            PQconnectdb(Conninfo("postgres", database).c_str()), &PQfinish);
        if (PQstatus(db.get()) != CONNECTION_OK)
            return PQerrorMessage(db.get());
        std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(db.get(), sql.c_str()),
                                                             &PQclear);
        const ExecStatusType status = PQresultStatus(result.get());
        return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK
                   ? std::string()
                   : std::string(PQerrorMessage(db.get()));
    }

private:
    static std::string FindBin()
    {
        for (int version = 17; version >= 13; --version)
        {
            const std::string bin = "/usr/lib/postgresql/" + std::to_string(version) + "/bin";
            if (access((bin + "/initdb").c_str(), X_OK) == 0 &&
                access((bin + "/pg_ctl").c_str(), X_OK) == 0)
                return bin;
        }
        return {};
    }

    bool Run(const std::string& command) const
    {
        // The scratch folder's own name is the only text in the commands: no quoting needed.
        return std::system((m_As + command).c_str()) == 0;
    }

    std::string m_Bin;
    std::string m_Folder;
    std::string m_As;
};
