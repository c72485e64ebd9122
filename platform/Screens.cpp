// Screen geometry is the same for every backend that runs on Qt's screens.

#include "Platform.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

QRect PrimaryAvailableGeometry()
{
    QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

QRect PrimaryVirtualGeometry()
{
    QScreen *s = QGuiApplication::primaryScreen();
    return s ? s->virtualGeometry() : QRect(0, 0, 1024, 768);
}

MonitorList QtMonitors()
{
    MonitorList list;
    const QScreen *primary = QGuiApplication::primaryScreen();
    for (const QScreen *s : QGuiApplication::screens()) {
        if (s == primary)
            list.primary = static_cast<int>(list.monitors.size());
        list.monitors.push_back({s->geometry(), s->availableGeometry(), s->name()});
    }
    return list;
}

} // namespace platform
