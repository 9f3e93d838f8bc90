#include "storage/StorageViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/SafetyHelper.h"
#include "exec/ScanProgress.h"
#include "platform/BytePath.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"
#include "platform/RemovalHub.h"

#include <QMutex>
#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

QByteArray nativeFolder(const QString &path)
{
    return StorageScanner::standardized(nativePath(path));
}

bool isSameOrBelow(const QByteArray &path, const QByteArray &item)
{
    if (path == item)
        return true;
    const QByteArray prefix = item == "/" ? item : item + '/';
    return path.startsWith(prefix);
}

// What a folder another tab moved to the Trash held, as the cache counted it: its own
// total when it was cached, else (it was measured afresh each time, being small) what it
// holds in the Trash now; nothing when no folder above it was ever measured.
qint64 removedFolderBytes(StorageScanner &scanner, const RemovedItem &item)
{
    if (const auto cached = scanner.cachedMeasure(item.path))
        return cached->bytes;
    for (QByteArray up = BytePath::parentOf(item.path);; up = BytePath::parentOf(up)) {
        if (scanner.cachedMeasure(up)) {
            const auto there = scanner.entry(item.trashed.trashedNativePath);
            return there ? there->bytes : 0;
        }
        if (up == "/")
            return 0;
    }
}

void sortLargestFirst(QList<StorageEntry> &entries)
{
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const StorageEntry &a, const StorageEntry &b) { return a.bytes > b.bytes; });
}

} // namespace

QString StorageViewModel::title(Order order)
{
    return order == Order::largest ? QStringLiteral("Largest") : QStringLiteral("Grew Most");
}

void StorageViewModel::sort(Column &column, Order order)
{
    if (order == Order::largest) {
        sortLargestFirst(column);
        return;
    }
    // What has no history sorts after what does, largest first among itself.
    std::stable_sort(
        column.begin(), column.end(), [](const StorageEntry &a, const StorageEntry &b) {
            if (a.changedSince.isValid() != b.changedSince.isValid())
                return a.changedSince.isValid();
            return a.changedSince.isValid() ? a.changedBytes > b.changedBytes : a.bytes > b.bytes;
        });
}

void StorageViewModel::setOrder(Order order)
{
    if (m_order == order)
        return;
    m_order = order;
    emit orderChanged();
    emit changed();
    QList<Column> columns = m_columns;
    QFuture<QList<Column>> sorted = Background::start([columns, order]() mutable {
        for (Column &c : columns)
            sort(c, order);
        return columns;
    });
    m_pending.track(QFuture<void>(sorted));
    const quint64 version = m_columnsVersion;
    whenFinished(this, sorted, [this, version, order](const QList<Column> &columns) {
        // Anything that changed the columns meanwhile was sorted the new way already.
        if (m_order == order && m_columnsVersion == version)
            setColumns(columns);
    });
}

struct StorageViewModel::LoadProgress {
    const QString folder; // the name of the folder whose children are measured
    QMutex mutex;
    QByteArray child; // the last one started; empty before the first
};

StorageViewModel::StorageViewModel(QObject *parent)
    : QObject(parent),
      m_scanner(std::make_shared<StorageScanner>(StorageScanner::defaultThreadCount(),
                                                 StorageScanner::Priority::Background)),
      m_history(std::make_shared<MapHistory>())
{
    QString stored = Preferences::stringValue(QLatin1String(rootKey), QStringLiteral("/"));
    stored = SafetyHelper::standardizedPath(stored);
    m_root = stored.startsWith(QLatin1Char('/')) ? stored : QStringLiteral("/");
    connect(RemovalHub::instance(), &RemovalHub::removed, this, &StorageViewModel::dropRemoved);
}

StorageViewModel::~StorageViewModel()
{
    cancelLoad();
    cancelRebuild();
    // Pool work publishes through this object; let it end before the object goes.
    m_pending.waitForAll();
}

std::optional<StorageEntry> StorageViewModel::chosen() const
{
    for (auto it = m_selection.crbegin(); it != m_selection.crend(); ++it) {
        if (*it)
            return *it;
    }
    return std::nullopt;
}

