#include "app/core/ClockSweep.h"

#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/RunAnalysis.h"
#include "app/core/Unplugged.h"
#include "driver/Box.h"

#include <algorithm>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
constexpr unsigned kMinCount = 3; // the code tester checks runs of 3 readings and more
constexpr unsigned kMaxCount = 16777214;
constexpr unsigned kMinDelay = 10;
constexpr unsigned kMaxDelay = 4095;
} // namespace

ClockSweep::ClockSweep(Box& box, HistorySink& sink, unsigned stBits, unsigned mtBits, bool gray,
                       const FTD2xx::Clock& clock)
    : m_Box(box), m_Sink(sink), m_StBits(stBits), m_MtBits(mtBits), m_Gray(gray),
      m_Recording(box, clock)
{
}

std::vector<unsigned> ClockSweep::Frequencies(unsigned fromHz, unsigned toHz)
{
    std::vector<unsigned> list;
    unsigned previous = 0;
    for (unsigned f = SampleParameter::GetNextFrequence(0); f > previous;
         f = SampleParameter::GetNextFrequence(f))
    {
        if (f >= fromHz && f <= toHz)
            list.push_back(f);
        previous = f;
    }
    return list;
}

unsigned ClockSweep::StepBelow(unsigned hz)
{
    const std::vector<unsigned> all = Frequencies(0, hz);
    if (all.size() < 2)
        return all.empty() ? SampleParameter::GetNextFrequence(0) : all.front();
    return all.back() == hz ? all[all.size() - 2] : all.back();
}

unsigned ClockSweep::MinimumDelay(unsigned clocks, unsigned hz)
{
    // The batch warns at or below clocks / f + 20 us; one microsecond more keeps clear of it.
    const unsigned long long us = (unsigned long long)clocks * 1000000ull / std::max(hz, 1u);
    return unsigned(std::clamp<unsigned long long>(us + 21, kMinDelay, kMaxDelay));
}

ClockSweep::Recommendation ClockSweep::Recommend(const std::vector<Point>& points)
{
    Recommendation r;
    std::size_t clean = 0; // clean points from the lowest up
    std::size_t checked = 0;
    for (const Point& p : points)
    {
        if (!p.done)
            break;
        ++checked;
        if (p.errors == 0 && clean + 1 == checked)
            ++clean;
    }
    if (checked == 0)
        return r;
    r.valid = true;
    if (clean == 0)
    {
        r.text = Format("Errors even at %s: the problem is not the clock. Check the cable, its "
                        "shield and the encoder's supply.",
                        FormatFrequency(points.front().hz).c_str());
        return r;
    }
    r.highestClean = points[clean - 1].hz;
    if (clean == checked)
    {
        // No failing clock was found, so there is no edge to keep a margin from.
        r.clock = r.highestClean;
        r.text = Format("No errors up to %s. Recommended clock: %s.",
                        FormatFrequency(r.highestClean).c_str(), FormatFrequency(r.clock).c_str());
        return r;
    }
    r.clock = StepBelow(r.highestClean);
    r.text = Format("No errors up to %s, errors from %s. Recommended clock: %s (one step below, "
                    "for margin).",
                    FormatFrequency(r.highestClean).c_str(),
                    FormatFrequency(points[clean].hz).c_str(), FormatFrequency(r.clock).c_str());
    return r;
}

std::string ClockSweep::Status(int status) const
{
    return m_Box.GetStatusAsString(status);
}

