#pragma once

#include "app/cli/Cli.h"
#include "app/cli/Commands.h"
#include "app/cli/Output.h"
#include "app/core/BoxSession.h"
#include "base/IniFile.h"
#include "driver/Box.h"
#include "link/Clock.h"

#include <functional>
#include <memory>
#include <optional>
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
    // --wait: wait for the box before the command, at most waitSeconds (none: until Ctrl-C).
    bool wait = false;
    std::optional<double> waitSeconds;
};

// The environment's sleep as a clock: time passes only in its sleeps, which is all that the
// waits of a run need, and tests that advance a manual clock there see the same times.
class SleepClock : public FTD2xx::Clock
{
public:
    explicit SleepClock(const std::function<void(unsigned)>& sleep) : m_Sleep(sleep) {}
    TimePoint Now() const override { return m_Now; }
    void SleepUntil(TimePoint t) override;

private:
    const std::function<void(unsigned)>& m_Sleep;
    TimePoint m_Now{};
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

    // --wait: looks for the box (-d, else UsbDevice, else any) until it is listed, the time is
    // up (EXIT_BOX) or Ctrl-C (EXIT_INTERRUPT).
    int WaitForBox();
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
    // In GS_WAITING: reopens the box when it returns, within --wait's time if given; false
    // when it did not come back (the reason on stderr) or on Ctrl-C.
    bool WaitForReturn();
    // The serial --wait and a reconnect look for: -d, else UsbDevice, else "" (any box).
    std::string WantedSerial() const;
    void Sleep(unsigned ms)
    {
        if (m_Env.sleep)
            m_Env.sleep(ms);
    }

    const GlobalOptions& m_Global;
    CliEnvironment& m_Env;
    zef::IniFile m_Ini;
    SleepClock m_Clock;
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
