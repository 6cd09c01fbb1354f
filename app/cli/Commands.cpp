#include "app/cli/Commands.h"

#include <array>

namespace App::Cli
{

Factory DeclareList(CLI::App& sub);
Factory DeclareInfo(CLI::App& sub);
Factory DeclareSet(CLI::App& sub);
Factory DeclareRead(CLI::App& sub);
Factory DeclareBatch(CLI::App& sub);
Factory DeclareCheck(CLI::App& sub);
Factory DeclareAnalyse(CLI::App& sub);
Factory DeclareSweep(CLI::App& sub);
Factory DeclareTest(CLI::App& sub);

namespace
{
// Every subcommand of tavik-cli, in the order of the usage line and --help. To add one:
//   1. Write Name.cpp: a class deriving from Subcommand (SubcommandWith<Options> if it has
//      options) with Execute(), and Prepare() for checks before the box is touched; and
//      DeclareName(sub), which adds its options to `sub` and returns Make<Name>(...).
//   2. Declare DeclareName above and add its row here, with what it needs set up.
//   3. Test it in tests/cli; describe it in docs/man/tavik-cli.1 and the README.
const std::array kCommands = {
    CommandEntry{"list", "the attached boxes: serial and description", Needs::BOX, DeclareList},
    CommandEntry{"info", "the box's settings, supply and outputs", Needs::CONNECTED, DeclareInfo},
    CommandEntry{"set", "change the given settings, as the window does", Needs::CONNECTED,
                 DeclareSet},
    CommandEntry{"read",
                 "single readings: raw, ST and MT (a box found off is switched on with its "
                 "default supply)",
                 Needs::POWERED, DeclareRead},
    CommandEntry{"batch",
                 "a batch of readings into a file (.log .txt .dat .csv .h5), then its check",
                 Needs::POWERED, DeclareBatch},
    CommandEntry{"check", "the code tester on a saved file", Needs::NOTHING, DeclareCheck},
    CommandEntry{"analyse", "the run analysis of a saved file: speed, fault classes and events",
                 Needs::NOTHING, DeclareAnalyse},
    CommandEntry{"sweep",
                 "a short batch at each clock of a range: the fastest clean clock, with margin",
                 Needs::POWERED, DeclareSweep},
    CommandEntry{"test",
                 "a production test plan on one unit: PASS, MARGINAL or FAIL, and its record",
                 Needs::POWERED, DeclareTest},
};
} // namespace

std::span<const CommandEntry> Commands()
{
    return kCommands;
}

std::string UsageLine()
{
    std::string names;
    for (const CommandEntry& command : kCommands)
        names += (names.empty() ? "" : "|") + std::string(command.name);
    return "Usage: tavik-cli [--simulate] [--json] [-q] <" + names + "> [OPTIONS]";
}

} // namespace App::Cli
