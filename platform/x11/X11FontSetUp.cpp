#include "FontSetUp.h"

#include <thread>

#include <fontconfig/fontconfig.h>

namespace platform {

namespace {
// Joined at exit too, for a process that ends before its first window (a
// second start that only hands over to the first).
struct SetUp {
    std::thread thread;
    ~SetUp()
    {
        if (thread.joinable())
            thread.join();
    }
};

std::thread &SetUpThread()
{
    static SetUp setUp;
    return setUp.thread;
}
} // namespace

void StartFontSetUp()
{
    std::thread &thread = SetUpThread();
    if (thread.joinable())
        return;
    // FcInit loads the configuration and the font caches into the library's
    // process-wide default, which Qt's font database then finds ready.
    thread = std::thread([] { FcInit(); });
}

void FinishFontSetUp()
{
    std::thread &thread = SetUpThread();
    if (thread.joinable())
        thread.join();
}

} // namespace platform
