#include "applications/TrashWatcher.h"

#include "exec/Async.h"
#include "exec/Background.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/ReadOnlyFile.h"

#include <QDateTime>
#include <QFileSystemWatcher>
#include <QPointer>
#include <QSocketNotifier>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace {

constexpr qint64 kMaxInfoBytes = 64 * 1024;
constexpr int kRearmMs = 1000;

// mkdir -p with mode 0700 for every folder it makes, as the Trash itself does.
void makePrivatePath(const QString &path)
{
    if (path.isEmpty())
        return;
    QByteArray current;
    for (const QByteArray &part : nativePath(path).split('/')) {
        if (part.isEmpty())
            continue;
        current += '/' + part;
        ::mkdir(current.constData(), 0700);
    }
}

// The Path= of an entry's .trashinfo, percent-decoded; empty when there is none. Only a
// regular file is read: a pipe in its place must not block.
QString originalPath(const QByteArray &infoFolder, const QByteArray &entry)
{
    if (infoFolder.isEmpty())
        return {};
    ReadOnlyFile file;
    if (!file.openNative(infoFolder + '/' + entry + ".trashinfo") || file.size() > kMaxInfoBytes)
        return {};
    QByteArray text(file.size(), Qt::Uninitialized);
    if (file.readAt(0, text.data(), text.size()) != text.size())
        return {};
    bool inGroup = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == "[Trash Info]";
            continue;
        }
        if (inGroup && line.startsWith("Path=")) {
            const QByteArray bytes = QByteArray::fromPercentEncoding(line.mid(5));
            return decodeNativePath(bytes.constData(), bytes.size());
        }
    }
    return {};
}

bool isAppKind(const struct stat &st)
{
    if (Locations::current().os == Locations::Os::MacOS)
        return S_ISDIR(st.st_mode);
    return S_ISREG(st.st_mode);
}

bool isAppName(const QString &name)
{
    if (Locations::current().os == Locations::Os::MacOS)
        return name.endsWith(QLatin1String(".app"));
    return name.endsWith(QLatin1String(".appimage"), Qt::CaseInsensitive);
}

// A folder's entry names as bytes; with `changedSince` (seconds since the epoch), only
// the entries whose status changed since then. Nothing when it cannot be listed.
std::optional<QList<QByteArray>> entryNames(const QString &folder,
                                            std::optional<qint64> changedSince = std::nullopt)
{
    const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return std::nullopt;
    }
    QList<QByteArray> names;
    while (const struct dirent *e = ::readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        if (changedSince) {
            struct stat st;
            if (::fstatat(fd, n, &st, AT_SYMLINK_NOFOLLOW) != 0 || st.st_ctime < *changedSince)
                continue;
        }
        names.append(QByteArray(n));
    }
    ::closedir(dir);
    return names;
}

qint64 secondsNow()
{
    return QDateTime::currentSecsSinceEpoch();
}

} // namespace

TrashWatcher::TrashWatcher(Callback onAppTrashed, QObject *parent)
    : QObject(parent), m_onAppTrashed(std::move(onAppTrashed)),
      m_trash(Locations::current().trashFiles), m_info(Locations::current().trashInfo),
#ifdef __linux__
      m_source(Source::EventNames)
#else
      m_source(Source::Listing)
#endif
{
}

TrashWatcher::~TrashWatcher()
{
    stop();
    m_work.waitForAll();
}

void TrashWatcher::setSource(Source source)
{
    if (!m_watching)
        m_source = source;
}

QList<TrashWatcher::Arrival> TrashWatcher::resolve(const QString &trash, const QString &infoFolder,
                                                   const QList<QByteArray> &names,
                                                   const CancelToken &cancel)
{
    QList<QByteArray> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    const int folder = ::open(nativePath(trash).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return {};
    const QByteArray info = nativePath(infoFolder);
    QList<Arrival> arrivals;
    for (const QByteArray &entry : sorted) {
        if (cancel.isCancelled())
            break;
        struct stat st;
        if (entry.isEmpty() || entry.contains('/') ||
            ::fstatat(folder, entry.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !isAppKind(st))
            continue;
        const QString path =
            trash + QLatin1Char('/') + decodeNativePath(entry.constData(), entry.size());
        // Trashers rename clashing arrivals (Foo.AppImage.2, Foo_1.AppImage); the info
        // file keeps the name it had.
        QString original = originalPath(info, entry);
        if (original.isEmpty())
            original = path;
        if (!isAppName(original.mid(original.lastIndexOf(QLatin1Char('/')) + 1)))
            continue;
        arrivals.append({path, original, AppLeftovers::identity(path, original)});
    }
    ::close(folder);
    return arrivals;
}

void TrashWatcher::start()
{
    if (m_watching)
        return;
    // A fresh account has no Trash yet; watching needs the folder.
    makePrivatePath(m_trash);
    makePrivatePath(m_info);
    m_cancel = CancelToken();
    m_lastLook = std::make_shared<std::optional<QSet<QByteArray>>>();
    if (!watchFolder())
        return;
    m_watching = true;
    // A listing needs a first look to compare with; event names need none.
    m_relist = m_source == Source::Listing;
    runNext();
}

bool TrashWatcher::watchFolder()
{
#ifdef __linux__
    if (m_source == Source::EventNames) {
        const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd >= 0 && ::inotify_add_watch(fd, nativePath(m_trash).constData(),
                                           IN_MOVED_TO | IN_CREATE | IN_DELETE_SELF | IN_MOVE_SELF |
                                               IN_ONLYDIR) >= 0) {
            m_inotify = fd;
            m_lastRead = secondsNow();
            m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &TrashWatcher::readEvents);
            return true;
        }
        if (fd >= 0)
            ::close(fd);
        // Out of inotify instances or watches: a listing still works.
        m_source = Source::Listing;
    }
#endif
    auto *watcher = new QFileSystemWatcher(this);
    if (!watcher->addPath(m_trash)) {
        delete watcher;
        return false;
    }
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, &TrashWatcher::listingChanged);
    m_listingWatcher = watcher;
    return true;
}

