#include "LocalFiles.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

namespace platform {

namespace {

FileKind KindOfMode(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Directory;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Device;
    return FileKind::Other;
}

void Say(QString *why, const QString &text)
{
    if (why)
        *why = text;
}

} // namespace

FileKind KindOfFile(const QString &path)
{
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileKind::Missing;
    return KindOfMode(st.st_mode);
}

QString DescribeSpecialFile(FileKind kind)
{
    switch (kind) {
    case FileKind::Fifo:
        return QStringLiteral("a FIFO (named pipe)");
    case FileKind::Socket:
        return QStringLiteral("a socket");
    case FileKind::Device:
        return QStringLiteral("a device");
    case FileKind::Other:
        return QStringLiteral("a special file");
    default:
        return {};
    }
}

std::optional<QByteArray> ReadRegularFile(const QString &path, qint64 limit, QString *why)
{
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of
    // waiting for one; the descriptor's own facts then decide.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        Say(why, QString::fromUtf8(std::strerror(errno)));
        return std::nullopt;
    }
    struct stat st;
    std::optional<QByteArray> bytes;
    if (::fstat(fd, &st) != 0) {
        Say(why, QString::fromUtf8(std::strerror(errno)));
    } else if (!S_ISREG(st.st_mode)) {
        const QString special = DescribeSpecialFile(KindOfMode(st.st_mode));
        Say(why, special.isEmpty() ? QStringLiteral("not a regular file") : QStringLiteral("it is ") + special);
    } else if (st.st_size > limit) {
        Say(why, QStringLiteral("larger than %1 bytes").arg(limit));
    } else {
        QByteArray data;
        data.resize(static_cast<qsizetype>(st.st_size));
        qsizetype got = 0;
        bool failed = false;
        // A file that grows meanwhile is read as far as its size said.
        while (got < data.size()) {
            const ssize_t n = ::read(fd, data.data() + got, static_cast<size_t>(data.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                failed = true;
                Say(why, QString::fromUtf8(std::strerror(errno)));
            }
            if (n <= 0)
                break;
            got += n;
        }
        if (!failed) {
            data.resize(got);
            bytes = std::move(data);
        }
    }
    ::close(fd);
    return bytes;
}

bool IsExecutableFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::access(name.constData(), X_OK) == 0;
}

} // namespace platform
