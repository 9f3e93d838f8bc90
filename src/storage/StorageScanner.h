#pragma once

#include "exec/CancelToken.h"
#include "platform/DirectoryReader.h"
#include "platform/FileProperties.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

// One measured file or folder. Its location is kept as the exact path bytes on disk,
// so items whose names are not valid UTF-8 can still be measured and told apart;
// path(), url(), id() and name() decode leniently for display.
struct StorageEntry {
    QByteArray nativePath; // standardized absolute path, as the file system spells it
    qint64 bytes = 0;      // allocated bytes; a folder's measured total
    bool isDirectory = false;
    bool isPartial = false; // some folder inside could not be listed: bytes is a lower bound
    // As listed; a removal refuses anything else at the path.
    FileIdentity identity{};
    // A mount point of another file system: `bytes` stays 0 (none of it belongs to the
    // folder above) and `otherDiskUsed` is that file system's used space.
    bool isOtherDisk = false;
    qint64 otherDiskUsed = 0;
    // A folder excluded in Settings: never walked, shown with no size.
    bool isExcluded = false;
    // How it changed since the map measured it on an earlier day; `changedSince` is invalid
    // when there is no such measurement.
    qint64 changedBytes = 0;
    QDate changedSince{};

    static StorageEntry fromPath(const QString &path, qint64 bytes = 0, bool isDirectory = false,
                                 bool isPartial = false);

    QString path() const;
    QUrl url() const;
    QString id() const { return path(); }
    // "/" shows the volume's display name; anything else its last path component.
    QString name() const;

    friend bool operator==(const StorageEntry &, const StorageEntry &) = default;
};

size_t qHash(const StorageEntry &entry, size_t seed = 0);

// A byte count in decimal units, the way file managers show file sizes:
// "Zero KB", "1 byte", "999 bytes", "12 KB", "1.5 MB", "2.34 GB", "1.2 TB".
QString formatBytes(qint64 bytes);
// formatBytes of the entry's bytes, with "+" when the measurement is partial; for another
// disk, "Another disk · <used> used"; for an excluded folder, "Excluded".
QString sizeText(const StorageEntry &entry);

// Set by the caller to stop a running measurement; checked before every child.
inline CancelToken makeCancelToken()
{
    return CancelToken();
}

// Measures allocated sizes folder by folder, the way `du -s -B1 -x` counts them: every
// block below a folder, its own and its subfolders' included. Hard links count once,
// symbolic links are never followed (except the final link of a chosen folder), a
// measurement stays on the device of the folder measured and leaves out every mount
// below it and every folder excluded in Settings (on macOS, where the data volume is reached
// through firmlinks, the skipped mount points are the rule instead), and folder totals of 1,000,000
// bytes or more are cached so that browsing deeper is instant.
//
// A folder's subfolders are measured on a pool of the scanner's own threads. Every
// public operation takes the scanner's lock, so operations run one at a time and may be
// called from any thread; they block, so never call them on the main thread.
class StorageScanner {
public:
    struct Measure {
        qint64 bytes = 0;
        bool isPartial = false;
        // When the walk that measured it started and ended (RemovedItem::now()).
        qint64 startedAt = 0;
        qint64 endedAt = 0;
    };

    // Threads that measure one folder at once; 1 measures on the caller's thread only.
    static int defaultThreadCount();
    // In the background, the scanner's own threads run at a lower priority than the
    // caller's, so a window stays responsive while they are busy.
    enum class Priority { Normal, Background };
    explicit StorageScanner(int threads = defaultThreadCount(),
                            Priority priority = Priority::Normal);
    ~StorageScanner();
    StorageScanner(const StorageScanner &) = delete;
    StorageScanner &operator=(const StorageScanner &) = delete;

