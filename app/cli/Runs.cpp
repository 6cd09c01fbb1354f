#include "app/cli/Runs.h"

#include "app/cli/Cli.h"
#include "app/cli/Output.h"
#include "app/core/BoxSession.h"
#include "app/core/Formats.h"
#include "app/core/RunFile.h"

#include <CLI/CLI.hpp>

#include <ostream>
#include <utility>
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
    AddBatchOption(sub, o.batch, BATCH_ST_STEP);
    AddBatchOption(sub, o.batch, BATCH_MT_STEP);
    AddBatchOption(sub, o.batch, BATCH_ERROR_LIMIT);
}

CLI::Option* AddBatchOption(CLI::App& sub, BatchSettings& settings, BatchValue value, bool required)
{
    const BatchValueRange& range = BatchRange(value);
    std::string help = range.what;
    if (range.max != 0xFFFFFFFFu)
        help += ", " + FormatCount(range.min) + " to " + FormatCount(range.max);
    if (!required)
        help += Format(" (default %u)", range.start);
    unsigned* target = nullptr;
    switch (value)
    {
    case BATCH_DELAY:
        target = &settings.delayUs;
        break;
    case BATCH_COUNT:
        target = &settings.count;
        break;
    case BATCH_MT_STEP:
        target = &settings.check.mtStep;
        break;
    case BATCH_ST_STEP:
        target = &settings.check.stStep;
        break;
    case BATCH_ERROR_LIMIT:
        target = &settings.check.errorLimit;
        break;
    }
    CLI::Option* option = sub.add_option("--" + std::string(range.name), *target, help);
    return required ? option->required() : option;
}

int TakeBatchSettings(const CheckOptions& options, std::ostream& err,
                      std::initializer_list<BatchValue> values, BatchSettings& settings)
{
    settings = options.batch;
    for (const BatchValue value : values)
    {
        const BatchValueRange& range = BatchRange(value);
        if (const std::string why = CheckBatchValue(value, BatchValueOf(settings, value));
            !why.empty())
            return UsageError(
                err, Format("--%s %u: %s", range.name, BatchValueOf(settings, value), why.c_str()));
    }
    settings.check.stMonotony = kMonotonies.at(options.stMono);
    settings.check.mtMonotony = kMonotonies.at(options.mtMono);
    return EXIT_OK;
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

int ReadFile(const FileOptions& options, std::ostream& err, Run& run)
{
    if (RunFileTypeOf(options.file) == RUN_FILE_UNKNOWN)
        return UsageError(err, options.file + ": expected " + kRunFileTypes);
    RunFileContents contents;
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
    const bool gray = options.gray || contents.gray;
    run = Run::FromFile(std::move(contents), *st, *mt, gray);
    return EXIT_OK;
}

} // namespace App::Cli
