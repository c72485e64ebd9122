// Desktop entries for real: reading them, and starting the application one
// describes the way the desktop's menu would. No display is needed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DesktopEntries.h"
#include "Launcher.h"
#include "Zombies.h"

namespace fs = std::filesystem;

namespace {

fs::path Root()
{
    static fs::path root = fs::temp_directory_path() / ("kv-entries-" + std::to_string(::getpid()));
    return root;
}

// The fixtures' folder, there for the tests and gone after them.
class EntriesFolder : public ::testing::Environment {
  public:
    void SetUp() override { fs::remove_all(Root()); }
    void TearDown() override { fs::remove_all(Root()); }
};
const auto *const kFolder = ::testing::AddGlobalTestEnvironment(new EntriesFolder);

QString Q(const fs::path &p)
{
    return QString::fromStdString(p.string());
}

fs::path Write(const fs::path &path, const std::string &text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    return path;
}

fs::path Script(const fs::path &path, const std::string &body)
{
    Write(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// The whole file, once the program that writes it has renamed it into place.
std::string ReadWhenThere(const fs::path &p)
{
    for (int i = 0; i < 1000 && !fs::exists(p); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Shell lines that write text to file all at once: first under another name,
// then renamed.
std::string WriteAtOnce(const std::string &text, const fs::path &file)
{
    return text + " > '" + file.string() + ".part' && /bin/mv '" + file.string() + ".part' '" +
           file.string() + "'";
}

TEST(DesktopEntries, ReadingAnEntry)
{
    const fs::path dir = Root() / "read";
    const fs::path full = Write(dir / "full.desktop", "[Desktop Entry]\nType=Application\nName=Full Game\n"
                                                      "Icon=kv-game-icon\nCategories=Game;ArcadeGame;\n"
                                                      "Exec=/bin/true\nTryExec=/bin/true\n");
    const fs::path iconFile = Write(dir / "icon.png", "");
    const fs::path bare = Write(dir / "bare.desktop", "[Desktop Entry]\nType=Application\nName=Bare\n"
                                                      "Icon=" +
                                                          iconFile.string() + "\nExec=/bin/true\n");
    const fs::path noIcon = Write(dir / "plain.desktop", "[Desktop Entry]\nType=Application\nName=Plain\n"
                                                         "Exec=/bin/true\n");
    struct Case {
        fs::path file;
        const char *name;
        std::string icon;
        QStringList categories;
    } cases[] = {
        {full, "Full Game", "kv-game-icon", {"Game", "ArcadeGame"}},
        {bare, "Bare", iconFile.string(), {}},
        {noIcon, "Plain", "", {}},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.file.string());
        const std::optional<platform::DesktopEntry> e = platform::ReadDesktopEntry(Q(tc.file));
        ASSERT_TRUE(e.has_value());
        EXPECT_EQ(e->file, Q(tc.file));
        EXPECT_EQ(e->name.toStdString(), tc.name);
        EXPECT_EQ(e->icon.toStdString(), tc.icon);
        EXPECT_EQ(e->categories, tc.categories);
    }
    // A relative path reads the same entry, named by its absolute path.
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    const std::optional<platform::DesktopEntry> relative =
        platform::ReadDesktopEntry(QStringLiteral("full.desktop"));
    fs::current_path(previous);
    ASSERT_TRUE(relative.has_value());
    EXPECT_EQ(relative->file, Q(full));
}

TEST(DesktopEntries, WhatIsNoApplicationReadsAsNothing)
{
    const fs::path dir = Root() / "nothing";
    const std::string app = "[Desktop Entry]\nType=Application\nName=App\nExec=/bin/true\n";
    struct Case {
        const char *file;
        std::string text; // empty: the file is not there
    } cases[] = {
        {"missing-tryexec.desktop", app + "TryExec=/nonexistent/kv-no-such-program\n"},
        {"missing-tryexec-on-path.desktop", app + "TryExec=kv-no-such-program-on-path\n"},
        {"link.desktop", "[Desktop Entry]\nType=Link\nName=A link\nURL=https://example.invalid/\n"},
        {"directory.desktop", "[Desktop Entry]\nType=Directory\nName=A menu folder\n"},
        {"no-group.desktop", "[Something Else]\nType=Application\nName=App\nExec=/bin/true\n"},
        {"garbage.desktop", "this is not a key file\n\x01\x02\n"},
        {"not-an-entry.txt", app},
        {"gone.desktop", ""},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.file);
        const fs::path file = dir / tc.file;
        if (!tc.text.empty())
            Write(file, tc.text);
        EXPECT_FALSE(platform::ReadDesktopEntry(Q(file)).has_value());
    }
    // A FIFO is never opened: the open would wait for a writer for good.
    ASSERT_EQ(::mkfifo((dir / "fifo.desktop").c_str(), 0755), 0);
    EXPECT_FALSE(platform::ReadDesktopEntry(Q(dir / "fifo.desktop")).has_value());
}

// Points XDG_DATA_HOME and XDG_DATA_DIRS at folders of its own while it lives.
struct PrivateDataFolders {
    fs::path home, system;
    std::string oldHome = Env("XDG_DATA_HOME"), oldDirs = Env("XDG_DATA_DIRS");
    explicit PrivateDataFolders(const fs::path &root) : home(root / "home-data"), system(root / "system-data")
    {
        fs::create_directories(home / "applications");
        fs::create_directories(system / "applications");
        ::setenv("XDG_DATA_HOME", home.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", system.c_str(), 1);
    }
    ~PrivateDataFolders()
    {
        Restore("XDG_DATA_HOME", oldHome);
        Restore("XDG_DATA_DIRS", oldDirs);
    }
    static std::string Env(const char *name) { return std::getenv(name) ? std::getenv(name) : "\x01"; }
    static void Restore(const char *name, const std::string &value)
    {
        if (value == "\x01")
            ::unsetenv(name);
        else
            ::setenv(name, value.c_str(), 1);
    }
};

TEST(DesktopEntries, OnlyEntriesFromTheApplicationsFoldersOrMadeExecutableAreTrusted)
{
    const fs::path dir = Root() / "trust";
    const PrivateDataFolders data(dir);
    const std::string app = "[Desktop Entry]\nType=Application\nName=Invoice.pdf\nExec=/bin/true\n";
    const fs::path downloads = dir / "Downloads";
    const fs::path installed = Write(data.system / "applications/vendor/editor.desktop", app);
    fs::create_directories(downloads);
    fs::create_symlink(installed, downloads / "linked.desktop");
    ASSERT_EQ(::mkfifo((downloads / "fifo.desktop").c_str(), 0755), 0);
    struct Case {
        fs::path file;
        fs::perms mode; // none: as made
        bool trusted;
    } cases[] = {
        {Write(data.home / "applications/mine.desktop", app), fs::perms::owner_read | fs::perms::owner_write, true},
        {installed, fs::perms::owner_read, true},
        {Write(downloads / "Invoice.pdf.desktop", app), fs::perms::owner_read | fs::perms::group_read, false},
        {Write(downloads / "trusted.desktop", app), fs::perms::owner_all, true},
        {Write(downloads / "group.desktop", app), fs::perms::owner_read | fs::perms::group_exec, true},
        {downloads / "linked.desktop", fs::perms::none, true},
        {downloads / "fifo.desktop", fs::perms::none, false},
        {dir / "home-data/applications/../../Downloads/Invoice.pdf.desktop", fs::perms::none, false},
    };
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.file.string());
        if (tc.mode != fs::perms::none)
            fs::permissions(tc.file, tc.mode);
        EXPECT_EQ(platform::IsTrustedDesktopEntry(Q(tc.file)), tc.trusted);
    }
}

TEST(DesktopEntries, InstalledApplicationsPassOverWhatIsNoFile)
{
    const fs::path dir = Root() / "installed";
    const PrivateDataFolders data(dir);
    const std::string app = "[Desktop Entry]\nType=Application\nExec=/bin/true\nName=";
    Write(data.home / "applications/mine.desktop", app + "Mine\n");
    Write(data.system / "applications/mine.desktop", app + "Shadowed\n");
    Write(data.system / "applications/kde/tool.desktop", app + "Tool\n");
    Write(data.system / "applications/gone.desktop", app + "Gone\nHidden=true\n");
    Write(data.system / "applications/quiet.desktop", app + "Quiet\nNoDisplay=true\n");
    ASSERT_EQ(::mkfifo((data.system / "applications/fifo.desktop").c_str(), 0644), 0);
    fs::create_symlink(data.system / "applications/fifo.desktop", data.home / "applications/fifo-link.desktop");
    std::vector<std::string> names;
    for (const platform::DesktopEntry &e : platform::InstalledApplications())
        names.push_back(e.name.toStdString() + " " + fs::path(e.file.toStdString()).filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"Mine mine.desktop", "Tool tool.desktop"}));
}

