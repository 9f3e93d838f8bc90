#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// One GET at a time on the calling thread, for the feed and the release files. Each
// ends at once when Quillmar quits, so quitting never waits for a silent network.
namespace Download {

// What one GET came to: the HTTP status when there was a response, the body (when no
// file was given), and what went wrong.
struct Fetched {
    int status = 0;
    QByteArray body;
    QString transportError;   // no response at all, or stopped because Quillmar quits
    bool interrupted = false; // the body broke off after the status line
    bool tooLarge = false;
    QString writeError;
};

// Blocks in a local event loop; with `fd` >= 0 the body is written there.
Fetched fetch(const QUrl &url, int fd, qint64 limit);
// The body into a new file `name` of the open folder `folderFd`; the failure's
// message, or nothing when the whole body is there.
std::optional<QString> toFile(const QUrl &url, int folderFd, const QByteArray &name, qint64 limit);

QString interruptedMessage();
// What a request that got no response at all says; the reason goes to the log.
QString unreachableMessage();

// Ends every GET in flight, and any started later.
void stopAll();
void resetStopAll();

} // namespace Download
