#include "storage/StorageViewModel.h"

#include "app/AppState.h"
#include "exec/SafetyHelper.h"
#include "platform/Preferences.h"

#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace {

QByteArray nativeFolder(const QString &path)
{
    return StorageScanner::standardized(nativePath(path));
}

void sortLargestFirst(QList<StorageEntry> &entries)
{
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const StorageEntry &a, const StorageEntry &b) { return a.bytes > b.bytes; });
}

bool isSameOrBelow(const QByteArray &path, const QByteArray &item)
{
    if (path == item)
        return true;
    const QByteArray prefix = item == "/" ? item : item + '/';
    return path.startsWith(prefix);
}

} // namespace

StorageViewModel::StorageViewModel(QObject *parent)
    : QObject(parent), m_scanner(std::make_shared<StorageScanner>())
{
    QString stored = Preferences::stringValue(QLatin1String(rootKey), QStringLiteral("/"));
    stored = SafetyHelper::standardizedPath(stored);
    m_root = stored.startsWith(QLatin1Char('/')) ? stored : QStringLiteral("/");
}

StorageViewModel::~StorageViewModel()
{
    cancelLoad();
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
        m_loadToken->store(true);
    m_loadToken.reset();
}

void StorageViewModel::open(const QString &folder)
{
    QString path = SafetyHelper::standardizedPath(folder);
    if (!path.startsWith(QLatin1Char('/')))
        path = QStringLiteral("/");
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
    auto scanner = m_scanner;
    QFuture<void> work = QtConcurrent::run([scanner] { scanner->reset(); });
    work.then(this, [this] { open(m_root); });
    m_pending.track(work);
}

void StorageViewModel::load(const QByteArray &folder, int column)
{
    cancelLoad();
    const QByteArray path = StorageScanner::standardized(folder);
    const QString label = StorageEntry{path}.name();
    setLoadingFolder(label);

    const CancelToken token = makeCancelToken();
    m_loadToken = token;
    const auto scanner = m_scanner;
    const QString separator = QStringLiteral(" › ");

    QFuture<void> work = QtConcurrent::run([this, scanner, token, path, label, separator, column] {
        const QList<QByteArray> items = scanner->listing(path);
        QList<StorageEntry> kept;
        kept.reserve(items.size());
        for (const QByteArray &item : items) {
            if (token->load())
                return;
            const QString childLabel = label + separator + StorageEntry{item}.name();
            QMetaObject::invokeMethod(
                this,
                [this, token, childLabel] {
                    if (token == m_loadToken && !token->load())
                        setLoadingFolder(childLabel);
                },
                Qt::QueuedConnection);
            if (std::optional<StorageEntry> e = scanner->entry(item, token))
                kept.append(std::move(*e));
        }
        if (token->load())
            return;
        sortLargestFirst(kept);
        QMetaObject::invokeMethod(
            this,
            [this, token, path, column, kept] {
                if (token != m_loadToken || token->load())
                    return;
                m_loadToken.reset();
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

QFuture<bool> StorageViewModel::trash(const StorageEntry &entry, AppState *appState)
{
    auto promise = std::make_shared<QPromise<bool>>();
    promise->start();
    QFuture<bool> result = promise->future();
    const auto scanner = m_scanner;

    QFuture<bool> moved = QtConcurrent::run([scanner, entry, appState] {
        // The Trash takes text paths. A name that is not valid UTF-8 would reach it
        // altered and could name a different item, so such an item stays where it is.
        if (nativePath(entry.path()) != entry.nativePath) {
            if (appState)
                appState->addLog(QStringLiteral("stderr"),
                                 QStringLiteral("Failed to trash ") + entry.path() +
                                     QStringLiteral(": the name is not valid UTF-8"));
            return false;
        }
        if (!SafetyHelper::moveToTrash(entry.path(), appState))
            return false;
        scanner->movedToTrash(entry.nativePath, entry.bytes);
        return true;
    });
    m_pending.track(QFuture<void>(moved));

    moved.then(this, [this, scanner, entry, promise](bool ok) {
        if (!ok) {
            promise->addResult(false);
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
        QFuture<QList<Column>> rebuilt = QtConcurrent::run([scanner, folders] {
            QList<Column> columns;
            for (const QByteArray &folder : folders)
                columns.append(scanner->children(folder));
            return columns;
        });
        m_pending.track(QFuture<void>(rebuilt));
        rebuilt.then(this, [this, folders, promise](const QList<Column> &columns) {
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
            promise->addResult(true);
            promise->finish();
        });
    });
    return result;
}