ClockSweep::TextCheck ClockSweep::CheckTexts(const std::array<std::string, 4>& texts)
{
    static constexpr const char* kNames[4] = {"From", "To", "Count", "Delay"};
    TextCheck check;
    std::array<unsigned*, 4> values = {&check.settings.fromHz, &check.settings.toHz,
                                       &check.settings.count, &check.settings.delayUs};
    const auto fail = [&check](std::size_t edit, std::string why)
    {
        check.valid[edit] = false;
        if (check.reason.empty())
            check.reason = std::move(why);
    };
    for (std::size_t e = 0; e < 4; ++e)
    {
        const std::string& text = texts[e];
        unsigned long long value = 0;
        bool digits = !text.empty() && text.size() <= 10;
        for (const char c : text)
        {
            digits = digits && c >= '0' && c <= '9';
            value = digits ? value * 10 + unsigned(c - '0') : 0;
        }
        if (!digits || value > 0xFFFFFFFFull)
            fail(e, Format("%s: \"%s\" is not a whole number.", kNames[e], text.c_str()));
        else
            *values[e] = unsigned(value);
    }
    if (!check.reason.empty())
        return check;
    const Settings& s = check.settings;
    if (s.fromHz > s.toHz)
    {
        fail(EDIT_FROM, "From must not be above To.");
        check.valid[EDIT_TO] = false;
    }
    else if (Frequencies(s.fromHz, s.toHz).empty())
    {
        fail(EDIT_FROM, CheckSettings(s));
        check.valid[EDIT_TO] = false;
    }
    if (s.count < kMinCount || s.count > kMaxCount)
        fail(EDIT_COUNT,
             Format("Count takes %u to %s readings.", kMinCount, FormatCount(kMaxCount).c_str()));
    if (s.delayUs != 0 && (s.delayUs < kMinDelay || s.delayUs > kMaxDelay))
        fail(EDIT_DELAY, Format("Delay takes %u to %u us, or 0 for the minimum of each clock.",
                                kMinDelay, kMaxDelay));
    return check;
}

std::string ClockSweep::CheckSettings(const Settings& settings)
{
    if (Frequencies(settings.fromHz, settings.toHz).empty())
        return Format("Clock sweep: no selectable clock from %u Hz to %u Hz.", settings.fromHz,
                      settings.toHz);
    if (settings.count < kMinCount || settings.count > kMaxCount ||
        (settings.delayUs != 0 && (settings.delayUs < kMinDelay || settings.delayUs > kMaxDelay)))
        return Format("Clock sweep: the count takes %u to %u readings, the delay %u to %u us (or "
                      "0 for the minimum of each clock).",
                      kMinCount, kMaxCount, kMinDelay, kMaxDelay);
    return {};
}

bool ClockSweep::Start(const Settings& settings)
{
    if (m_State == SWEEP_RUNNING)
        return false;
    m_LastError.clear();
    if (const std::string why = CheckSettings(settings); !why.empty())
    {
        m_LastError = why;
        m_Sink.Error(why);
        return false;
    }
    const std::vector<unsigned> clocks = Frequencies(settings.fromHz, settings.toHz);
    const int status = m_Box.GetSampleParameter(m_Own);
    if (status != Box::OK)
    {
        Error("Error while reading sample parameter.\n",
              Recording::Failure::Of(m_Box, Recording::READ_PARAMETERS, status));
        return false;
    }
    m_Settings = settings;
    m_Points.clear();
    for (const unsigned hz : clocks)
    {
        Point p;
        p.hz = hz;
        p.delayUs = settings.delayUs ? settings.delayUs : MinimumDelay(m_Own.GetClocks(), hz);
        m_Points.push_back(p);
    }
    m_Current = 0;
    m_Recording.TakeReadings();
    m_State = SWEEP_RUNNING;
    m_Sink.Line(Format("Clock sweep: %u clocks from %s to %s, %u readings each.",
                       unsigned(m_Points.size()), FormatFrequency(clocks.front()).c_str(),
                       FormatFrequency(clocks.back()).c_str(), settings.count));
    return true;
}

void ClockSweep::Poll()
{
    if (m_State != SWEEP_RUNNING)
        return;
    if (m_Recording.IsStreaming())
        Collect();
    else
        Begin();
}

void ClockSweep::Begin()
{
    const Point& point = m_Points[m_Current];
    Settle(m_Recording.Start({m_Settings.count, point.delayUs, point.hz}, m_Own));
}

void ClockSweep::Collect()
{
    Settle(m_Recording.Poll());
}

