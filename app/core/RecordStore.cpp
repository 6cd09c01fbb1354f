#include "app/core/RecordStore.h"

#include "app/core/SqlStore.h"

#include <filesystem>

namespace App
{

#ifdef TAVIK_HAVE_POSTGRESQL
std::string PostgresStoreId(const std::string& conninfo, std::string& error);
#endif

bool IsPostgresSpec(const std::string& spec)
{
    const auto starts = [&](const char* prefix) { return spec.rfind(prefix, 0) == 0; };
    // libpq's key=value form starts with a keyword and '='; a path rarely does.
    const std::size_t equals = spec.find('=');
    const bool keyword = equals != std::string::npos && equals > 0 &&
                         spec.find_first_not_of("abcdefghijklmnopqrstuvwxyz_") == equals;
    return starts("postgresql://") || starts("postgres://") || keyword;
}

std::unique_ptr<RecordStore> MakeRecordStore(const std::string& spec, std::string& error)
{
    if (spec.empty())
    {
        error = "no store named";
        return nullptr;
    }
    if (IsPostgresSpec(spec))
    {
#ifdef TAVIK_HAVE_POSTGRESQL
        std::string id = PostgresStoreId(spec, error);
        if (id.empty())
            return nullptr;
        return std::make_unique<SqlRecordStore>(std::move(id), MakePostgresConnection(spec));
#else
        error = "this Tavik was built without PostgreSQL (libpq-dev was missing)";
        return nullptr;
#endif
    }
#ifdef TAVIK_HAVE_SQLITE
    std::error_code failed;
    const std::filesystem::path path = std::filesystem::absolute(spec, failed);
    return std::make_unique<SqlRecordStore>("sqlite:" + path.lexically_normal().string(),
                                            MakeSqliteConnection(spec));
#else
    error = "this Tavik was built without SQLite (libsqlite3-dev was missing)";
    return nullptr;
#endif
}

std::string UserDataFolder(const char* xdgDataHome, const char* home)
{
    // Relative values are invalid and ignored, as the XDG base directories ask.
    if (xdgDataHome && xdgDataHome[0] == '/')
        return std::string(xdgDataHome) + "/tavik";
    if (home && home[0] == '/')
        return std::string(home) + "/.local/share/tavik";
    return {};
}

std::string DefaultStoreSpec(const std::string& dataFolder)
{
    return (std::filesystem::path(dataFolder) / "records.sqlite").string();
}

std::string DefaultSpoolFolder(const std::string& dataFolder)
{
    return (std::filesystem::path(dataFolder) / "spool").string();
}

} // namespace App
