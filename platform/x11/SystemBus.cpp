// Method calls with a shared deadline, and the error texts the bus gives.

#include "SystemBus.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>

#include <QDBusArgument>
#include <QDBusVariant>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform {

namespace {

const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QByteArray kStandardSystemBus = "unix:path=/var/run/dbus/system_bus_socket";

struct LocalSocket {
    QByteArray name;
    bool abstract = false;
};

// The local socket one entry of an address list names; nothing for another
// transport or a unix entry without a fixed name.
std::optional<LocalSocket> LocalSocketOf(const QByteArray &entry)
{
    const qsizetype colon = entry.indexOf(':');
    if (colon < 0 || entry.left(colon) != "unix")
        return std::nullopt;
    for (const QByteArray &pair : entry.mid(colon + 1).split(',')) {
        const qsizetype eq = pair.indexOf('=');
        const QByteArray key = pair.left(eq);
        if (eq > 0 && (key == "path" || key == "abstract"))
            return LocalSocket{QByteArray::fromPercentEncoding(pair.mid(eq + 1)), key == "abstract"};
    }
    return std::nullopt;
}

// Waits for events on fd until the deadline; false when it passed first.
bool WaitFor(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(qMax<qint64>(0, deadline.remainingTime())));
        if (n >= 0 || errno != EINTR)
            return n > 0;
    }
}

QString SystemError(const QString &what, int code)
{
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
}

// Connects to the socket and sends the handshake's opening (a NUL byte and
// an AUTH without a mechanism, which a bus answers with the mechanisms it
// takes). Any answer in time counts.
ServiceResult Probe(const LocalSocket &at, int budgetMs, const QDeadlineTimer &deadline)
{
    const QString where = QStringLiteral("the bus at ") + (at.abstract ? QStringLiteral("@") : QString()) +
                          QString::fromLocal8Bit(at.name);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A path ends in a NUL inside the field; an abstract name starts after
    // one. Either way the name has one byte less than the field.
    const auto size = static_cast<std::size_t>(at.name.size());
    if (size == 0 || size >= sizeof address.sun_path || (!at.abstract && at.name.contains('\0')))
        return {false, where + QStringLiteral(" is not a usable socket name")};
    std::memcpy(address.sun_path + (at.abstract ? 1 : 0), at.name.constData(), size);
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return {false, SystemError(QStringLiteral("could not make a socket for ") + where, errno)};
    ServiceResult result;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        // A local connect either succeeds at once or fails; a full backlog
        // is a bus that has stopped taking connections.
        const int code = errno;
        result.error = code == EAGAIN ? where + QStringLiteral(" takes no connections")
                                      : SystemError(QStringLiteral("could not connect to ") + where, code);
    } else {
        static const char opening[] = "\0AUTH\r\n";
        const ssize_t sent = ::send(fd, opening, sizeof opening - 1, MSG_NOSIGNAL);
        const int code = errno;
        char reply[64];
        if (sent != static_cast<ssize_t>(sizeof opening - 1))
            result.error = SystemError(QStringLiteral("could not write to ") + where, code);
        else if (!WaitFor(fd, POLLIN, deadline))
            result.error = where + QStringLiteral(" did not answer within %1 s").arg(budgetMs / 1000.0);
        else if (::recv(fd, reply, sizeof reply, 0) <= 0)
            result.error = where + QStringLiteral(" closed the connection");
        else
            result.ok = true;
    }
    ::close(fd);
    return result;
}

} // namespace

ServiceResult ProbeBus(const QByteArray &addresses, int budgetMs)
{
    const QDeadlineTimer deadline(budgetMs);
    ServiceResult last{false, QStringLiteral("no bus address")};
    for (const QByteArray &entry : addresses.split(';')) {
        if (entry.isEmpty())
            continue;
        const std::optional<LocalSocket> at = LocalSocketOf(entry);
        if (!at)
            return {true, {}};
        last = Probe(*at, budgetMs, deadline);
        if (last.ok)
            return last;
    }
    return last;
}

ServiceResult ProbeSystemBus()
{
    const QByteArray configured = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return ProbeBus(configured.isEmpty() ? kStandardSystemBus : configured);
}

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
