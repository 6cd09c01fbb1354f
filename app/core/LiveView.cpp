#include "app/core/LiveView.h"

#include "app/core/ClockSweep.h"
#include "app/core/Formats.h"
#include "app/core/HistorySink.h"
#include "app/core/Unplugged.h"
#include "driver/Box.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace App
{

namespace
{
std::uint32_t LowMask(unsigned bits)
{
    return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
}

// The analysis looks back this far into readings it has seen, so that an event at the edge
// of a chunk has its context, and leaves the newest kTail readings for the next chunk, where
// a spike's way back may still be missing.
constexpr std::size_t kOverlap = 1024;
constexpr std::size_t kTail = 512;
constexpr std::size_t kAnalyseEvery = 4096;
// The median of this many readings stands for the position at a speed point's end, so that a
// single spike there does not show as a burst of speed.
constexpr std::size_t kMedianOf = 5;
} // namespace

std::int64_t WrappedStep(std::uint32_t from, std::uint32_t to, unsigned bits)
{
    const unsigned up = 64 - std::clamp(bits, 1u, 32u);
    return static_cast<std::int64_t>((std::uint64_t(to) - from) << up) >> up;
}

JitterFigures ComputeJitter(std::span<const unsigned> readings, unsigned bits, unsigned stBits)
{
    JitterFigures f;
    f.arcSecondsPerCount = 1296000.0 / std::ldexp(1.0, int(std::min(stBits, 32u)));
    f.count = readings.size();
    if (readings.empty())
        return f;
    const std::uint32_t mask = LowMask(bits);
    const std::uint32_t origin = readings[0] & mask;
    // Deviations from the first reading, the short way round: a position resting at 0
    // scatters to both sides without a jump of the whole range.
    double sum = 0, squares = 0;
    std::int64_t lo = 0, hi = 0;
    std::uint32_t previous = origin;
    for (const unsigned r : readings)
    {
        const std::uint32_t p = r & mask;
        const std::int64_t d = WrappedStep(origin, p, bits);
        sum += double(d);
        squares += double(d) * double(d);
        lo = std::min(lo, d);
        hi = std::max(hi, d);
        f.largestJump =
            std::max(f.largestJump, std::int64_t(std::llabs(WrappedStep(previous, p, bits))));
        previous = p;
    }
    const double n = double(readings.size());
    const double meanDeviation = sum / n;
    f.stdDev = std::sqrt(std::max(0.0, squares / n - meanDeviation * meanDeviation));
    f.peakToPeak = hi - lo;
    const double range = std::ldexp(1.0, int(std::min(bits, 32u)));
    // Within [-0.5, range - 0.5): a mean just below 0 reads -0.3, not the top of the range.
    f.mean = std::fmod(double(origin) + meanDeviation + range, range);
    if (f.mean >= range - 0.5)
        f.mean -= range;

    const std::int64_t centre = std::llround(meanDeviation);
    const std::int64_t half = JitterFigures::kMaxBins / 2;
    const std::int64_t from = std::max(lo - centre, -half);
    const std::int64_t to = std::min(hi - centre, half);
    f.histogramFrom = from;
    f.bins.assign(std::size_t(to - from + 1), 0);
    for (const unsigned r : readings)
    {
        const std::int64_t d = WrappedStep(origin, r & mask, bits) - centre;
        ++f.bins[std::size_t(std::clamp(d, from, to) - from)];
    }
    return f;
}

LiveView::LiveView(Tavik::Box& box, HistorySink& sink, const FTD2xx::Clock& clock)
    : m_Box(box), m_Sink(sink), m_Recording(box, clock)
{
}

LiveView::~LiveView()
{
    Stop();
}

std::size_t LiveView::RingReadings(const Settings& settings, unsigned delayUs)
{
    if (settings.readings != 0)
        return settings.readings;
    const double readings = std::max(0.0, settings.seconds) * 1e6 / std::max(delayUs, 1u);
    return std::size_t(std::min(readings, 4e9));
}

std::string LiveView::MemoryText(std::size_t bytes)
{
    if (bytes < 1000000)
        return Format("%.1f kB", double(bytes) / 1e3);
    if (bytes < 1000000000)
        return Format("%.1f MB", double(bytes) / 1e6);
    return Format("%.2f GB", double(bytes) / 1e9);
}

unsigned LiveView::WholeBits() const
{
    return std::clamp(m_Settings.stBits + m_Settings.mtBits, 1u, 32u);
}

LiveBits LiveView::BitsOf(Part part) const
{
    switch (part)
    {
    case PART_ST:
        return {0, std::clamp(m_Settings.stBits, 1u, 32u)};
    case PART_MT:
        return {std::min(m_Settings.stBits, 31u), std::clamp(m_Settings.mtBits, 1u, 32u)};
    case PART_WHOLE:
        break;
    }
    return {0, WholeBits()};
}

double LiveView::Rpm(double countsPerSecond) const
{
    return countsPerSecond * 60.0 / std::ldexp(1.0, int(std::min(m_Settings.stBits, 32u)));
}

void LiveView::Prepare(const Settings& settings, unsigned delayUs)
{
    m_Settings = settings;
    m_DelayUs = std::max(delayUs, 1u);
    const std::size_t readings = RingReadings(settings, m_DelayUs);
    // The old ring goes first, so two never live at once.
    m_Ring.reset();
    m_Ring = std::make_unique<LiveRing>(readings, BitsOf(m_Part));
    m_SpeedStride =
        std::max<std::size_t>(1, std::size_t(std::lround(kSpeedPointSeconds * 1e6 / m_DelayUs)));
    m_Paused = false;
    Clear();
}

bool LiveView::Start(const Settings& settings)
{
    if (IsStreaming())
        return true;
    m_Vanished = false;
    m_Drained = 0;
    const int status = m_Box.GetSampleParameter(m_Own);
    if (status != Tavik::Box::OK)
    {
        const Recording::Failure failure =
            Recording::Failure::Of(m_Box, Recording::READ_PARAMETERS, status);
        m_Vanished = failure.vanished;
        m_Sink.Error("Live view: could not read the box's settings.\n" + failure.statusText);
        return false;
    }
    unsigned delay = settings.delayUs != 0
                         ? std::clamp(settings.delayUs, kMinDelayUs, kMaxDelayUs)
                         : ClockSweep::MinimumDelay(m_Own.GetClocks(), m_Own.GetFrequence());
    try
    {
        Prepare(settings, delay);
    }
    catch (const std::bad_alloc&)
    {
        m_Ring.reset();
        m_Sink.Error(Format("Live view: a ring of %s readings (%s) does not fit into memory.",
                            FormatCount(RingReadings(settings, delay)).c_str(),
                            MemoryText(LiveRing::BytesFor(RingReadings(settings, delay))).c_str()));
        return false;
    }
    Recording::Settings stream;
    stream.delayUs = delay;
    stream.mode = Recording::UNTIL_STOP;
    stream.roundCount = settings.roundCount;
    m_Restore = true;
    if (m_Recording.Start(stream, m_Own) != Recording::STREAMING)
    {
        Failed();
        return false;
    }
    m_DelayUs = m_Recording.GetParameters().GetDelay();
    const double rate = 1e6 / m_DelayUs;
    m_Sink.Line(Format("Live view: a reading every %u us (%s readings/s); the ring keeps %s "
                       "readings (%s, %s).",
                       m_DelayUs, FormatCount((unsigned long long)std::llround(rate)).c_str(),
                       FormatCount(m_Ring->Capacity()).c_str(),
                       FormatSeconds(double(m_Ring->Capacity()) / rate).c_str(),
                       MemoryText(m_Ring->Bytes()).c_str()));
    return true;
}

void LiveView::Failed()
{
    const std::optional<Recording::Failure>& failure = m_Recording.LastFailure();
    m_Vanished = failure && failure->vanished;
    m_Sink.Error("Live view stopped: the box failed.\n" + (failure ? failure->statusText : ""));
    if (m_Vanished)
        m_Restore = false;
    Restore();
}

void LiveView::Poll()
{
    if (!IsStreaming())
        return;
    const Recording::State state = m_Recording.Poll();
    m_Recording.TakeArrived(m_Chunk);
    Drained();
    if (state == Recording::FAILED)
        Failed();
}

void LiveView::Drained()
{
    const std::size_t from = m_Drained;
    m_Drained += m_Chunk.size();
    if (m_Paused || !m_Ring)
        return;
    const std::size_t round = std::max(1u, m_Settings.roundCount);
    for (std::size_t seam = (from / round + 1) * round; seam < m_Drained; seam += round)
        m_Seams.push_back(m_Ring->Total() + (seam - from));
    Take(m_Chunk);
}

void LiveView::Stop()
{
    if (!IsStreaming())
        return;
    m_Recording.Stop();
    m_Recording.TakeArrived(m_Chunk);
    Drained();
    if (m_Ring)
        Analyse(true);
    Restore();
}

void LiveView::Restore()
{
    if (!m_Restore)
        return;
    m_Restore = false;
    const int status = m_Box.SetSampleParameter(m_Own);
    if (status == Tavik::Box::OK)
        m_Sink.Line("Live view stopped; the box's own settings are back.");
    else
    {
        const std::string text = m_Box.GetStatusAsString(status);
        m_Vanished = m_Vanished || MeansUnplugged(status, text);
        m_Sink.Error("Live view: could not restore the box's own settings.\n" + text);
    }
}

void LiveView::SetPaused(bool paused)
{
    if (paused == m_Paused)
        return;
    m_Paused = paused;
    if (!paused && m_Ring)
        m_SegmentStart = m_AnalysedTo = m_Ring->Total();
}

void LiveView::Clear()
{
    if (m_Ring)
        m_Ring->Clear();
    m_SegmentStart = m_AnalysedTo = 0;
    m_Speeds.clear();
    m_Events.clear();
    m_Seams.clear();
    m_EventCounts = {};
    m_Drag = {};
}

void LiveView::SetPart(Part part)
{
    m_Part = part;
    if (m_Ring)
        m_Ring->SetBits(BitsOf(part));
}

std::size_t LiveView::Segment() const
{
    return std::max(m_SegmentStart, m_Ring ? m_Ring->First() : 0);
}

void LiveView::Feed(std::span<const unsigned> readings)
{
    if (m_Ring && !m_Paused)
        Take(readings);
}

void LiveView::Take(std::span<const unsigned> readings)
{
    if (readings.empty())
        return;
    const std::size_t from = m_Ring->Total();
    const unsigned bits = WholeBits();
    const std::uint32_t mask = LowMask(bits);
    bool hasPrevious = from > Segment();
    std::uint32_t previous = hasPrevious ? std::uint32_t(m_Ring->At(from - 1) & mask) : 0;
    for (const unsigned r : readings)
    {
        const std::uint32_t p = r & mask;
        if (!m_Drag.any)
            m_Drag = {true, p, p, 0, p};
        // Around the first reading since the reset, the short way: an encoder resting at 0
        // drags to -2 and 2, not to the top of the range.
        const std::int64_t d = WrappedStep(std::uint32_t(m_Drag.origin), p, bits);
        m_Drag.min = std::min(m_Drag.min, m_Drag.origin + d);
        m_Drag.max = std::max(m_Drag.max, m_Drag.origin + d);
        if (hasPrevious)
            m_Drag.largestJump = std::max(m_Drag.largestJump,
                                          std::int64_t(std::llabs(WrappedStep(previous, p, bits))));
        previous = p;
        hasPrevious = true;
    }
    m_Ring->Append(readings);
    AddSpeeds(from);
    if (m_Ring->Total() - m_AnalysedTo >= kAnalyseEvery + kTail)
        Analyse(false);
    const std::size_t first = m_Ring->First();
    while (!m_Speeds.empty() && m_Speeds.front().index < first)
        m_Speeds.pop_front();
    while (!m_Events.empty() && m_Events.front().first < first)
        m_Events.pop_front();
    while (!m_Seams.empty() && m_Seams.front() + kOverlap < first)
        m_Seams.pop_front();
}

double LiveView::SmoothPosition(std::size_t index) const
{
    // The median of the readings up to `index`, as a step from reading `index`.
    const unsigned bits = WholeBits();
    const std::uint32_t mask = LowMask(bits);
    const std::uint32_t at = m_Ring->At(index) & mask;
    std::array<std::int64_t, kMedianOf> d{};
    for (std::size_t j = 0; j < kMedianOf; ++j)
        d[j] = WrappedStep(at, m_Ring->At(index - j) & mask, bits);
    std::nth_element(d.begin(), d.begin() + kMedianOf / 2, d.end());
    return double(d[kMedianOf / 2]);
}

void LiveView::AddSpeeds(std::size_t from)
{
    const std::size_t window = m_SpeedStride * kSpeedWindowPoints;
    const std::size_t earliest = Segment() + window + kMedianOf - 1; // first index with data
    std::size_t i = std::max(from, earliest);
    i = (i + m_SpeedStride - 1) / m_SpeedStride * m_SpeedStride;
    const unsigned bits = WholeBits();
    const std::uint32_t mask = LowMask(bits);
    const double seconds = double(window) * SecondsPerReading();
    for (; i < m_Ring->Total(); i += m_SpeedStride)
    {
        const std::size_t a = i - window;
        const double counts =
            double(WrappedStep(m_Ring->At(a) & mask, m_Ring->At(i) & mask, bits)) +
            SmoothPosition(i) - SmoothPosition(a);
        SpeedPoint point{i, counts / seconds, 0};
        // The acceleration over the same window: a speed point that far back.
        if (m_Speeds.size() >= kSpeedWindowPoints)
        {
            const SpeedPoint& back = m_Speeds[m_Speeds.size() - kSpeedWindowPoints];
            if (back.index == a)
                point.acceleration = (point.countsPerSecond - back.countsPerSecond) / seconds;
        }
        m_Speeds.push_back(point);
    }
}

void LiveView::Analyse(bool all)
{
    const std::size_t total = m_Ring->Total();
    const std::size_t to = all ? total : (total > kTail ? total - kTail : 0);
    const std::size_t start = std::max(m_AnalysedTo, Segment());
    if (to <= start)
        return;
    const std::size_t from = std::max(start > kOverlap ? start - kOverlap : 0, Segment());
    m_Ring->Copy(from, all ? total : std::min(total, to + kTail), m_Scratch);
    AnalysisConfig config;
    config.stBits = m_Settings.stBits;
    config.mtBits = m_Settings.mtBits;
    config.delayUs = m_DelayUs;
    const Analysis analysis = AnalyseRun(m_Scratch, config);
    for (const AnalysisEvent& e : analysis.events)
    {
        const std::size_t first = from + e.first;
        if (first < start || first >= to)
            continue;
        const bool small = e.cls == EVENT_SPIKE || e.cls == EVENT_JUMP || e.cls == EVENT_REVERSAL;
        if (small && e.severity <= double(m_JumpLimit))
            continue;
        // An encoder at rest at 0 scatters into readings of every bit set or clear: no dead
        // line while the reading before is within the limit.
        const bool dead = e.cls == EVENT_ALL_ONES || e.cls == EVENT_ALL_ZEROS;
        if (dead && first > Segment() &&
            std::llabs(WrappedStep(m_Ring->At(first - 1) & LowMask(WholeBits()),
                                   m_Ring->At(first) & LowMask(WholeBits()), WholeBits())) <=
                std::int64_t(m_JumpLimit))
            continue;
        if (std::any_of(m_Seams.begin(), m_Seams.end(),
                        [&](std::size_t seam)
                        { return seam >= first && seam <= first + e.length; }))
            continue;
        m_Events.push_back({e.cls, first, e.length});
        ++m_EventCounts[std::size_t(e.cls)];
    }
    m_AnalysedTo = to;
}

JitterFigures LiveView::Jitter() const
{
    if (!m_Ring)
        return ComputeJitter({}, WholeBits(), m_Settings.stBits);
    const std::size_t total = m_Ring->Total();
    const std::size_t first =
        std::max(Segment(), total > m_JitterReadings ? total - m_JitterReadings : std::size_t(0));
    std::vector<unsigned> readings;
    m_Ring->Copy(first, total, readings);
    return ComputeJitter(readings, WholeBits(), m_Settings.stBits);
}

} // namespace App
