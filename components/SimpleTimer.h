#pragma once

// Light timers without a window of their own: all of them share one hidden
// handler object, created with the first timer and freed with the last.

#include <cstdint>
#include <functional>

class TSimpleTimer;
using TNotifyEvent = std::function<void(TSimpleTimer *sender)>;

class TSimpleTimer {
  public:
    TSimpleTimer();
    TSimpleTimer(uint32_t interval, TNotifyEvent onTimer);
    ~TSimpleTimer();
    TSimpleTimer(const TSimpleTimer &) = delete;
    TSimpleTimer &operator=(const TSimpleTimer &) = delete;

    void SetEnabled(bool value);
    bool GetEnabled() const { return Enabled; }
    void SetInterval(uint32_t value);
    uint32_t GetInterval() const { return Interval; }
    void SetOnTimer(TNotifyEvent event);
    bool Start();
    bool Stop(bool disable);

    bool AutoDisable = false;

  private:
    friend class TSimpleTimerHandler;
    void Initialize(uint32_t interval, TNotifyEvent event);

    const void *Id = nullptr;
    bool Enabled = false;
    uint32_t Interval = 1000;
    TNotifyEvent OnTimer;
    int m_platformId = 0; // the handler's timer for this object, 0 when none
};

int GetSimpleTimerCount();
int GetSimpleTimerActiveCount();