StorageViewModel::Column StorageViewModel::lastColumn() const
{
    return m_columns.isEmpty() ? Column() : m_columns.last();
}

QString StorageViewModel::rootName() const
{
    return StorageEntry{nativeFolder(m_root)}.name();
}

std::optional<QString> StorageViewModel::headerDetail() const
{
    if (m_columns.isEmpty())
        return std::nullopt;
    qint64 total = 0;
    bool partial = false;
    for (const StorageEntry &e : m_columns.first()) {
        total += e.bytes;
        partial = partial || e.isPartial;
    }
    return formatBytes(total) + (partial ? QStringLiteral("+") : QString()) +
           QStringLiteral(" in ") + rootName();
}

void StorageViewModel::setRoot(const QString &root)
{
    if (m_root == root)
        return;
    m_root = root;
    emit rootChanged(root);
    emit changed();
}

void StorageViewModel::setColumns(const QList<Column> &columns)
{
    // A stopped column that is no longer shown, or is shown measured afresh, is whole.
    if (m_incompleteColumn >= columns.size() ||
        (m_incompleteColumn >= 0 &&
         columns.value(m_incompleteColumn) != m_columns.value(m_incompleteColumn)))
        setIncompleteColumn(-1);
    if (m_columns == columns)
        return;
    m_columns = columns;
    ++m_columnsVersion;
    emit columnsChanged();
    emit changed();
}

void StorageViewModel::setSelection(const QList<std::optional<StorageEntry>> &selection)
{
    if (m_selection == selection)
        return;
    m_selection = selection;
    emit selectionChanged();
    emit changed();
}

void StorageViewModel::setLoadingFolder(const std::optional<QString> &label)
{
    if (m_loadingFolder == label)
        return;
    m_loadingFolder = label;
    emit loadingFolderChanged();
    emit changed();
}

void StorageViewModel::cancelLoad()
{
    if (m_loadToken)
        m_loadToken->cancel();
    m_loadToken.reset();
    endProgress();
}

void StorageViewModel::setIncompleteColumn(int column)
{
    if (m_incompleteColumn == column)
        return;
    const bool was = isIncomplete();
    m_incompleteColumn = column;
    if (was == isIncomplete())
        return;
    emit incompleteChanged();
    emit changed();
}

void StorageViewModel::open(const QString &folder)
{
    QString path = SafetyHelper::standardizedPath(folder);
    if (!path.startsWith(QLatin1Char('/')))
        path = QStringLiteral("/");
    // A rebuild after a move would bring back the old root's columns.
    cancelRebuild();
    ++m_opened;
    setRoot(path);
    setColumns({});
    setSelection({});
    load(nativeFolder(path), 0);
}

void StorageViewModel::choose(const StorageEntry &entry, int column)
{
    if (column < 0 || column >= m_columns.size())
        return;
    // Any choice replaces the folder a running load measures (or drops its column),
    // so that load would publish a column for a folder no longer chosen.
    cancelLoad();
    setLoadingFolder(std::nullopt);
    setColumns(m_columns.first(column + 1));
    QList<std::optional<StorageEntry>> selection = m_selection;
    selection.resize(column); // drops later choices, or pads with none
    selection.emplaceBack(entry);
    setSelection(selection);
    // An excluded folder is never walked into.
    if (entry.isDirectory && !entry.isExcluded)
        load(entry.nativePath, column + 1);
}

void StorageViewModel::chooseInMap(const StorageEntry &entry)
{
    for (qsizetype i = m_columns.size() - 1; i >= 0; --i) {
        if (m_columns[i].contains(entry)) {
            choose(entry, int(i));
            return;
        }
    }
}

