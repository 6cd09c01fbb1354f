#pragma once

#include "app/core/BatchRun.h"
#include "app/core/CodeTester.h"
#include "app/core/Run.h"

#include <initializer_list>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

namespace CLI
{
class App;
class Option;
} // namespace CLI

// Options and helpers shared by the subcommands that record, check or analyse a run.
namespace App::Cli
{

extern const std::map<std::string, MONOTONY> kMonotonies;

// The batch's numbers and the code tester's options (batch, check); the numbers start at the
// batch's start values.
struct CheckOptions
{
    BatchSettings batch;
    std::string stMono = "auto";
    std::string mtMono = "auto";
};
void AddCheckOptions(CLI::App& sub, CheckOptions& o);
// A batch number with the help its range gives; the range is checked later, each value with
// its own message (TakeBatchSettings).
CLI::Option* AddBatchOption(CLI::App& sub, BatchSettings& settings, BatchValue value,
                            bool required = false);
// The batch values the subcommand takes, each against its range, and the radio groups'
// choices; on a bad value its own message on `err` and the exit code.
int TakeBatchSettings(const CheckOptions& options, std::ostream& err,
                      std::initializer_list<BatchValue> values, BatchSettings& settings);

// A saved run and how to read it (check, analyse).
struct FileOptions
{
    std::string file;
    std::optional<unsigned> st;
    std::optional<unsigned> mt;
    bool gray = false;
};
void AddFileOptions(CLI::App& sub, FileOptions& o);

// The saved file as a run, with its bit counts (the options, else the file's); on a
// failure the error is written to `err` and the exit code returned.
int ReadFile(const FileOptions& options, std::ostream& err, Run& run);

} // namespace App::Cli
