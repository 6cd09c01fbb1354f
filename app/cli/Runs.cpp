#include "app/cli/Runs.h"

#include "app/cli/Cli.h"
#include "app/cli/Output.h"
#include "app/core/BoxSession.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <vector>

namespace App::Cli
{

const std::map<std::string, MONOTONY> kMonotonies = {
    {"asc", MONO_ASC},
    {"desc", MONO_DESC},
    {"auto", MONO_AUTODETECT},
    {"none", MONO_NO_TEST},
};

void AddCheckOptions(CLI::App& sub, CheckOptions& o)
{
    std::vector<std::string> monotonies;
    for (const auto& entry : kMonotonies)
        monotonies.push_back(entry.first);
    sub.add_option("--st-mono", o.stMono, "ST monotony (default auto)")
        ->check(CLI::IsMember(monotonies));
    sub.add_option("--mt-mono", o.mtMono, "MT monotony (default auto)")
        ->check(CLI::IsMember(monotonies));
    sub.add_option("--st-step", o.stStep, "largest ST step (default 1)")->check(CLI::Range(1, 99));
    sub.add_option("--mt-step", o.mtStep, "largest MT step (default 1)")->check(CLI::Range(1, 99));
    sub.add_option("--limit", o.limit, "stop after this many errors (default 1)");
}

void AddFileOptions(CLI::App& sub, FileOptions& o)
{
    sub.add_option("FILE", o.file, "a .log, .txt, .dat, .csv or .h5 file")->required();
    sub.add_option("--st", o.st, "singleturn bits (.csv and .h5 files give them)")
        ->check(CLI::Range(0u, BoxSession::ST_BITS_MAX));
    sub.add_option("--mt", o.mt, "multiturn bits (.csv and .h5 files give them)")
        ->check(CLI::Range(0u, BoxSession::MT_BITS_MAX));
    sub.add_flag("--gray", o.gray, "the readings are Gray coded");
}

int ReadFile(const FileOptions& options, std::ostream& err, RunFileContents& contents,
             unsigned& stBits, unsigned& mtBits)
{
    if (RunFileTypeOf(options.file) == RUN_FILE_UNKNOWN)
        return UsageError(err, options.file + ": expected " + kRunFileTypes);
    std::string error;
    if (!ReadRunFile(options.file, contents, error))
    {
        err << "Error: " << error << '\n';
        return EXIT_USAGE;
    }
    // The file's bit counts stand in for options not given.
    const std::optional<RunSettings>& settings = contents.settings;
    const std::optional<unsigned> st = options.st ? options.st
                                       : settings ? std::optional(settings->stBits)
                                                  : std::nullopt;
    const std::optional<unsigned> mt = options.mt ? options.mt
                                       : settings ? std::optional(settings->mtBits)
                                                  : std::nullopt;
    if (!st || !mt)
        return UsageError(err, options.file + ": give the bit counts with --st and --mt");
    stBits = *st;
    mtBits = *mt;
    return EXIT_OK;
}

} // namespace App::Cli
