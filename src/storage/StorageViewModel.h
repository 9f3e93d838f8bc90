#pragma once

#include "exec/BackgroundWork.h"
#include "exec/SafetyHelper.h"
#include "storage/MapHistory.h"
#include "storage/StorageScanner.h"
#include "storage/Volumes.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class AppHost;
class QTimer;
struct RemovalBatch;
class ScanProgress;

// Drives the storage map: a column per opened folder (its children, largest first),
// the entry chosen in each column, and a progress label while a column is measured.
// Lives on the main thread; the measuring runs on the thread pool through the model's
// own scanner and every result is published on the main thread.
class StorageViewModel : public QObject {
    Q_OBJECT

public:
    // The preference holding the start folder's path.
    static constexpr const char rootKey[] = "storageMapRoot";

    using Column = QList<StorageEntry>;
    // How each column is ordered: largest first, or by how much each grew since the map
    // measured it on an earlier day.
    enum class Order { largest, grewMost };
    static QString title(Order order);
    // Sorts a column; entries that tie keep their order.
    static void sort(Column &column, Order order);

    explicit StorageViewModel(QObject *parent = nullptr);
    ~StorageViewModel() override;

    // The folder of the first column ("/" unless the preference names another).
    QString root() const { return m_root; }
    QList<Column> columns() const { return m_columns; }
    QList<std::optional<StorageEntry>> selection() const { return m_selection; }
    // "<folder> › <child>" while a column is being measured (the child whose measuring
    // began last, looked at a few times a second); absent when idle.
    std::optional<QString> loadingFolder() const { return m_loadingFolder; }
    // The mounted disks to map, as last read.
    QList<Volume> volumes() const { return m_volumes; }
    // Asynchronous: reads the mounted disks again (mounts come and go).
    void refreshVolumes();
    Order order() const { return m_order; }
    // Sorts the columns shown in the background, and those measured from now on.
    void setOrder(Order order);

    // A column shown is what a measurement stopped from the banner got to.
    bool isIncomplete() const { return m_incompleteColumn >= 0; }
    // Where measurements report their progress (the banner); none by default.
    void setHost(AppHost *host) { m_host = host; }

    // The last chosen entry, if any.
    std::optional<StorageEntry> chosen() const;
    // What the block map shows: the last column, empty when there is none.
    Column lastColumn() const;
    // The root as a display name ("/" shows the volume's name).
    QString rootName() const;
    // The header's detail: the first column's total ("+" when partial) " in " the
    // root's name; absent while there are no columns.
    std::optional<QString> headerDetail() const;

    // Starts over at `folder`: clears the columns and measures it into column 0.
    void open(const QString &folder);
    // Chooses `entry` in column `column`, drops the columns to its right, and opens
    // it in a new column when it is a folder.
    void choose(const StorageEntry &entry, int column);
    // Chooses a block of the block map in the (last) column that lists it.
    void chooseInMap(const StorageEntry &entry);
    // Measures the folder being looked at (the last chosen folder, else the root) again
    // from the disk and corrects the totals of the folders above it; the rest of what was
    // measured stays.
    void rescanFolder();
    // Moves the entry to the Trash, then rebuilds the columns from the corrected
    // cache. What other tabs move to the Trash corrects the cache and the columns the
    // same way. The future reports whether the item was moved and, if not, why; it
    // finishes after the model was updated. A later open() or rescan() cancels the
    // rebuild (the move stands).
    QFuture<SafetyHelper::Outcome> trash(const StorageEntry &entry, AppHost *appState);

    // Put back from the Trash: the totals the items left and came back to are measured
    // again, and the columns show them.
    void showRestored(const RemovalBatch &batch);
    // The excluded folders changed: every total is measured afresh from the root.
    void forgetMeasurements();

    // Test seam: the model's scanner.
    StorageScanner &scanner() { return *m_scanner; }

signals:
    void changed();
    void rootChanged(const QString &root);
    void columnsChanged();
    void selectionChanged();
    void loadingFolderChanged();
    void volumesChanged();
    void incompleteChanged();
    void orderChanged();

private:
    void setRoot(const QString &root);
    void setColumns(const QList<Column> &columns);
    void setSelection(const QList<std::optional<StorageEntry>> &selection);
    void setLoadingFolder(const std::optional<QString> &label);
    // The column a stopped measurement filled, or -1.
    void setIncompleteColumn(int column);
    // The banner's report of a measurement, from the scanner's counts now and then.
    void startProgress(const QString &label, const CancelToken &token);
    void endProgress();

    void load(const QByteArray &folder, int column);
    void cancelLoad();
    void cancelRebuild();
    // Measures the root and every chosen folder that did not go again, from the cache.
    void rebuild(const std::function<bool(const QByteArray &)> &gone,
                 const std::function<void()> &done);
    void publishRebuilt(const QList<QByteArray> &folders, const QList<Column> &columns);
    void dropRemoved(const RemovalBatch &batch);

    QString m_root;
    QList<Column> m_columns;
    QList<std::optional<StorageEntry>> m_selection;
    std::optional<QString> m_loadingFolder;
    QList<Volume> m_volumes;
    bool m_readingVolumes = false;
    int m_incompleteColumn = -1;
    AppHost *m_host = nullptr;
    std::unique_ptr<ScanProgress> m_progress;
    QTimer *m_progressTimer = nullptr;

    std::shared_ptr<StorageScanner> m_scanner;
    std::shared_ptr<MapHistory> m_history;
    Order m_order = Order::largest;
    quint64 m_columnsVersion = 0; // how many times the columns were replaced
    std::optional<CancelToken> m_loadToken;
    // The child a load's threads started last, read by m_progressTimer on this thread.
    struct LoadProgress;
    std::shared_ptr<LoadProgress> m_loadProgress;
    std::optional<CancelToken> m_rebuildToken;
    quint64 m_opened = 0;       // how many times a root was opened
    QSet<quint64> m_ownBatches; // this model's own moves, already accounted for
    // Work still running on the pool; the destructor waits for it.
    BackgroundWork m_pending;
};
