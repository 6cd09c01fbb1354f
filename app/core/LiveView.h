#pragma once

#include "app/core/LiveRing.h"
#include "app/core/Recording.h"
#include "app/core/RunAnalysis.h"
#include "driver/SampleParameter.h"
#include "link/Clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace Tavik
{
class Box;
}

namespace App
{

class HistorySink;

// How far readings at rest scatter: over the last readings of the view, in counts of the
// whole position (one count is one ST step) and in arc-seconds.
struct JitterFigures
{
    std::size_t count = 0;         // readings looked at
    double mean = 0;               // position, counts
    double stdDev = 0;             // counts (population)
    std::int64_t peakToPeak = 0;   // counts
    std::int64_t largestJump = 0;  // between two consecutive readings, counts
    double arcSecondsPerCount = 0; // 1,296,000 / 2^ST bits
    // Readings per deviation from the rounded mean: bins[i] is deviation histogramFrom + i.
    // Deviations beyond kMaxBins / 2 fall into the end bins.
    static constexpr std::int64_t kMaxBins = 61;
    std::int64_t histogramFrom = 0;
    std::vector<std::size_t> bins;
};
// `readings` are whole positions of `bits` bits (wrapping at 2^bits: the deviations go the
// short way round).
JitterFigures ComputeJitter(std::span<const unsigned> readings, unsigned bits, unsigned stBits);

// The position's signed step from `from` to `to` the short way round a range of `bits` bits.
std::int64_t WrappedStep(std::uint32_t from, std::uint32_t to, unsigned bits);

// The live view's session, shared by the window and `tavik-cli monitor`: an endless stream
// through Recording into a ring, the jitter and speed figures and the run analysis' events
// as they happen. Its owner calls Poll on a timer; every call drains what arrived, so the
// box never holds a backlog. While it streams, nothing else may talk to the box. Stop (and
// the destructor) ends the stream and gives the box its own settings back.
class LiveView
{
public:
    enum Part
    {
        PART_WHOLE, // ST and MT together
        PART_ST,
        PART_MT,
    };

    struct Settings
    {
        unsigned delayUs = 0;     // 0: the smallest the clock and bit counts allow
        double seconds = 60;      // the ring's length in time, unless `readings` is set
        std::size_t readings = 0; // the ring's length in readings
        unsigned stBits = 13;
        unsigned mtBits = 12;
        unsigned roundCount = 16777214; // readings per box run of the stream
    };

    struct SpeedPoint
    {
        std::size_t index = 0;      // the reading it ends at
        double countsPerSecond = 0; // of the whole position, signed
        double acceleration = 0;    // counts/s per second
    };

    struct Event
    {
        EventClass cls = EVENT_SPIKE;
        std::size_t first = 0; // reading index in the ring's numbering
        std::size_t length = 1;
    };

    // Extremes since the last ResetDrag, as a vendor tool's drag pointers.
    struct Drag
    {
        bool any = false;
        std::int64_t min = 0;         // whole position, below 0 or beyond the range when the
        std::int64_t max = 0;         // readings scatter across its wrap
        std::int64_t largestJump = 0; // between consecutive readings, counts
        std::int64_t origin = 0;      // the first reading since the reset
    };

    static constexpr unsigned kMinDelayUs = 10;
    static constexpr unsigned kMaxDelayUs = 4095;
    static constexpr double kSpeedPointSeconds = 0.01;
    static constexpr std::size_t kSpeedWindowPoints = 10; // a speed spans 0.1 s

    LiveView(Tavik::Box& box, HistorySink& sink,
             const FTD2xx::Clock& clock = FTD2xx::Clock::System());
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;
    ~LiveView();

    // Reads the box's settings, sizes the ring and starts the stream; false (with an error
    // line) when the box refused or the ring does not fit into memory.
    bool Start(const Settings& settings);
    // Drains what arrived and brings figures and events up to date.
    void Poll();
    // Ends the stream and writes the box's own settings back; keeps the readings.
    void Stop();
    bool IsStreaming() const { return m_Recording.IsStreaming(); }
    // A failure ended the stream and the box is gone.
    bool BoxVanished() const { return m_Vanished; }

