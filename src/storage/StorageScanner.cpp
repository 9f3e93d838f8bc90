#include "storage/StorageScanner.h"

#include "exec/ThreadPriority.h"
#include "platform/BytePath.h"
#include "platform/DirectoryReader.h"
#include "platform/Exclusions.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "platform/RemovalHub.h"
#include "storage/Volumes.h"

#include <QThread>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <shared_mutex>
#include <tuple>
#include <unordered_set>
#include <vector>

#ifdef __linux__
#include <sys/vfs.h>
#endif

// ---- StorageEntry ------------------------------------------------------------------

StorageEntry StorageEntry::fromPath(const QString &path, qint64 bytes, bool isDirectory,
                                    bool isPartial)
{
    return StorageEntry{StorageScanner::standardized(::nativePath(path)), bytes, isDirectory,
                        isPartial};
}

QString StorageEntry::path() const
{
    return decodeNativePath(nativePath.constData(), nativePath.size());
}

QUrl StorageEntry::url() const
{
    return QUrl::fromLocalFile(path());
}

QString StorageEntry::name() const
{
    if (nativePath == "/")
        return Locations::current().rootDisplayName;
    const qsizetype slash = nativePath.lastIndexOf('/');
    const char *start = nativePath.constData() + slash + 1;
    return decodeNativePath(start, nativePath.size() - slash - 1);
}

size_t qHash(const StorageEntry &entry, size_t seed)
{
    return qHashMulti(seed, entry.nativePath, entry.bytes, entry.isDirectory, entry.isPartial);
}

// ---- formatting --------------------------------------------------------------------

