#include "update/Updater.h"

#include "QuillmarBuild.h"

#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"
#include "platform/desktop/Workspace.h"
#include "update/CopySwap.h"
#include "update/Download.h"
#include "update/ReleaseArchive.h"
#include "update/ReleaseTree.h"
#include "update/StagingFolder.h"
#include "update/Website.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QPointer>
#include <QtConcurrent>

#include <atomic>
#include <sys/stat.h>
#include <sys/utsname.h>

namespace {

const QString kFeedUnreadable = QStringLiteral("The update feed couldn't be read.");
const QString kNoSignature = QStringLiteral(
    "This copy has no signature to compare with; download the update from the website.");
const QString kNoList = QStringLiteral(
    "This copy has no list of its files to compare with; download the update from the website.");
const QString kBadSignature =
    QStringLiteral("The download isn't signed like this copy, so it wasn't installed.");
const QString kNoKeyring =
    QStringLiteral("The download has no release keyring, so it wasn't installed.");
const QString kIncomplete =
    QStringLiteral("The download isn't a whole Quillmar release, so it wasn't installed.");
const QString kNotAnnounced =
    QStringLiteral("The download isn't the version the website announced, so it wasn't installed.");
const QString kNotNewer =
    QStringLiteral("The download isn't newer than this copy, so it wasn't installed.");
const QString kBusy = QStringLiteral("An update is already being installed.");

// A window opened by the background check asks the same question a moment later.
constexpr qint64 kReuseFeedMs = 60 * 1000;
constexpr int kOwnerTimeoutMs = 10 * 1000;

const QString kStagingName = QStringLiteral(".Quillmar-update");

QString inside(const char *path)
{
    return QLatin1Char('/') + QLatin1String(path);
}

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

struct LastFeed {
    QUrl address;
    Updater::Release release;
    QElapsedTimer age;
};
QMutex gLastFeedMutex;
std::optional<LastFeed> gLastFeed;

QString packagedMessage(const QString &package)
{
    return QStringLiteral("This copy belongs to the package ") + package +
           QStringLiteral(", so the package manager updates it.");
}

Seams seams()
{
    QMutexLocker lock(&gSeamMutex);
    return gSeams;
}

QString machine()
{
    struct utsname names {};
    if (::uname(&names) != 0)
        return QStringLiteral("unknown");
    return QString::fromLatin1(names.machine);
}

// The swap replaces the whole folder, so it must hold nothing but this copy: not a
// shared prefix the tarball was unpacked into, not files the user put there.
std::optional<Updater::Failure> notOursAlone(const QString &copy, const QByteArray &copyBytes)
{
    if (!ReleaseTree::hasFile(copyBytes, ReleaseTree::manifest))
        return Updater::Failure{kNoList};
    if (!ReleaseTree::holdsOnlyListed(copyBytes))
        return Updater::Failure{
            copy + QStringLiteral(" holds more than Quillmar, so the update can't replace it; "
                                  "download the update from the website.")};
    return std::nullopt;
}

// What the unpacked tree must be before it replaces this copy: a whole release whose
// own record names the version the feed announced, newer than this one, and able to
// check the update after it.
std::optional<Updater::Failure> notInstallable(const QByteArray &staged, const QString &announced)
{
    struct stat st {};
    if (::lstat(staged.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        !ReleaseTree::hasFile(staged, ReleaseTree::program))
        return Updater::Failure{
            PlatformTexts::text(QStringLiteral("The disk image has no Quillmar.app."))};
    if (!ReleaseTree::hasFile(staged, ReleaseTree::keyring))
        return Updater::Failure{kNoKeyring};
    const std::optional<ReleaseTree::Info> info = ReleaseTree::readInfo(staged);
    if (!info || !ReleaseTree::holdsOnlyListed(staged))
        return Updater::Failure{kIncomplete};
    if (info->build != announced)
        return Updater::Failure{kNotAnnounced};
    if (!Updater::isNewer(info->build, Updater::currentVersion()))
        return Updater::Failure{kNotNewer};
    return std::nullopt;
}

// Download, signature, unpacking and swap, staged beside the running copy; the staging
// folder is gone when this returns.
std::optional<Updater::Failure> stageAndSwap(const Updater::Release &release, const QString &copy,
                                             const QByteArray &copyBytes,
                                             const std::function<void(const QString &)> &progress)
{
    const Seams s = seams();
    progress(QStringLiteral("Downloading ") + release.version + QStringLiteral("…"));
    const QString parent = QFileInfo(copy).path();
    StagingFolder staging;
    if (!staging.create(parent + QLatin1Char('/') + kStagingName))
        return Updater::Failure{QStringLiteral("Quillmar couldn't write to ") + parent +
                                QLatin1Char('.')};
    for (const auto &[url, name] : {std::pair{release.archive(), StagingFolder::archiveName},
                                    std::pair{release.signature(), StagingFolder::signatureName}}) {
        if (const auto failed =
                Download::toFile(url, staging.descriptor(), name, Updater::downloadLimit))
            return Updater::Failure{*failed};
    }

    // The signature is checked before the archive is opened: tar never sees a file we
    // did not sign.
    progress(QStringLiteral("Checking the signature…"));
    const QString archive = staging.filePath(StagingFolder::archiveName);
    if (!ReleaseArchive::isSigned(archive, staging.filePath(StagingFolder::signatureName),
                                  copy + inside(ReleaseTree::keyring)))
        return Updater::Failure{kBadSignature};

    progress(PlatformTexts::text(QStringLiteral("Opening the disk image…")));
    if (const auto failed = ReleaseArchive::unpack(archive, QFile::decodeName(staging.path())))
        return Updater::Failure{*failed};
    const QByteArray staged = staging.path() + "/Quillmar";
    if (const auto refused = notInstallable(staged, release.version))
        return refused;

    progress(QStringLiteral("Installing…"));
    // Again at the last moment: the download took a while.
    if (const auto refused = notOursAlone(copy, copyBytes))
        return refused;
    if (const auto failed = CopySwap::replace(copyBytes, staged, {s.exchange, s.betweenMoves}))
        return Updater::Failure{*failed};
    return std::nullopt;
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
    const QUrl address = feed();
    {
        QMutexLocker lock(&gLastFeedMutex);
        if (gLastFeed && gLastFeed->address == address && !gLastFeed->age.hasExpired(kReuseFeedMs))
            return gLastFeed->release;
    }
    const Download::Fetched got = Download::fetch(address, -1, 1 << 20);
    if (!got.transportError.isEmpty())
        return Failure{got.transportError};
    if (got.interrupted)
        return Failure{Download::interruptedMessage()};
    if (got.tooLarge)
        return Failure{kFeedUnreadable};
    const LatestResult parsed = parseFeed(got.body);
    if (const Release *release = std::get_if<Release>(&parsed)) {
        QMutexLocker lock(&gLastFeedMutex);
        gLastFeed = LastFeed{address, *release, {}};
        gLastFeed->age.start();
    }
    return parsed;
}

std::optional<QString> owningPackage()
{
    const QString dpkg = Locations::current().dpkg;
    if (dpkg.isEmpty())
        return std::nullopt;
    const Seams s = seams();
    const QString program = s.runningCopy ? *s.runningCopy + inside(ReleaseTree::program)
                                          : QCoreApplication::applicationFilePath();
    // dpkg reads * ? [ ] and \ as a pattern; the path is meant as it is.
    QString pattern;
    for (const QChar c : program) {
        if (QStringLiteral("*?[]\\").contains(c))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    RunOptions options;
    options.timeoutMs = kOwnerTimeoutMs;
    const RunResult found = ProcessRunner::run(
        dpkg, {QStringLiteral("-S"), QStringLiteral("--"), pattern}, nullptr, options);
    if (found.exitCode != 0)
        return std::nullopt;
    // "package: /usr/bin/quillmar", or "one, other: …" when several share the path.
    const QString first = found.stdOut.section(QLatin1Char('\n'), 0, 0);
    const qsizetype colon = first.indexOf(QStringLiteral(": "));
    if (colon <= 0)
        return std::nullopt;
    return first.left(colon);
}

std::optional<Release> runBackgroundCheck(double now)
{
    if (!Preferences::boolValue(QString::fromLatin1(autoCheckKey), true))
        return std::nullopt;
    if (!isCheckDue(Preferences::doubleValue(QString::fromLatin1(lastCheckKey), 0), now))
        return std::nullopt;
    if (owningPackage())
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
    if (!QFileInfo(folder + inside(ReleaseTree::keyring)).isFile() ||
        !QFileInfo(folder + inside(ReleaseTree::program)).isFile())
        return std::nullopt;
    return folder;
}

std::optional<Failure> runInstall(const Release &release,
                                  const std::function<void(const QString &)> &progress)
{
    const InstallGuard guard;
    if (!guard.owned())
        return Failure{kBusy};
    if (const std::optional<QString> package = owningPackage())
        return Failure{packagedMessage(*package)};
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
    if (const auto refused = notOursAlone(*copy, *copyBytes))
        return refused;
    if (const auto failed = stageAndSwap(release, *copy, *copyBytes, progress))
        return failed;

    progress(QStringLiteral("Relaunching…"));
    const QStringList arguments = {QStringLiteral("-c"), loc.relaunchScript,
                                   *copy + inside(ReleaseTree::program)};
    const bool started =
        s.start ? s.start(loc.shell, arguments) : Workspace::startDetached(loc.shell, arguments);
    if (!started)
        return Failure{QStringLiteral("The new version is installed but couldn't be started.")};
    return std::nullopt;
}

void stopAll()
{
    Download::stopAll();
}

void resetStopAll()
{
    Download::resetStopAll();
}

void latest(QObject *context, std::function<void(LatestResult)> done)
{
    whenFinished(context, Background::start([] {
                     LatestResult result = fetchLatest();
                     if (Release *release = std::get_if<Release>(&result))
                         release->package = owningPackage().value_or(QString());
                     return result;
                 }),
                 std::move(done));
}

void backgroundCheck(QObject *context, std::function<void(std::optional<Release>)> done)
{
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    whenFinished(context, Background::start([now] { return runBackgroundCheck(now); }),
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
    whenFinished(qApp, Background::start([release, report] { return runInstall(release, report); }),
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
    {
        QMutexLocker lock(&gSeamMutex);
        gSeams = Seams{};
    }
    QMutexLocker lock(&gLastFeedMutex);
    gLastFeed.reset();
}

} // namespace Updater
