// Arguments reach a started program word for word: nothing splits, quotes,
// expands or drops them, because no shell is involved.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "Launcher.h"

namespace fs = std::filesystem;

namespace {

TEST(X11LauncherArguments, EachArgumentArrivesAsOneWord)
{
    const fs::path root = fs::temp_directory_path() / ("kv-spawn-args-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root);
    const fs::path program = root / "print args";
    // One argument a line, NUL-free, then a marker line once all is written.
    std::ofstream(program) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$0.out\"\n"
                              "mv \"$0.out\" \"$0.txt\"\n";
    fs::permissions(program, fs::perms::owner_all);

    const QStringList arguments{
        QStringLiteral("two words"),           QString(),           QStringLiteral("$(touch pwned)"),
        QStringLiteral("'single' \"double\""), QStringLiteral("*"), QStringLiteral("~"),
        QStringLiteral("gr\u00fc\u00dfe")};
    const platform::LaunchResult r = platform::Launch().Spawn(QString::fromStdString(program.string()),
                                                              arguments, QString::fromStdString(root));
    ASSERT_TRUE(r.ok) << r.error.toStdString();

    const fs::path out = root / "print args.txt";
    for (int i = 0; i < 1000 && !fs::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(out);
    std::stringstream got;
    got << in.rdbuf();
    std::string expected;
    for (const QString &a : arguments)
        expected += "[" + a.toStdString() + "]\n";
    EXPECT_EQ(got.str(), expected);
    EXPECT_FALSE(fs::exists(root / "pwned"));
    fs::remove_all(root);
}

} // namespace
