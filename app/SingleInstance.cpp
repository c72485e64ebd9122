#include "SingleInstance.h"

#include "InstanceRequest.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How long a failed accept waits before it tries the waiting caller again.
constexpr int kAcceptRetryMs = 1000;

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Empty when path is a folder that only this user can enter and change;
// otherwise what is wrong with it. A symbolic link is refused even when it
// leads to a fine folder: whoever planted it can point it elsewhere later.
QString WhyNotPrivate(const QString &path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        const int error = errno;
        return QStringLiteral("%1: %2").arg(path, ErrnoText(error));
    }
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("%1 is a symbolic link").arg(path);
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("%1 is not a folder").arg(path);
    if (st.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to user %2").arg(path).arg(st.st_uid);
    if ((st.st_mode & 07777) != 0700)
        return QStringLiteral("%1 has mode %2, not 0700").arg(path).arg(st.st_mode & 07777, 4, 8, QChar('0'));
    return {};
}

// The user's runtime folder when it is private, else a private folder of our
// own in the temp folder. Empty, with problem set, when neither is.
QString RuntimeFolder(QString *problem)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith('/') && WhyNotPrivate(runtime).isEmpty())
        return runtime;

    QString temp = QDir::tempPath();
    if (!temp.startsWith('/'))
        temp = QStringLiteral("/tmp");
    const QString own = temp + "/kestrava-" + QString::number(::getuid());
    // Another user may have taken the name first; what is there is used only
    // when it passes the same test as the runtime folder.
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    *problem = WhyNotPrivate(own);
    return problem->isEmpty() ? own : QString();
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent)
{
    const QString dir = RuntimeFolder(&m_folderProblem);
    if (dir.isEmpty())
        return;
    m_lockPath = dir + "/" + name + ".lock";
    m_socketPath = dir + "/" + name;
}

SingleInstance::~SingleInstance()
{
    if (m_listenFd >= 0) {
        delete m_incoming;
        ::close(m_listenFd);
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

void SingleInstance::Report(const QString &message)
{
    m_lastError = message;
    std::fprintf(stderr, "Kestrava: %s\n", qPrintable(message));
    emit channelError(message);
}

bool SingleInstance::Acquire()
{
    const QString without = QStringLiteral("; starting without the one-instance check");
    if (m_lockPath.isEmpty()) {
        Report("no private runtime folder: " + m_folderProblem + without);
        return true;
    }
    // The kernel drops a flock with its process, so a killed instance never
    // leaves a lock that stops the next start. The lock is never reached
    // through a link, so nothing is created or locked outside the folder.
    const int fd =
        ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        Report(QStringLiteral("cannot open %1: %2").arg(m_lockPath, ErrnoText(error)) + without);
        return true;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        Report(QStringLiteral("%1 is not a file of this user's").arg(m_lockPath) + without);
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        Report(QStringLiteral("cannot lock %1: %2").arg(m_lockPath, ErrnoText(error)) + without);
        return true;
    }
    m_lockFd = fd;
    Listen();
    return true;
}

void SingleInstance::Listen()
{
    // No later attempt can make a name fit that is too long for a socket
    // address, so that case is reported once and left.
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un address{};
    if (path.size() >= qsizetype(sizeof address.sun_path)) {
        Report(QStringLiteral("the socket path %1 is too long; a later start cannot bring this one forward")
                   .arg(m_socketPath));
        return;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    // Holding the lock, any socket file left behind is stale.
    ::unlink(path.constData());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::chmod(path.constData(), 0600) != 0 || ::listen(fd, 4) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        Report(QStringLiteral("cannot listen on %1: %2; a later start cannot bring this one forward")
                   .arg(m_socketPath, ErrnoText(error)));
        return;
    }
    m_listenFd = fd;
    m_incoming = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_incoming, &QSocketNotifier::activated, this, &SingleInstance::Accept);
}

void SingleInstance::Accept()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            Serve(fd);
            continue;
        }
        const int error = errno;
        if (error == EINTR || error == ECONNABORTED)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK)
            return;
        // Out of descriptors or memory: the caller waits in the backlog
        // while the socket stays open, and is taken once there is room.
        // The pause keeps a full process from spinning on the socket.
        Report(QStringLiteral("cannot accept on %1: %2; trying again").arg(m_socketPath, ErrnoText(error)));
        m_incoming->setEnabled(false);
        QTimer::singleShot(kAcceptRetryMs, m_incoming,
                           [notifier = m_incoming] { notifier->setEnabled(true); });
        return;
    }
}

namespace {

// One caller on the channel: it may send the one request, and nobody may
// keep a connection open for long.
class Caller : public QObject {
  public:
    Caller(int fd, SingleInstance *channel)
        : QObject(channel), m_fd(fd), m_notifier(fd, QSocketNotifier::Read)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, [this, channel] { Read(channel); });
        QTimer::singleShot(2000, this, [this] { deleteLater(); });
    }
    ~Caller() override
    {
        m_notifier.setEnabled(false);
        ::close(m_fd);
    }

  private:
    void Read(SingleInstance *channel)
    {
        char bytes[InstanceRequest::kMaxBytes];
        const ssize_t n = ::read(m_fd, bytes, m_request.Room());
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        const InstanceRequest::Verdict verdict =
            n > 0 ? m_request.Take(bytes, static_cast<std::size_t>(n)) : m_request.End();
        if (verdict == InstanceRequest::Verdict::More)
            return;
        m_notifier.setEnabled(false);
        if (verdict == InstanceRequest::Verdict::Show)
            emit channel->showRequested();
        deleteLater();
    }

    int m_fd;
    QSocketNotifier m_notifier;
    InstanceRequest m_request;
};

// Waits at most timeoutMs until fd is ready for events; false on timeout or
// error.
bool WaitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0 && (p.revents & events);
    }
}

} // namespace

void SingleInstance::Serve(int fd)
{
    new Caller(fd, this);
}

bool SingleInstance::SignalRunning(int timeoutMs) const
{
    if (m_socketPath.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un address{};
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (!ok && (errno == EINPROGRESS || errno == EAGAIN) && WaitFor(fd, POLLOUT, timeoutMs)) {
        int error = 0;
        socklen_t length = sizeof error;
        ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    const std::string_view request = InstanceRequest::kShow;
    std::size_t sent = 0;
    while (ok && sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        else if (n < 0 && (errno == EAGAIN || errno == EINTR))
            ok = WaitFor(fd, POLLOUT, timeoutMs);
        else
            ok = false;
    }
    ::close(fd);
    return ok;
}
