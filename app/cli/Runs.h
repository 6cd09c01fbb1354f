#pragma once

#include "app/core/CodeTester.h"
#include "app/core/RunFile.h"

#include <iosfwd>
#include <map>
#include <optional>
#include <string>

namespace CLI
{
class App;
}

// Options and helpers shared by the subcommands that record, check or analyse a run.
namespace App::Cli
{

extern const std::map<std::string, MONOTONY> kMonotonies;

// The code tester's options (batch, check).
struct CheckOptions
{
    std::string stMono = "auto";
    std::string mtMono = "auto";
    unsigned stStep = 1;
    unsigned mtStep = 1;
    unsigned limit = 1;
};
void AddCheckOptions(CLI::App& sub, CheckOptions& o);

// A saved run and how to read it (check, analyse).
struct FileOptions
{
    std::string file;
    std::optional<unsigned> st;
    std::optional<unsigned> mt;
    bool gray = false;
};
void AddFileOptions(CLI::App& sub, FileOptions& o);

// The saved file and its bit counts (the options, else the file's); on a failure the
// error is written to `err` and the exit code returned.
int ReadFile(const FileOptions& options, std::ostream& err, RunFileContents& contents,
             unsigned& stBits, unsigned& mtBits);

} // namespace App::Cli