void StorageViewModel::rescanFolder()
{
    QByteArray folder = nativeFolder(m_root);
    qint64 listed = 0;
    for (auto it = m_selection.crbegin(); it != m_selection.crend(); ++it) {
        if (*it && (*it)->isDirectory) {
            folder = (*it)->nativePath;
            listed = (*it)->bytes;
            break;
        }
    }
    cancelLoad();
    cancelRebuild();
    const QString label = StorageEntry{folder}.name();
    setLoadingFolder(label);
    const CancelToken token = makeCancelToken();
    m_loadToken = token;
    startProgress(QStringLiteral("Measuring ") + label, token);
    const auto scanner = m_scanner;
    QFuture<bool> work = Background::start([scanner, folder, listed, token] {
        return scanner->remeasure(folder, listed, token).has_value();
    });
    m_pending.track(QFuture<void>(work));
    whenFinished(this, work, [this, token](bool measured) {
        if (token != m_loadToken)
            return;
        m_loadToken.reset();
        endProgress();
        setLoadingFolder(std::nullopt);
        // Stopped, it changed nothing the columns show.
        if (measured)
            rebuild([](const QByteArray &) { return false; }, [] {});
    });
}

void StorageViewModel::load(const QByteArray &folder, int column)
{
    cancelLoad();
    const QByteArray path = StorageScanner::standardized(folder);
    const QString label = StorageEntry{path}.name();
    setLoadingFolder(label);

    const CancelToken token = makeCancelToken();
    m_loadToken = token;
    startProgress(QStringLiteral("Measuring ") + label, token);
    m_loadProgress = std::make_shared<LoadProgress>(label);
    const auto scanner = m_scanner;
    const auto history = m_history;
    const Order order = m_order;
    const auto progress = m_loadProgress;
    QFuture<void> work =
        Background::start([this, scanner, history, order, token, path, column, progress] {
            // The children are one measurement, so which of them carries a file with several
            // names does not depend on the order they are read in. Stopped, only the children
            // known without measuring come back.
            QList<StorageEntry> kept =
                scanner->children(path, token, [progress](const QByteArray &child) {
                    QMutexLocker lock(&progress->mutex);
                    progress->child = child;
                });
            const bool stopped = token.isCancelled();
            // Only a whole measurement is one to compare with later.
            if (!stopped)
                history->record(path, kept);
            sort(kept, order);
            QMetaObject::invokeMethod(
                this,
                [this, token, path, column, kept, stopped] {
                    // Another choice replaced this measurement: it shows nothing. Stopped from
                    // the banner, it shows what it got to.
                    if (token != m_loadToken)
                        return;
                    m_loadToken.reset();
                    endProgress();
                    // The column belongs after the folder it lists; a rebuild in between
                    // may have removed that folder from the path.
                    const bool fits = column == 0 ? path == nativeFolder(m_root)
                                                  : column <= m_columns.size() &&
                                                        column <= m_selection.size() &&
                                                        m_selection[column - 1] &&
                                                        m_selection[column - 1]->nativePath == path;
                    if (fits) {
                        QList<Column> columns = m_columns.first(column);
                        columns.append(kept);
                        setColumns(columns);
                        setSelection(m_selection.first(column));
                        if (stopped)
                            setIncompleteColumn(column);
                    }
                    setLoadingFolder(std::nullopt);
                },
                Qt::QueuedConnection);
        });
    m_pending.track(work);
}

void StorageViewModel::startProgress(const QString &label, const CancelToken &token)
{
    endProgress();
    m_progress = std::make_unique<ScanProgress>(m_host, label, token);
    if (!m_progressTimer) {
        m_progressTimer = new QTimer(this);
        m_progressTimer->setInterval(100);
    }
    // Folders read of folders come upon so far; the share means something only once no
    // more are being come upon.
    const quint64 readsBefore = m_scanner->folderReads();
    const quint64 foundBefore = m_scanner->foldersFound();
    auto lastFound = std::make_shared<qint64>(-1);
    m_progressTimer->disconnect();
    connect(m_progressTimer, &QTimer::timeout, this, [this, readsBefore, foundBefore, lastFound] {
        if (!m_progress)
            return;
        const qint64 done = qint64(m_scanner->folderReads() - readsBefore);
        const qint64 found = qint64(m_scanner->foldersFound() - foundBefore) + 1;
        m_progress->setCounted(done, qMax(done, found), found == *lastFound);
        *lastFound = found;
        // A folder of thousands of children would otherwise queue an update per child.
        if (!m_loadProgress)
            return;
        QByteArray child;
        {
            QMutexLocker lock(&m_loadProgress->mutex);
            child = m_loadProgress->child;
        }
        if (!child.isEmpty())
            setLoadingFolder(m_loadProgress->folder + QStringLiteral(" › ") +
                             StorageEntry{child}.name());
    });
    m_progressTimer->start();
}

