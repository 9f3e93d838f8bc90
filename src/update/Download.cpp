#include "update/Download.h"

#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kNotOnWebsite = QStringLiteral("The download isn't on the website yet.");
const QString kTooLarge = QStringLiteral("The download is larger than an update can be.");
const QString kStopped = QStringLiteral("Stopped because Quillmar is quitting.");
constexpr int kNetworkTimeoutMs = 60 * 1000;
constexpr int kStopPollMs = 50;

std::atomic<bool> gStopped{false};

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

namespace Download {

QString unreachableMessage()
{
    return QStringLiteral("Couldn't reach the update server. Check your connection and try again.");
}

QString interruptedMessage()
{
    return QStringLiteral("The download was interrupted. Try again.");
}

Fetched fetch(const QUrl &url, int fd, qint64 limit)
{
    Fetched out;
    if (gStopped.load()) {
        out.transportError = kStopped;
        return out;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(kNetworkTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = manager.get(request);
    qint64 received = 0;
    auto drain = [&] {
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (received > limit) {
            out.tooLarge = true;
            reply->abort();
            return;
        }
        if (fd < 0) {
            out.body += chunk;
            return;
        }
        const char *data = chunk.constData();
        qint64 left = chunk.size();
        while (left > 0 && out.writeError.isEmpty()) {
            const ssize_t n = ::write(fd, data, size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                out.writeError = systemError(errno);
                reply->abort();
                return;
            }
            data += n;
            left -= n;
        }
    };
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&] {
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (announced > limit) {
            out.tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QIODevice::readyRead, reply, drain);
    // The loop is turned by hand: once the application is closing, Qt delivers no event
    // to this thread (not the reply's, not a timer's), and ~QCoreApplication waits for
    // the pool, so a reply left to finish by events would hang the exit.
    QTimer wake;
    wake.start(kStopPollMs);
    bool stopped = false;
    while (!reply->isFinished()) {
        if (gStopped.load() || QCoreApplication::closingDown()) {
            stopped = true;
            reply->abort();
            break;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!out.tooLarge && out.writeError.isEmpty() && reply->isOpen())
        drain();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    out.status = status.isValid() ? status.toInt() : 0;
    if (stopped) {
        out.transportError = kStopped;
    } else if (!status.isValid()) {
        if (reply->error() != QNetworkReply::NoError) {
            // The network's own words ("Host quillmar.app not found") help the log, not
            // the person reading the window.
            SystemLog::write(SystemLog::Level::Error, QStringLiteral("No answer from ") +
                                                          url.toString() + QStringLiteral(": ") +
                                                          reply->errorString());
            out.transportError = unreachableMessage();
        }
    } else if (!out.tooLarge && out.writeError.isEmpty()) {
        // A network error or the time limit after the status line: only part of the
        // body came. (Codes below the proxy ones are the connection's; the others
        // follow from the status, which the caller judges.)
        const QNetworkReply::NetworkError error = reply->error();
        out.interrupted =
            error != QNetworkReply::NoError && error < QNetworkReply::ProxyConnectionRefusedError;
    }
    reply->deleteLater();
    return out;
}

std::optional<QString> toFile(const QUrl &url, int folderFd, const QByteArray &name, qint64 limit)
{
    const int fd = ::openat(folderFd, name.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return systemError(errno);
    Fetched got = fetch(url, fd, limit);
    if (::close(fd) != 0 && got.writeError.isEmpty())
        got.writeError = systemError(errno);
    if (got.tooLarge)
        return kTooLarge;
    if (!got.transportError.isEmpty())
        return got.transportError;
    if (got.status != 200)
        return kNotOnWebsite;
    if (got.interrupted)
        return interruptedMessage();
    if (!got.writeError.isEmpty())
        return got.writeError;
    return std::nullopt;
}

void stopAll()
{
    gStopped = true;
}

void resetStopAll()
{
    gStopped = false;
}

} // namespace Download
