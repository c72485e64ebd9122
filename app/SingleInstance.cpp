#include "SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString RuntimeFolder()
{
    // Qt checks that the folder is the user's own and private, and falls back
    // to a private folder of its own otherwise.
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath() + "/kestrava-" + QString::number(::getuid());
    QDir().mkpath(dir);
    return dir;
}

} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent) : QObject(parent)
{
    const QString dir = RuntimeFolder();
    m_lockPath = dir + "/" + name + ".lock";
    m_socketPath = dir + "/" + name;
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

bool SingleInstance::Acquire()
{
    // The kernel drops a flock with its process, so a killed instance never
    // leaves a lock that stops the next start.
    m_lockFd = ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0)
        return true; // cannot tell; better a second launcher than none
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
        return false;
    }
    // Holding the lock, any socket file left behind is stale.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(4);
    if (m_server->listen(m_socketPath))
        connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::Accept);
    return true;
}

void SingleInstance::Accept()
{
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        // Anything but the one request is ignored, and nobody may keep a
        // connection open for long.
        auto *buffer = new QByteArray;
        QTimer::singleShot(2000, client, [client] { client->abort(); });
        connect(client, &QLocalSocket::readyRead, client, [this, client, buffer] {
            buffer->append(client->read(64 - buffer->size()));
            if (buffer->size() >= ShowRequest().size()) {
                if (*buffer == ShowRequest())
                    emit showRequested();
                client->abort();
            }
        });
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QObject::destroyed, [buffer] { delete buffer; });
    }
}

bool SingleInstance::SignalRunning(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(ShowRequest());
    bool ok = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return ok;
}
