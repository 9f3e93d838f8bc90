#include "update/Updater.h"

#include "QuillmarBuild.h"

#include "exec/Async.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"
#include "platform/SystemLog.h"
#include "platform/Trash.h"
#include "platform/desktop/Workspace.h"
#include "update/Website.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#ifndef RENAME_EXCHANGE
#define RENAME_EXCHANGE (1 << 1)
#endif

namespace {

const QString kFeedUnreadable = QStringLiteral("The update feed couldn't be read.");
const QString kNotOnWebsite = QStringLiteral("The download isn't on the website yet.");
const QString kNoSignature = QStringLiteral(
    "This copy has no signature to compare with; download the update from the website.");
const QString kBadSignature =
    QStringLiteral("The download isn't signed like this copy, so it wasn't installed.");
const QString kBusy = QStringLiteral("An update is already being installed.");
const QString kTooLarge = QStringLiteral("The download is larger than an update can be.");

const QByteArray kArchiveName = QByteArrayLiteral("release.tar.gz");
const QByteArray kSignatureName = QByteArrayLiteral("release.tar.gz.sig");
const QByteArray kCopyName = QByteArrayLiteral("Quillmar");
const QString kKeyring = QStringLiteral("/share/quillmar/release-keyring.gpg");
const QString kProgram = QStringLiteral("/bin/quillmar");
const QString kStagingName = QStringLiteral(".Quillmar-update");
constexpr int kToolTimeoutMs = 10 * 60 * 1000;
constexpr int kNetworkTimeoutMs = 60 * 1000;

struct Seams {
    std::optional<QString> base;
    std::optional<QString> currentVersion;
    std::optional<QString> runningCopy;
    std::function<bool(const QString &, const QStringList &)> start;
    std::function<void()> quit;
    bool exchange = true;
    std::function<void()> betweenMoves;
};

QMutex gSeamMutex;
Seams gSeams;
std::atomic<bool> gInstalling{false};

Seams seams()
{
    QMutexLocker lock(&gSeamMutex);
    return gSeams;
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString machine()
{
    struct utsname names {};
    if (::uname(&names) != 0)
        return QStringLiteral("unknown");
    return QString::fromLatin1(names.machine);
}

// What one GET came to: the HTTP status when there was a response, the body or a file
// written, and the transport error when there was no response at all.
struct Fetched {
    int status = 0;
    QByteArray body;
    QString transportError;
    bool tooLarge = false;
    QString writeError;
};

std::atomic<bool> gStopped{false};
constexpr int kStopPollMs = 50;

// Blocks the calling thread in a local event loop; with `fd` >= 0 the body goes there.
Fetched fetch(const QUrl &url, int fd, qint64 limit)
{
    if (gStopped.load()) {
        Fetched stopped;
        stopped.transportError = QStringLiteral("Stopped because Quillmar is quitting.");
        return stopped;
    }
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(kNetworkTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    QNetworkReply *reply = manager.get(request);
    Fetched out;
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
    while (!reply->isFinished()) {
        if (gStopped.load() || QCoreApplication::closingDown()) {
            reply->abort();
            break;
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (!out.tooLarge && out.writeError.isEmpty() && reply->isOpen())
        drain();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    out.status = status.isValid() ? status.toInt() : 0;
    if (!status.isValid() && reply->error() != QNetworkReply::NoError)
        out.transportError = reply->errorString();
    reply->deleteLater();
    return out;
}

// The download into a new file of the staging folder; nothing on success.
std::optional<Updater::Failure> download(const QUrl &url, int folderFd, const QByteArray &name)
{
    const int fd = ::openat(folderFd, name.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return Updater::Failure{systemError(errno)};
    Fetched got = fetch(url, fd, Updater::downloadLimit);
    if (::close(fd) != 0 && got.writeError.isEmpty())
        got.writeError = systemError(errno);
    if (got.tooLarge)
        return Updater::Failure{kTooLarge};
    if (!got.transportError.isEmpty())
        return Updater::Failure{got.transportError};
    if (got.status != 200)
        return Updater::Failure{kNotOnWebsite};
    if (!got.writeError.isEmpty())
        return Updater::Failure{got.writeError};
    return std::nullopt;
}

bool isLinkOrMissing(const QByteArray &path, mode_t wanted)
{
    struct stat st {};
    return ::lstat(path.constData(), &st) != 0 || (st.st_mode & S_IFMT) != wanted;
}

// Every member sits below one "Quillmar/" folder, none absolute, none with "..".
std::optional<Updater::Failure> checkMembers(const QString &listing)
{
    const QString unopened =
        PlatformTexts::text(QStringLiteral("The disk image couldn't be opened."));
    const QString noApp =
        PlatformTexts::text(QStringLiteral("The disk image has no Quillmar.app."));
    const QStringList members = listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (members.isEmpty())
        return Updater::Failure{noApp};
    for (const QString &member : members) {
        if (member.startsWith(QLatin1Char('/')))
            return Updater::Failure{unopened};
        QStringList parts = member.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.contains(QStringLiteral("..")))
            return Updater::Failure{unopened};
        parts.removeAll(QStringLiteral("."));
        if (parts.isEmpty()) // "./", the archive's own top
            continue;
        if (parts.first() != QLatin1String(kCopyName))
            return Updater::Failure{noApp};
    }
    return std::nullopt;
}

// Takes our own files out of the staging folder; what is left (an unpacked tree) goes to
// the Trash with the folder, so nothing from a failed attempt stays staged.
void clearStaging(int folderFd, const QByteArray &staging)
{
    ::unlinkat(folderFd, kArchiveName.constData(), 0);
    ::unlinkat(folderFd, kSignatureName.constData(), 0);
    if (::rmdir(staging.constData()) == 0 || errno == ENOENT)
        return;
    const SafetyHelper::Outcome moved = SafetyHelper::moveNativeToTrash(staging);
    if (!moved.ok)
        SystemLog::write(SystemLog::Level::Error,
                         QStringLiteral("Staged update left behind: ") + moved.reason);
}

// The old copy to the Trash, then the new one into its place; when the second move fails
// the old copy comes back, so the program's place is never empty.
std::optional<Updater::Failure> replaceByTwoMoves(const QByteArray &copy, const QByteArray &staged,
                                                  const std::function<void()> &betweenMoves)
{
    const Trash::Result trashed = Trash::moveNativeToTrash(copy);
    if (!trashed.ok)
        return Updater::Failure{trashed.error};
    if (betweenMoves)
        betweenMoves();
    if (::rename(staged.constData(), copy.constData()) == 0)
        return std::nullopt;
    const QString reason = systemError(errno);
    if (!Trash::putBack(trashed, copy).ok)
        SystemLog::write(SystemLog::Level::Error,
                         QStringLiteral("The previous copy stays in the Trash at ") +
                             trashed.trashedPath);
    return Updater::Failure{reason};
}

class InstallGuard {
public:
    InstallGuard() : m_owned(!gInstalling.exchange(true)) {}
    ~InstallGuard()
    {
        if (m_owned)
            gInstalling = false;
    }
    bool owned() const { return m_owned; }

private:
    bool m_owned;
};

} // namespace

namespace Updater {

QString base()
{
    const Seams s = seams();
    return s.base ? *s.base : Website::base();
}

QUrl feed()
{
    return QUrl(base() + QStringLiteral("/version.json"));
}

QString currentVersion()
{
    const Seams s = seams();
    if (s.currentVersion)
        return *s.currentVersion;
#ifdef QUILLMAR_BUILD
    const QString build = QStringLiteral(QUILLMAR_BUILD);
    return build.isEmpty() ? QStringLiteral("0") : build;
#else
    return QStringLiteral("0");
#endif
}

QUrl Release::archive() const
{
    return QUrl(base() + QStringLiteral("/downloads/Quillmar-") + version + QLatin1Char('-') +
                machine() + QStringLiteral(".tar.gz"));
}

QUrl Release::signature() const
{
    QUrl url = archive();
    url.setPath(url.path() + QStringLiteral(".sig"));
    return url;
}

bool isNewer(const QString &a, const QString &than)
{
    auto numbers = [](const QString &version) {
        QList<qlonglong> out;
        for (const QString &piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
            bool ok = false;
            const qlonglong n = piece.toLongLong(&ok);
            out.append(ok ? n : 0);
        }
        return out;
    };
    const QList<qlonglong> x = numbers(a), y = numbers(than);
    for (qsizetype i = 0; i < qMax(x.size(), y.size()); ++i) {
        const qlonglong l = i < x.size() ? x[i] : 0, r = i < y.size() ? y[i] : 0;
        if (l != r)
            return l > r;
    }
    return false;
}

bool isSafeVersion(const QString &version)
{
    if (version.isEmpty() || version.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : version) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           QStringLiteral("._+-").contains(c);
        if (!plain)
            return false;
    }
    return true;
}

LatestResult parseFeed(const QByteArray &body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonValue version = doc.object().value(QStringLiteral("version"));
    if (!doc.isObject() || !version.isString() || !isSafeVersion(version.toString()))
        return Failure{kFeedUnreadable};
    Release release{version.toString(), {}};
    for (const QJsonValue note : doc.object().value(QStringLiteral("notes")).toArray()) {
        if (note.isString())
            release.notes.append(note.toString());
    }
    return release;
}

bool isCheckDue(double lastCheck, double now)
{
    return lastCheck > now || now - lastCheck > 86400.0;
}

LatestResult fetchLatest()
{
    const Fetched got = fetch(feed(), -1, 1 << 20);
    if (!got.transportError.isEmpty())
        return Failure{got.transportError};
    if (got.tooLarge)
        return Failure{kFeedUnreadable};
    return parseFeed(got.body);
}

std::optional<Release> runBackgroundCheck(double now)
{
    if (!Preferences::boolValue(QString::fromLatin1(autoCheckKey), true))
        return std::nullopt;
    if (!isCheckDue(Preferences::doubleValue(QString::fromLatin1(lastCheckKey), 0), now))
        return std::nullopt;
    const LatestResult result = fetchLatest();
    const Release *release = std::get_if<Release>(&result);
    if (!release)
        return std::nullopt;
    Preferences::setValue(QString::fromLatin1(lastCheckKey), now);
    if (isNewer(release->version, currentVersion()))
        return *release;
    return std::nullopt;
}

std::optional<QString> runningCopy()
{
    const Seams s = seams();
    QString folder =
        s.runningCopy ? *s.runningCopy : QFileInfo(QCoreApplication::applicationDirPath()).path();
    if (!QFileInfo(folder + kKeyring).isFile() || !QFileInfo(folder + kProgram).isFile())
        return std::nullopt;
    return folder;
}

std::optional<Failure> runInstall(const Release &release,
                                  const std::function<void(const QString &)> &progress)
{
    const InstallGuard guard;
    if (!guard.owned())
        return Failure{kBusy};
    const Seams s = seams();
    const Locations &loc = Locations::current();
    const std::optional<QString> copy = runningCopy();
    if (!copy || loc.gpgv.isEmpty() || loc.tar.isEmpty())
        return Failure{kNoSignature};
    if (!isSafeVersion(release.version))
        return Failure{kFeedUnreadable};
    const std::optional<QByteArray> copyBytes = SafetyHelper::exactNativePath(*copy);
    if (!copyBytes || !SafetyHelper::isNativePathSafeToDelete(*copyBytes))
        return Failure{QStringLiteral("Quillmar couldn't write to ") + *copy + QLatin1Char('.')};

    progress(QStringLiteral("Downloading ") + release.version + QStringLiteral("…"));

    // Staged beside the running copy: the swap needs the same file system, and a large
    // download must not fill a memory-backed temporary folder.
    const QString parent = QFileInfo(*copy).path();
    const QString stagingPath = parent + QLatin1Char('/') + kStagingName;
    const QByteArray staging = QFile::encodeName(stagingPath);
    const QString cannotWrite = QStringLiteral("Quillmar couldn't write to ") + parent + '.';
    struct stat st {};
    if (::lstat(staging.constData(), &st) == 0) {
        // Left by an earlier attempt, or planted: never reused, never followed.
        const SafetyHelper::Outcome moved = SafetyHelper::moveNativeToTrash(staging);
        if (!moved.ok)
            return Failure{cannotWrite};
    }
    if (::mkdir(staging.constData(), 0700) != 0)
        return Failure{cannotWrite};
    const int folderFd =
        ::open(staging.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0)
        return Failure{cannotWrite};
    auto fail = [&](const QString &message) {
        clearStaging(folderFd, staging);
        ::close(folderFd);
        return std::optional<Failure>(Failure{message});
    };

    if (const auto failed = download(release.archive(), folderFd, kArchiveName))
        return fail(failed->message);
    if (const auto failed = download(release.signature(), folderFd, kSignatureName))
        return fail(failed->message);
    const QString archive = stagingPath + QLatin1Char('/') + QString::fromLatin1(kArchiveName);
    const QString signature = stagingPath + QLatin1Char('/') + QString::fromLatin1(kSignatureName);

    // The signature is checked before the archive is opened: tar never sees a file we
    // did not sign.
    progress(QStringLiteral("Checking the signature…"));
    RunOptions options;
    options.timeoutMs = kToolTimeoutMs;
    const RunResult verified = ProcessRunner::run(
        loc.gpgv, {QStringLiteral("--keyring"), *copy + kKeyring, signature, archive}, nullptr,
        options);
    if (verified.exitCode != 0)
        return fail(kBadSignature);

    progress(PlatformTexts::text(QStringLiteral("Opening the disk image…")));
    const QString unopened =
        PlatformTexts::text(QStringLiteral("The disk image couldn't be opened."));
    const RunResult listed = ProcessRunner::run(loc.tar,
                                                {QStringLiteral("--list"), QStringLiteral("--gzip"),
                                                 QStringLiteral("--quoting-style=escape"),
                                                 QStringLiteral("--file=") + archive},
                                                nullptr, options);
    if (listed.exitCode != 0)
        return fail(unopened);
    if (const auto refused = checkMembers(listed.stdOut))
        return fail(refused->message);
    const RunResult unpacked = ProcessRunner::run(
        loc.tar,
        {QStringLiteral("--extract"), QStringLiteral("--gzip"), QStringLiteral("--no-same-owner"),
         QStringLiteral("--file=") + archive, QStringLiteral("--directory=") + stagingPath},
        nullptr, options);
    if (unpacked.exitCode != 0)
        return fail(unopened);
    const QByteArray staged = staging + '/' + kCopyName;
    if (isLinkOrMissing(staged, S_IFDIR) ||
        isLinkOrMissing(staged + QFile::encodeName(kProgram), S_IFREG))
        return fail(PlatformTexts::text(QStringLiteral("The disk image has no Quillmar.app.")));

    progress(QStringLiteral("Installing…"));
    bool swapped = false;
    if (s.exchange) {
        if (::renameat2(AT_FDCWD, staged.constData(), AT_FDCWD, copyBytes->constData(),
                        RENAME_EXCHANGE) == 0) {
            swapped = true;
        } else if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            return fail(systemError(errno));
        }
    }
    if (swapped) {
        // The old copy now sits where the new one was staged.
        const SafetyHelper::Outcome moved = SafetyHelper::moveNativeToTrash(staged);
        if (!moved.ok)
            SystemLog::write(SystemLog::Level::Error,
                             QStringLiteral("The previous copy stays staged: ") + moved.reason);
    } else if (const auto failed = replaceByTwoMoves(*copyBytes, staged, s.betweenMoves)) {
        return fail(failed->message);
    }
    clearStaging(folderFd, staging);
    ::close(folderFd);

    progress(QStringLiteral("Relaunching…"));
    const QStringList arguments = {QStringLiteral("-c"), loc.relaunchScript, *copy + kProgram};
    const bool started =
        s.start ? s.start(loc.shell, arguments) : Workspace::startDetached(loc.shell, arguments);
    if (!started)
        return Failure{QStringLiteral("The new version is installed but couldn't be started.")};
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

void latest(QObject *context, std::function<void(LatestResult)> done)
{
    whenFinished(context, QtConcurrent::run(&fetchLatest), std::move(done));
}

void backgroundCheck(QObject *context, std::function<void(std::optional<Release>)> done)
{
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    whenFinished(context, QtConcurrent::run([now] { return runBackgroundCheck(now); }),
                 std::move(done));
}

void install(const Release &release, QObject *context,
             std::function<void(const QString &)> progress,
             std::function<void(std::optional<Failure>)> done)
{
    // The guard is only read on the main thread; the quit does not depend on the
    // window that started the install still being there.
    QPointer<QObject> guard(context);
    auto report = [guard, progress](const QString &text) {
        QMetaObject::invokeMethod(
            qApp,
            [guard, progress, text] {
                if (guard)
                    progress(text);
            },
            Qt::QueuedConnection);
    };
    whenFinished(qApp, QtConcurrent::run([release, report] { return runInstall(release, report); }),
                 [guard, done = std::move(done)](std::optional<Failure> failure) {
                     if (!failure) {
                         const Seams s = seams();
                         if (s.quit)
                             s.quit();
                         else
                             QMetaObject::invokeMethod(qApp, &QCoreApplication::quit,
                                                       Qt::QueuedConnection);
                     }
                     if (guard)
                         done(failure);
                 });
}

void setBase(const QString &value)
{
    QMutexLocker lock(&gSeamMutex);
    gSeams.base = value;
}

void setCurrentVersion(const QString &version)
{
    QMutexLocker lock(&gSeamMutex);
    gSeams.currentVersion = version;
}

void setRunningCopy(const QString &folder)
{
    QMutexLocker lock(&gSeamMutex);
    gSeams.runningCopy = folder;
}

void setLauncher(std::function<bool(const QString &, const QStringList &)> start,
                 std::function<void()> quit)
{
    QMutexLocker lock(&gSeamMutex);
    gSeams.start = std::move(start);
    gSeams.quit = std::move(quit);
}

void setExchangeAvailable(bool available)
{
    QMutexLocker lock(&gSeamMutex);
    gSeams.exchange = available;
}

void setBetweenMovesHook(std::function<void()> hook)
{
    QMutexLocker lock(&gSeamMutex);
    gSeams.betweenMoves = std::move(hook);
}

void resetSeams()
{
    QMutexLocker lock(&gSeamMutex);
    gSeams = Seams{};
}

} // namespace Updater