void StorageViewModel::endProgress()
{
    if (m_progressTimer)
        m_progressTimer->stop();
    m_progress.reset();
    m_loadProgress.reset();
}

QFuture<SafetyHelper::Outcome> StorageViewModel::trash(const StorageEntry &entry, AppHost *appState)
{
    auto promise = std::make_shared<QPromise<SafetyHelper::Outcome>>();
    promise->start();
    QFuture<SafetyHelper::Outcome> result = promise->future();
    const auto scanner = m_scanner;
    const RemovalHub::Batch batch(QStringLiteral("storage"));
    m_ownBatches.insert(batch.id());

    // The listing's own bytes go to the Trash, so a name that is not valid UTF-8 is
    // judged and moved as itself.
    QFuture<SafetyHelper::Outcome> moved = Background::start([scanner, entry, appState, batch] {
        const RemovalHub::Joined joined(batch);
        const qint64 movingSince = RemovedItem::now();
        const SafetyHelper::Outcome outcome =
            SafetyHelper::moveNativeToTrash(entry.nativePath, entry.identity, appState);
        if (outcome.ok)
            scanner->movedToTrash(entry.nativePath, entry.bytes, movingSince, RemovedItem::now());
        return outcome;
    });
    m_pending.track(QFuture<void>(moved));

    // Through guarded watchers: when the model goes first, nothing runs on it.
    const quint64 opened = m_opened;
    const quint64 id = batch.id();
    whenFinished(this, moved, [this, entry, promise, opened, id](SafetyHelper::Outcome outcome) {
        if (!outcome.ok)
            m_ownBatches.remove(id);
        // A folder opened since then replaced the columns this rebuild would restore.
        if (!outcome.ok || opened != m_opened) {
            promise->addResult(outcome);
            promise->finish();
            return;
        }
        // The move itself happened either way; only the picture waits.
        rebuild([entry](const QByteArray &path) { return isSameOrBelow(path, entry.nativePath); },
                [promise, outcome] {
                    promise->addResult(outcome);
                    promise->finish();
                });
    });
    return result;
}

void StorageViewModel::rebuild(const std::function<bool(const QByteArray &)> &gone,
                               const std::function<void()> &done)
{
    // The folders to show again: the root and every chosen folder, except what went and
    // anything that was inside it.
    QList<QByteArray> folders{nativeFolder(m_root)};
    for (const std::optional<StorageEntry> &e : m_selection) {
        if (e && e->isDirectory && !gone(e->nativePath))
            folders.append(e->nativePath);
    }
    cancelRebuild();
    const CancelToken token = makeCancelToken();
    m_rebuildToken = token;
    const auto scanner = m_scanner;
    const auto history = m_history;
    const Order order = m_order;
    QFuture<QList<Column>> rebuilt = Background::start([scanner, history, order, folders, token] {
        QList<Column> columns;
        for (const QByteArray &folder : folders) {
            if (token.isCancelled())
                break;
            Column children = scanner->children(folder, token);
            if (!token.isCancelled())
                history->record(folder, children);
            sort(children, order);
            columns.append(children);
        }
        return columns;
    });
    m_pending.track(QFuture<void>(rebuilt));
    whenFinished(this, rebuilt, [this, folders, done, token](const QList<Column> &columns) {
        if (!token.isCancelled()) {
            if (m_rebuildToken == token)
                m_rebuildToken.reset();
            publishRebuilt(folders, columns);
        }
        done();
    });
}

