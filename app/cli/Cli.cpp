#include "app/cli/Cli.h"

#include "app/TavikVersion.h"
#include "app/cli/Commands.h"
#include "app/cli/Subcommand.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <ostream>
#include <utility>

namespace App
{

namespace
{
volatile std::sig_atomic_t g_Interrupted = 0;

extern "C" void OnInterrupt(int)
{
    g_Interrupted = 1;
}

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0    success; test: PASS or MARGINAL\n"
    "  1    a box or link failure (the box's status on stderr); records, yield, report: the\n"
    "       results store out of reach; records --sync: records left waiting\n"
    "  2    bad usage, a malformed input file or an output file that cannot be written\n"
    "  3    check or batch found errors in the readings or could not check them (fewer than 3\n"
    "       readings, no encoder answering); analyse found events; sweep found no clean clock;\n"
    "       test: FAIL\n"
    "  130  interrupted (Ctrl-C); what arrived is kept, a sweep or a monitor\n"
    "       gives the box its own settings back\n";

int Run(Cli::Needs needs, const Cli::GlobalOptions& global, Cli::Subcommand& command)
{
    if (const int code = command.Prepare(); code != EXIT_OK)
        return code;
    if (needs >= Cli::Needs::BOX && global.wait)
        if (const int code = command.WaitForBox(); code != EXIT_OK)
            return code;
    if (needs >= Cli::Needs::CONNECTED)
        if (const int code = command.Connect(); code != EXIT_OK)
            return code;
    if (needs >= Cli::Needs::POWERED)
        if (const int code = command.PowerOn(); code != EXIT_OK)
            return code;
    return command.Execute();
}
} // namespace

void InstallInterruptHandler()
{
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool Interrupted()
{
    return g_Interrupted != 0;
}

void ClearInterrupt()
{
    g_Interrupted = 0;
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env)
{
    Cli::GlobalOptions o;
    CLI::App app{"The Tavik box from a terminal and from scripts.", "tavik-cli"};
    app.set_version_flag("--version", std::string("tavik-cli ") + TAVIK_VERSION);
    app.footer(kExitCodes);
    app.require_subcommand(1, 1);
    app.fallthrough();
    app.add_flag("--simulate", o.simulate, "list a simulated box after the real ones");
    app.add_flag("--json", o.json, "one JSON document on stdout");
    app.add_flag("-q,--quiet", o.quiet, "no history lines on stdout");
    std::vector<double> wait;
    app.add_option("--wait", wait,
                   "wait for the box (-d, UsbDevice, else any) to be attached, at most SECONDS "
                   "(none: until Ctrl-C); also bounds read --reconnect's wait for its return")
        ->expected(0, 1)
        ->type_name("[SECONDS]")
        ->check(CLI::NonNegativeNumber);

    std::vector<std::pair<CLI::App*, Cli::Factory>> declared;
    for (const Cli::CommandEntry& command : Cli::Commands())
    {
        CLI::App* sub = app.add_subcommand(command.name, command.summary);
        if (command.needs >= Cli::Needs::CONNECTED)
            sub->add_option(
                "-d,--device", o.device,
                "the box's serial (default: UsbDevice in Tavik.ini, else the only box)");
        declared.emplace_back(sub, command.declare(*sub));
    }

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try
    {
        app.parse(reversed);
    }
    catch (const CLI::ParseError& e)
    {
        if (e.get_exit_code() == 0)
        {
            // --help and --version
            app.exit(e, env.out, env.err);
            return EXIT_OK;
        }
        env.err << "Error: " << e.what() << '\n' << Cli::UsageLine() << '\n';
        return EXIT_USAGE;
    }

    o.wait = app.count("--wait") > 0;
    if (!wait.empty())
        o.waitSeconds = wait.front();
    for (std::size_t i = 0; i < declared.size(); ++i)
    {
        if (declared[i].first->parsed())
        {
            const Cli::Needs needs = Cli::Commands()[i].needs;
            const std::unique_ptr<Cli::Subcommand> command = declared[i].second(o, env);
            if (needs != Cli::Needs::NOTHING && env.setUpDevices)
                env.setUpDevices(o.simulate);
            return Run(needs, o, *command);
        }
    }
    return EXIT_USAGE;
}

} // namespace App
