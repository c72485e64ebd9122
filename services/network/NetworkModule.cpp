// The program's only use of the network, in a module of its own: it is
// loaded when the user first checks for updates, so that no start pays for
// Qt Network and the libraries behind it.

#include <cstring>

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include "NetworkModule.h"

namespace {

void Put(char *out, int size, const QByteArray &text)
{
    if (!out || size <= 0)
        return;
    const int n = qMin(size - 1, static_cast<int>(text.size()));
    std::memcpy(out, text.constData(), static_cast<std::size_t>(n));
    out[n] = '\0';
}

bool WebScheme(const QUrl &url)
{
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

// Why a download at from does not follow a redirect to to; empty when it
// does. Only web addresses are followed, and never from https back to plain
// http, where the answer could be read and changed on its way.
QByteArray WhyNotFollowed(const QUrl &from, const QUrl &to)
{
    if (!WebScheme(to))
        return "redirected away from the web";
    if (from.scheme() == QLatin1String("https") && to.scheme() == QLatin1String("http"))
        return "redirected from https to plain http";
    return {};
}

} // namespace

extern "C" Q_DECL_EXPORT int kestrava_download_as(const char *url, const char *userAgent, int maxBytes,
                                                  int timeoutMs, char *out, int *outSize, char *error,
                                                  int errorSize)
{
    *outSize = 0;
    const QUrl address(QString::fromUtf8(url));
    if (!address.isValid() || !WebScheme(address)) {
        Put(error, errorSize, "not an http or https address");
        return 0;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(userAgent));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = manager.get(request);
    QByteArray body;
    QByteArray why;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        why = "no answer within " + QByteArray::number(timeoutMs / 1000) + " seconds";
        reply->abort();
    });
    // Each hop is judged from the address it leaves, so that a detour
    // through another https address cannot end in plain http either.
    QUrl at = address;
    QObject::connect(reply, &QNetworkReply::redirected, &loop, [&](const QUrl &to) {
        const QUrl next = at.resolved(to);
        why = WhyNotFollowed(at, next);
        if (why.isEmpty()) {
            at = next;
            emit reply->redirectAllowed();
        } else {
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body.append(reply->read(maxBytes - body.size()));
        if (body.size() >= maxBytes) // all that is wanted: the rest is not read
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    // The window keeps painting; the user waits for the answer, as with a
    // dialog.
    if (reply->isRunning())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    deadline.stop();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool complete = body.size() >= maxBytes && why.isEmpty();
    if (why.isEmpty() && reply->error() != QNetworkReply::NoError && !complete)
        why = reply->errorString().toUtf8();
    else if (why.isEmpty() && status >= 400)
        why = "the server answered " + QByteArray::number(status);
    reply->deleteLater();
    if (!why.isEmpty()) {
        Put(error, errorSize, why);
        return 0;
    }
    std::memcpy(out, body.constData(), static_cast<std::size_t>(body.size()));
    *outSize = static_cast<int>(body.size());
    return 1;
}
