#include "finders/AdvancedToolsViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/SafetyHelper.h"
#include "finders/FinderScans.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"

#include <QMutexLocker>
#include <QPromise>
#include <QtConcurrent>

#include <cerrno>
#include <memory>

#include <sys/stat.h>

namespace {

QByteArray bytesOf(const FileItem &item)
{
    return item.nativePath.isEmpty() ? nativePath(item.path) : item.nativePath;
}

// Rows that name a path which is gone by the time the scan ends (a file moved to the
// Trash meanwhile must not come back). A row that is no path (a Java listing line) and
// one the system only refuses to describe stay.
QList<FileItem> withoutVanished(QList<FileItem> items)
{
    items.removeIf([](const FileItem &item) {
        if (!item.path.startsWith(QLatin1Char('/')))
            return false;
        struct stat st;
        return ::lstat(bytesOf(item).constData(), &st) != 0 &&
               (errno == ENOENT || errno == ENOTDIR);
    });
    return items;
}

// Rows a finder must not offer: inside a folder excluded in Settings or on the keep list,
// or every row while those lists cannot be read. A row that is no path stays.
QList<FileItem> offeredOnly(QList<FileItem> items)
{
    const Exclusions exclusions = Exclusions::current();
    items.removeIf([&](const FileItem &item) {
        return item.path.startsWith(QLatin1Char('/')) && !exclusions.offers(bytesOf(item));
    });
    return items;
}

// A duplicate whose group has no other copy left is no duplicate; a file whose other
// names the scan found still shows as their row.
void dropLoneCopies(QList<FileItem> &items)
{
    QHash<QString, int> copies;
    for (const FileItem &item : std::as_const(items)) {
        if (!item.md5Hash.isEmpty())
            ++copies[item.md5Hash];
    }
    items.removeIf([&](const FileItem &item) {
        return !item.md5Hash.isEmpty() && copies.value(item.md5Hash) < 2 &&
               item.hardLinks.isEmpty();
    });
}

bool removedIn(const QList<RemovalBatch> &batches, const FileItem &item)
{
    return std::any_of(batches.cbegin(), batches.cend(), [&](const RemovalBatch &batch) {
        return batch.covers(bytesOf(item), item.identity);
    });
}

} // namespace

AdvancedToolsViewModel::AdvancedToolsViewModel(QObject *parent) : QObject(parent)
{
    connect(RemovalHub::instance(), &RemovalHub::removed, this,
            &AdvancedToolsViewModel::dropRemoved);
}

AdvancedToolsViewModel::~AdvancedToolsViewModel()
{
    cancelScans();
    waitForTasks();
}

void AdvancedToolsViewModel::cancelScans()
{
    for (const CancelToken &token : std::as_const(m_scans))
        token.cancel();
}

void AdvancedToolsViewModel::waitForTasks()
{
    m_work.waitForAll();
}

void AdvancedToolsViewModel::setSelectedItemPath(const std::optional<QString> &path)
{
    if (m_selectedItemPath == path)
        return;
    m_selectedItemPath = path;
    emit selectedItemPathChanged();
    emit changed();
}

void AdvancedToolsViewModel::setItems(const QList<FileItem> &items, bool incomplete)
{
    m_items = items;
    m_incomplete = incomplete;
    emit itemsChanged();
    emit changed();
}

void AdvancedToolsViewModel::removeItem(const QByteArray &nativePath, quint64 batch)
{
    RemovalBatch moved;
    moved.id = batch;
    moved.items.append({nativePath, {}, {}, -1, {}});
    dropRemoved(moved);
}

void AdvancedToolsViewModel::dropRemoved(const RemovalBatch &batch)
{
    if (!m_scans.isEmpty())
        m_removedDuringScan.append(batch);
    dropRows([&](const FileItem &item) { return batch.covers(bytesOf(item), item.identity); },
             batch.id);
}

void AdvancedToolsViewModel::dropNotOffered()
{
    // Judged on the pool: the lists are files, and the rows many.
    const QList<FileItem> items = m_items;
    const QFuture<QSet<QString>> judged = Background::start([items] {
        QSet<QString> refused;
        const Exclusions exclusions = Exclusions::current();
        for (const FileItem &item : items) {
            if (item.path.startsWith(QLatin1Char('/')) && !exclusions.offers(bytesOf(item)))
                refused.insert(item.path);
        }
        return refused;
    });
    m_work.track(QFuture<void>(judged));
    whenFinished(this, judged, [this](const QSet<QString> &refused) {
        if (!refused.isEmpty())
            dropRows([&](const FileItem &item) { return refused.contains(item.path); });
    });
}

bool AdvancedToolsViewModel::restore(const RemovalBatch &batch)
{
    const auto stash = std::find_if(m_dropped.begin(), m_dropped.end(),
                                    [&](const auto &dropped) { return dropped.first == batch.id; });
    if (batch.id == 0 || stash == m_dropped.end())
        return false;
    const QList<FileItem> dropped = stash->second;
    m_dropped.erase(stash);
    QSet<QString> groups;
    for (const FileItem &item : dropped) {
        if (batch.covers(bytesOf(item), item.identity) && !item.md5Hash.isEmpty())
            groups.insert(item.md5Hash);
    }
    QSet<QString> listed;
    for (const FileItem &item : std::as_const(m_items))
        listed.insert(item.path);
    QList<FileItem> items = m_items;
    for (const FileItem &item : dropped) {
        const bool back = batch.covers(bytesOf(item), item.identity) ||
                          (!item.md5Hash.isEmpty() && groups.contains(item.md5Hash));
        if (back && !listed.contains(item.path))
            items.append(item);
    }
    if (items.size() == m_items.size())
        return false;
    std::stable_sort(items.begin(), items.end(),
                     [](const FileItem &a, const FileItem &b) { return a.md5Hash < b.md5Hash; });
    setItems(items, m_incomplete);
    return true;
}

