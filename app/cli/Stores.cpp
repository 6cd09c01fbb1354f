#include "app/cli/Stores.h"

#include "base/IniFile.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>

namespace App::Cli
{

void AddStoreOptions(CLI::App& sub, StoreOptions& o)
{
    sub.add_option("--store", o.store,
                   "postgresql://..., service=NAME or an SQLite file (default: Store in "
                   "Tavik.ini, else records.sqlite in the data folder)");
    sub.add_option("--spool", o.spool, "the spool folder (default: spool in the data folder)");
}

std::string SpoolFolder(const StoreOptions& o, const CliEnvironment& env)
{
    if (!o.spool.empty())
        return o.spool;
    return env.dataFolder.empty() ? std::string() : DefaultSpoolFolder(env.dataFolder);
}

int OpenStore(const StoreOptions& o, const CliEnvironment& env, const zef::IniFile& ini,
              std::unique_ptr<RecordStore>& store)
{
    std::string spec = o.store;
    if (zef::String configured; spec.empty() && ini.GetString("Default", "Store", configured))
        spec = configured.c_str();
    if (spec.empty())
    {
        if (env.dataFolder.empty())
        {
            env.err << "Error: no store: give --store (no data folder: HOME is not set)\n";
            return EXIT_USAGE;
        }
        std::error_code ignored;
        std::filesystem::create_directories(env.dataFolder, ignored);
        spec = DefaultStoreSpec(env.dataFolder);
    }
    std::string error;
    store = MakeRecordStore(spec, error);
    if (!store)
    {
        env.err << "Error: " << error << '\n';
        return EXIT_USAGE;
    }
    if (!store->Open(error))
    {
        env.err << "Error: " << error << '\n';
        // The spool keeps them for the next try.
        if (const std::string folder = SpoolFolder(o, env); !folder.empty())
            if (const std::size_t waiting = RecordSpool(folder).Waiting(store->Id()); waiting)
                env.err << WaitingText(waiting) << " in " << folder << '\n';
        return EXIT_BOX;
    }
    return EXIT_OK;
}

SpoolForward ForwardSpool(const StoreOptions& o, const CliEnvironment& env, RecordStore& store)
{
    const std::string folder = SpoolFolder(o, env);
    if (folder.empty())
        return {};
    const SpoolForward sent = RecordSpool(folder).Forward(store);
    for (const std::string& refusal : sent.refusals)
        env.err << "Refused, kept in the spool: " << refusal << '\n';
    if (!sent.unreachable.empty())
        env.err << "Error: " << sent.unreachable << " (" << sent.waiting
                << (sent.waiting == 1 ? " record" : " records") << " waiting in " << folder
                << ")\n";
    return sent;
}

} // namespace App::Cli