void TrashWatcher::stop()
{
    ++m_generation;
    m_cancel.cancel();
    m_watching = false;
    m_batchRunning = false;
    // The last look may hold every name in the Trash: it goes on the pool.
    if (m_lastLook)
        Background::pool()->start([look = std::move(m_lastLook)] {});
    m_arrived.clear();
    m_rescanSince.reset();
    m_relist = false;
    if (m_rearmTimer) {
        m_rearmTimer->stop();
        m_rearmTimer->deleteLater();
        m_rearmTimer = nullptr;
    }
    closeWatch();
}

void TrashWatcher::readEvents()
{
#ifdef __linux__
    // One read per wake-up: the notifier comes back while more is waiting, and the event
    // loop turns in between.
    alignas(struct inotify_event) char buffer[64 * 1024];
    const ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
    if (n <= 0)
        return;
    bool lost = false;
    for (ssize_t at = 0; at + qsizetype(sizeof(struct inotify_event)) <= n;) {
        const auto *event = reinterpret_cast<const struct inotify_event *>(buffer + at);
        at += qsizetype(sizeof(struct inotify_event)) + event->len;
        if (event->mask & IN_Q_OVERFLOW) {
            // Names were dropped: whatever changed since the queue was last read whole
            // may be among them.
            const qint64 since = m_lastRead - 1;
            m_rescanSince = m_rescanSince ? qMin(*m_rescanSince, since) : since;
        } else if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
            lost = true;
        } else if ((event->mask & (IN_MOVED_TO | IN_CREATE)) && event->len > 0) {
            m_arrived.append(QByteArray(event->name));
        }
    }
    if (size_t(n) + sizeof(struct inotify_event) + NAME_MAX + 1 <= sizeof buffer)
        m_lastRead = secondsNow();
    if (lost)
        watchLost();
    runNext();
#endif
}

void TrashWatcher::listingChanged()
{
    m_relist = true;
    runNext();
    if (m_listingWatcher && !m_listingWatcher->directories().contains(m_trash))
        watchLost();
}

void TrashWatcher::closeWatch()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_inotify >= 0)
        ::close(m_inotify);
    m_inotify = -1;
    delete m_listingWatcher;
    m_listingWatcher = nullptr;
}

void TrashWatcher::watchLost()
{
    // The folder went away (the Trash was removed whole): look for it until it is back.
    closeWatch();
    if (!m_rearmTimer) {
        m_rearmTimer = new QTimer(this);
        m_rearmTimer->setInterval(kRearmMs);
        connect(m_rearmTimer, &QTimer::timeout, this, &TrashWatcher::rearm);
    }
    m_rearmTimer->start();
}

void TrashWatcher::rearm()
{
    if (!m_watching || !FileProperties::exists(m_trash) || !watchFolder())
        return;
    m_rearmTimer->stop();
    // Everything in the folder now arrived since it went.
    if (m_listingWatcher)
        m_relist = true;
    else
        m_rescanSince = 0;
    runNext();
}

void TrashWatcher::runNext()
{
    if (!m_watching || m_batchRunning || (m_arrived.isEmpty() && !m_rescanSince && !m_relist))
        return;
    m_batchRunning = true;
    const QList<QByteArray> arrived = std::exchange(m_arrived, {});
    const std::optional<qint64> rescanSince = std::exchange(m_rescanSince, std::nullopt);
    const bool relist = std::exchange(m_relist, false);
    const QString trash = m_trash;
    const QString info = m_info;
    const CancelToken cancel = m_cancel;
    const std::shared_ptr<std::optional<QSet<QByteArray>>> lastLook = m_lastLook;
    const QFuture<QList<Arrival>> batch = Background::start([=] {
        QList<QByteArray> names = arrived;
        if (rescanSince)
            names += entryNames(trash, *rescanSince).value_or(QList<QByteArray>());
        if (relist) {
            // A folder that cannot be listed is empty: all it holds when it is back is new.
            const QList<QByteArray> now = entryNames(trash).value_or(QList<QByteArray>());
            QSet<QByteArray> look(now.cbegin(), now.cend());
            if (lastLook->has_value())
                for (const QByteArray &name : now)
                    if (!(*lastLook)->contains(name))
                        names.append(name);
            *lastLook = std::move(look);
        }
        if (names.isEmpty())
            return QList<Arrival>();
        return resolve(trash, info, names, cancel);
    });
    m_work.track(QFuture<void>(batch));
    const quint64 generation = m_generation;
    whenFinished(this, batch, [this, generation](const QList<Arrival> &arrivals) {
        if (generation != m_generation)
            return;
        m_batchRunning = false;
        QPointer<TrashWatcher> self(this);
        for (const Arrival &arrival : arrivals) {
            if (m_onAppTrashed)
                m_onAppTrashed(arrival);
            if (!self)
                return;
        }
        runNext();
    });
}