TEST(DesktopEntries, IsDesktopEntryPath)
{
    EXPECT_TRUE(platform::IsDesktopEntryPath(QStringLiteral("/usr/share/applications/app.desktop")));
    EXPECT_TRUE(platform::IsDesktopEntryPath(QStringLiteral("a folder/x y.desktop")));
    EXPECT_FALSE(platform::IsDesktopEntryPath(QStringLiteral("/usr/bin/app")));
    EXPECT_FALSE(platform::IsDesktopEntryPath(QStringLiteral("/tmp/app.desktop.bak")));
    EXPECT_FALSE(platform::IsDesktopEntryPath(QStringLiteral("/tmp/desktop")));
}

TEST(DesktopEntries, StartRunsExecInPathWithTheFieldCodesHandled)
{
    // The program prints its arguments, one a line in brackets, and its folder.
    const fs::path dir = Root() / "start";
    const fs::path out = dir / "args.txt";
    const fs::path program =
        Script(dir / "bin" / "print args",
               WriteAtOnce("{ for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; pwd; }", out));
    const fs::path work = dir / "work folder; $(not run)";
    fs::create_directories(work);
    const fs::path entry = Write(dir / "app.desktop", "[Desktop Entry]\nType=Application\nName=Printer\n"
                                                      "Exec=\"" +
                                                          program.string() +
                                                          "\" %f %u %F %U 100%% %c \"two words\"\n"
                                                          "Path=" +
                                                          work.string() + "\n");
    const platform::LaunchResult r = platform::Launch().StartDesktopEntry(Q(entry));
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    // No files: the file codes give nothing, %% is one percent sign, %c the name.
    EXPECT_EQ(ReadWhenThere(out), "[100%]\n[Printer]\n[two words]\n" + work.string() + "\n");
    EXPECT_EQ(Zombies(), 0);
}

