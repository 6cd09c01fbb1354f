#include "controls/WndTimer.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using zef::Glimra::WndTimer;
using zef::Glimra::WndTimerEvent;

namespace
{

// A window that records the event ids of the ticks it receives and can run an action on a tick.
class TickWindow : public QObject
{
public:
    std::vector<unsigned> ticks;
    std::function<void()> onTick;

protected:
    void customEvent(QEvent* e) override
    {
        if (e->type() != WndTimerEvent::type())
            return;
        ticks.push_back(static_cast<WndTimerEvent*>(e)->eventId());
        if (onTick)
            onTick();
    }
};

// A zero-delay timer fires on the next pass of the event loop; a few passes are plenty.
void Pump(const TickWindow& wnd, std::size_t wanted)
{
    for (int i = 0; i < 100 && wnd.ticks.size() < wanted; ++i)
        QCoreApplication::processEvents();
}

} // namespace

TEST(WndTimer, DefaultsAndRefusals)
{
    WndTimer none;
    EXPECT_EQ(none.GetEventId(), 0u);
    EXPECT_EQ(none.GetDelay(), 100u);
    EXPECT_FALSE(none.IsEnabled());
    EXPECT_FALSE(none.Enable()); // no window

    TickWindow wnd;
    WndTimer zero(wnd, 0);
    EXPECT_FALSE(zero.Enable());
    EXPECT_FALSE(zero.IsEnabled());
}

TEST(WndTimer, EnableDisableAndRetime)
{
    TickWindow wnd;
    WndTimer timer(wnd, 5);
    timer.SetDelay(250); // stopped: only stored
    EXPECT_FALSE(timer.IsEnabled());
    EXPECT_EQ(timer.GetDelay(), 250u);

    EXPECT_TRUE(timer.Enable());
    EXPECT_TRUE(timer.Enable()); // already running: still answers true
    timer.SetDelay(0);           // running: restarts with the new delay
    EXPECT_TRUE(timer.IsEnabled());
    EXPECT_EQ(timer.GetDelay(), 0u);
    Pump(wnd, 1);
    ASSERT_FALSE(wnd.ticks.empty());
    EXPECT_EQ(wnd.ticks.front(), 5u);

    timer.Disable();
    EXPECT_FALSE(timer.IsEnabled());
    wnd.ticks.clear();
    QCoreApplication::processEvents();
    EXPECT_TRUE(wnd.ticks.empty());
}

TEST(WndTimer, TwoTimersOnOneWindowKeepTheirIds)
{
    TickWindow wnd;
    WndTimer a(wnd, 1), b(wnd, 2);
    a.SetDelay(0);
    b.SetDelay(0);
    ASSERT_TRUE(a.Enable());
    ASSERT_TRUE(b.Enable());
    Pump(wnd, 4);
    EXPECT_NE(std::find(wnd.ticks.begin(), wnd.ticks.end(), 1u), wnd.ticks.end());
    EXPECT_NE(std::find(wnd.ticks.begin(), wnd.ticks.end(), 2u), wnd.ticks.end());
}

TEST(WndTimer, InitMovesToTheNewWindowStopped)
{
    TickWindow first, second;
    WndTimer timer(first, 3);
    timer.SetDelay(0);
    ASSERT_TRUE(timer.Enable());
    timer.Init(second, 4);
    EXPECT_FALSE(timer.IsEnabled());
    EXPECT_EQ(timer.GetEventId(), 4u);
    ASSERT_TRUE(timer.Enable());
    Pump(second, 1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(first.ticks.empty());
    ASSERT_FALSE(second.ticks.empty());
    EXPECT_EQ(second.ticks.front(), 4u);
}

TEST(WndTimer, WindowGoneMeansNotRunning)
{
    auto wnd = std::make_unique<TickWindow>();
    WndTimer timer(*wnd, 9);
    ASSERT_TRUE(timer.Enable());
    wnd.reset();
    // The timer died with its window; saying otherwise would make Enable report a dead timer.
    EXPECT_FALSE(timer.IsEnabled());
    EXPECT_FALSE(timer.Enable());
    timer.Disable();
    timer.SetDelay(20);

    TickWindow other;
    timer.Init(other, 9);
    EXPECT_TRUE(timer.Enable());
}

TEST(WndTimer, TickHandlerMayStopOrRetargetItsTimer)
{
    TickWindow wnd, other;
    auto timer = std::make_unique<WndTimer>(wnd, 6);
    timer->SetDelay(0);
    wnd.onTick = [&] { timer->Disable(); };
    ASSERT_TRUE(timer->Enable());
    Pump(wnd, 1);
    EXPECT_EQ(wnd.ticks.size(), 1u);
    EXPECT_FALSE(timer->IsEnabled());

    wnd.onTick = [&] { timer->Init(other, 8); };
    ASSERT_TRUE(timer->Enable());
    Pump(wnd, 2);
    EXPECT_FALSE(timer->IsEnabled());

    wnd.onTick = [&] { timer.reset(); };
    auto fresh = std::make_unique<WndTimer>(wnd, 6);
    fresh->SetDelay(0);
    timer = std::move(fresh);
    ASSERT_TRUE(timer->Enable());
    Pump(wnd, 3);
    EXPECT_EQ(timer, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