    // The folder's immediate children as full paths, in the order the file system
    // lists them; empty on any error and inside an excluded folder. A folder given as a
    // symbolic link is followed.
    QList<QByteArray> listing(const QByteArray &folder);
    // Nothing when the item cannot be read or the token is (or becomes) cancelled. A
    // mount point (another device, or mounted over a folder of this one) is an empty
    // folder here: it can be opened on its own, but its bytes belong to no folder above.
    std::optional<StorageEntry> entry(const QByteArray &item, const CancelToken &cancel = {});
    // Called on a measuring thread as the measurement of each child folder starts.
    using ChildStarted = std::function<void(const QByteArray &child)>;
    // Every readable child, largest first (equal sizes keep listing order), measured as
    // one measurement: a file with names in several children is charged to the child
    // whose path sorts first (a direct child that is such a file too), as `du -s` given
    // the children in sorted order charges it, whatever order they are read in. When the
    // token is (or becomes) cancelled, only the children known without measuring: files,
    // and folders whose totals were cached.
    QList<StorageEntry> children(const QByteArray &folder, const CancelToken &cancel = {},
                                 const ChildStarted &started = {});
    // After an item was moved away: drops its cached totals and those below it, and
    // takes `bytes` off every cached ancestor (not below 0). When the move's time is
    // known (between `movingSince` and `movedBy`, RemovedItem::now()), an ancestor
    // measured after it is left alone, and one whose measurement overlapped it is
    // dropped to be measured again: either may or may not have counted the item.
    void forget(const QByteArray &item, qint64 bytes, qint64 movingSince = 0, qint64 movedBy = 0);
    // After an item was moved to the Trash, which may lie inside a measured folder: the
    // bytes leave the item's cached ancestors that do not hold the Trash, arrive in the
    // cached folders above the Trash up to the first folder holding both, and the
    // Trash's own totals are measured again.
    void movedToTrash(const QByteArray &item, qint64 bytes, qint64 movingSince = 0,
                      qint64 movedBy = 0);
    // Measures the folder again from the disk, nothing of it from the cache, and moves the
    // cached totals of the folders above it by the difference (`listed` is what it measured
    // before when its total was not cached). Nothing when cancelled.
    std::optional<StorageEntry> remeasure(const QByteArray &folder, qint64 listed,
                                          const CancelToken &cancel = {});
    // Drops every cached total and which name each hard link is charged to.
    void reset();

    // Whether the path is one of the mount points never measured (exact match,
    // trailing slashes ignored).
    static bool isSkipped(const QString &path);
    // "." and ".." folded, repeated and trailing slashes dropped; links not resolved.
    static QByteArray standardized(const QByteArray &path);

    // Folder totals below this are measured again on every request.
    static constexpr qint64 cacheThreshold = 1'000'000;

    // Test seams: how many folders were listed from disk so far, the cached total of a
    // folder, and a hook called (on a measuring thread, one call at a time) before each
    // folder is listed.
    quint64 folderReads() const;
    // How many folders measurements have come upon so far (each is read once, unless a
    // measurement stops first): with folderReads(), how far a measurement has come.
    quint64 foldersFound() const { return m_foldersFound.load(std::memory_order_relaxed); }
    std::optional<Measure> cachedMeasure(const QByteArray &folder) const;
    int cachedFolderCount() const;
    void setReadHook(std::function<void(const QByteArray &folder)> hook);
    int threadCount() const { return m_threads; }

private:
    struct Walk;
    struct Folder;
    struct Found;
    struct OpenFolder;
    struct Settings;
    static StorageEntry otherDisk(const QByteArray &path, const DirectoryReader::Node &node,
                                  const Settings &settings);
    struct PathHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const noexcept
        {
            return std::hash<std::string_view>{}(s);
        }
    };
    struct IdHash {
        size_t operator()(const FileId &id) const noexcept { return qHash(id); }
    };

    QList<QByteArray> listingLocked(const QByteArray &folder);
    std::optional<StorageEntry> entryLocked(const QByteArray &item, const Settings &settings,
                                            const CancelToken *cancel);
    std::optional<Measure> measureFolder(const QByteArray &path, const Settings &settings,
                                         const CancelToken *cancel);
    // Runs a walk whose roots are queued; false when it was interrupted.
    bool finish(const std::shared_ptr<Walk> &walk);
    void work(const std::shared_ptr<Walk> &walk);
    void readFolder(Walk &walk, DirectoryReader &dir, Folder &folder, std::string &path,
                    const OpenFolder *parent, Found &found);
    // A cached total, read by the measuring threads.
    std::optional<Measure> sharedLookup(const std::string &path) const;
    void settle(Walk &walk);
    void dropBelow(const std::string &key, bool itself);

    const int m_threads;
    const Priority m_priority;
    QThreadPool m_pool;
    mutable QMutex m_mutex;
    std::unordered_map<std::string, Measure, PathHash, std::equal_to<>> m_sizes;
    // Guards m_sizes against a stopped walk's threads, which may still read it for a
    // moment after their operation returned; the operation lock orders everything else.
    mutable std::shared_mutex m_sizesLock;
    // Which name of each multiply-linked file carries its bytes: the first by path (each
    // component compared in turn) among the names the first measurement to meet it saw.
    // Every folder holding that name counts the file, every other folder never.
    std::unordered_map<FileId, std::string, IdHash> m_owners;
    std::atomic<quint64> m_folderReads{0};
    std::atomic<quint64> m_foldersFound{0};
    QMutex m_hookMutex;
    std::atomic_bool m_hasReadHook{false};
    std::function<void(const QByteArray &)> m_readHook;
};
