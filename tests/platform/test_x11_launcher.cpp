// The desktop launcher for real: processes, working folders, error texts and
// GIO's answer when nothing can open a file. No display is needed.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Launcher.h"
#include "Zombies.h"

namespace fs = std::filesystem;

namespace {

fs::path Root()
{
    static fs::path root = fs::temp_directory_path() / ("kv-launch-" + std::to_string(::getpid()));
    return root;
}

std::string ReadWhenThere(const fs::path &p)
{
    for (int i = 0; i < 500 && !fs::exists(p); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let the writer finish
    std::ifstream in(p);
    std::string s;
    std::getline(in, s);
    return s;
}

fs::path Script(const fs::path &path, const std::string &body, bool executable = true)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, executable ? fs::perms::owner_all : fs::perms::owner_read | fs::perms::owner_write);
    return path;
}

TEST(X11Launcher, ProgramsRunInTheirFolderWithoutAShell)
{
    const fs::path folder = Root() / "a folder; with $(space)";
    const fs::path marker = Root() / "pwd.txt";
    Script(folder / "prog", "pwd > '" + marker.string() + "'");
    platform::LaunchResult r = platform::Launch().Spawn(QString::fromStdString((folder / "prog").string()),
                                                        QString::fromStdString(folder.string() + "/"));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(ReadWhenThere(marker), folder.string());

    // No folder part: the program starts in the launcher's own folder.
    const fs::path marker2 = Root() / "pwd2.txt";
    Script(Root() / "prog2", "pwd > '" + marker2.string() + "'");
    r = platform::Launch().Spawn(QString::fromStdString((Root() / "prog2").string()), QString());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(ReadWhenThere(marker2), fs::current_path().string());
    EXPECT_EQ(Zombies(), 0);
}

TEST(X11Launcher, RelativeProgramsAreTheLaunchersOwn)
{
    // Each program writes its own name and folder; the launcher's folder is
    // Root(), and "sub/" is where a relative target's folder part points.
    const fs::path marker = Root() / "relative.txt";
    const std::string report = "echo \"$0 $(pwd)\" > '" + marker.string() + "'";
    fs::create_directories(Root() / "sub");
    Script(Root() / "sub" / "app.sh", report);
    Script(Root() / "-rel.sh", report);
    Script(Root() / "true", report); // a name PATH also has
    const fs::path previous = fs::current_path();
    fs::current_path(Root());
    struct Case {
        const char *program;
        const char *folder;
        std::string expected;
    } cases[] = {
        {"sub/app.sh", "sub/", (Root() / "sub/app.sh").string() + " " + (Root() / "sub").string()},
        {"-rel.sh", "", (Root() / "-rel.sh").string() + " " + Root().string()},
        {"true", "", (Root() / "true").string() + " " + Root().string()},
    };
    for (const Case &tc : cases) {
        fs::remove(marker);
        platform::LaunchResult r =
            platform::Launch().Spawn(QString::fromUtf8(tc.program), QString::fromUtf8(tc.folder));
        EXPECT_TRUE(r.ok) << tc.program << ": " << r.error.toStdString();
        EXPECT_EQ(ReadWhenThere(marker), tc.expected) << tc.program;
    }
    // A script without #! is not a program: no shell runs it instead.
    std::ofstream(Root() / "plain.sh") << "touch '" << (Root() / "ran").string() << "'\n";
    fs::permissions(Root() / "plain.sh", fs::perms::owner_all);
    platform::LaunchResult r = platform::Launch().Spawn(QStringLiteral("plain.sh"), QString());
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.toStdString(), std::strerror(ENOEXEC));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fs::exists(Root() / "ran"));
    fs::current_path(previous);
    EXPECT_EQ(Zombies(), 0);
}

TEST(X11Launcher, FailuresCarryTheSystemText)
{
    Script(Root() / "not executable", "true", false);
    fs::create_directories(Root() / "a folder");
    Script(Root() / "ok", "true");
    struct Case {
        fs::path program;
        fs::path folder;
        int error;
    } cases[] = {
        {Root() / "missing", Root(), ENOENT},
        {Root() / "not executable", Root(), EACCES},
        {Root() / "a folder", Root(), EACCES},
        {Root() / "ok", Root() / "no such folder", ENOENT},
    };
    for (const Case &tc : cases) {
        platform::LaunchResult r = platform::Launch().Spawn(QString::fromStdString(tc.program.string()),
                                                            QString::fromStdString(tc.folder.string()));
        EXPECT_FALSE(r.ok) << tc.program;
        EXPECT_EQ(r.error.toStdString(), std::strerror(tc.error)) << tc.program;
    }
    EXPECT_EQ(Zombies(), 0);
}

TEST(X11Launcher, OpeningWithoutAHandlerReportsGiosText)
{
    std::ofstream(Root() / "doc.kestrava-test") << "x";
    platform::LaunchResult r =
        platform::Launch().OpenPath(QString::fromStdString((Root() / "doc.kestrava-test").string()));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    r = platform::Launch().OpenUri(QStringLiteral("nosuchscheme-kv://x"));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // An empty desktop: no default applications at all, whatever the machine has.
    fs::remove_all(Root());
    for (const char *var : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) {
        fs::path p = Root() / "xdg" / var;
        fs::create_directories(p);
        ::setenv(var, p.c_str(), 1);
    }
    int rc = RUN_ALL_TESTS();
    fs::remove_all(Root());
    return rc;
}
