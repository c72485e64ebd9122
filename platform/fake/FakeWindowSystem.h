#pragma once

// Test double of the window system: remembers what was asked and serves a
// work area that tests set.

#include <map>

#include "Platform.h"

namespace platform {

struct FakeWindowSystem : WindowSystem {
    QRect workArea{0, 0, 1280, 984};
    QRect virtualScreen{0, 0, 1280, 1024};
    // The monitors: set by a test, or else the platform's own screens when
    // qtScreens is on, or else one monitor of virtualScreen and workArea.
    MonitorList monitors;
    bool qtScreens = false;
    bool above = false;
    int aboveCalls = 0;
    bool skipTaskbar = false;
    int bringToFrontCalls = 0;
    int showDesktopCalls = 0;

    bool SetAbove(QWidget *, bool on) override
    {
        above = on;
        ++aboveCalls;
        return true;
    }
    bool SetSkipTaskbar(QWidget *, bool on) override
    {
        skipTaskbar = on;
        return true;
    }
    QRect WorkArea() const override { return workArea; }
    QRect VirtualScreen() const override { return virtualScreen; }
    MonitorList Monitors() const override
    {
        if (!monitors.monitors.empty())
            return monitors;
        if (qtScreens)
            return QtMonitors();
        return {{{virtualScreen, workArea, QString()}}, 0};
    }
    void BringToFront(QWidget *) override { ++bringToFrontCalls; }
    void Flush() override {}
    bool ShowDesktop() override
    {
        ++showDesktopCalls;
        return true;
    }
    std::map<QWidget *, std::function<void(bool)>> covering;
    void WatchCovering(QWidget *w, std::function<void(bool covered)> changed) override
    {
        covering[w] = std::move(changed);
    }
    // What the window system would tell when other windows cover w or
    // uncover it; false when nobody watches w.
    bool Cover(QWidget *w, bool covered)
    {
        const auto it = covering.find(w);
        if (it == covering.end() || !it->second)
            return false;
        it->second(covered);
        return true;
    }
};

FakeWindowSystem &FakeWindows();

} // namespace platform
