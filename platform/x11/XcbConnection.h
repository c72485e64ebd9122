#pragma once

// The X connection Qt opened, or null when the program runs on another
// platform (offscreen, Wayland).

#include <QGuiApplication>

#include <xcb/xcb.h>

namespace platform {

inline xcb_connection_t *XcbConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace platform
