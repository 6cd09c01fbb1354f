#include "app/cli/Runs.h"
#include "app/cli/Subcommand.h"

#include "app/core/Formats.h"
#include "app/core/RunAnalysis.h"
#include "app/core/RunFile.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <ostream>

namespace App::Cli
{

namespace
{
struct AnalyseOptions : FileOptions
{
    std::optional<unsigned> fileDelay;
    unsigned events = 20;
};

class Analyse : public SubcommandWith<AnalyseOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Execute() override;
};

const char* DirectionName(int direction)
{
    return direction > 0 ? "forward" : direction < 0 ? "backward" : "standing";
}

std::string Turns(std::uint64_t turns)
{
    return Format("%llu turn%s", static_cast<unsigned long long>(turns), turns == 1 ? "" : "s");
}

// Without a delay the speeds are unknown, not 0.
json PartJson(const PartFigures& part, bool timed)
{
    // A part that did not move has no speed: its mean step is noise.
    const bool speed = timed && part.moved;
    return {{"countsPerSecond", speed ? json(part.countsPerSecond) : json()},
            {"rpm", speed ? json(part.rpm) : json()},
            {"direction", DirectionName(part.direction)},
            {"turns", part.turns}};
}

std::string PartText(const PartFigures& part, bool timed)
{
    if (!part.moved)
        return "did not move, " + Turns(part.turns);
    if (!timed)
        return Format("speed unknown, %s, %s", DirectionName(part.direction),
                      Turns(part.turns).c_str());
    return Format("%.1f counts/s, %.2f rpm %s, %s", std::fabs(part.countsPerSecond),
                  std::fabs(part.rpm), DirectionName(part.direction), Turns(part.turns).c_str());
}

int Analyse::Execute()
{
    Run run;
    if (const int code = ReadFile(m_Options, m_Env.err, run); code != EXIT_OK)
        return code;
    if (m_Options.fileDelay)
        run.Settings().delayUs = *m_Options.fileDelay;
    const AnalysisConfig config = run.GetAnalysisConfig();
    const Analysis a = run.Analyse();

    const bool timed = a.durationS > 0;
    const unsigned mtBits = std::min(config.mtBits, 32u - std::min(config.stBits, 32u));
    // The counts include the events beyond those the analysis keeps.
    std::uint64_t total = 0;
    for (const ClassSummary& c : a.classes)
        total += c.count;
    const std::size_t listed = std::min<std::size_t>(a.events.size(), m_Options.events);
    const auto readingOf = [&](long event)
    { return event < 0 ? json() : json(a.events[std::size_t(event)].first); };

    if (m_Global.json)
    {
        json classes = json::array();
        for (std::size_t c = 0; c < kEventClasses; ++c)
        {
            const ClassSummary& s = a.classes[c];
            if (s.count != 0)
                classes.push_back({{"name", EventClassName(EventClass(c))},
                                   {"count", s.count},
                                   {"ppm", s.ppm},
                                   {"first", readingOf(s.first)},
                                   {"worst", readingOf(s.worst)}});
        }
        json events = json::array();
        for (std::size_t i = 0; i < listed; ++i)
        {
            const AnalysisEvent& e = a.events[i];
            events.push_back({{"class", EventClassName(e.cls)},
                              {"first", e.first},
                              {"length", e.length},
                              {"aroundFirst", e.aroundFirst},
                              {"around", e.around}});
        }
        PrintJson({{"file", m_Options.file},
                   {"stBits", config.stBits},
                   {"mtBits", config.mtBits},
                   {"gray", config.gray},
                   {"delayUs", config.delayUs},
                   {"clockHz", config.clockHz},
                   {"readings", a.readings},
                   {"distinct", a.distinct},
                   {"durationS", timed ? json(a.durationS) : json()},
                   {"st", config.stBits != 0 ? PartJson(a.st, timed) : json()},
                   {"mt", mtBits != 0 ? PartJson(a.mt, timed) : json()},
                   {"rootCause", a.rootCause.empty() ? json() : json(a.rootCause)},
                   {"classes", classes},
                   {"events", events},
                   {"truncated", listed < total}});
        return a.Clean() ? EXIT_OK : EXIT_FOUND;
    }

    std::ostream& out = m_Env.out;
    out << "Readings:  " << a.readings << '\n'
        << "Distinct:  " << a.distinct << '\n'
        << "Duration:  "
        << (timed ? Format("%.6g s", a.durationS) : "unknown without a delay (--delay US)") << '\n';
    if (config.stBits != 0)
        out << "ST:        " << PartText(a.st, timed) << '\n';
    if (mtBits != 0)
        out << "MT:        " << PartText(a.mt, timed) << '\n';
    out << '\n';
    if (a.Clean())
    {
        out << "No events found\n";
        return EXIT_OK;
    }
    // The lines the batch check writes to the history.
    for (const std::string& line : a.SummaryLines())
        out << line << '\n';
    if (listed != 0)
    {
        out << '\n' << Format("%-17s %10s %10s\n", "Event", "First", "Length");
        for (std::size_t i = 0; i < listed; ++i)
        {
            const AnalysisEvent& e = a.events[i];
            out << Format("%-17s %10zu %10zu\n", EventClassName(e.cls), e.first, e.length);
        }
        if (listed < total)
            out << Format("... and %llu more\n", static_cast<unsigned long long>(total - listed));
    }
    return EXIT_FOUND;
}

} // namespace

Factory DeclareAnalyse(CLI::App& sub)
{
    auto o = std::make_shared<AnalyseOptions>();
    AddFileOptions(sub, *o);
    sub.add_option("--delay", o->fileDelay,
                   "microseconds between readings (default: the file's; 0: unknown)");
    sub.add_option("--events", o->events, "events listed (default 20)");
    return Make<Analyse>(o);
}

} // namespace App::Cli