TEST(DesktopEntries, TheProgramInheritsOnlyTheStandardStreams)
{
    const fs::path dir = Root() / "descriptors";
    const fs::path out = dir / "fd.txt";
    // A descriptor of ours that a program would inherit unless it is closed.
    const int open = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(open, 0);
    constexpr int kOurs = 47;
    ASSERT_EQ(::dup2(open, kOurs), kOurs);
    ::close(open);
    const fs::path program =
        Script(dir / "check", WriteAtOnce("if [ -e /proc/self/fd/" + std::to_string(kOurs) +
                                              " ]; then echo inherited; else echo closed; fi",
                                          out));
    const fs::path entry =
        Write(dir / "check.desktop",
              "[Desktop Entry]\nType=Application\nName=Check\nExec=" + program.string() + "\n");
    const platform::LaunchResult r = platform::Launch().StartDesktopEntry(Q(entry));
    ::close(kOurs);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(ReadWhenThere(out), "closed\n");
    EXPECT_EQ(Zombies(), 0);
}

TEST(DesktopEntries, ATerminalEntryRunsInTheTerminal)
{
    // The only terminal on PATH is a stand-in that records what it was asked to run.
    const fs::path dir = Root() / "terminal";
    const fs::path out = dir / "terminal.txt";
    Script(dir / "bin" / "xterm",
           WriteAtOnce("{ for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done; /bin/pwd; }", out));
    const fs::path entry = Write(dir / "tui.desktop", "[Desktop Entry]\nType=Application\nName=Text UI\n"
                                                      "Exec=/bin/true --flag\nTerminal=true\nPath=" +
                                                          dir.string() + "\n");
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (dir / "bin").c_str(), 1);
    const platform::LaunchResult r = platform::Launch().StartDesktopEntry(Q(entry));
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(ReadWhenThere(out), "[-e]\n[/bin/true]\n[--flag]\n" + dir.string() + "\n");
    EXPECT_EQ(Zombies(), 0);
}

TEST(DesktopEntries, FailuresSayWhatIsWrong)
{
    const fs::path dir = Root() / "failures";
    const std::string head = "[Desktop Entry]\nType=Application\nName=Broken\n";
    Write(dir / "not executable", "#!/bin/sh\n");
    struct Case {
        const char *file;
        std::string text;               // empty: the file is not there
        std::vector<std::string> words; // the error says each of these
    } cases[] = {
        {"missing.desktop",
         head + "Exec=/nonexistent/kv-no-such-program\n",
         {"/nonexistent/kv-no-such-program", std::strerror(ENOENT)}},
        {"not-on-path.desktop",
         head + "Exec=kv-no-such-program-on-path --x\n",
         {"kv-no-such-program-on-path"}},
        {"not-executable.desktop",
         head + "Exec=\"" + (dir / "not executable").string() + "\"\n",
         {std::strerror(EACCES)}},
        {"no-folder.desktop",
         head + "Exec=/bin/true\nPath=/nonexistent/kv-folder\n",
         {"/nonexistent/kv-folder", std::strerror(ENOENT)}},
        {"tryexec.desktop", head + "Exec=/bin/true\nTryExec=kv-no-such-tryexec\n", {"kv-no-such-tryexec"}},
        {"link.desktop",
         "[Desktop Entry]\nType=Link\nName=A link\nURL=https://example.invalid/\n",
         {"not an application", "Link"}},
        {"no-exec.desktop", head, {"Exec"}},
        {"no-group.desktop", "[Other]\nName=x\n", {"not a desktop entry"}},
        {"gone.desktop", "", {std::strerror(ENOENT)}},
        {"fifo.desktop", "", {"FIFO"}},
    };
    ASSERT_EQ(::mkfifo((dir / "fifo.desktop").c_str(), 0755), 0);
    for (const Case &tc : cases) {
        SCOPED_TRACE(tc.file);
        const fs::path file = dir / tc.file;
        if (!tc.text.empty())
            Write(file, tc.text);
        const platform::LaunchResult r = platform::Launch().StartDesktopEntry(Q(file));
        EXPECT_FALSE(r.ok);
        for (const std::string &word : tc.words)
            EXPECT_NE(r.error.toStdString().find(word), std::string::npos) << r.error.toStdString();
    }
    EXPECT_EQ(Zombies(), 0);
}

} // namespace