namespace {

// `value` in units of 10^-decimals, printed without trailing zeros.
QString decimalText(quint64 scaled, int decimals, const char *unit)
{
    quint64 divisor = 1;
    for (int i = 0; i < decimals; ++i)
        divisor *= 10;
    QString text = QString::number(scaled / divisor);
    quint64 fraction = scaled % divisor;
    int digits = decimals;
    while (digits > 0 && fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    if (digits > 0)
        text +=
            QLatin1Char('.') + QString::number(fraction).rightJustified(digits, QLatin1Char('0'));
    return text + QLatin1Char(' ') + QLatin1String(unit);
}

} // namespace

QString formatBytes(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("Zero KB");
    const QString sign = bytes < 0 ? QStringLiteral("-") : QString();
    // The magnitude of the most negative value still fits unsigned.
    const quint64 b = bytes < 0 ? quint64(0) - quint64(bytes) : quint64(bytes);
    if (b == 1)
        return sign + QStringLiteral("1 byte");
    if (b < 1000)
        return sign + QString::number(b) + QStringLiteral(" bytes");

    // Each unit rounds half up; a value that rounds to 1000 of a unit is shown in
    // the next one ("1 MB", never "1000 KB").
    struct Unit {
        const char *name;
        quint64 size;
        int decimals;
    };
    static constexpr Unit units[] = {
        {"KB", 1'000ULL, 0},
        {"MB", 1'000'000ULL, 1},
        {"GB", 1'000'000'000ULL, 2},
        {"TB", 1'000'000'000'000ULL, 2},
        {"PB", 1'000'000'000'000'000ULL, 2},
        {"EB", 1'000'000'000'000'000'000ULL, 2},
    };
    for (size_t i = 0; i < std::size(units); ++i) {
        const Unit &u = units[i];
        quint64 step = u.size;
        for (int d = 0; d < u.decimals; ++d)
            step /= 10;
        // Round half up without overflowing near the top of the range.
        const quint64 scaled = b / step + ((b % step) * 2 >= step ? 1 : 0);
        quint64 limit = 1000;
        for (int d = 0; d < u.decimals; ++d)
            limit *= 10;
        if (scaled < limit || i + 1 == std::size(units))
            return sign + decimalText(scaled, u.decimals, u.name);
    }
    return {};
}

QString sizeText(const StorageEntry &entry)
{
    if (entry.isExcluded)
        return QStringLiteral("Excluded");
    if (entry.isOtherDisk)
        return QStringLiteral("Another disk · ") + formatBytes(entry.otherDiskUsed) +
               QStringLiteral(" used");
    return formatBytes(entry.bytes) + (entry.isPartial ? QStringLiteral("+") : QString());
}

// ---- StorageScanner ----------------------------------------------------------------

namespace {

bool isRootPath(std::string_view path)
{
    return path.size() == 1 && path[0] == '/';
}

void appendName(std::string &path, const char *name)
{
    if (!isRootPath(path))
        path += '/';
    path += name;
}

// The folder holding `path`; "/" for "/x"; empty for "/" itself.
std::string parentPath(std::string_view path)
{
    if (isRootPath(path))
        return {};
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

// Path order taken a component at a time, as a sorted listing of each folder gives it:
// "/t/a/x" comes before "/t/a-b", as "a" comes before "a-b".
bool pathBefore(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        if (a[i] == '/' || b[i] == '/')
            return a[i] == '/';
        return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
}

// Whether `folder` is `path` or one of the folders holding it.
bool holds(std::string_view folder, std::string_view path)
{
    if (isRootPath(folder))
        return !path.empty() && path[0] == '/';
    return path.size() >= folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

QByteArray resolved(const QByteArray &path)
{
    char *real = ::realpath(path.constData(), nullptr);
    if (!real)
        return path;
    QByteArray out(real);
    ::free(real);
    return out;
}

#ifdef __linux__
constexpr decltype(statfs::f_type) kBtrfsMagic = 0x9123683E;

bool isBtrfsPath(const char *path)
{
    struct statfs st;
    return ::statfs(path, &st) == 0 && st.f_type == kBtrfsMagic;
}

bool isBtrfsFolder(const DirectoryReader &dir)
{
    struct statfs st;
    return ::fstatfs(dir.descriptor(), &st) == 0 && st.f_type == kBtrfsMagic;
}
#else
bool isBtrfsPath(const char *)
{
    return false;
}

bool isBtrfsFolder(const DirectoryReader &)
{
    return false;
}
#endif

} // namespace

// What one public operation reads once from the table and the system.
struct StorageScanner::Settings {
    bool staysOnDevice = true;
    bool skippedOnlyWhenMounted = false;
    std::vector<std::string> skipped;
    std::vector<std::string> skippedParents; // folders that hold a skipped mount point
    QList<MountTable::Mount> mounts;
    // The Trash is cached at any size, so a move into it can be settled exactly.
    std::string trashRoot;
    FileId trashId;
    Exclusions exclusions = Exclusions::current();

    Settings()
    {
        const Locations &loc = Locations::current();
        staysOnDevice = loc.storageStaysOnDevice;
        skippedOnlyWhenMounted = loc.skippedOnlyWhenMounted;
        for (const QString &mount : loc.skippedMounts) {
            const QByteArray s = StorageScanner::standardized(nativePath(mount));
            if (s.isEmpty() || s == "/")
                continue;
            skipped.emplace_back(s.constData(), size_t(s.size()));
            skippedParents.push_back(parentPath(skipped.back()));
        }
        if (staysOnDevice)
            mounts = MountTable::read();
        if (!loc.trashMeasureRoot.isEmpty())
            trashRoot =
                StorageScanner::standardized(nativePath(loc.trashMeasureRoot)).toStdString();
        DirectoryReader::Node node;
        if (!trashRoot.empty() && DirectoryReader::statPath(trashRoot.c_str(), node))
            trashId = node.id;
    }

    bool holdsSkipped(std::string_view folder) const
    {
        return std::find(skippedParents.begin(), skippedParents.end(), folder) !=
               skippedParents.end();
    }
    bool isSkipped(std::string_view item) const
    {
        return std::find(skipped.begin(), skipped.end(), item) != skipped.end();
    }
    // Skipped, for an item on `device` in a folder on `parentDevice`.
    bool skips(std::string_view item, quint64 device, quint64 parentDevice) const
    {
        return isSkipped(item) && (!skippedOnlyWhenMounted || device != parentDevice);
    }
    bool skips(std::string_view item, quint64 device) const
    {
        if (!isSkipped(item))
            return false;
        if (!skippedOnlyWhenMounted)
            return true;
        DirectoryReader::Node above;
        const std::string parent = parentPath(item);
        return parent.empty() || !DirectoryReader::statPath(parent.c_str(), above) ||
               above.id.device != device;
    }

    // A folder mounted over (the table lists it) or on another device than its parent,
    // unless that device is a btrfs subvolume of the same file system.
    bool isMountPoint(const QByteArray &path, const DirectoryReader::Node &node) const
    {
        if (!staysOnDevice || path == "/")
            return false;
        if (MountTable::isMountPoint(resolved(path), mounts))
            return true;
        const std::string parent =
            parentPath(std::string_view(path.constData(), size_t(path.size())));
        DirectoryReader folder;
        DirectoryReader::Node above;
        return !parent.empty() && folder.open(parent.c_str(), true) && folder.statSelf(above) &&
               above.id.device != node.id.device && !isBtrfsPath(path.constData());
    }
};

// One folder met by a measurement. Records live in a deque, so they stay put while other
// threads append, and a folder always comes after the one holding it.
struct StorageScanner::Folder {
    Folder *parent = nullptr;
    std::string name; // the whole path for the measured folder itself
    qint64 bytes = 0; // its own blocks and files'; after settling, everything below
    quint64 device = 0;
    quint64 inode = 0;
    bool partial = false;
    bool walked = false; // read from disk, so its total may be cached
};

// A listed folder kept open while its subfolders wait, so they are opened relative to it
// instead of by their whole path; closed once the last of them was opened.
struct StorageScanner::OpenFolder {
    int fd;
    std::atomic<int> &held;
    OpenFolder(int d, std::atomic<int> &h) : fd(d), held(h) {}
    ~OpenFolder()
    {
        ::close(fd);
        held.fetch_sub(1, std::memory_order_relaxed);
    }
};

// What reading one folder found, handed over in one go.
struct StorageScanner::Found {
    struct Link {
        FileId id;
        Folder *folder; // holding the name; a record of the file itself when name is empty
        qint64 bytes;
        std::string name;
    };
    std::vector<std::pair<std::string, std::string>> folders; // name, path
    std::vector<Link> links;
    std::shared_ptr<OpenFolder> open; // the folder itself, for its subfolders
};

// One measurement, shared by the threads working on it.
struct StorageScanner::Walk {
    struct Task {
        Folder *folder;
        std::string path;
        std::shared_ptr<OpenFolder> parent; // empty: opened by path
    };
    using Link = Found::Link;

    // Its own copies: a cancelled walk's last threads may still run after the caller left.
    const Settings settings;
    const std::optional<CancelToken> token;
    const std::atomic_bool *cancel = nullptr;
    std::atomic_bool interrupted{false};
    // Folders kept open for their subfolders, at most a few, however deep the tree.
    std::atomic<int> heldOpen{0};
    static constexpr int maxHeldOpen = 64;
    // Of the measured folder: known before the walk, or taken from its first root.
    std::atomic<quint64> device{0};
    std::unordered_set<std::string> mountsBelow;
    ChildStarted started; // told as each root folder is read

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Folder> folders;
    std::vector<Task> queue;
    std::vector<Link> links;
    int busy = 0;    // threads reading a folder
    int helpers = 0; // pool threads still inside this walk
    // Set once a folder had to be read from the disk: from then on the walk uses all its
    // threads, before only as many as the cores keep busy.
    std::atomic_bool hitDisk{false};
    const qint64 startedAt = RemovedItem::now();

    Walk(const Settings &s, const CancelToken *t)
        : settings(s), token(t ? std::optional<CancelToken>(*t) : std::nullopt),
          cancel(token ? token->flag() : nullptr)
    {
    }

    bool isCancelled()
    {
        if (interrupted.load(std::memory_order_relaxed))
            return true;
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            interrupted.store(true, std::memory_order_relaxed);
            return true;
        }
        return false;
    }
};

namespace {

// With the folders in memory a walk is the cores' work, and threads beyond them only
// crowd out the window's thread: 16 of them on two cores held it up to 48 ms at launch,
// 4 at most 18.
int threadsFromMemory()
{
    static const int threads = std::max(4, QThread::idealThreadCount());
    return threads;
}

} // namespace

int StorageScanner::defaultThreadCount()
{
    // With the cache cold each thread waits on a read of the disk, which answers many at
    // once: on two cores 16 threads took 0.41 of du's time, 4 threads 0.54. So at least 16,
    // and twice the cores where there are more; a walk takes them all only once it reads
    // from the disk.
    return std::clamp(QThread::idealThreadCount() * 2, 16, 32);
}

StorageScanner::StorageScanner(int threads, Priority priority)
    : m_threads(std::max(1, threads)), m_priority(priority)
{
    m_pool.setMaxThreadCount(std::max(1, m_threads - 1));
}

StorageScanner::~StorageScanner()
{
    m_pool.waitForDone();
}

QByteArray StorageScanner::standardized(const QByteArray &path)
{
    return BytePath::folded(path);
}

bool StorageScanner::isSkipped(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return Locations::current().skippedMounts.contains(p);
}

QList<QByteArray> StorageScanner::listing(const QByteArray &folder)
{
    QMutexLocker lock(&m_mutex);
    return listingLocked(folder);
}

QList<QByteArray> StorageScanner::listingLocked(const QByteArray &folder)
{
    QList<QByteArray> result;
    const QByteArray base = standardized(folder);
    if (Exclusions::current().isExcluded(base))
        return result;
    DirectoryReader dir;
    m_folderReads.fetch_add(1, std::memory_order_relaxed);
    if (m_readHook) {
        QMutexLocker hookLock(&m_hookMutex);
        m_readHook(base);
    }
    // The folder the user chose may itself be a link: follow that one, never any inside.
    if (!dir.open(base.constData(), true))
        return result;
    const QByteArray prefix = base == "/" ? base : base + '/';
    DirectoryReader::Kind hint;
    while (const char *name = dir.next(hint))
        result.append(prefix + name);
    return result;
}

std::optional<StorageEntry> StorageScanner::entry(const QByteArray &item, const CancelToken &cancel)
{
    QMutexLocker lock(&m_mutex);
    const Settings settings;
    return entryLocked(item, settings, &cancel);
}

// A mount point: its bytes belong to its own file system, whose used space it shows.
StorageEntry StorageScanner::otherDisk(const QByteArray &path, const DirectoryReader::Node &node,
                                       const Settings &settings)
{
    StorageEntry disk{path, 0, true, false, node.identity()};
    disk.isOtherDisk = true;
    // A network server that stopped answering would hang statvfs.
    const auto mount = MountTable::mountOfDevice(node.id.device, settings.mounts);
    if (!mount || !MountTable::isRemoteOrFuse(mount->fsType))
        if (const auto used = Volumes::usage(path))
            disk.otherDiskUsed = used->usedBytes;
    return disk;
}

std::optional<StorageEntry> StorageScanner::entryLocked(const QByteArray &item,
                                                        const Settings &settings,
                                                        const CancelToken *cancel)
{
    if (cancel && cancel->isCancelled())
        return std::nullopt;
    const QByteArray path = standardized(item);
    DirectoryReader::Node node;
    if (path.isEmpty() || !DirectoryReader::statPath(path.constData(), node))
        return std::nullopt;
    const FileIdentity identity = node.identity();
    if (node.kind == DirectoryReader::Kind::Directory &&
        (settings.exclusions.isExcludedId(node.id) || settings.exclusions.isExcluded(path))) {
        StorageEntry excluded{path, 0, true, false, identity};
        excluded.isExcluded = true;
        return excluded;
    }
    if (node.kind == DirectoryReader::Kind::SymLink ||
        settings.skips(std::string_view(path.constData(), size_t(path.size())), node.id.device))
        return StorageEntry{path, 0, false, false, identity};
    if (node.kind == DirectoryReader::Kind::Directory) {
        // Its bytes belong to its own file system: open it to measure it there.
        if (settings.isMountPoint(path, node))
            return otherDisk(path, node, settings);
        const std::optional<Measure> m = measureFolder(path, settings, cancel);
        // An interrupted measurement is a lower bound nobody asked for.
        if (!m)
            return std::nullopt;
        return StorageEntry{path, m->bytes, true, m->isPartial, identity};
    }
    return StorageEntry{path, node.allocatedBytes, false, false, identity};
}

QList<StorageEntry> StorageScanner::children(const QByteArray &folder, const CancelToken &cancel,
                                             const ChildStarted &started)
{
    QMutexLocker lock(&m_mutex);
    const QList<QByteArray> items = listingLocked(folder);
    const Settings settings;
    const QByteArray base = standardized(folder);
    const auto shared = std::make_shared<Walk>(settings, &cancel);
    Walk &walk = *shared;
    walk.started = started;
    // The children's own device: the folder may be a link to another one.
    struct stat st;
    if (::stat(base.constData(), &st) == 0)
        walk.device = quint64(st.st_dev);
    if (settings.staysOnDevice) {
        const QByteArray real = resolved(base);
        for (const MountTable::Mount &m : MountTable::mountsBelow(real, settings.mounts)) {
            const QByteArray rest = m.mountPoint.mid(real == "/" ? 0 : real.size());
            walk.mountsBelow.insert((base == "/" ? rest : base + rest).toStdString());
        }
    }

    // Folders to measure and files with other names are records of the one walk; the
    // rest is known at once.
    QList<StorageEntry> result;
    result.reserve(items.size());
    std::vector<std::pair<qsizetype, Folder *>> measured;
    for (const QByteArray &item : items) {
        if (cancel.isCancelled())
            break;
        const QByteArray path = standardized(item);
        DirectoryReader::Node node;
        if (path.isEmpty() || !DirectoryReader::statPath(path.constData(), node))
            continue;
        const std::string key(path.constData(), size_t(path.size()));
        const FileIdentity identity = node.identity();
        const bool isFolder = node.kind == DirectoryReader::Kind::Directory;
        // Excluded in Settings: shown, never walked into.
        if (isFolder &&
            (settings.exclusions.isExcludedId(node.id) || settings.exclusions.isExcluded(path))) {
            StorageEntry excluded{path, 0, true, false, identity};
            excluded.isExcluded = true;
            result.append(excluded);
            continue;
        }
        const bool skipped = settings.skips(key, node.id.device, walk.device);
        if (isFolder && !skipped && settings.isMountPoint(path, node)) {
            result.append(otherDisk(path, node, settings));
            continue;
        }
        if (node.kind == DirectoryReader::Kind::SymLink || skipped) {
            result.append(StorageEntry{path, 0, isFolder, false, identity});
            continue;
        }
        if (isFolder) {
            if (const auto hit = m_sizes.find(key); hit != m_sizes.end()) {
                result.append(
                    StorageEntry{path, hit->second.bytes, true, hit->second.isPartial, identity});
                continue;
            }
            Folder &record = walk.folders.emplace_back();
            record.name = key;
            walk.queue.push_back({&record, key, nullptr});
            m_foldersFound.fetch_add(1, std::memory_order_relaxed);
            measured.emplace_back(result.size(), &record);
        } else if (node.linkCount >= 2) {
            Folder &record = walk.folders.emplace_back();
            record.name = key;
            walk.links.push_back({node.id, &record, node.allocatedBytes, {}});
            measured.emplace_back(result.size(), &record);
        }
        result.append(
            StorageEntry{path, isFolder ? 0 : node.allocatedBytes, isFolder, false, identity});
    }
    bool finished = measured.empty() || finish(shared);
    if (finished) {
        for (const auto &[at, record] : measured) {
            result[at].bytes = record->bytes;
            result[at].isPartial = record->partial;
        }
    }
    if (!finished || cancel.isCancelled()) {
        // Stopped: what the walk was measuring has no total; the rest stands.
        QList<StorageEntry> known;
        std::vector<bool> walked(size_t(result.size()), false);
        for (const auto &[at, record] : measured)
            walked[size_t(at)] = true;
        for (qsizetype i = 0; i < result.size(); ++i)
            if (!walked[size_t(i)])
                known.append(result[i]);
        result = known;
    }
    std::stable_sort(
        result.begin(), result.end(),
        [](const StorageEntry &a, const StorageEntry &b) { return a.bytes > b.bytes; });
    return result;
}

std::optional<StorageScanner::Measure> StorageScanner::measureFolder(const QByteArray &path,
                                                                     const Settings &settings,
                                                                     const CancelToken *cancel)
{
    const std::string key(path.constData(), size_t(path.size()));
    if (const auto hit = m_sizes.find(key); hit != m_sizes.end())
        return hit->second;

    const auto shared = std::make_shared<Walk>(settings, cancel);
    Walk &walk = *shared;
    if (settings.staysOnDevice) {
        // The table names mounts by their real paths; the walk by the path it was given.
        const QByteArray real = resolved(path);
        for (const MountTable::Mount &m : MountTable::mountsBelow(real, settings.mounts)) {
            const QByteArray rest = m.mountPoint.mid(real == "/" ? 0 : real.size());
            walk.mountsBelow.insert((path == "/" ? rest : path + rest).toStdString());
        }
    }
    walk.folders.emplace_back();
    walk.folders.back().name = key;
    walk.queue.push_back({&walk.folders.back(), key, nullptr});
    m_foldersFound.fetch_add(1, std::memory_order_relaxed);
    if (!finish(shared))
        return std::nullopt;
    const Folder &root = walk.folders.front();
    return Measure{root.bytes, root.partial, walk.startedAt, RemovedItem::now()};
}

bool StorageScanner::finish(const std::shared_ptr<Walk> &shared)
{
    Walk &walk = *shared;
    work(shared);
    // A walk that saw the cancellation came back short; one that finished stands. The
    // caller leaves a stopped walk at once: its other threads notice by themselves, and
    // none of them calls the read hook once this barrier was passed.
    if (walk.interrupted.load()) {
        QMutexLocker barrier(&m_hookMutex);
        return false;
    }
    {
        std::unique_lock lock(walk.mutex);
        walk.wake.wait(lock, [&] { return walk.helpers == 0; });
    }
    settle(walk);
    return true;
}

void StorageScanner::work(const std::shared_ptr<Walk> &shared)
{
    Walk &walk = *shared;
    DirectoryReader dir;
    Found found;
    std::optional<quint64> diskReads = DirectoryReader::diskReadsOfThisThread();
    unsigned foldersRead = 0;
    std::unique_lock lock(walk.mutex);
    while (!walk.isCancelled()) {
        if (walk.queue.empty()) {
            if (walk.busy == 0)
                break;
            // Nobody signals a cancellation: look at the token now and then.
            walk.wake.wait_for(lock, std::chrono::milliseconds(2));
            continue;
        }
        Walk::Task task = std::move(walk.queue.back());
        walk.queue.pop_back();
        ++walk.busy;
        lock.unlock();
        found.folders.clear();
        found.links.clear();
        found.open.reset();
        readFolder(walk, dir, *task.folder, task.path, task.parent.get(), found);
        task.parent.reset();
        // Whether this thread read from the disk, asked of the system every few folders.
        bool waitedOnDisk = false;
        if (diskReads && !walk.hitDisk.load(std::memory_order_relaxed) && foldersRead++ % 8 == 0) {
            const std::optional<quint64> now = DirectoryReader::diskReadsOfThisThread();
            waitedOnDisk = now > diskReads;
            diskReads = now;
        }
        lock.lock();
        --walk.busy;
        if (waitedOnDisk)
            walk.hitDisk.store(true, std::memory_order_relaxed);
        const int threads = walk.hitDisk.load(std::memory_order_relaxed)
                                ? m_threads
                                : std::min(m_threads, threadsFromMemory());
        m_foldersFound.fetch_add(found.folders.size(), std::memory_order_relaxed);
        for (auto &[name, path] : found.folders) {
            Folder &child = walk.folders.emplace_back();
            child.parent = task.folder;
            child.name = std::move(name);
            walk.queue.push_back({&child, std::move(path), found.open});
        }
        walk.links.insert(walk.links.end(), found.links.begin(), found.links.end());
        // More hands while more than one folder waits.
        while (!walk.interrupted.load(std::memory_order_relaxed) && walk.helpers < threads - 1 &&
               walk.queue.size() > size_t(walk.helpers) + 1) {
            ++walk.helpers;
            m_pool.start([this, shared] {
                if (m_priority == Priority::Background)
                    ThreadPriority::lowerCurrent();
                work(shared);
                std::lock_guard done(shared->mutex);
                --shared->helpers;
                shared->wake.notify_all();
            });
        }
        if (!found.folders.empty() || (walk.queue.empty() && walk.busy == 0))
            walk.wake.notify_all();
    }
    walk.wake.notify_all();
}

void StorageScanner::readFolder(Walk &walk, DirectoryReader &dir, Folder &folder, std::string &path,
                                const OpenFolder *parent, Found &found)
{
    if (walk.isCancelled())
        return;
    m_folderReads.fetch_add(1, std::memory_order_relaxed);
    if (folder.parent == nullptr && walk.started)
        walk.started(QByteArray(path.data(), qsizetype(path.size())));
    if (m_hasReadHook.load(std::memory_order_acquire)) {
        QMutexLocker hookLock(&m_hookMutex);
        if (walk.isCancelled())
            return;
        if (m_readHook)
            m_readHook(QByteArray(path.data(), qsizetype(path.size())));
    }
    const bool isRoot = folder.parent == nullptr;
    const bool staysOnDevice = walk.settings.staysOnDevice;
    if (!(parent ? dir.openAt(parent->fd, folder.name.c_str())
                 : dir.openAnyLength(path.c_str(), path.size()))) {
        const int error = dir.error();
        // Became a link or a file since its folder was listed: nothing to count.
        if (error == ELOOP || error == ENOTDIR)
            return;
        // Cannot be entered: its own blocks still count, as du counts them.
        DirectoryReader::Node node;
        if (error != ENOENT && DirectoryReader::statPath(path.c_str(), node) &&
            (isRoot || !staysOnDevice || node.id.device == walk.device))
            folder.bytes = node.allocatedBytes;
        folder.partial = true;
        return;
    }
    DirectoryReader::Node self;
    if (!dir.statSelf(self)) {
        folder.partial = true;
        return;
    }
    if (isRoot) {
        quint64 unset = 0;
        walk.device.compare_exchange_strong(unset, self.id.device);
    } else {
        // A mount the table does not list, or a folder mounted inside itself. A btrfs
        // subvolume is the same file system under another device number: measured through.
        if (staysOnDevice && self.id.device != walk.device && !isBtrfsFolder(dir))
            return;
        for (const Folder *above = folder.parent; above; above = above->parent) {
            if (above->device == self.id.device && above->inode == self.id.inode)
                return;
        }
        // Excluded in Settings: not walked, nothing of it counted.
        if (walk.settings.exclusions.isExcludedId(self.id))
            return;
    }
    folder.device = self.id.device;
    folder.inode = self.id.inode;
    folder.walked = true;
    folder.bytes = self.allocatedBytes;

    const bool checkSkips = walk.settings.holdsSkipped(path);
    const bool checkMounts = !walk.mountsBelow.empty();
    const size_t baseLength = path.size();
    DirectoryReader::Kind hint;
    while (const char *name = dir.next(hint)) {
        if (walk.isCancelled())
            return;
        if (checkSkips) {
            appendName(path, name);
            bool skipped = walk.settings.isSkipped(path);
            path.resize(baseLength);
            // A plain folder of this file system by a skipped mount's name is measured.
            DirectoryReader::Node node;
            if (skipped && walk.settings.skippedOnlyWhenMounted)
                skipped = !dir.statChild(name, node) || node.id.device != self.id.device;
            if (skipped)
                continue;
        }
        if (hint != DirectoryReader::Kind::Directory) {
            DirectoryReader::Node node;
            if (!dir.statChild(name, node)) {
                // Gone since the listing is nothing; anything else (a folder that can be
                // listed but not entered) leaves the total short.
                if (errno != ENOENT)
                    folder.partial = true;
                continue;
            }
            if (node.kind != DirectoryReader::Kind::Directory) {
                if (node.linkCount >= 2)
                    found.links.push_back({node.id, &folder, node.allocatedBytes, name});
                else
                    folder.bytes += node.allocatedBytes;
                continue;
            }
        }
        appendName(path, name);
        if (checkMounts && walk.mountsBelow.count(path)) {
            // Listed where it is, counted on its own file system only.
        } else if (const std::optional<Measure> cached = sharedLookup(path)) {
            folder.bytes += cached->bytes;
            folder.partial = folder.partial || cached->isPartial;
        } else {
            found.folders.emplace_back(name, path);
        }
        path.resize(baseLength);
    }
    if (!found.folders.empty() &&
        walk.heldOpen.fetch_add(1, std::memory_order_relaxed) < Walk::maxHeldOpen)
        found.open = std::make_shared<OpenFolder>(dir.takeDescriptor(), walk.heldOpen);
    else if (!found.folders.empty())
        walk.heldOpen.fetch_sub(1, std::memory_order_relaxed);
}

void StorageScanner::settle(Walk &walk)
{
    const qint64 endedAt = RemovedItem::now();
    // Paths are built from the nearest folder already known, without recursion: trees
    // may be deeper than a thread's stack would allow.
    std::unordered_map<const Folder *, std::string> paths;
    std::vector<const Folder *> chain;
    auto pathOf = [&](const Folder *f) -> const std::string & {
        chain.clear();
        const Folder *known = f;
        auto hit = paths.find(known);
        while (hit == paths.end() && known->parent) {
            chain.push_back(known);
            known = known->parent;
            hit = paths.find(known);
        }
        if (hit == paths.end())
            hit = paths.emplace(known, known->name).first;
        if (chain.empty())
            return hit->second;
        std::string p = hit->second;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            appendName(p, (*it)->name.c_str());
            hit = paths.emplace(*it, p).first;
        }
        return hit->second;
    };

    // A file with several names is charged to the folders holding one name: the one it
    // was charged to before, else the first by path among the names this walk met,
    // whatever order the threads met them in.
    std::vector<Walk::Link> &links = walk.links;
    std::sort(links.begin(), links.end(), [](const Walk::Link &a, const Walk::Link &b) {
        return std::tie(a.id.device, a.id.inode) < std::tie(b.id.device, b.id.inode);
    });
    auto nameOf = [&](const Walk::Link &link) {
        std::string name = pathOf(link.folder);
        if (!link.name.empty())
            appendName(name, link.name.c_str());
        return name;
    };
    std::vector<std::pair<FileId, std::string>> newOwners;
    for (size_t i = 0; i < links.size();) {
        size_t end = i + 1;
        while (end < links.size() && links[end].id == links[i].id)
            ++end;
        if (const auto owner = m_owners.find(links[i].id); owner != m_owners.end()) {
            for (size_t k = i; k < end; ++k) {
                if (nameOf(links[k]) == owner->second) {
                    links[k].folder->bytes += links[k].bytes;
                    break;
                }
            }
        } else {
            size_t first = i;
            std::string firstName = nameOf(links[i]);
            for (size_t k = i + 1; k < end; ++k) {
                std::string name = nameOf(links[k]);
                if (pathBefore(name, firstName)) {
                    first = k;
                    firstName = std::move(name);
                }
            }
            links[first].folder->bytes += links[first].bytes;
            newOwners.emplace_back(links[i].id, std::move(firstName));
        }
        i = end;
    }

    for (auto it = walk.folders.rbegin(); it != walk.folders.rend(); ++it) {
        if (it->parent) {
            it->parent->bytes += it->bytes;
            it->parent->partial = it->parent->partial || it->partial;
        }
    }
    for (const Folder &f : walk.folders) {
        if (!f.walked)
            continue;
        const bool isTrash = f.inode != 0 && f.device == walk.settings.trashId.device &&
                             f.inode == walk.settings.trashId.inode;
        if (f.bytes >= cacheThreshold || isTrash) {
            std::string p = pathOf(&f);
            std::unique_lock write(m_sizesLock);
            m_sizes.insert_or_assign(std::move(p),
                                     Measure{f.bytes, f.partial, walk.startedAt, endedAt});
        }
    }
    for (auto &[id, owner] : newOwners)
        m_owners.emplace(id, std::move(owner));
}

void StorageScanner::dropBelow(const std::string &key, bool itself)
{
    std::unique_lock write(m_sizesLock);
    for (auto it = m_sizes.begin(); it != m_sizes.end();) {
        const bool below = it->first.size() > key.size() && holds(key, it->first);
        if (below || (itself && it->first == key))
            it = m_sizes.erase(it);
        else
            ++it;
    }
}

namespace {

// Takes a moved item's bytes off a cached total that counted them. False when the total
// must go: its walk ran while the item moved, so whether it counted it is unknown.
bool takeMoved(StorageScanner::Measure &m, qint64 bytes, qint64 movingSince, qint64 movedBy)
{
    const bool known = movedBy != 0;
    if (!known || m.endedAt < movingSince) {
        m.bytes = std::max<qint64>(0, m.bytes - bytes);
        return true;
    }
    return m.startedAt > movedBy;
}

} // namespace

void StorageScanner::forget(const QByteArray &item, qint64 bytes, qint64 movingSince,
                            qint64 movedBy)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray path = standardized(item);
    if (path.isEmpty())
        return;
    const std::string key(path.constData(), size_t(path.size()));
    dropBelow(key, true);
    // The links charged inside it went with it; the names left elsewhere are charged
    // again by the next measurement that meets them.
    std::erase_if(m_owners, [&](const auto &owner) { return holds(key, owner.second); });
    std::unique_lock write(m_sizesLock);
    for (std::string ancestor = parentPath(key); !ancestor.empty();
         ancestor = parentPath(ancestor)) {
        const auto hit = m_sizes.find(ancestor);
        if (hit != m_sizes.end() && !takeMoved(hit->second, bytes, movingSince, movedBy))
            m_sizes.erase(hit);
    }
}

void StorageScanner::movedToTrash(const QByteArray &item, qint64 bytes, qint64 movingSince,
                                  qint64 movedBy)
{
    const Settings settings;
    const std::string trash = settings.trashRoot;
    if (trash.empty()) {
        forget(item, bytes, movingSince, movedBy);
        return;
    }
    QMutexLocker lock(&m_mutex);
    const QByteArray path = standardized(item);
    if (path.isEmpty())
        return;
    const std::string key(path.constData(), size_t(path.size()));
    dropBelow(key, true);
    std::erase_if(m_owners, [&](const auto &owner) { return holds(key, owner.second); });

    // The Trash grew by the item and by its own records of it (and by its folders when
    // this is the first move): measure it again, the items already there from the cache.
    const auto before = m_sizes.find(trash);
    const qint64 trashBefore = before == m_sizes.end() ? 0 : before->second.bytes;
    const std::string trashFiles =
        standardized(nativePath(Locations::current().trashFiles)).toStdString();
    std::unique_lock write(m_sizesLock);
    for (std::string f = trashFiles; !f.empty() && holds(trash, f); f = parentPath(f))
        m_sizes.erase(f);
    for (auto it = m_sizes.begin(); it != m_sizes.end();) {
        // Its own bookkeeping folders (the items' records) changed too.
        if (it->first.size() > trash.size() && holds(trash, it->first) &&
            parentPath(it->first) == trash)
            it = m_sizes.erase(it);
        else
            ++it;
    }
    write.unlock();
    const std::optional<Measure> after =
        measureFolder(QByteArray::fromStdString(trash), settings, nullptr);
    const qint64 grown = after ? after->bytes - trashBefore : bytes;
    write.lock();

    for (std::string a = parentPath(key); !a.empty() && !holds(a, trash); a = parentPath(a)) {
        if (const auto hit = m_sizes.find(a);
            hit != m_sizes.end() && !takeMoved(hit->second, bytes, movingSince, movedBy))
            m_sizes.erase(hit);
    }
    for (std::string a = parentPath(trash); !a.empty(); a = parentPath(a)) {
        const auto hit = m_sizes.find(a);
        if (hit == m_sizes.end())
            continue;
        // Folders holding both lose the item and gain it back in the Trash.
        const qint64 change = holds(a, key) ? grown - bytes : grown;
        if (!takeMoved(hit->second, -change, movingSince, movedBy))
            m_sizes.erase(hit);
    }
}

std::optional<StorageEntry> StorageScanner::remeasure(const QByteArray &folder, qint64 listed,
                                                      const CancelToken &cancel)
{
    QMutexLocker lock(&m_mutex);
    const QByteArray path = standardized(folder);
    if (path.isEmpty())
        return std::nullopt;
    const std::string key(path.constData(), size_t(path.size()));
    qint64 before = listed;
    if (const auto cached = sharedLookup(key))
        before = cached->bytes;
    dropBelow(key, true);
    std::erase_if(m_owners, [&](const auto &owner) { return holds(key, owner.second); });
    const Settings settings;
    std::optional<StorageEntry> measured = entryLocked(path, settings, &cancel);
    if (!measured)
        return measured;
    std::unique_lock write(m_sizesLock);
    for (std::string a = parentPath(key); !a.empty(); a = parentPath(a)) {
        if (const auto hit = m_sizes.find(a); hit != m_sizes.end())
            hit->second.bytes = std::max<qint64>(0, hit->second.bytes + measured->bytes - before);
    }
    return measured;
}

void StorageScanner::reset()
{
    QMutexLocker lock(&m_mutex);
    std::unique_lock write(m_sizesLock);
    m_sizes.clear();
    m_owners.clear();
}

quint64 StorageScanner::folderReads() const
{
    return m_folderReads.load();
}

std::optional<StorageScanner::Measure> StorageScanner::cachedMeasure(const QByteArray &folder) const
{
    QMutexLocker lock(&m_mutex);
    const QByteArray path = standardized(folder);
    const auto hit = m_sizes.find(std::string_view(path.constData(), size_t(path.size())));
    if (hit == m_sizes.end())
        return std::nullopt;
    return hit->second;
}

int StorageScanner::cachedFolderCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_sizes.size());
}

void StorageScanner::setReadHook(std::function<void(const QByteArray &)> hook)
{
    QMutexLocker lock(&m_mutex);
    QMutexLocker hookLock(&m_hookMutex);
    m_hasReadHook.store(bool(hook), std::memory_order_release);
    m_readHook = std::move(hook);
}

std::optional<StorageScanner::Measure> StorageScanner::sharedLookup(const std::string &path) const
{
    std::shared_lock read(m_sizesLock);
    const auto hit = m_sizes.find(path);
    if (hit == m_sizes.end())
        return std::nullopt;
    return hit->second;
}
