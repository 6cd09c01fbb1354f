#pragma once

#include "app/cli/Cli.h"
#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/core/BoxSession.h"
#include "base/IniFile.h"
#include "driver/Box.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace App::Cli
{

// The options before the subcommand's name, and -d.
struct GlobalOptions
{
    bool simulate = false;
    bool json = false;
    bool quiet = false;
    std::string device;
};

// The batch's collection tick: short enough for a lively progress bar, long enough to cost
// the processor next to nothing while the box streams.
constexpr unsigned kPollMs = 200;

// One run of the program: the box, its session and the sink, set up for one subcommand.
// Each subcommand derives from it; RunCli calls Prepare(), the setup its table row needs
// (Connect(), PowerOn()), then Execute().
class Subcommand
{
public:
    Subcommand(const GlobalOptions& global, CliEnvironment& env);
    virtual ~Subcommand() = default;
    Subcommand(const Subcommand&) = delete;
    Subcommand& operator=(const Subcommand&) = delete;

    // Checks the options before the box is touched; anything but EXIT_OK ends the run.
    virtual int Prepare() { return EXIT_OK; }
    virtual int Execute() = 0;

    // Scans, picks the box (-d, else UsbDevice, else the only one) and connects.
    int Connect();
    // A box found off is switched on with the supply its defaults chose, as the window's
    // power button does after connecting.
    int PowerOn();

protected:
    int Usage(const std::string& message) { return UsageError(m_Env.err, message); }
    std::string Description(const BoxView::Device& device) const;
    std::vector<BoxView::Device> InLinkOrder() const;
    json History() const;
    void PrintJson(json document);
    // The collection loop for a batch or a sweep: a poll every tick while the box streams,
    // Stop on Ctrl-C. True when interrupted.
    struct Polled
    {
        std::function<bool()> running;
        std::function<bool()> streaming;
        std::function<void()> poll;
        std::function<void()> stop;
        std::function<void()> progress;
    };
    bool PollUntilDone(const Polled& engine);
    void Sleep(unsigned ms)
    {
        if (m_Env.sleep)
            m_Env.sleep(ms);
    }

    const GlobalOptions& m_Global;
    CliEnvironment& m_Env;
    zef::IniFile m_Ini;
    CliSink m_Sink;
    Tavik::Box m_Box;
    BoxSession m_Session;
};

// A subcommand with options of its own, parsed into an `Options` before it is made.
template <class Options> class SubcommandWith : public Subcommand
{
public:
    SubcommandWith(const GlobalOptions& global, CliEnvironment& env, const Options& options)
        : Subcommand(global, env), m_Options(options)
    {
    }

protected:
    const Options& m_Options;
};

// The factory a subcommand's declare function returns.
template <class Command> Factory Make()
{
    return [](const GlobalOptions& global, CliEnvironment& env) -> std::unique_ptr<Subcommand>
    { return std::make_unique<Command>(global, env); };
}

template <class Command, class Options> Factory Make(std::shared_ptr<Options> options)
{
    return
        [options](const GlobalOptions& global, CliEnvironment& env) -> std::unique_ptr<Subcommand>
    { return std::make_unique<Command>(global, env, *options); };
}

} // namespace App::Cli