void ClockSweep::Settle(Recording::State state)
{
    if (state == Recording::COMPLETE)
        return Finish();
    if (state != Recording::FAILED)
        return;
    const Recording::Failure& failure = *m_Recording.LastFailure();
    Fail(failure.step == Recording::WRITE_PARAMETERS ? "setting" : "sampling", failure);
}

void ClockSweep::Finish()
{
    // Every event of the run analysis counts once: a late reading is one error, not one into
    // it and one out of it, and the encoder's direction comes from the run itself.
    AnalysisConfig config;
    config.stBits = m_StBits;
    config.mtBits = m_MtBits;
    config.gray = m_Gray;
    config.delayUs = m_Points[m_Current].delayUs;
    config.clockHz = m_Points[m_Current].hz;
    const Analysis analysis = AnalyseRun(m_Recording.Readings(), config);
    std::uint64_t errors = 0;
    for (const ClassSummary& c : analysis.classes)
        errors += c.count;

    Point& point = m_Points[m_Current];
    point.readings = m_Recording.Readings().size();
    point.errors = errors;
    point.done = true;
    m_Sink.Line(Format("Clock sweep: %s, %u readings, %llu errors.",
                       FormatFrequency(point.hz).c_str(), unsigned(point.readings),
                       (unsigned long long)point.errors));
    m_Recording.TakeReadings();
    if (++m_Current < m_Points.size())
        return;
    Restore();
    m_State = SWEEP_DONE;
    m_Sink.Line(Recommend(m_Points).text);
}

void ClockSweep::Stop()
{
    if (m_State != SWEEP_RUNNING)
        return;
    if (m_Recording.IsStreaming())
    {
        m_Recording.Stop();
        if (const auto& failure = m_Recording.LastFailure();
            failure && failure->step == Recording::TERMINATE)
            Error("Error while terminating sample processing.", *failure);
    }
    m_State = SWEEP_STOPPED;
    m_Sink.Line("Clock sweep stopped.");
    Restore();
}

void ClockSweep::Fail(const std::string& what, const Recording::Failure& failure)
{
    m_Recording.TakeReadings();
    m_State = SWEEP_FAILED;
    Error(Format("Clock sweep: error while %s at %s.\n", what.c_str(),
                 FormatFrequency(m_Points[m_Current].hz).c_str()),
          failure);
    Restore();
}

void ClockSweep::Error(const std::string& text, const Recording::Failure& failure)
{
    m_BoxVanished = m_BoxVanished || failure.vanished;
    m_LastError = text + failure.statusText;
    m_Sink.Error(m_LastError);
}

void ClockSweep::Restore()
{
    const std::string clock = FormatFrequency(m_Own.GetFrequence());
    const int status = m_Box.SetSampleParameter(m_Own);
    if (status == Box::OK)
        m_Sink.Line("Clock sweep: the box's own settings are back, clock " + clock + ".");
    else
    {
        m_BoxVanished = m_BoxVanished || MeansUnplugged(status, Status(status));
        m_Sink.Error("Clock sweep: could not restore the box's own settings (clock " + clock +
                     ").\n" + Status(status));
    }
}

ClockSweep::View ClockSweep::GetView() const
{
    View view;
    view.state = m_State;
    view.points = m_Points;
    view.done = std::size_t(
        std::count_if(m_Points.begin(), m_Points.end(), [](const Point& p) { return p.done; }));
    view.readingsMax = m_State == SWEEP_RUNNING ? m_Settings.count : 0;
    view.readingsPos = m_State == SWEEP_RUNNING ? m_Recording.Readings().size() : 0;
    view.lastError = m_LastError;
    // A recommendation needs every clock of the range: the edge may lie above a stop.
    if (m_State == SWEEP_DONE)
        view.recommendation = Recommend(m_Points);
    else if (m_State == SWEEP_STOPPED)
        view.recommendation.text = "Sweep stopped: no recommendation.";
    else if (m_State == SWEEP_FAILED)
        view.recommendation.text = "Sweep failed: no recommendation.";
    return view;
}

} // namespace App
