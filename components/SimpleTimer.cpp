#include "SimpleTimer.h"

#include <climits>

#include <QHash>
#include <QObject>
#include <QTimerEvent>

class TSimpleTimerHandler : public QObject {
  public:
    int referenceCount = 0;
    int activeCount = 0;
    int dispatching = 0; // depth: an event may run a nested event loop

    // Ticks come back by the platform's timer id; the map leads to the timer
    // object, so a destroyed timer (whose id was killed) is never reached.
    int SetTimer(TSimpleTimer *timer, uint32_t interval)
    {
        // Longer intervals than the platform's timers take run at its longest.
        const auto ms = std::chrono::milliseconds(std::min<uint32_t>(interval, INT_MAX));
        int id = startTimer(ms, Qt::PreciseTimer);
        if (id != 0)
            m_timers.insert(id, timer);
        return id;
    }

    bool KillTimer(int id)
    {
        if (id == 0 || !m_timers.remove(id))
            return false;
        killTimer(id);
        return true;
    }

  protected:
    void timerEvent(QTimerEvent *e) override
    {
        TSimpleTimer *timer = m_timers.value(e->timerId());
        if (!timer)
            return;
        if (timer->AutoDisable)
            timer->Stop(true);
        if (timer->OnTimer) {
            // The event may free or change the timer, or free the last timer
            // and with it this handler; keep the event alive meanwhile.
            TNotifyEvent event = timer->OnTimer;
            ++dispatching;
            event(timer);
            --dispatching;
        }
        // The last timer went while its tick ran: nothing else will free
        // this handler, and nothing of it is used past this point.
        if (dispatching == 0 && referenceCount == 0 && Orphaned())
            delete this;
    }

  private:
    bool Orphaned() const;
    QHash<int, TSimpleTimer *> m_timers;
};

namespace {

TSimpleTimerHandler *handler = nullptr;

// A handler that outlives its last timer, as the program's own objects may
// at exit, goes with the unit.
struct UnitShutdown {
    ~UnitShutdown()
    {
        delete handler;
        handler = nullptr;
    }
} unitShutdown;

} // namespace

bool TSimpleTimerHandler::Orphaned() const
{
    return handler != this;
}

TSimpleTimer::TSimpleTimer()
{
    Initialize(1000, nullptr);
}

TSimpleTimer::TSimpleTimer(uint32_t interval, TNotifyEvent onTimer)
{
    Initialize(interval, std::move(onTimer));
}

void TSimpleTimer::Initialize(uint32_t interval, TNotifyEvent event)
{
    Id = this;
    AutoDisable = false;
    Enabled = false;
    Interval = interval;
    SetOnTimer(std::move(event));
    if (!handler)
        handler = new TSimpleTimerHandler;
    ++handler->referenceCount;
}

TSimpleTimer::~TSimpleTimer()
{
    if (Enabled)
        Stop(true);
    if (handler) {
        if (handler->referenceCount > 0)
            --handler->referenceCount;
        if (handler->referenceCount == 0) {
            // A handler inside a tick frees itself when the tick returns.
            if (handler->dispatching == 0)
                delete handler;
            handler = nullptr;
        }
    }
}

void TSimpleTimer::SetEnabled(bool value)
{
    if (value)
        Start();
    else
        Stop(true);
}

bool TSimpleTimer::Start()
{
    if (Interval == 0)
        return false;
    if (Enabled)
        Stop(true);
    m_platformId = handler->SetTimer(this, Interval);
    if (m_platformId == 0)
        return false;
    Enabled = true;
    ++handler->activeCount;
    return true;
}

bool TSimpleTimer::Stop(bool disable)
{
    if (disable)
        Enabled = false;
    bool killed = handler && handler->KillTimer(m_platformId);
    m_platformId = 0;
    if (killed && handler->activeCount > 0)
        --handler->activeCount;
    return killed;
}

void TSimpleTimer::SetInterval(uint32_t value)
{
    if (value == Interval)
        return;
    Interval = value;
    if (Enabled) {
        if (value != 0)
            Start();
        else
            Stop(false);
    }
}

void TSimpleTimer::SetOnTimer(TNotifyEvent event)
{
    OnTimer = std::move(event);
    if (!OnTimer && Enabled)
        Stop(false);
}

int GetSimpleTimerCount()
{
    return handler ? handler->referenceCount : 0;
}

int GetSimpleTimerActiveCount()
{
    return handler ? handler->activeCount : 0;
}
