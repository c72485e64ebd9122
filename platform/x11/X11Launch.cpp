// On the desktop, links are started by the desktop launcher. Kept apart from
// it so that a build with the fake platform can link the launcher alone.

#include "X11Launcher.h"

namespace platform {

Launcher &Launch()
{
    return DesktopLauncher();
}

} // namespace platform
