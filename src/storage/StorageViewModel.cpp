#include "storage/StorageViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/SafetyHelper.h"
#include "platform/Preferences.h"

#include <QMutex>
#include <QPromise>
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

} // namespace

struct StorageViewModel::LoadProgress {
    const QString folder; // the name of the folder whose children are measured
    QMutex mutex;
    QByteArray child; // the last one started; empty before the first
};

StorageViewModel::StorageViewModel(QObject *parent)
    : QObject(parent),
      m_scanner(std::make_shared<StorageScanner>(StorageScanner::defaultThreadCount(),
                                                 StorageScanner::Priority::Background))
{
    // A folder of thousands of children would otherwise queue an update per child.
    m_progressTimer.setInterval(100);
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        if (!m_progress)
            return;
        QByteArray child;
        {
            QMutexLocker lock(&m_progress->mutex);
            child = m_progress->child;
        }
        if (child.isEmpty())
            return;
        setLoadingFolder(m_progress->folder + QStringLiteral(" › ") + StorageEntry{child}.name());
    });
    QString stored = Preferences::stringValue(QLatin1String(rootKey), QStringLiteral("/"));
    stored = SafetyHelper::standardizedPath(stored);
    m_root = stored.startsWith(QLatin1Char('/')) ? stored : QStringLiteral("/");
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
    if (m_columns == columns)
        return;
    m_columns = columns;
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
    m_progress.reset();
    m_progressTimer.stop();
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
    if (entry.isDirectory)
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

void StorageViewModel::rescan()
{
    cancelLoad();
    cancelRebuild();
    auto scanner = m_scanner;
    QFuture<void> work = QtConcurrent::run([scanner] { scanner->reset(); });
    m_pending.track(work);
    whenFinished(this, work, [this] { open(m_root); });
}

void StorageViewModel::load(const QByteArray &folder, int column)
{
    cancelLoad();
    const QByteArray path = StorageScanner::standardized(folder);
    const QString label = StorageEntry{path}.name();
    setLoadingFolder(label);

    const CancelToken token = makeCancelToken();
    m_loadToken = token;
    const auto progress = std::make_shared<LoadProgress>(label);
    m_progress = progress;
    m_progressTimer.start();
    const auto scanner = m_scanner;

    QFuture<void> work = QtConcurrent::run([this, scanner, token, path, column, progress] {
        // The children are one measurement, so which of them carries a file with several
        // names does not depend on the order they are read in.
        const QList<StorageEntry> kept =
            scanner->children(path, token, [progress](const QByteArray &child) {
                QMutexLocker lock(&progress->mutex);
                progress->child = child;
            });
        if (token.isCancelled())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, token, path, column, kept] {
                if (token != m_loadToken || token.isCancelled())
                    return;
                m_loadToken.reset();
                m_progress.reset();
                m_progressTimer.stop();
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
                }
                setLoadingFolder(std::nullopt);
            },
            Qt::QueuedConnection);
    });
    m_pending.track(work);
}

QFuture<SafetyHelper::Outcome> StorageViewModel::trash(const StorageEntry &entry, AppHost *appState)
{
    auto promise = std::make_shared<QPromise<SafetyHelper::Outcome>>();
    promise->start();
    QFuture<SafetyHelper::Outcome> result = promise->future();
    const auto scanner = m_scanner;

    // The listing's own bytes go to the Trash, so a name that is not valid UTF-8 is
    // judged and moved as itself.
    QFuture<SafetyHelper::Outcome> moved = QtConcurrent::run([scanner, entry, appState] {
        const SafetyHelper::Outcome outcome =
            SafetyHelper::moveNativeToTrash(entry.nativePath, entry.identity, appState);
        if (outcome.ok)
            scanner->movedToTrash(entry.nativePath, entry.bytes);
        return outcome;
    });
    m_pending.track(QFuture<void>(moved));

    // Through guarded watchers: when the model goes first, nothing runs on it.
    const quint64 opened = m_opened;
    whenFinished(
        this, moved, [this, scanner, entry, promise, opened](SafetyHelper::Outcome outcome) {
            // A folder opened since then replaced the columns this rebuild would restore.
            if (!outcome.ok || opened != m_opened) {
                promise->addResult(outcome);
                promise->finish();
                return;
            }
            // The folders to show again: the root and every chosen folder, except the
            // trashed item and anything that was inside it.
            QList<QByteArray> folders{nativeFolder(m_root)};
            for (const std::optional<StorageEntry> &e : m_selection) {
                if (e && e->isDirectory && !isSameOrBelow(e->nativePath, entry.nativePath))
                    folders.append(e->nativePath);
            }
            cancelRebuild();
            const CancelToken token = makeCancelToken();
            m_rebuildToken = token;
            QFuture<QList<Column>> rebuilt = QtConcurrent::run([scanner, folders, token] {
                QList<Column> columns;
                for (const QByteArray &folder : folders) {
                    if (token.isCancelled())
                        break;
                    columns.append(scanner->children(folder, token));
                }
                return columns;
            });
            m_pending.track(QFuture<void>(rebuilt));
            whenFinished(this, rebuilt,
                         [this, folders, promise, outcome, token](const QList<Column> &columns) {
                             // The move itself happened either way; only the picture waits.
                             promise->addResult(outcome);
                             if (!token.isCancelled()) {
                                 if (m_rebuildToken == token)
                                     m_rebuildToken.reset();
                                 publishRebuilt(folders, columns);
                             }
                             promise->finish();
                         });
        });
    return result;
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