void AdvancedToolsViewModel::dropRows(const std::function<bool(const FileItem &)> &gone,
                                      quint64 batch)
{
    QList<FileItem> kept = m_items;
    kept.removeIf(gone);
    dropLoneCopies(kept);
    if (kept.size() == m_items.size())
        return;
    if (batch != 0) {
        QSet<QString> left;
        for (const FileItem &item : std::as_const(kept))
            left.insert(item.path);
        auto stash = std::find_if(m_dropped.begin(), m_dropped.end(),
                                  [&](const auto &dropped) { return dropped.first == batch; });
        if (stash == m_dropped.end()) {
            m_dropped.append(std::pair(batch, QList<FileItem>()));
            if (m_dropped.size() > 16)
                m_dropped.removeFirst();
            stash = m_dropped.end() - 1;
        }
        for (const FileItem &item : std::as_const(m_items)) {
            if (!left.contains(item.path))
                stash->second.append(item);
        }
    }
    QSet<QString> listed;
    for (const FileItem &item : std::as_const(kept))
        listed.insert(item.path);
    setItems(kept, m_incomplete);
    if (m_selectedItemPath && !listed.contains(*m_selectedItemPath))
        setSelectedItemPath(std::nullopt);
}

void AdvancedToolsViewModel::runScan(Work work, AppHost *appState)
{
    // The running scan is replaced, not stopped: it publishes nothing.
    for (const CancelToken &older : std::as_const(m_scans))
        older.cancel();
    const quint64 number = ++m_lastScan;
    const CancelToken token;
    m_scans.insert(number, token);
    m_work.track(Background::start([this, work, appState, token, number] {
        const QList<FileItem> found = offeredOnly(withoutVanished(work(appState, token)));
        QMetaObject::invokeMethod(
            this,
            [this, found, token, number] {
                m_scans.remove(number);
                QList<FileItem> published = found;
                published.removeIf(
                    [&](const FileItem &item) { return removedIn(m_removedDuringScan, item); });
                dropLoneCopies(published);
                if (m_scans.isEmpty())
                    m_removedDuringScan.clear();
                if (number == m_lastScan)
                    setItems(published, token.isCancelled());
            },
            Qt::QueuedConnection);
    }));
}

void AdvancedToolsViewModel::scanLargeFiles(AppHost *appState)
{
    runScan(&FinderScans::findLargeFiles, appState);
}

void AdvancedToolsViewModel::scanInstallers(AppHost *appState)
{
    runScan(&FinderScans::findInstallers, appState);
}

void AdvancedToolsViewModel::scanRuntimes(AppHost *appState)
{
    runScan(&FinderScans::findRuntimes, appState);
}

void AdvancedToolsViewModel::scanDuplicates(AppHost *appState)
{
    runScan(&FinderScans::findDuplicates, appState);
}

QFuture<SafetyHelper::Outcome> AdvancedToolsViewModel::trash(const QString &path, AppHost *appState,
                                                             const RemovalHub::Batch &batch)
{
    // Finished on the main thread after the list is updated, so whoever waits for the
    // outcome sees the list without the item.
    auto promise = std::make_shared<QPromise<SafetyHelper::Outcome>>();
    promise->start();
    const QFuture<SafetyHelper::Outcome> done = promise->future();
    // The row's own bytes and identity; a path no row has must stand for exactly one name
    // on disk, and one that rows name by different bytes stands for none.
    const FileItem *row = nullptr;
    bool ambiguous = false;
    for (const FileItem &item : std::as_const(m_items)) {
        if (item.path != path)
            continue;
        ambiguous = ambiguous || (row && bytesOf(*row) != bytesOf(item));
        row = row ? row : &item;
    }
    std::optional<QByteArray> native;
    std::optional<FileIdentity> listed;
    if (row && !ambiguous) {
        native = bytesOf(*row);
        listed = row->identity;
    } else if (!row) {
        native = SafetyHelper::exactNativePath(path);
    }
    if (!native) {
        if (appState)
            appState->addLog(QStringLiteral("stderr"),
                             QStringLiteral("Not moved to the Trash: the name of ") + path +
                                 QStringLiteral(" cannot be read exactly."));
        promise->addResult(
            SafetyHelper::Outcome{false, QStringLiteral("The name cannot be read exactly.")});
        promise->finish();
        return done;
    }
    const quint64 batchId = batch.id();
    m_work.track(
        Background::start([this, native = *native, listed, appState, promise, batch, batchId] {
            const RemovalHub::Joined joined(batch);
            const SafetyHelper::Outcome outcome =
                listed ? SafetyHelper::moveNativeToTrash(native, *listed, appState)
                       : SafetyHelper::moveNativeToTrash(native, appState);
            QMetaObject::invokeMethod(
                this,
                [this, native, outcome, promise, batchId] {
                    if (outcome.ok)
                        removeItem(native, batchId);
                    promise->addResult(outcome);
                    promise->finish();
                },
                Qt::QueuedConnection);
        }));
    return done;
}

QList<DuplicateGroupRecord> AdvancedToolsViewModel::duplicateGroups(const QStringList &paths)
{
    return DuplicateFinder::groups(paths);
}

// Compiled here rather than with every other model's meta-object code: the storage
// scanner's headers name a different token type the same way.
#include "moc_AdvancedToolsViewModel.cpp"
