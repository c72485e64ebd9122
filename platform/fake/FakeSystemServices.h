#pragma once

// Test doubles of the session and network services: record every request
// and answer with the result a test set.

#include <QStringList>

#include "SystemServices.h"

namespace platform {

struct FakeSessionControl : SessionControl {
    QStringList calls; // "LogOff", "Reboot", "PowerOff"
    ServiceResult result{true, {}};

    ServiceResult LogOff() override { return Record(QStringLiteral("LogOff")); }
    ServiceResult Reboot() override { return Record(QStringLiteral("Reboot")); }
    ServiceResult PowerOff() override { return Record(QStringLiteral("PowerOff")); }

  private:
    ServiceResult Record(const QString &call)
    {
        calls.append(call);
        return result;
    }
};

struct FakeNetwork : Network {
    int connectCalls = 0;
    ServiceResult result{true, {}};

    ServiceResult Connect() override
    {
        ++connectCalls;
        return result;
    }
};

FakeSessionControl &FakeSession();
FakeNetwork &FakeNetworking();

} // namespace platform