    // Paused: readings still drain but are not kept, so the view holds still; after Resume
    // jitter, jumps and speed start afresh rather than across the gap.
    void SetPaused(bool paused);
    bool IsPaused() const { return m_Paused; }
    // Forgets readings, events, speeds and the drag values.
    void Clear();
    void ResetDrag() { m_Drag = {}; }
    void SetPart(Part part);
    Part GetPart() const { return m_Part; }
    void SetJitterReadings(std::size_t n) { m_JitterReadings = n; }
    // The check "jump <= K steps". Spikes, jumps and reversals of at most K steps are the
    // encoder's jitter, not events: a noisy encoder at rest would otherwise be all markers.
    void SetJumpLimit(unsigned k) { m_JumpLimit = k; }
    unsigned GetJumpLimit() const { return m_JumpLimit; }
    bool JumpWithinLimit() const { return m_Drag.largestJump <= std::int64_t(m_JumpLimit); }
    std::size_t GetJitterReadings() const { return m_JitterReadings; }

    // Null before the first Start.
    const LiveRing* Ring() const { return m_Ring.get(); }
    const std::deque<SpeedPoint>& Speeds() const { return m_Speeds; }
    const std::deque<Event>& Events() const { return m_Events; }
    // Events of each class since the start or Clear, also those off the ring.
    const std::array<std::uint64_t, kEventClasses>& EventCounts() const { return m_EventCounts; }
    JitterFigures Jitter() const;
    const Drag& GetDrag() const { return m_Drag; }
    Recording::View Stream() const { return m_Recording.GetView(); }

    unsigned DelayUs() const { return m_DelayUs; }
    double SecondsPerReading() const { return m_DelayUs * 1e-6; }
    const Settings& GetSettings() const { return m_Settings; }
    unsigned WholeBits() const;
    LiveBits BitsOf(Part part) const;
    // rpm of the whole position's counts per second.
    double Rpm(double countsPerSecond) const;

    // The ring's readings for `settings` at `delayUs`.
    static std::size_t RingReadings(const Settings& settings, unsigned delayUs);
    // "23.4 MB".
    static std::string MemoryText(std::size_t bytes);

    // Appends readings as if they had streamed: the benchmarks and tests feed the figures
    // without a box.
    void Feed(std::span<const unsigned> readings);
    // Sets up the ring and figures for readings of `settings` at `delayUs` without a box.
    void Prepare(const Settings& settings, unsigned delayUs);

private:
    void Drained();
    void Take(std::span<const unsigned> readings);
    void Analyse(bool all);
    void AddSpeeds(std::size_t from);
    double SmoothPosition(std::size_t index) const;
    std::size_t Segment() const;
    void Restore();
    void Failed();

    Tavik::Box& m_Box;
    HistorySink& m_Sink;
    Recording m_Recording;
    Tavik::SampleParameter m_Own;
    bool m_Restore = false;
    bool m_Vanished = false;
    Settings m_Settings;
    unsigned m_DelayUs = 0;
    std::unique_ptr<LiveRing> m_Ring;
    std::vector<unsigned> m_Chunk;
    std::vector<unsigned> m_Scratch;
    Part m_Part = PART_WHOLE;
    bool m_Paused = false;
    std::size_t m_SegmentStart = 0; // the first reading after the last pause or clear
    std::size_t m_JitterReadings = 1000;
    unsigned m_JumpLimit = 1;
    // Where a box run of the stream ended and the next began, as reading indexes: the shaft
    // moved while the box restarted, which is no fault of the encoder.
    std::size_t m_Drained = 0; // readings drained since Start, kept or not
    std::deque<std::size_t> m_Seams;
    Drag m_Drag;
    std::size_t m_SpeedStride = 1;
    std::deque<SpeedPoint> m_Speeds;
    std::size_t m_AnalysedTo = 0;
    std::deque<Event> m_Events;
    std::array<std::uint64_t, kEventClasses> m_EventCounts{};
};

} // namespace App
