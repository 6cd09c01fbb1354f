#include "link/Clock.h"

#include <thread>

namespace FTD2xx
{

Clock& Clock::System()
{
    static SystemClock clock;
    return clock;
}

Clock::TimePoint SystemClock::Now() const
{
    return std::chrono::time_point_cast<Duration>(std::chrono::steady_clock::now());
}

void SystemClock::SleepUntil(TimePoint t)
{
    std::this_thread::sleep_until(t);
}

Clock::TimePoint ManualClock::Now() const
{
    std::lock_guard lock(m_Mutex);
    return m_Now;
}

void ManualClock::SleepUntil(TimePoint t)
{
    std::lock_guard lock(m_Mutex);
    if (t > m_Now)
        m_Now = t;
}

void ManualClock::Advance(Duration d)
{
    std::lock_guard lock(m_Mutex);
    m_Now += d;
}

} // namespace FTD2xx
