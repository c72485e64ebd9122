#pragma once

// The desktop launcher itself. The program reaches it through Launch(); a
// build with the fake platform that must start real programs asks for it by
// this name.

#include "Launcher.h"

namespace platform {

Launcher &DesktopLauncher();

} // namespace platform
