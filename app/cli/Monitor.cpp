#include "app/cli/Subcommand.h"

#include "app/core/Formats.h"
#include "app/core/LiveView.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <ostream>

namespace App::Cli
{

namespace
{
struct MonitorOptions
{
    unsigned seconds = 0; // 0: until Ctrl-C
    unsigned delayUs = 0;
    std::size_t jitterReadings = 1000;
    unsigned jumpLimit = 1;
};

class Monitor : public SubcommandWith<MonitorOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Prepare() override;
    int Execute() override;

private:
    void PrintSecond(const LiveView& view, unsigned second,
                     const std::array<std::uint64_t, kEventClasses>& before);
};

// Ten polls a second: the box's buffer never fills at its top rate.
constexpr unsigned kTickMs = 100;

int Monitor::Prepare()
{
    if (m_Options.delayUs != 0 &&
        (m_Options.delayUs < LiveView::kMinDelayUs || m_Options.delayUs > LiveView::kMaxDelayUs))
        return Usage(Format("--delay must be %u to %u microseconds", LiveView::kMinDelayUs,
                            LiveView::kMaxDelayUs));
    if (m_Options.jitterReadings < 2)
        return Usage("--jitter must be at least 2 readings");
    return EXIT_OK;
}

void Monitor::PrintSecond(const LiveView& view, unsigned second,
                          const std::array<std::uint64_t, kEventClasses>& before)
{
    // The mean of the second's speed points: one point alone carries the noise of its ends.
    const std::size_t total = view.Ring()->Total();
    const double perSecond = 1.0 / view.SecondsPerReading();
    double sum = 0;
    std::size_t points = 0;
    for (auto it = view.Speeds().rbegin();
         it != view.Speeds().rend() && double(total - it->index) <= perSecond; ++it, ++points)
        sum += it->countsPerSecond;
    double cps = points == 0 ? 0.0 : sum / double(points);
    if (std::fabs(view.Rpm(cps)) < 0.005)
        cps = 0; // not "-0.00 rpm"
    const JitterFigures j = view.Jitter();
    const LiveView::Drag& drag = view.GetDrag();
    json events = json::object();
    std::string eventText;
    for (std::size_t c = 0; c < kEventClasses; ++c)
    {
        const std::uint64_t n = view.EventCounts()[c] - before[c];
        if (n == 0)
            continue;
        events[EventClassName(EventClass(c))] = n;
        eventText += Format("%s%s: %s", eventText.empty() ? "" : ", ",
                            EventClassName(EventClass(c)), FormatCount(n).c_str());
    }
    if (m_Global.json)
    {
        const json line = {{"second", second},
                           {"rpm", view.Rpm(cps)},
                           {"countsPerSecond", cps},
                           {"readings", view.Ring()->Total()},
                           {"jitter",
                            {{"readings", j.count},
                             {"stdDevCounts", j.stdDev},
                             {"stdDevArcSeconds", j.stdDev * j.arcSecondsPerCount},
                             {"peakToPeakCounts", j.peakToPeak},
                             {"peakToPeakArcSeconds", double(j.peakToPeak) * j.arcSecondsPerCount},
                             {"largestJump", j.largestJump}}},
                           {"largestJumpSinceStart", drag.largestJump},
                           {"jumpLimit", view.GetJumpLimit()},
                           {"jumpWithinLimit", view.JumpWithinLimit()},
                           {"events", events}};
        m_Env.out << line.dump() << std::endl;
        return;
    }
    m_Env.out << Format("%4u s  %9.2f rpm %12s counts/s  sd %.2f counts (%.1f arcsec)  p-p %lld "
                        "(%.1f arcsec)  jump %s %s %u  events: %s",
                        second, view.Rpm(cps),
                        (std::llround(cps) < 0
                             ? "-" + FormatCount((unsigned long long)std::llround(-cps))
                             : FormatCount((unsigned long long)std::llround(cps)))
                            .c_str(),
                        j.stdDev, j.stdDev * j.arcSecondsPerCount, (long long)j.peakToPeak,
                        double(j.peakToPeak) * j.arcSecondsPerCount,
                        FormatCount((unsigned long long)drag.largestJump).c_str(),
                        view.JumpWithinLimit() ? "<=" : ">", view.GetJumpLimit(),
                        eventText.empty() ? "none" : eventText.c_str())
              << std::endl;
}

int Monitor::Execute()
{
    const BoxView& box = m_Session.View();
    LiveView view(m_Box, m_Sink);
    view.SetJitterReadings(m_Options.jitterReadings);
    view.SetJumpLimit(m_Options.jumpLimit);
    LiveView::Settings settings;
    settings.delayUs = m_Options.delayUs;
    settings.seconds = 10; // the figures look back one second at most
    settings.stBits = box.stBits;
    settings.mtBits = box.mtBits;
    if (!view.Start(settings))
        return EXIT_BOX;
    std::array<std::uint64_t, kEventClasses> before{};
    int code = EXIT_OK;
    for (unsigned tick = 1;; ++tick)
    {
        Sleep(kTickMs);
        if (Interrupted())
        {
            code = EXIT_INTERRUPT;
            break;
        }
        view.Poll();
        if (!view.IsStreaming())
        {
            code = EXIT_BOX;
            break;
        }
        if (tick % (1000 / kTickMs) == 0)
        {
            const unsigned second = tick / (1000 / kTickMs);
            PrintSecond(view, second, before);
            before = view.EventCounts();
            if (m_Options.seconds != 0 && second >= m_Options.seconds)
                break;
        }
    }
    // Ends the stream and writes the box's own settings back, also after Ctrl-C.
    view.Stop();
    return m_Sink.ErrorCount() != 0 && code == EXIT_OK ? EXIT_BOX : code;
}

} // namespace

Factory DeclareMonitor(CLI::App& sub)
{
    auto o = std::make_shared<MonitorOptions>();
    sub.add_option("--seconds", o->seconds, "seconds to run (default: until Ctrl-C)");
    sub.add_option("--delay", o->delayUs,
                   "microseconds between readings, 10 to 4095 (default: the smallest the clock "
                   "and bit counts allow)");
    sub.add_option("--jitter", o->jitterReadings,
                   "readings the jitter is computed over (default 1000)");
    sub.add_option("--limit", o->jumpLimit,
                   "the check \"jump <= K steps\"; smaller spikes and jumps are jitter, not "
                   "events (default 1)");
    return Make<Monitor>(o);
}

} // namespace App::Cli
