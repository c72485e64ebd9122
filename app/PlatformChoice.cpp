#include "PlatformChoice.h"

#include <cstring>

namespace {

bool IsSet(const char *value)
{
    return value && *value;
}

// Qt takes "-platform NAME" and, with its double-dash spelling, "--platform
// NAME"; a last "-platform" without a name is ignored by Qt, and so here.
bool PlatformArgumentGiven(int argc, const char *const *argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        const char *arg = argv[i];
        if (!arg || arg[0] != '-')
            continue;
        if (arg[1] == '-')
            ++arg;
        if (std::strcmp(arg, "-platform") == 0)
            return true;
    }
    return false;
}

} // namespace

bool IsWaylandSession(const PlatformEnvironment &env)
{
    return IsSet(env.waylandDisplay) || (env.sessionType && std::strcmp(env.sessionType, "wayland") == 0);
}

std::string ChooseQtPlatform(const PlatformEnvironment &env, int argc, const char *const *argv)
{
    if (IsSet(env.qtPlatform) || PlatformArgumentGiven(argc, argv))
        return {};
    return IsWaylandSession(env) && IsSet(env.display) ? "xcb" : std::string();
}
