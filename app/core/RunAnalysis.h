#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace App
{

// What kind of fault an event of a recorded run is.
enum EventClass : int
{
    EVENT_SPIKE,       // one reading (or a few) off the track, then back on it
    EVENT_JUMP,        // a step larger than the measured speed allows, that stays
    EVENT_REVERSAL,    // a step against the run's direction
    EVENT_STUCK,       // the same value far longer than the measured speed allows
    EVENT_GRAY_FAULT,  // two successive raw Gray readings differ in more than one bit
    EVENT_OUT_OF_STEP, // the ST part wraps without the MT part stepping by one, or back
    EVENT_ALL_ONES,    // every data bit set: no encoder, no supply or a broken line
    EVENT_ALL_ZEROS,   // every data bit clear
};
inline constexpr std::size_t kEventClasses = 8;

// What is said of a class and how it is shown: one row per class, in the enum's order. The
// names, causes and colours come only from here; a test holds the docs' list to it.
struct EventClassInfo
{
    EventClass cls;
    const char* name;  // as reports show it: "spike", "Gray fault", "ST-MT out of step"
    const char* cause; // the root cause when the class makes 90 % of the events: a format
                       // with the share in percent (%s) and the number of events (%llu)
    std::uint8_t red, green, blue; // its colour in the analysis view
    bool outlier; // its readings leave the bulk for a moment: plots keep them off the scale
};
const std::array<EventClassInfo, kEventClasses>& EventClasses();

// The class's name as reports show it, "unknown" outside the enum.
const char* EventClassName(EventClass c);

struct AnalysisConfig
{
    unsigned stBits = 13;
    unsigned mtBits = 12;
    bool gray = false;    // the readings are raw Gray code
    unsigned delayUs = 0; // between two readings; 0 when unknown (a loaded file of one reading)
    unsigned clockHz = 0; // 0 when unknown
    // Blocks in which nothing happens are scanned without the reading-by-reading logic;
    // switching it off gives the same result slower (tests compare the two).
    bool blockScan = true;
};

struct AnalysisEvent
{
    EventClass cls = EVENT_SPIKE;
    std::size_t first = 0;  // index of the first reading of the event
    std::size_t length = 1; // in readings
    // The raw readings from `aroundFirst` on: a few before the event, the event's own (at most
    // a few) and a few after, so that a report can show what it looked like.
    std::size_t aroundFirst = 0;
    std::vector<unsigned> around;
    double severity = 0; // larger is worse within a class (a step's size, a run's length)
};

struct ClassSummary
{
    std::uint64_t count = 0; // every event of the class, also those not kept in `events`
    double ppm = 0;          // readings in events of the class per million readings
    long first = -1;         // index into Analysis::events, -1 when none
    long worst = -1;
};

struct PartFigures
{
    double countsPerSecond = 0; // signed: negative runs backward
    double rpm = 0;             // revolutions of this part's full range per minute, signed
    int direction = 0;          // +1, -1, 0 when standing or unknown
    // Turns of the part's own value between the first reading and the last, along the track,
    // each counted once the part is within a reading's move of its first value again: the
    // code tester's count on a clean run checked with the step size the run needs.
    std::uint64_t turns = 0;
    // The part's value at the end of the track differs from the first reading's: without
    // that the speed of a part like MT is the noise of a mean, not a motion.
    bool moved = false;
};

struct Analysis
{
    std::size_t readings = 0;
    std::size_t distinct = 0;
    double durationS = 0; // 0 when the delay is unknown
    PartFigures st;
    PartFigures mt;

    // In order of `first`. A flood keeps the first kMaxEvents; the counts stay exact.
    static constexpr std::size_t kMaxEvents = 100000;
    std::vector<AnalysisEvent> events;
    std::array<ClassSummary, kEventClasses> classes{};

    // When one class explains the rest, e.g. "no encoder answering: 100 % of the readings have
    // every data bit set"; empty otherwise.
    std::string rootCause;
    // Most readings have every data bit set or clear: nothing was measured.
    bool noEncoder = false;

    bool Clean() const { return events.empty(); }
    // One line per class with events (count, rate, first and worst), after the root cause.
    std::vector<std::string> SummaryLines() const;
};

// One pass over the readings.
Analysis AnalyseRun(std::span<const unsigned> readings, const AnalysisConfig& config);

} // namespace App
