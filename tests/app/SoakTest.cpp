// One simulated hour of continuous sampling in the main window, with the box's faults
// switched on in turns. Runs on the manual clock: the hour passes in seconds.

#include "tests/app/DialogTestSupport.h"

#include "app/Label.h"
#include "app/Resource.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace
{

// Heap bytes in use (0 where the allocator keeps no such count, as under ASan).
std::size_t HeapInUse()
{
    return mallinfo2().uordblks;
}

std::size_t ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r"))
    {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<std::size_t>(resident) * 4;
}

constexpr int kTicksPerHour = 72000; // of 50 ms
constexpr int kCycles = 12;          // of five minutes, each with every fault once
constexpr int kPhaseTicks = kTicksPerHour / kCycles / 6;

class Soak : public DialogTest
{
protected:
    // One tick of the continuous timer, if the window keeps it running.
    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
        {
            if (Dlg().IsContinuousRunning())
                Dlg().OnTimer();
            m_Clock.Advance(50ms);
            ++m_Ticks;
        }
    }

    int ErrorLines()
    {
        int errors = 0;
        for (const std::string& line : NewLines())
            errors += line.starts_with("Error: ");
        return errors;
    }

    // The reading on display, as "ST/MT".
    std::string Shown()
    {
        return Item<CLabel>(IDC_ST_STVALUE)->GetText().toStdString() + "/" +
               Item<CLabel>(IDC_ST_MTVALUE)->GetText().toStdString();
    }

    // Back to continuous sampling from wherever the window is: a window that kept the lost
    // box connected disconnects first, as its link to the box is gone for good.
    void Restart()
    {
        if (Dlg().IsContinuousRunning())
            Click(IDC_BT_CONTINUOUSSAMPLE);
        // Disconnect is offered with the supply off; a reset ends in that state even when
        // the box is gone.
        if (Dlg().GetGuiState() == GS_POWERED)
            Click(IDC_BT_RESET);
        // Waiting for a lost box, or connected: Disconnect.
        if (Dlg().GetGuiState() == GS_CONNECTED || Dlg().GetGuiState() == GS_WAITING)
            Click(IDC_BT_CONNECT);
        ASSERT_EQ(Dlg().GetGuiState(), GS_DISCONNECTED);
        Click(IDC_BT_SCAN);
        Click(IDC_BT_CONNECT);
        ASSERT_EQ(Dlg().GetGuiState(), GS_CONNECTED);
        Click(IDC_BT_POWER);
        ASSERT_EQ(Dlg().GetGuiState(), GS_POWERED);
        Click(IDC_BT_CONTINUOUSSAMPLE);
        ASSERT_TRUE(Dlg().IsContinuousRunning());
    }

    // A fault-free phase: after the first tick, which may still clear up after the fault
    // before, no error and the still encoder's reading on display.
    void CleanPhase(const std::string& clean)
    {
        Tick();
        NewLines();
        Tick(kPhaseTicks - 1);
        EXPECT_EQ(ErrorLines(), 0) << "tick " << m_Ticks;
        EXPECT_TRUE(Dlg().IsContinuousRunning());
        EXPECT_EQ(Shown(), clean);
    }

    int m_Ticks = 0;
};

TEST_F(Soak, AnHourOfContinuousSamplingThroughEveryFaultStaysFlatAndUsable)
{
    // A first window and every fault once, then gone: what Qt, the link and the simulator
    // set up for good on first use is in the baseline.
    Dlg();
    Restart();
    Tick(kPhaseTicks);
    SimBox().SetFaults({.glitchEvery = 7, .lateReplyMs = 250});
    Tick(10);
    SimBox().SetFaults({});
    SimBox().Unplug();
    Tick(10);
    SimBox().Replug();
    m_Dlg.reset();
    m_Seen = 0;
    const std::size_t heapBase = HeapInUse(), rssBase = ResidentKiB();

    Restart();
    Tick();
    const std::string clean = Shown();
    NewLines();
    std::size_t cleanGrowthMax = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle)
    {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const std::size_t heapBeforeClean = HeapInUse();
        CleanPhase(clean);
        const std::size_t heapAfterClean = HeapInUse();
        if (heapAfterClean > heapBeforeClean)
            cleanGrowthMax = std::max(cleanGrowthMax, heapAfterClean - heapBeforeClean);

        // A wrong bit in every 7th reading: it shows, no error can tell.
        SimBox().SetFaults({.glitchEvery = 7});
        bool glitchShown = false;
        for (int i = 0; i < kPhaseTicks; ++i)
        {
            Tick();
            glitchShown |= Shown() != clean;
        }
        EXPECT_TRUE(glitchShown);
        EXPECT_EQ(ErrorLines(), 0);
        SimBox().SetFaults({});
        CleanPhase(clean);

        // Replies later than the read timeout: every tick fails with an error line.
        SimBox().SetFaults({.lateReplyMs = 250});
        Tick(kPhaseTicks);
        EXPECT_GE(ErrorLines(), kPhaseTicks);
        SimBox().SetFaults({});
        ASSERT_TRUE(Dlg().IsContinuousRunning());

        // A stream that stops after one reading: a run of one reading never notices.
        SimBox().SetFaults({.stallAfter = 1});
        Tick(kPhaseTicks);
        EXPECT_EQ(ErrorLines(), 0);
        SimBox().SetFaults({});

        // The box gone: error lines, whether the window keeps trying or gives up.
        SimBox().Unplug();
        Tick(kPhaseTicks);
        EXPECT_GE(ErrorLines(), 1);
        SimBox().Replug();
        Restart();
        NewLines();
        if (HasFatalFailure())
            return;
    }
    EXPECT_GE(m_Ticks, kTicksPerHour);

    // Still usable: a single reading, a reset, a disconnect.
    Click(IDC_BT_CONTINUOUSSAMPLE);
    EXPECT_EQ(Dlg().GetGuiState(), GS_POWERED);
    Click(IDC_BT_SINGLESAMPLE);
    EXPECT_EQ(Shown(), clean);
    EXPECT_EQ(ErrorLines(), 0);
    Click(IDC_BT_RESET);
    EXPECT_EQ(Dlg().GetGuiState(), GS_CONNECTED);
    Click(IDC_BT_CONNECT);
    EXPECT_EQ(Dlg().GetGuiState(), GS_DISCONNECTED);
    EXPECT_EQ(ErrorLines(), 0);

    // Flat apart from the history list: once the window (and with it the list) is gone, the
    // heap is back where it was before the hour.
    const std::size_t heapEnd = HeapInUse(), rssEnd = ResidentKiB();
    const std::size_t lines = static_cast<std::size_t>(Dlg().GetHistory().GetCount());
    m_Dlg.reset();
    const std::size_t heapAfter = HeapInUse();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_Clock.Now().time_since_epoch());
    std::printf("[ soak     ] %d ticks, %lld s on the clock; heap in use %zu bytes before, %zu at "
                "the end with %zu history lines, %zu with the window closed; a fault-free phase "
                "grew it by at most %zu bytes; RSS %zu -> %zu KiB\n",
                m_Ticks, static_cast<long long>(ms.count() / 1000), heapBase, heapEnd, lines,
                heapAfter, cleanGrowthMax, rssBase, rssEnd);
    EXPECT_LE(heapAfter, heapBase + 256 * 1024);
    EXPECT_LE(cleanGrowthMax, 64u * 1024);
}

} // namespace
