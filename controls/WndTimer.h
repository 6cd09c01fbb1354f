#pragma once

#include "controls/GlimraExport.h"

#include <QEvent>
#include <QPointer>

class QObject;

namespace zef::Glimra
{

/// Event a `WndTimer` delivers to its window on every tick. The window handles it in
/// `customEvent()` (or `event()`) and tells its timers apart by `eventId()`. A dedicated
/// event type keeps the caller's event ids clear of the window's own `startTimer()` ids.
class GLIMRA_API WndTimerEvent : public QEvent
{
public:
    explicit WndTimerEvent(unsigned eventId) : QEvent(type()), m_EventId(eventId) {}

    unsigned eventId() const { return m_EventId; }

    /// The registered event type of every tick.
    static QEvent::Type type();

private:
    unsigned m_EventId;
};

/// A timer bound to a window and an event id that can be switched on and off and re-timed.
/// The ticks go to the window as `WndTimerEvent`s carrying the event id.
class GLIMRA_API WndTimer
{
public:
    WndTimer();
    WndTimer(QObject& wnd, unsigned id);
    virtual ~WndTimer();

    WndTimer(const WndTimer&) = delete;
    WndTimer& operator=(const WndTimer&) = delete;

    /// Stops a running timer on the old window, then takes the new window and id.
    void Init(QObject& wnd, unsigned id);

    /// Starts the timer unless it runs already; answers whether it runs. Event id 0 and a
    /// missing window refuse to start.
    bool Enable();
    void Disable();

    /// Stores the delay; a running timer restarts with it.
    void SetDelay(unsigned ms);

    unsigned GetEventId() const { return m_EventId; }
    unsigned GetDelay() const { return m_Delay; }
    bool IsEnabled() const;

private:
    void Start();
    void Stop();
    void DropRelay();

    QPointer<QObject> m_Wnd;
    unsigned m_EventId = 0;
    // Runs the Qt timer and forwards its ticks to the window. It is a child of the window, so
    // it dies with it and takes the timer along.
    QPointer<QObject> m_Relay;
    unsigned m_Delay = 100;
};

} // namespace zef::Glimra
