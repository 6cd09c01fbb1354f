#include "app/core/Recording.h"

#include "app/core/Unplugged.h"
#include "driver/Box.h"

#include <algorithm>

namespace App
{

using Tavik::Box;

Recording::Recording(Box& box, const FTD2xx::Clock& clock) : m_Box(box), m_Clock(clock) {}

Recording::~Recording()
{
    if (m_State == STREAMING)
        m_Box.TerminateSample();
}

Recording::Failure Recording::Failure::Of(const Box& box, Step step, int status)
{
    const std::string text = box.GetStatusAsString(status);
    return {step, status, text, MeansUnplugged(status, text)};
}

Recording::State Recording::Fail(Step step, int status)
{
    m_Failure = Failure::Of(m_Box, step, status);
    m_State = FAILED;
    return m_State;
}

double Recording::SecondsSince(FTD2xx::Clock::TimePoint t) const
{
    return std::chrono::duration<double>(m_Clock.Now() - t).count();
}

Recording::State Recording::Start(const Settings& settings)
{
    if (m_State == STREAMING)
        return m_State;
    Tavik::SampleParameter base;
    const int status = m_Box.GetSampleParameter(base);
    if (status != Box::OK)
    {
        m_Settings = settings;
        std::vector<unsigned>().swap(m_Buffer);
        return Fail(READ_PARAMETERS, status);
    }
    return Start(settings, base);
}

Recording::State Recording::Start(const Settings& settings, const Tavik::SampleParameter& base)
{
    if (m_State == STREAMING)
        return m_State;
    m_Failure.reset();
    // The old buffer goes first, so two full buffers never live at once.
    std::vector<unsigned>().swap(m_Buffer);
    m_Total = m_RoundArrived = m_Dropped = 0;
    m_Rounds = 0;
    const bool endless = settings.mode == UNTIL_STOP;
    m_Parameters = base;
    if (settings.clockHz != 0)
        m_Parameters.SetFrequence(settings.clockHz);
    m_Parameters.SetSampleCount(endless ? settings.roundCount : settings.count);
    m_Parameters.SetDelay(settings.delayUs);
    m_Settings = settings;
    const int status = m_Box.SetSampleParameter(m_Parameters);
    if (status != Box::OK)
        return Fail(WRITE_PARAMETERS, status);
    m_Settings.count = endless ? 0 : m_Parameters.GetSampleCount();
    m_Settings.delayUs = m_Parameters.GetDelay();
    // Room for the whole run at once: the buffer never grows by doubling.
    if (!endless)
        m_Buffer.reserve(m_Settings.count);
    m_Started = m_LastArrival = m_Clock.Now();
    return StartRound();
}

Recording::State Recording::StartRound()
{
    m_RoundArrived = 0;
    ++m_Rounds;
    const int status = m_Box.Sample(m_Arrived);
    if (status == Box::OK || status == Box::TIMEOUT)
    {
        Append(m_Arrived);
        m_State = status == Box::TIMEOUT || m_Settings.mode == UNTIL_STOP ? STREAMING : COMPLETE;
        return m_State;
    }
    // Placeholders, not readings (they may fill a whole run's worth of memory); and a run
    // that may have started must not block the next command.
    std::vector<unsigned>().swap(m_Arrived);
    m_Box.TerminateSample();
    return Fail(SAMPLE, status);
}

Recording::State Recording::Poll()
{
    if (m_State != STREAMING)
        return m_State;
    const int status = m_Box.GetNextSamples(m_Arrived);
    if (status != Box::OK)
    {
        Fail(COLLECT, status);
        // The run ends here with what arrived; a box still streaming would refuse the next
        // run. Its answer adds nothing to the failure.
        m_Box.TerminateSample();
        return m_State;
    }
    if (!m_Arrived.empty())
        m_LastArrival = m_Clock.Now();
    Append(m_Arrived);
    if (m_Settings.mode == UNTIL_COUNT && m_Total >= m_Settings.count)
        m_State = COMPLETE;
    // The box stopped at the round's end; the next round starts at once. The shaft moved on
    // meanwhile: a restart is a step in time of at most one tick, not a lost reading.
    if (m_Settings.mode == UNTIL_STOP && m_RoundArrived >= m_Parameters.GetSampleCount())
        return StartRound();
    return m_State;
}

void Recording::Stop()
{
    if (m_State != STREAMING)
        return;
    m_State = STOPPED;
    const int status = m_Box.TerminateSample();
    if (status != Box::OK)
        m_Failure = Failure::Of(m_Box, TERMINATE, status);
}

void Recording::Append(const std::vector<unsigned>& readings)
{
    // At most the readings still missing of the run, or of an endless stream's round.
    const std::size_t expected =
        m_Settings.mode == UNTIL_STOP
            ? m_Parameters.GetSampleCount() - m_RoundArrived
            : m_Settings.count - std::min<std::size_t>(m_Total, m_Settings.count);
    const std::size_t taken = std::min(expected, readings.size());
    m_Buffer.insert(m_Buffer.end(), readings.begin(), readings.begin() + std::ptrdiff_t(taken));
    m_Total += taken;
    m_RoundArrived += taken;
    if (m_Buffer.size() > kMaxUndrained)
    {
        // Nobody drains: the oldest go, counted, rather than all memory.
        const std::size_t excess = m_Buffer.size() - kMaxUndrained;
        m_Buffer.erase(m_Buffer.begin(), m_Buffer.begin() + std::ptrdiff_t(excess));
        m_Dropped += excess;
    }
}

void Recording::TakeArrived(std::vector<unsigned>& out)
{
    out.swap(m_Buffer);
    m_Buffer.clear();
}

std::vector<unsigned> Recording::TakeReadings()
{
    if (m_State == STREAMING)
        Stop();
    m_State = IDLE;
    std::vector<unsigned> readings;
    readings.swap(m_Buffer);
    return readings;
}

Recording::View Recording::GetView() const
{
    View view;
    view.state = m_State;
    view.count = m_Settings.count;
    view.arrived = m_Total;
    view.dropped = m_Dropped;
    view.rounds = m_Rounds;
    view.lastFailure = m_Failure;
    if (m_State == STREAMING)
    {
        const double seconds = SecondsSince(m_Started);
        if (seconds > 0 && m_Total > 0)
        {
            view.ratePerSecond = double(m_Total) / seconds;
            if (m_Settings.mode == UNTIL_COUNT)
                view.secondsLeft = double(m_Settings.count - m_Total) / view.ratePerSecond;
        }
        view.secondsSinceReading = SecondsSince(m_LastArrival);
        view.stalled = view.secondsSinceReading >= kStallSeconds;
    }
    return view;
}

} // namespace App
