// Ending the session through systemd-logind on the system bus.

#include <unistd.h>

#include <QDBusObjectPath>

#include "SystemBus.h"

namespace platform {

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");

ServiceResult Answer(const std::optional<QVariantList> &reply, const BusRequests &requests)
{
    return reply ? ServiceResult{true, {}} : ServiceResult{false, requests.error};
}

// false: logind must not start an authentication dialog of its own.
ServiceResult ManagerRequest(const QDBusConnection &bus, const QString &method)
{
    BusRequests logind(bus, kLogind);
    return Answer(logind.Call(kLogindPath, kManager, method, {false}), logind);
}

class LogindSession : public SessionControl {
  public:
    ServiceResult LogOff() override
    {
        if (ServiceResult bus = ProbeSystemBus(); !bus.ok)
            return bus;
        return TerminateSessionOf(QDBusConnection::systemBus(), static_cast<quint32>(::getpid()),
                                  qEnvironmentVariable("XDG_SESSION_ID"));
    }
    ServiceResult Reboot() override
    {
        if (ServiceResult bus = ProbeSystemBus(); !bus.ok)
            return bus;
        return RequestReboot(QDBusConnection::systemBus());
    }
    ServiceResult PowerOff() override
    {
        if (ServiceResult bus = ProbeSystemBus(); !bus.ok)
            return bus;
        return RequestPowerOff(QDBusConnection::systemBus());
    }
};

} // namespace

ServiceResult TerminateSessionOf(const QDBusConnection &bus, quint32 pid, const QString &sessionId)
{
    BusRequests logind(bus, kLogind);
    // The session the process really runs in comes first: an inherited
    // XDG_SESSION_ID may name another one (a terminal opened over ssh, say).
    if (const auto found = logind.Call(kLogindPath, kManager, QStringLiteral("GetSessionByPID"), {pid});
        found && !found->isEmpty()) {
        const QString session = found->first().value<QDBusObjectPath>().path();
        return Answer(logind.Call(session, kSession, QStringLiteral("Terminate")), logind);
    }
    // A program started by the user's service manager is outside every
    // session; the environment it inherited still names the session.
    if (sessionId.isEmpty())
        return {false, logind.error};
    return Answer(logind.Call(kLogindPath, kManager, QStringLiteral("TerminateSession"), {sessionId}),
                  logind);
}

ServiceResult RequestReboot(const QDBusConnection &bus)
{
    return ManagerRequest(bus, QStringLiteral("Reboot"));
}

ServiceResult RequestPowerOff(const QDBusConnection &bus)
{
    return ManagerRequest(bus, QStringLiteral("PowerOff"));
}

SessionControl &Session()
{
    static LogindSession session;
    return session;
}

} // namespace platform
