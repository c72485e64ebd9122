#pragma once

// Which windowing platform Kestrava asks Qt for, decided before Qt starts.
//
// The program talks to an X server: its global keys, window placement and
// single-instance raising are X11 work. Under a Wayland desktop it therefore
// runs through XWayland, unless the user has named a platform themselves
// (QT_QPA_PLATFORM, or -platform NAME / --platform NAME on the command line,
// as Qt reads them). Without an X display to reach (no DISPLAY), Qt's own
// choice stands: XWayland is not there, and xcb could not start at all.

#include <string>

struct PlatformEnvironment {
    const char *qtPlatform = nullptr;     // QT_QPA_PLATFORM
    const char *waylandDisplay = nullptr; // WAYLAND_DISPLAY
    const char *sessionType = nullptr;    // XDG_SESSION_TYPE
    const char *display = nullptr;        // DISPLAY
};

// True when the environment describes a Wayland session: WAYLAND_DISPLAY is
// set and not empty, or XDG_SESSION_TYPE is "wayland".
bool IsWaylandSession(const PlatformEnvironment &env);

// The value QT_QPA_PLATFORM should be given, or empty to leave Qt's own
// choice alone. argv[0] is the program and is not looked at.
std::string ChooseQtPlatform(const PlatformEnvironment &env, int argc, const char *const *argv);
