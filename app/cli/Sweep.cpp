#include "app/cli/Subcommand.h"

#include "app/core/ClockSweep.h"
#include "app/core/Formats.h"

#include <CLI/CLI.hpp>

#include <ostream>

namespace App::Cli
{

namespace
{
struct SweepOptions
{
    ClockSweep::Settings sweep;
};

class Sweep : public SubcommandWith<SweepOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Prepare() override;
    int Execute() override;
};

std::string FormatRate(double rate)
{
    return rate == 0 ? std::string("0") : Format("%.2e", rate);
}

int Sweep::Prepare()
{
    if (const std::string why = ClockSweep::CheckSettings(m_Options.sweep); !why.empty())
        return Usage(why.substr(std::string("Clock sweep: ").size()));
    return EXIT_OK;
}

int Sweep::Execute()
{
    const BoxView& view = m_Session.View();
    // Binary readings, as for a batch.
    ClockSweep sweep(m_Box, m_Sink, view.stBits, view.mtBits, false);
    if (!sweep.Start(m_Options.sweep))
        return EXIT_BOX;
    const bool interrupted =
        PollUntilDone({[&sweep] { return sweep.GetState() == ClockSweep::SWEEP_RUNNING; },
                       [&sweep] { return sweep.IsStreaming(); },
                       [&sweep] { sweep.Poll(); },
                       [&sweep] { sweep.Stop(); },
                       {}});
    const ClockSweep::View result = sweep.GetView();
    const ClockSweep::Recommendation& r = result.recommendation;
    if (m_Global.json)
    {
        json points = json::array();
        for (const ClockSweep::Point& p : result.points)
        {
            if (p.done)
                points.push_back({{"hz", p.hz},
                                  {"delayUs", p.delayUs},
                                  {"readings", p.readings},
                                  {"errors", p.errors},
                                  {"rate", p.Rate()}});
        }
        PrintJson({{"points", points},
                   {"highestClean", r.highestClean},
                   {"recommended", r.clock},
                   {"recommendation", r.text},
                   {"interrupted", interrupted}});
    }
    else
    {
        m_Env.out << Format("%-12s %9s %9s %9s\n", "Clock", "Readings", "Errors", "Rate");
        for (const ClockSweep::Point& p : result.points)
        {
            if (p.done)
                m_Env.out << Format("%-12s %9u %9llu %9s\n", FormatFrequency(p.hz).c_str(),
                                    unsigned(p.readings), (unsigned long long)p.errors,
                                    FormatRate(p.Rate()).c_str());
        }
        if (r.valid)
            m_Env.out << r.text << '\n';
    }
    if (interrupted)
        return EXIT_INTERRUPT;
    if (result.state == ClockSweep::SWEEP_FAILED || m_Sink.ErrorCount() != 0)
        return EXIT_BOX;
    return r.clock == 0 ? EXIT_FOUND : EXIT_OK;
}

} // namespace

Factory DeclareSweep(CLI::App& sub)
{
    auto o = std::make_shared<SweepOptions>();
    sub.add_option("--from", o->sweep.fromHz, "lowest clock in Hz (default 250000)");
    sub.add_option("--to", o->sweep.toHz, "highest clock in Hz (default 2000000)");
    sub.add_option("--count", o->sweep.count, "readings per clock, 3 to 16777214 (default 10000)");
    sub.add_option("--delay", o->sweep.delayUs,
                   "microseconds between readings, 10 to 4095 (default: the minimum of each "
                   "clock)");
    return Make<Sweep>(o);
}

} // namespace App::Cli
