// Method calls with a shared deadline, and the error texts the bus gives.

#include "SystemBus.h"

#include <QDBusArgument>
#include <QDBusVariant>

namespace platform {

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

} // namespace

BusRequests::BusRequests(const QDBusConnection &bus, const QString &service, int budgetMs)
    : m_bus(bus), m_service(service), m_deadline(budgetMs)
{
}

std::optional<QVariantList> BusRequests::Call(const QString &path, const QString &interface,
                                              const QString &method, const QVariantList &arguments)
{
    if (!m_bus.isConnected()) {
        // The connection's own error says what went wrong: no address, no
        // socket, refused.
        error = m_bus.lastError().message();
        if (error.isEmpty())
            error = QStringLiteral("Not connected to the system bus");
        return std::nullopt;
    }
    // Qt takes 0 as "its default of 25 s": a spent budget still waits 1 ms.
    const int timeout = static_cast<int>(qMax<qint64>(1, m_deadline.remainingTime()));
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, path, interface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, timeout);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        error = reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
        if (error.isEmpty())
            error = QStringLiteral("No answer from ") + m_service;
        return std::nullopt;
    }
    error.clear();
    return reply.arguments();
}

QVariant BusRequests::Property(const QString &path, const QString &interface, const QString &name)
{
    const auto reply = Call(path, kProperties, QStringLiteral("Get"), {interface, name});
    if (!reply || reply->isEmpty())
        return {};
    return reply->first().value<QDBusVariant>().variant();
}

QVariantMap BusRequests::Properties(const QString &path, const QString &interface)
{
    const auto reply = Call(path, kProperties, QStringLiteral("GetAll"), {interface});
    if (!reply || reply->isEmpty())
        return {};
    return qdbus_cast<QVariantMap>(reply->first());
}

} // namespace platform
