#pragma once

// GIO's application object for a desktop entry, made from bytes read safely.

#include <gio/gdesktopappinfo.h>

#include <QString>

namespace platform {

// The entry at path as GIO's application, or nullptr when it cannot be read
// (never opening a FIFO, a device or a socket), is no application, or its
// TryExec program is missing. The caller unrefs it.
GDesktopAppInfo *LoadDesktopAppInfo(const QString &path);

} // namespace platform
