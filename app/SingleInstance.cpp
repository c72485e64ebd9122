#include "SingleInstance.h"

#include "InstanceRequest.h"

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

// The user's runtime folder, opened as a place, when it is a folder that only
// this user can enter and change; else -1. A symbolic link is refused even
// when it leads to a fine folder: whoever planted it can point it elsewhere
// later.
int OpenRuntimeFolder(QByteArray *path)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.startsWith('/'))
        return -1;
    const int fd = ::open(runtime.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 07777) == 0700) {
        *path = runtime;
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// The address of the socket called name in the folder: its path when that
// fits, else the same file reached through the folder's descriptor. False
// when neither fits.
bool SocketAddress(const QByteArray &folder, int folderFd, const QByteArray &name, sockaddr_un *address)
{
    *address = {};
    address->sun_family = AF_UNIX;
    QByteArray path = folder + '/' + name;
    if (path.size() >= qsizetype(sizeof address->sun_path))
        path = "/proc/self/fd/" + QByteArray::number(folderFd) + '/' + name;
    if (path.size() >= qsizetype(sizeof address->sun_path))
        return false;
    std::memcpy(address->sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

} // namespace

SingleInstance::SingleInstance(const QString &name, const std::string &configFolder, QObject *parent)
    : QObject(parent), m_name(QFile::encodeName(name))
{
    m_folderFd = OpenRuntimeFolder(&m_folder);
    if (m_folderFd >= 0)
        return;
    if (configFolder.empty()) {
        m_folderProblem = QStringLiteral("the configuration folder is not known");
        return;
    }
    // The configuration is reached through any links on the way, and so is
    // its lock.
    m_folderFd = ::open(configFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd >= 0) {
        m_folder = QByteArray::fromStdString(configFolder);
    } else {
        const int error = errno;
        m_folderProblem =
            QStringLiteral("the configuration folder %1: %2")
                .arg(QFile::decodeName(QByteArray::fromStdString(configFolder)), ErrnoText(error));
    }
}

SingleInstance::~SingleInstance()
{
    if (m_listenFd >= 0) {
        delete m_incoming;
        ::close(m_listenFd);
        ::unlinkat(m_folderFd, m_name.constData(), 0);
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

QString SingleInstance::Shown(const QByteArray &name) const
{
    return QFile::decodeName(m_folder + '/' + name);
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
    if (m_folderFd < 0) {
        Report("no folder for the lock: " + m_folderProblem + without);
        return true;
    }
    // The kernel drops a flock with its process, so a killed instance never
    // leaves a lock that stops the next start. The lock is never reached
    // through a link, so nothing is created or locked outside the folder.
    // Nor is it ever removed: a start that opened it just before would lock
    // a file that no later start can see.
    const QByteArray lockName = m_name + ".lock";
    const QString lockPath = Shown(lockName);
    const int fd =
        ::openat(m_folderFd, lockName.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        Report(QStringLiteral("cannot open %1: %2").arg(lockPath, ErrnoText(error)) + without);
        return true;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
        ::close(fd);
        Report(QStringLiteral("%1 is not a file of this user's").arg(lockPath) + without);
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return false;
        Report(QStringLiteral("cannot lock %1: %2").arg(lockPath, ErrnoText(error)) + without);
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
    sockaddr_un address;
    if (!SocketAddress(m_folder, m_folderFd, m_name, &address)) {
        Report(QStringLiteral("the socket name %1 is too long; a later start cannot bring this one forward")
                   .arg(QFile::decodeName(m_name)));
        return;
    }
    // Holding the lock, any socket file left behind is stale.
    ::unlinkat(m_folderFd, m_name.constData(), 0);
    // The mode of an unbound socket is the one its file is made with: no
    // moment when others may connect, and no chmod through a path that
    // somebody could have swapped meanwhile.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::fchmod(fd, 0600) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        Report(QStringLiteral("cannot listen on %1: %2; a later start cannot bring this one forward")
                   .arg(Shown(m_name), ErrnoText(error)));
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
        Report(QStringLiteral("cannot accept on %1: %2; trying again").arg(Shown(m_name), ErrnoText(error)));
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
    // Another user's process, whatever let it reach the socket, is not heard.
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::geteuid()) {
        ::close(fd);
        return;
    }
    new Caller(fd, this);
}

bool SingleInstance::SignalRunning(int timeoutMs) const
{
    sockaddr_un address;
    if (m_folderFd < 0 || !SocketAddress(m_folder, m_folderFd, m_name, &address))
        return false;
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
