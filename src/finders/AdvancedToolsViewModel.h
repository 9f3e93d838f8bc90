#pragma once

#include "exec/BackgroundWork.h"
#include "exec/CancelToken.h"
#include "exec/SafetyHelper.h"
#include "finders/DuplicateFinder.h"
#include "finders/FileItem.h"
#include "platform/RemovalHub.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class AppHost;

// The rows one change took out of a finder's list.
struct DroppedRows {
    QList<FileItem> rows;
};

// The model of the four file-finder tabs: runtimes, duplicates, large files and
// installers. Each tab owns one instance and runs its own scan on it. Lives on the main
// thread; `items` is replaced whole there when a scan ends (itemsChanged) and loses rows in
// place as things go (rowsDropped), at a cost that grows with the rows that go, not with
// the list.
class AdvancedToolsViewModel : public QObject {
    Q_OBJECT

public:
    explicit AdvancedToolsViewModel(QObject *parent = nullptr);
    // Stops this model's scans and waits for its background work, which still refers
    // to it.
    ~AdvancedToolsViewModel() override;

    QList<FileItem> items() const { return m_items; }
    // Whether a row shows `path`.
    bool lists(const QString &path) const;
    std::optional<QString> selectedItemPath() const { return m_selectedItemPath; }
    // The row the user selected; the screen writes it.
    void setSelectedItemPath(const std::optional<QString> &path);

    // Asynchronous; each replaces `items` when done. A scan started while another runs
    // takes its place: the older one stops and publishes nothing.
    void scanLargeFiles(AppHost *appState);
    void scanInstallers(AppHost *appState);
    void scanRuntimes(AppHost *appState);
    void scanDuplicates(AppHost *appState);
    // Stops every scan of this model now running and the programs it started; the newest
    // publishes what it found so far, marked incomplete. Returns at once.
    void cancelScans();
    // The list is what a stopped scan found before it stopped.
    bool isIncomplete() const { return m_incomplete; }
    // Asynchronous: moves one item to the Trash through the safety check, as part of
    // `batch`, and, when it went, drops it from `items`. The item's own bytes are moved: a
    // row whose name is not valid UTF-8 never moves a look-alike, and a path that names two
    // rows moves neither. The future ends after the list is updated.
    QFuture<SafetyHelper::Outcome> trash(const QString &path, AppHost *appState,
                                         const RemovalHub::Batch &batch = RemovalHub::Batch());
    // Whether a scan of this model has started and not yet published.
    bool isScanRunning() const { return !m_scans.isEmpty(); }

    static QList<DuplicateGroupRecord> duplicateGroups(const QStringList &paths);
    // What keeping one copy of each duplicate group frees, in MB.
    double duplicateSpaceMB() const { return m_listing.spaceMB; }

    // Put back: the rows this list dropped for that removal come back (with the copies of
    // their groups that went with them). Whether any did.
    bool restore(const RemovalBatch &batch);
    // Drops the rows the excluded folders and the keep list now keep out.
    void dropNotOffered();

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks();

signals:
    void changed();
    // A new list: a scan published, or rows came back.
    void itemsChanged();
    // These rows left `items`, which is already without them: they went to the Trash, the
    // keep list took them, or their duplicate group was left with one copy.
    void rowsDropped(const DroppedRows &gone);
    void selectedItemPathChanged();

private:
    using Work = QList<FileItem> (*)(AppHost *, const CancelToken &);
    // The rows and what finds them without going through them all: every row has a
    // number, ascending along `items`; `byPath` holds each row's bytes and number in byte
    // order, so that a removed path and everything under it are two binary searches away.
    // The rows of one duplicate group sit next to each other.
    struct Listing {
        QList<FileItem> items;
        std::vector<quint64> numbers;
        std::vector<std::pair<QByteArray, quint64>> byPath;
        double spaceMB = 0;
        // `items` grouped by key (a stable sort), numbered from `first`. Grows with the
        // rows: run it on the pool.
        static Listing of(QList<FileItem> items, quint64 first);
        // Whether a row holds exactly these bytes.
        bool holds(const QByteArray &bytes) const;
    };
    void runScan(Work work, AppHost *appState);
    void setListing(Listing listing, bool incomplete);
    void removeItem(const QByteArray &nativePath, quint64 batch);
    // Drops the rows of what went, wherever it was removed from.
    void dropRemoved(const RemovalBatch &batch);
    // The rows `batch` covers, as sorted positions in `items`.
    std::vector<qsizetype> rowsCoveredBy(const RemovalBatch &batch) const;
    qsizetype positionOf(quint64 number) const;
    // Drops the rows at `positions` (sorted, unique) and the copies their groups are left
    // with when fewer than two; a selection of a row that went is let go. The rows dropped
    // are kept for a put back of `batch`. Returns them; announces them when `announce`.
    QList<FileItem> dropAt(std::vector<qsizetype> positions, quint64 batch, bool announce = true);

    Listing m_listing;
    const QList<FileItem> &m_items = m_listing.items;
    bool m_incomplete = false;
    std::optional<QString> m_selectedItemPath;
    QHash<quint64, CancelToken> m_scans; // running, by number; main thread only
    quint64 m_lastScan = 0;
    // Moved away while a scan ran: that scan may have listed them before they went.
    QList<RemovalBatch> m_removedDuringScan;
    // The rows dropped for the last few removals, by removal.
    QList<std::pair<quint64, QList<FileItem>>> m_dropped;
    quint64 m_lastListing = 0;
    BackgroundWork m_work;
};
