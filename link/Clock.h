#pragma once

#include "link/LinkExport.h"

#include <chrono>
#include <mutex>

namespace FTD2xx
{

// Time as the link sees it. Real devices use SystemClock; tests and the simulator can
// run on a ManualClock, so that a 200 ms read timeout costs no real time.
class FTD2XX_API Clock
{
public:
    using Duration = std::chrono::nanoseconds;
    using TimePoint = std::chrono::time_point<std::chrono::steady_clock, Duration>;

    virtual ~Clock() = default;
    virtual TimePoint Now() const = 0;
    // Returns when Now() >= t. A manual clock jumps there at once.
    virtual void SleepUntil(TimePoint t) = 0;
    void SleepFor(Duration d) { SleepUntil(Now() + d); }

    // The process-wide steady clock.
    static Clock& System();
};

class FTD2XX_API SystemClock : public Clock
{
public:
    TimePoint Now() const override;
    void SleepUntil(TimePoint t) override;
};

// A clock that only moves when told to. Thread-safe.
class FTD2XX_API ManualClock : public Clock
{
public:
    TimePoint Now() const override;
    void SleepUntil(TimePoint t) override;
    void Advance(Duration d);

private:
    mutable std::mutex m_Mutex;
    TimePoint m_Now{};
};

} // namespace FTD2xx
