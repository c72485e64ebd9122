#include "FakeWindowSystem.h"

namespace platform {

FakeWindowSystem &FakeWindows()
{
    static FakeWindowSystem system;
    return system;
}

WindowSystem &Windows()
{
    return FakeWindows();
}

} // namespace platform

#include "FakeLauncher.h"

namespace platform {

FakeLauncher &FakeLaunch()
{
    static FakeLauncher launcher;
    return launcher;
}

Launcher &Launch()
{
    return FakeLaunch();
}

} // namespace platform
