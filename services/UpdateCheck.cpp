#include "UpdateCheck.h"

#include <cerrno>
#include <cstring>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLibrary>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

#include "DebugFormUnit.h"
#include "Dialogs.h"
#include "Execute.h"
#include "Kvguiglobals.h"
#include "UpdateFile.h"
#include "network/NetworkModule.h"

namespace {

constexpr int kMaxBytes = 4096;
constexpr int kTimeoutMs = 10000;

KestravaDownload LoadDownload(QString *why)
{
    static KestravaDownload download = nullptr;
    if (download)
        return download;
    QStringList folders;
    const QString configured = qEnvironmentVariable("KESTRAVA_MODULE_DIR");
    if (!configured.isEmpty())
        folders << configured;
    const QString here = QCoreApplication::applicationDirPath();
    // Beside the program in a build, in lib/kestrava when installed; never a
    // folder compiled in, which may be one others can write.
    folders << here << here + QStringLiteral("/../lib/kestrava");
    for (const QString &folder : folders) {
        QLibrary module(folder + QStringLiteral("/" KESTRAVA_NETWORK_MODULE));
        if (!module.load()) {
            *why = module.errorString();
            continue;
        }
        download = reinterpret_cast<KestravaDownload>(module.resolve(KESTRAVA_DOWNLOAD_SYMBOL));
        if (download)
            return download;
        *why = module.errorString();
    }
    return nullptr;
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The downloaded bytes into a new file that only this user can read; the
// system's reason when it could not be created whole, else empty.
QString WriteNewFile(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return SystemError(errno);
    qsizetype written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, static_cast<std::size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        written += n;
    }
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error ? SystemError(error) : QString();
}

QByteArray ReadFile(const QString &path, bool *ok)
{
    QFile f(path);
    *ok = f.open(QIODevice::ReadOnly);
    return *ok ? f.read(kMaxBytes) : QByteArray();
}

} // namespace

Downloader ModuleDownloader()
{
    return [](const QString &url) {
        DownloadResult result;
        QString why;
        const KestravaDownload download = LoadDownload(&why);
        if (!download) {
            result.error = QStringLiteral("the network module could not be loaded: ") + why;
            return result;
        }
        QByteArray buffer(kMaxBytes, '\0');
        char error[512] = {};
        int size = 0;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        // The server learns which program asks, and which build of it.
        const std::string agent = "Kestrava/" + KVUIOperationClass::GetVersionText();
        result.ok = download(url.toUtf8().constData(), agent.c_str(), kMaxBytes, kTimeoutMs, buffer.data(),
                             &size, error, static_cast<int>(sizeof error)) != 0;
        QGuiApplication::restoreOverrideCursor();
        if (result.ok)
            result.bytes = buffer.left(size);
        else
            result.error = QString::fromUtf8(error);
        return result;
    };
}

void CheckForUpdates(QWidget *owner, const Downloader &download,
                     const std::function<void()> &connectToInternet)
{
    if (connectToInternet)
        connectToInternet();
    if (!KVOP)
        return;
    const QString home = QString::fromStdString(KVUIOperationClass::GetHomePageURL());
    const QString url = home + QString::fromStdString(KVUIOperationClass::GetUpdateFileName());
    const QString temp = QString::fromStdString(KVOP->GetUpdateTempPath());
    const QByteArray tempName = QFile::encodeName(temp);
    ::unlink(tempName.constData());
    WriteDebugLine("Connecting to " + url);

    const auto tell = [&](const QString &debugLine, const QString &message) {
        ::unlink(tempName.constData());
        WriteDebugLine(debugLine);
        forms::MessageBox(owner, message, QStringLiteral("Update error."), forms::Buttons::OK,
                          forms::Icon::Exclamation);
        WriteDebugLine(QStringLiteral(" "));
    };
    const auto fail = [&](const QString &why) {
        // The box says only that it failed; the reason goes to stderr.
        if (!why.isEmpty())
            WriteFaultLine("the update check failed: " + why);
        tell(QStringLiteral("Error connecting to update binary file."),
             QStringLiteral("Error connecting to server."));
    };
    const DownloadResult got = download(url);
    if (!got.ok)
        return fail(got.error);
    // The server answered: that the answer had nowhere to go is this
    // computer's fault, and the user is told so, and why.
    if (const QString why = WriteNewFile(temp, got.bytes); !why.isEmpty()) {
        const QString message =
            QString::fromStdString(UpdateFileNotWritten(temp.toStdString(), why.toStdString()));
        return tell(message, message);
    }
    WriteDebugLine("Saving file to " + temp);
    bool readable = false;
    const QByteArray bytes = ReadFile(temp, &readable);
    if (!readable)
        return fail(QStringLiteral("%1 could not be read").arg(temp));
    WriteDebugLine(QStringLiteral("Reading values from binary file..."));
    const auto info = ParseUpdateFile(reinterpret_cast<const unsigned char *>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size()));
    WriteDebugLine(QStringLiteral("Deleting temporary binary file..."));
    ::unlink(tempName.constData());
    if (!info)
        return fail(QStringLiteral("the answer is not an update file (%1 bytes)").arg(bytes.size()));
    const QString installer =
        home + QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(info->installer)));
    WriteDebugLine("Read version number to be " + QString::number(info->version));
    WriteDebugLine("Read latest version file to be " + installer);
    if (KVUIOperationClass::GetVersionNumber() >= info->version) {
        forms::MessageBox(owner, QStringLiteral("Your version of Kestrava is up-to-date."),
                          QStringLiteral("Check for updates"), forms::Buttons::OK, forms::Icon::None);
    } else if (forms::MessageBox(owner,
                                 QStringLiteral("Your version of Kestrava is not up-to-date. Update now?"),
                                 QStringLiteral("Check for updates"), forms::Buttons::YesNo,
                                 forms::Icon::Exclamation, 2) == forms::idYes) {
        OpenUrl(installer);
    }
    WriteDebugLine(QStringLiteral(" "));
}
