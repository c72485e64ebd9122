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

} // namespace platform
