#include "FakeWindowSystem.h"
#include "FontSetUp.h"

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

// The tests measure no first frame: fonts load when first used.
void StartFontSetUp()
{
}
void FinishFontSetUp()
{
}

} // namespace platform
