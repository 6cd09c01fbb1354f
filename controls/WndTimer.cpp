#include "controls/WndTimer.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimerEvent>

#include <algorithm>
#include <climits>

namespace zef::Glimra
{

namespace
{

// Lives as a child of the window; its one Qt timer turns into WndTimerEvents there.
class TimerRelay : public QObject
{
public:
    TimerRelay(QObject& wnd, unsigned eventId) : QObject(&wnd), m_EventId(eventId) {}

    void Start(unsigned ms)
    {
        m_TimerId = startTimer(static_cast<int>(std::min<unsigned>(ms, INT_MAX)));
    }

    void Stop()
    {
        if (m_TimerId != 0)
            killTimer(m_TimerId);
        m_TimerId = 0;
    }

    bool IsRunning() const { return m_TimerId != 0; }

protected:
    void timerEvent(QTimerEvent* e) override
    {
        if (e->timerId() != m_TimerId)
            return;
        WndTimerEvent tick(m_EventId);
        QCoreApplication::sendEvent(parent(), &tick);
    }

private:
    unsigned m_EventId;
    int m_TimerId = 0;
};

TimerRelay* AsRelay(QObject* o)
{
    return static_cast<TimerRelay*>(o);
}

} // namespace

QEvent::Type WndTimerEvent::type()
{
    static const QEvent::Type registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
}

WndTimer::WndTimer() = default;

WndTimer::WndTimer(QObject& wnd, unsigned id) : m_Wnd(&wnd), m_EventId(id) {}

WndTimer::~WndTimer()
{
    DropRelay();
}

void WndTimer::Init(QObject& wnd, unsigned id)
{
    DropRelay();
    m_Wnd = &wnd;
    m_EventId = id;
}

bool WndTimer::Enable()
{
    if (!IsEnabled() && m_EventId > 0 && m_Wnd)
        Start();
    return IsEnabled();
}

void WndTimer::Disable()
{
    Stop();
}

void WndTimer::SetDelay(unsigned ms)
{
    m_Delay = ms;
    if (IsEnabled())
    {
        Stop();
        Start();
    }
}

bool WndTimer::IsEnabled() const
{
    // A timer dies with its window, so a vanished window means nothing runs any more.
    return m_Relay && AsRelay(m_Relay)->IsRunning();
}

void WndTimer::Start()
{
    if (!m_Relay)
        m_Relay = new TimerRelay(*m_Wnd, m_EventId); // owned by the window
    AsRelay(m_Relay)->Start(m_Delay);
}

void WndTimer::Stop()
{
    if (m_Relay)
        AsRelay(m_Relay)->Stop();
}

void WndTimer::DropRelay()
{
    // Later, not now: the window's tick handler may be what re-targets or destroys the timer,
    // and the relay is still on the stack below it.
    if (m_Relay)
    {
        AsRelay(m_Relay)->Stop();
        m_Relay->deleteLater();
    }
    m_Relay = nullptr;
}

} // namespace zef::Glimra
