#include "finders/AdvancedToolsViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/SafetyHelper.h"
#include "finders/DuplicateGroup.h"
#include "finders/FinderScans.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"

#include <QMutexLocker>
#include <QPromise>
#include <QtConcurrent>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <utility>

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

double spaceOf(const QList<FileItem> &copies)
{
    DuplicateGroup group;
    group.sizeMB = copies.isEmpty() ? 0 : copies.first().sizeMB;
    group.children = copies;
    return group.wastedMB();
}

// Erases the elements at `sorted` positions in one pass.
template <typename List> void eraseAt(List &list, const std::vector<qsizetype> &sorted)
{
    if (sorted.empty())
        return;
    auto out = list.begin() + sorted.front();
    size_t next = 0;
    for (qsizetype i = sorted.front(); i < qsizetype(list.size()); ++i) {
        if (next < sorted.size() && sorted[next] == i) {
            ++next;
            continue;
        }
        *out++ = std::move(list[i]);
    }
    list.erase(out, list.end());
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

AdvancedToolsViewModel::Listing AdvancedToolsViewModel::Listing::of(QList<FileItem> items,
                                                                    quint64 first)
{
    Listing listing;
    std::stable_sort(items.begin(), items.end(),
                     [](const FileItem &a, const FileItem &b) { return a.md5Hash < b.md5Hash; });
    listing.numbers.reserve(size_t(items.size()));
    listing.byPath.reserve(size_t(items.size()));
    for (qsizetype i = 0; i < items.size(); ++i) {
        listing.numbers.push_back(first + quint64(i));
        listing.byPath.emplace_back(bytesOf(items.at(i)), first + quint64(i));
    }
    std::sort(listing.byPath.begin(), listing.byPath.end());
    for (qsizetype a = 0, b = 0; a < items.size(); a = b) {
        const QString &key = items.at(a).md5Hash;
        for (b = a + 1; b < items.size() && items.at(b).md5Hash == key;)
            ++b;
        if (!key.isEmpty())
            listing.spaceMB += spaceOf(items.mid(a, b - a));
    }
    listing.items = std::move(items);
    return listing;
}

void AdvancedToolsViewModel::setListing(Listing listing, bool incomplete)
{
    Background::release(std::exchange(m_listing, std::move(listing)));
    m_incomplete = incomplete;
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
    std::vector<qsizetype> at = rowsCoveredBy(batch);
    if (!at.empty())
        dropAt(std::move(at), batch.id);
}

bool AdvancedToolsViewModel::lists(const QString &path) const
{
    // A name that is not UTF-8 shows with a stand-in character: only its row knows it.
    if (path.contains(QChar::ReplacementCharacter))
        return std::any_of(m_items.cbegin(), m_items.cend(),
                           [&](const FileItem &item) { return item.path == path; });
    return m_listing.holds(nativePath(path));
}

bool AdvancedToolsViewModel::Listing::holds(const QByteArray &bytes) const
{
    const auto it = std::lower_bound(byPath.begin(), byPath.end(), std::pair(bytes, quint64(0)));
    return it != byPath.end() && it->first == bytes;
}

qsizetype AdvancedToolsViewModel::positionOf(quint64 number) const
{
    const auto &numbers = m_listing.numbers;
    const auto it = std::lower_bound(numbers.begin(), numbers.end(), number);
    return it != numbers.end() && *it == number ? qsizetype(it - numbers.begin()) : -1;
}

std::vector<qsizetype> AdvancedToolsViewModel::rowsCoveredBy(const RemovalBatch &batch) const
{
    const auto &byPath = m_listing.byPath;
    std::vector<qsizetype> at;
    const auto take = [&](const QByteArray &from, const auto &inRange) {
        for (auto it = std::lower_bound(byPath.begin(), byPath.end(), std::pair(from, quint64(0)));
             it != byPath.end() && inRange(it->first); ++it) {
            const qsizetype p = positionOf(it->second);
            if (p >= 0 && batch.covers(bytesOf(m_items.at(p)), m_items.at(p).identity))
                at.push_back(p);
        }
    };
    for (const RemovedItem &item : batch.items) {
        for (const QByteArray &spelling : {item.path, item.resolvedPath}) {
            if (spelling.isEmpty())
                continue;
            take(spelling, [&](const QByteArray &bytes) { return bytes == spelling; });
            const QByteArray under = spelling == "/" ? spelling : spelling + '/';
            take(under, [&](const QByteArray &bytes) { return bytes.startsWith(under); });
        }
    }
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    return at;
}

QList<FileItem> AdvancedToolsViewModel::dropAt(std::vector<qsizetype> at, quint64 batch,
                                               bool announce)
{
    QList<FileItem> &items = m_listing.items;
    // Each group the rows leave is recounted once; a copy left alone goes with them.
    std::vector<qsizetype> lone;
    qsizetype recountedUpTo = 0;
    for (const qsizetype p : at) {
        const QString key = items.at(p).md5Hash;
        if (key.isEmpty() || p < recountedUpTo)
            continue;
        qsizetype a = p, b = p + 1;
        while (a > 0 && items.at(a - 1).md5Hash == key)
            --a;
        while (b < items.size() && items.at(b).md5Hash == key)
            ++b;
        recountedUpTo = b;
        std::vector<qsizetype> rest;
        for (qsizetype q = a; q < b; ++q) {
            if (!std::binary_search(at.begin(), at.end(), q))
                rest.push_back(q);
        }
        QList<FileItem> after;
        for (const qsizetype q : rest) {
            if (rest.size() < 2 && items.at(q).hardLinks.isEmpty())
                lone.push_back(q);
            else
                after.append(items.at(q));
        }
        m_listing.spaceMB += spaceOf(after) - spaceOf(items.mid(a, b - a));
    }
    at.insert(at.end(), lone.begin(), lone.end());
    std::sort(at.begin(), at.end());

    QList<FileItem> gone;
    gone.reserve(qsizetype(at.size()));
    std::vector<qsizetype> inByPath;
    auto &byPath = m_listing.byPath;
    for (const qsizetype p : at) {
        gone.append(items.at(p));
        const std::pair entry(bytesOf(items.at(p)), m_listing.numbers[size_t(p)]);
        const auto it = std::lower_bound(byPath.begin(), byPath.end(), entry);
        if (it != byPath.end() && *it == entry)
            inByPath.push_back(it - byPath.begin());
    }
    std::sort(inByPath.begin(), inByPath.end());
    eraseAt(byPath, inByPath);
    eraseAt(items, at);
    eraseAt(m_listing.numbers, at);

    if (batch != 0) {
        auto stash = std::find_if(m_dropped.begin(), m_dropped.end(),
                                  [&](const auto &dropped) { return dropped.first == batch; });
        if (stash == m_dropped.end()) {
            m_dropped.append(std::pair(batch, QList<FileItem>()));
            if (m_dropped.size() > 16)
                m_dropped.removeFirst();
            stash = m_dropped.end() - 1;
        }
        stash->second.append(gone);
    }
    // Let go first: the screens then move their focus off the rows that went.
    if (m_selectedItemPath && std::any_of(gone.cbegin(), gone.cend(), [&](const FileItem &item) {
            return item.path == *m_selectedItemPath;
        }))
        setSelectedItemPath(std::nullopt);
    if (announce && !gone.isEmpty()) {
        emit rowsDropped({gone});
        emit changed();
    }
    return gone;
}

void AdvancedToolsViewModel::dropNotOffered()
{
    // Judged on the pool: the lists are files, and the rows many.
    const QList<FileItem> items = m_items;
    const std::vector<quint64> numbers = m_listing.numbers;
    const QFuture<std::vector<quint64>> judged = Background::start([items, numbers] {
        std::vector<quint64> refused;
        const Exclusions exclusions = Exclusions::current();
        for (qsizetype i = 0; i < items.size(); ++i) {
            const FileItem &item = items.at(i);
            if (item.path.startsWith(QLatin1Char('/')) && !exclusions.offers(bytesOf(item)))
                refused.push_back(numbers[size_t(i)]);
        }
        return refused;
    });
    m_work.track(QFuture<void>(judged));
    whenFinished(this, judged, [this](const std::vector<quint64> &refused) {
        std::vector<qsizetype> at;
        for (const quint64 number : refused) {
            if (const qsizetype p = positionOf(number); p >= 0)
                at.push_back(p);
        }
        if (!at.empty())
            dropAt(std::move(at), 0);
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
    QList<FileItem> items = m_items;
    for (const FileItem &item : dropped) {
        const bool back = batch.covers(bytesOf(item), item.identity) ||
                          (!item.md5Hash.isEmpty() && groups.contains(item.md5Hash));
        if (back && !m_listing.holds(bytesOf(item)))
            items.append(item);
    }
    if (items.size() == m_items.size())
        return false;
    // Rare, and a new list: the copies go back beside the rest of their groups.
    setListing(Listing::of(items, ++m_lastListing << 32), m_incomplete);
    emit itemsChanged();
    emit changed();
    return true;
}

void AdvancedToolsViewModel::runScan(Work work, AppHost *appState)
{
    // The running scan is replaced, not stopped: it publishes nothing.
    for (const CancelToken &older : std::as_const(m_scans))
        older.cancel();
    const quint64 number = ++m_lastScan;
    const quint64 first = ++m_lastListing << 32;
    const CancelToken token;
    m_scans.insert(number, token);
    m_work.track(Background::start([this, work, appState, token, number, first] {
        QList<FileItem> found = offeredOnly(withoutVanished(work(appState, token)));
        dropLoneCopies(found);
        auto listing = std::make_shared<Listing>(Listing::of(std::move(found), first));
        QMetaObject::invokeMethod(
            this,
            [this, listing, token, number] {
                m_scans.remove(number);
                if (number == m_lastScan) {
                    setListing(std::move(*listing), token.isCancelled());
                    // What went while the scan ran may be in its list.
                    for (const RemovalBatch &batch : std::as_const(m_removedDuringScan))
                        dropAt(rowsCoveredBy(batch), 0, false);
                }
                if (m_scans.isEmpty())
                    m_removedDuringScan.clear();
                if (number == m_lastScan) {
                    emit itemsChanged();
                    emit changed();
                }
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
