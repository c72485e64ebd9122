#pragma once

// Test double of the launcher: records every request and answers with the
// result a test set.

#include <vector>

#include "Launcher.h"

namespace platform {

struct FakeLauncher : Launcher {
    struct Call {
        QString what; // "uri", "path" or "spawn"
        QString target;
        QString workingDir;
        QStringList arguments;
    };
    std::vector<Call> calls;
    LaunchResult result{true, {}};

    LaunchResult OpenUri(const QString &uri) override
    {
        calls.push_back({QStringLiteral("uri"), uri, {}, {}});
        return result;
    }
    LaunchResult OpenPath(const QString &path) override
    {
        calls.push_back({QStringLiteral("path"), path, {}, {}});
        return result;
    }
    using Launcher::Spawn;
    LaunchResult Spawn(const QString &program, const QStringList &arguments,
                       const QString &workingDir) override
    {
        calls.push_back({QStringLiteral("spawn"), program, workingDir, arguments});
        return result;
    }
};

FakeLauncher &FakeLaunch();

} // namespace platform
