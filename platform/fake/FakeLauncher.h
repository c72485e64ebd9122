#pragma once

// Test double of the launcher: records every request and answers with the
// result a test set, or hands it on to a real launcher that answers instead.

#include <vector>

#include "Launcher.h"

namespace platform {

struct FakeLauncher : Launcher {
    struct Call {
        QString what; // "uri", "path", "spawn" or "entry"
        QString target;
        QString workingDir;
        QStringList arguments;
    };
    std::vector<Call> calls;
    LaunchResult result{true, {}};
    // When set, each request is recorded and then carried out by this
    // launcher, whose answer is returned.
    Launcher *through = nullptr;

    LaunchResult OpenUri(const QString &uri) override
    {
        calls.push_back({QStringLiteral("uri"), uri, {}, {}});
        return through ? through->OpenUri(uri) : result;
    }
    LaunchResult OpenPath(const QString &path) override
    {
        calls.push_back({QStringLiteral("path"), path, {}, {}});
        return through ? through->OpenPath(path) : result;
    }
    using Launcher::Spawn;
    LaunchResult Spawn(const QString &program, const QStringList &arguments,
                       const QString &workingDir) override
    {
        calls.push_back({QStringLiteral("spawn"), program, workingDir, arguments});
        return through ? through->Spawn(program, arguments, workingDir) : result;
    }
    LaunchResult StartDesktopEntry(const QString &path) override
    {
        calls.push_back({QStringLiteral("entry"), path, {}, {}});
        return through ? through->StartDesktopEntry(path) : result;
    }
};

FakeLauncher &FakeLaunch();

} // namespace platform
