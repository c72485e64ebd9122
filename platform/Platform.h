#pragma once

// Desktop services the launcher needs from the window system. The
// implementation is chosen when linking: x11/ for the desktop, fake/ for
// tests, which records what was asked.

#include <functional>
#include <vector>

#include <QRect>
#include <QString>

class QWidget;

namespace platform {

// A monitor as the window system reports it.
struct Monitor {
    QRect geometry;  // all of it
    QRect available; // without the panels and docks on it
    QString name;    // its output, when the system names one
};

struct MonitorList {
    std::vector<Monitor> monitors;
    int primary = 0; // an index into monitors
};

// Qt's screens as monitors.
MonitorList QtMonitors();

class WindowSystem {
  public:
    virtual ~WindowSystem() = default;
    // Puts w into the topmost band or out of it, without re-creating,
    // moving or resizing it.
    virtual bool SetAbove(QWidget *w, bool on) = 0;
    // Keeps w off the task bar and the pager.
    virtual bool SetSkipTaskbar(QWidget *w, bool on) = 0;
    // The primary screen minus panels and docks.
    virtual QRect WorkArea() const = 0;
    // The rectangle of all monitors.
    virtual QRect VirtualScreen() const = 0;
    // Every monitor and its work area; Qt's screens unless a backend knows
    // better.
    virtual MonitorList Monitors() const { return QtMonitors(); }
    // Shows w, out of the minimised state, and raises and activates it.
    virtual void BringToFront(QWidget *w) = 0;
    // Sends what is queued for the window system now, not at the next turn
    // of the event loop.
    virtual void Flush() = 0;
    // Asks the window manager to hide every window and show the desktop;
    // false when there is no window system to ask.
    virtual bool ShowDesktop() = 0;
    // Tells changed(true) when other windows cover all of the top-level w,
    // and changed(false) when any of it can be seen again. A new call for
    // the same w replaces its callback; systems that cannot tell never call.
    virtual void WatchCovering(QWidget *w, std::function<void(bool covered)> changed) = 0;
};

WindowSystem &Windows();

} // namespace platform
