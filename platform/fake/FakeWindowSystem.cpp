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
