#pragma once

#include "app/cli/Cli.h"

#include <functional>
#include <memory>
#include <span>
#include <string>

namespace CLI
{
class App;
}

namespace App::Cli
{

class Subcommand;
struct GlobalOptions;

// What a subcommand needs set up before it runs; each level includes the ones before it.
enum class Needs
{
    NOTHING,   // files only
    BOX,       // the box layer, no box chosen (list)
    CONNECTED, // the box chosen (-d, else UsbDevice, else the only one) and connected
    POWERED,   // and its supply on: a box found off is switched on
};

// Makes the subcommand once its options are parsed.
using Factory =
    std::function<std::unique_ptr<Subcommand>(const GlobalOptions& global, CliEnvironment& env)>;

struct CommandEntry
{
    const char* name;
    const char* summary; // the line in --help
    Needs needs;
    // Adds the subcommand's options to its parser (-d comes from `needs`).
    Factory (*declare)(CLI::App& sub);
};

std::span<const CommandEntry> Commands();

// "Usage: tavik-cli [--simulate] [--json] [-q] <list|info|...> [OPTIONS]"
std::string UsageLine();

} // namespace App::Cli
