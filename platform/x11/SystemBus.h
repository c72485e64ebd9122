#pragma once

// Requests to the system daemons (systemd-logind, NetworkManager) over a
// given D-Bus connection: the services use the system bus, tests a private
// bus with stand-in daemons.

#include <optional>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QVariant>

#include "SystemServices.h"

namespace platform {

// How long one command may keep the GUI waiting, all its requests together.
inline constexpr int kSystemBusBudgetMs = 5000;

// Method calls to one daemon, sharing one time budget: a daemon that hangs
// costs the budget once, not once per request.
class BusRequests {
  public:
    BusRequests(const QDBusConnection &bus, const QString &service, int budgetMs = kSystemBusBudgetMs);

    // The reply's arguments; nothing on failure (no bus, no such daemon,
    // refusal, time out), with the reason in error.
    std::optional<QVariantList> Call(const QString &path, const QString &interface, const QString &method,
                                     const QVariantList &arguments = {});
    // One property of an object, invalid on failure.
    QVariant Property(const QString &path, const QString &interface, const QString &name);
    QVariantMap Properties(const QString &path, const QString &interface);

    QString error;

  private:
    QDBusConnection m_bus;
    QString m_service;
    QDeadlineTimer m_deadline;
};

// Whether the bus at addresses (a D-Bus address list, tried in order) takes a
// connection and answers the first step of the handshake within budgetMs;
// the reason when it does not. The D-Bus library sets itself no limit on the
// handshake: a bus that accepts the connection and then stays silent (a
// daemon that hangs) would hold its first connection, and with it the GUI
// thread, for good. Only a bus that answers here is handed to it. An address
// that is not a local socket cannot be tried here and counts as answering.
ServiceResult ProbeBus(const QByteArray &addresses, int budgetMs = kSystemBusBudgetMs);
// ProbeBus for the system bus: the environment's address, or the standard
// socket when it names none.
ServiceResult ProbeSystemBus();

// Ends the session of process pid: the session logind files it under, or
// else the one named sessionId (the environment's XDG_SESSION_ID).
ServiceResult TerminateSessionOf(const QDBusConnection &bus, quint32 pid, const QString &sessionId);
ServiceResult RequestReboot(const QDBusConnection &bus);
ServiceResult RequestPowerOff(const QDBusConnection &bus);
ServiceResult ConnectThroughNetworkManager(const QDBusConnection &bus);

} // namespace platform