void StorageViewModel::dropRemoved(const RemovalBatch &batch)
{
    if (m_ownBatches.remove(batch.id))
        return;
    // Each item's bytes as this map measured them, when it shows them.
    QHash<QByteArray, qint64> shown;
    for (const Column &column : std::as_const(m_columns)) {
        for (const StorageEntry &e : column)
            shown.insert(e.nativePath, e.bytes);
    }
    const QByteArray root = nativeFolder(m_root);
    bool affectsColumns = false;
    for (const RemovedItem &item : batch.items)
        affectsColumns = affectsColumns || BytePath::isSameOrInside(item.path, root) ||
                         BytePath::isSameOrInside(root, item.path);
    const auto scanner = m_scanner;
    QFuture<void> corrected = Background::start([scanner, batch, shown] {
        if (scanner->cachedFolderCount() == 0)
            return;
        for (const RemovedItem &item : batch.items) {
            qint64 bytes = shown.value(item.path, item.allocatedBytes);
            if (bytes < 0)
                bytes = removedFolderBytes(*scanner, item);
            scanner->movedToTrash(item.path, bytes, item.movingSince, item.movedBy);
        }
    });
    m_pending.track(corrected);
    if (!affectsColumns)
        return;
    const quint64 opened = m_opened;
    whenFinished(this, corrected, [this, batch, opened] {
        if (opened == m_opened)
            rebuild([batch](const QByteArray &path) { return batch.covers(path); }, [] {});
    });
}

void StorageViewModel::showRestored(const RemovalBatch &batch)
{
    const auto scanner = m_scanner;
    const QByteArray trash =
        StorageScanner::standardized(nativePath(Locations::current().trashMeasureRoot));
    // Each item arrives where it was (nothing of it was cached there) and leaves the
    // Trash; folders holding both see both.
    QFuture<void> corrected = Background::start([scanner, batch, trash] {
        if (scanner->cachedFolderCount() == 0)
            return;
        for (const RemovedItem &item : batch.items)
            scanner->remeasure(item.path, 0);
        if (!trash.isEmpty())
            scanner->remeasure(trash, 0);
    });
    m_pending.track(corrected);
    const quint64 opened = m_opened;
    whenFinished(this, corrected, [this, opened] {
        if (opened == m_opened)
            rebuild([](const QByteArray &) { return false; }, [] {});
    });
}

void StorageViewModel::forgetMeasurements()
{
    cancelLoad();
    cancelRebuild();
    const auto scanner = m_scanner;
    QFuture<void> forgot = Background::start([scanner] { scanner->reset(); });
    m_pending.track(forgot);
    const QString root = m_root;
    const bool shown = !m_columns.isEmpty();
    whenFinished(this, forgot, [this, root, shown] {
        if (shown && root == m_root)
            open(root);
    });
}

void StorageViewModel::publishRebuilt(const QList<QByteArray> &folders,
                                      const QList<Column> &columns)
{
    QList<std::optional<StorageEntry>> selection;
    for (qsizetype i = 0; i + 1 < folders.size(); ++i) {
        std::optional<StorageEntry> match;
        for (const StorageEntry &e : columns[i]) {
            if (e.nativePath == folders[i + 1]) {
                match = e;
                break;
            }
        }
        selection.append(match);
    }
    setColumns(columns);
    setSelection(selection);
}

void StorageViewModel::cancelRebuild()
{
    if (m_rebuildToken)
        m_rebuildToken->cancel();
    m_rebuildToken.reset();
}

void StorageViewModel::refreshVolumes()
{
    if (m_readingVolumes)
        return;
    m_readingVolumes = true;
    m_pending.track(Background::start([this] {
        const QList<Volume> volumes = Volumes::list();
        QMetaObject::invokeMethod(
            this,
            [this, volumes] {
                m_readingVolumes = false;
                m_volumes = volumes;
                emit volumesChanged();
                emit changed();
            },
            Qt::QueuedConnection);
    }));
}
