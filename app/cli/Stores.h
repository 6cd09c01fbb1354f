#pragma once

#include "app/cli/Cli.h"
#include "app/core/RecordSpool.h"
#include "app/core/RecordStore.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace CLI
{
class App;
}

namespace zef
{
class IniFile;
}

// The results store and the spool as records, yield and report choose them.
namespace App::Cli
{

struct StoreOptions
{
    std::string store; // --store, else Store in Tavik.ini, else records.sqlite in the data folder
    std::string spool; // --spool, else spool/ in the data folder
};
void AddStoreOptions(CLI::App& sub, StoreOptions& o);

// The store the options, the INI file and the data folder name, opened; on failure the error
// is written to `err` and the exit code returned (EXIT_USAGE for a store that cannot be
// named, EXIT_BOX for one that does not answer).
int OpenStore(const StoreOptions& o, const CliEnvironment& env, const zef::IniFile& ini,
              std::unique_ptr<RecordStore>& store);
std::string SpoolFolder(const StoreOptions& o, const CliEnvironment& env);

// Forwards the spool's waiting records; a line on `err` for each refused record and for a
// store out of reach.
SpoolForward ForwardSpool(const StoreOptions& o, const CliEnvironment& env, RecordStore& store);

} // namespace App::Cli
