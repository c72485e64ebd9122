// The windowing platform chosen before Qt starts: XWayland under a Wayland
// desktop, unless the user named a platform, and nothing forced elsewhere.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PlatformChoice.h"

namespace {

struct Case {
    const char *what;
    PlatformEnvironment env;
    std::vector<const char *> args; // after the program's name
    const char *expected;
};

std::string Choose(const Case &c)
{
    std::vector<const char *> argv{"kestrava"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    return ChooseQtPlatform(c.env, static_cast<int>(argv.size()), argv.data());
}

TEST(PlatformChoice, XWaylandUnlessTheUserChose)
{
    const char *wl = "wayland-0";
    const char *x = ":0";
    const Case cases[] = {
        {"a Wayland desktop with XWayland", {nullptr, wl, nullptr, x}, {}, "xcb"},
        {"the session type alone says Wayland", {nullptr, nullptr, "wayland", x}, {}, "xcb"},
        {"both say Wayland", {nullptr, wl, "wayland", x}, {}, "xcb"},
        {"an X11 desktop", {nullptr, nullptr, "x11", x}, {}, ""},
        {"nothing says anything", {nullptr, nullptr, nullptr, x}, {}, ""},
        {"an empty WAYLAND_DISPLAY is none", {nullptr, "", "x11", x}, {}, ""},
        {"another session type", {nullptr, nullptr, "tty", x}, {}, ""},
        {"the user's QT_QPA_PLATFORM", {"wayland", wl, "wayland", x}, {}, ""},
        {"the user's QT_QPA_PLATFORM, even xcb", {"xcb", wl, nullptr, x}, {}, ""},
        {"an empty QT_QPA_PLATFORM is no choice", {"", wl, nullptr, x}, {}, "xcb"},
        {"-platform NAME", {nullptr, wl, nullptr, x}, {"-platform", "wayland"}, ""},
        {"--platform NAME", {nullptr, wl, nullptr, x}, {"--platform", "offscreen"}, ""},
        {"-platform among other arguments",
         {nullptr, wl, nullptr, x},
         {"-style", "Fusion", "-platform", "xcb"},
         ""},
        {"a last -platform without a name, ignored by Qt", {nullptr, wl, nullptr, x}, {"-platform"}, "xcb"},
        {"-platform=NAME is not Qt's spelling", {nullptr, wl, nullptr, x}, {"-platform=wayland"}, "xcb"},
        {"a word that only contains platform", {nullptr, wl, nullptr, x}, {"-platformx", "y"}, "xcb"},
        {"no X display: Qt's own choice", {nullptr, wl, "wayland", nullptr}, {}, ""},
        {"an empty DISPLAY is none", {nullptr, wl, nullptr, ""}, {}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Choose(c), c.expected) << c.what;
}

TEST(PlatformChoice, ProgramNameIsNotAnArgument)
{
    // A program started under the name "-platform" has given no platform.
    const char *argv[] = {"-platform", "xcb"};
    EXPECT_EQ(ChooseQtPlatform({nullptr, "wayland-0", nullptr, ":0"}, 1, argv), "xcb");
    EXPECT_EQ(ChooseQtPlatform({nullptr, "wayland-0", nullptr, ":0"}, 0, nullptr), "xcb");
}

TEST(PlatformChoice, WaylandSession)
{
    EXPECT_TRUE(IsWaylandSession({nullptr, "wayland-1", nullptr, nullptr}));
    EXPECT_TRUE(IsWaylandSession({nullptr, nullptr, "wayland", nullptr}));
    EXPECT_FALSE(IsWaylandSession({nullptr, "", "x11", ":0"}));
    EXPECT_FALSE(IsWaylandSession({nullptr, nullptr, "Wayland-ish", nullptr}));
    EXPECT_FALSE(IsWaylandSession({}));
}

} // namespace
