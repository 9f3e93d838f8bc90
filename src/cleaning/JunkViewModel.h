#pragma once

#include "cleaning/JunkCategories.h"
#include "cleaning/ScanCleanCycle.h"
#include "cleaning/SystemCaches.h"
#include "exec/BackgroundWork.h"
#include "exec/CancelToken.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>

class AppHost;

enum class JunkSortColumn { category, path, size };

struct RemovalBatch;

// The Junk tab's model: fixed categories of caches, logs and build products (those with
// a folder on this system) and the Trash, measured with their ten largest files, and
// emptied into the Trash when ticked (the Trash itself for good).
// Lives on the main thread; `categories` is replaced whole there.
class JunkViewModel : public QObject {
    Q_OBJECT

public:
    // What one clean came to; `notMoved` counts children still there after their turn,
    // `refusals` says why a folder was not emptied at all.
    struct CleanReport {
        int ticked = 0;
        int moved = 0;
        int notMoved = 0;
        int deleted = 0; // items of the Trash emptied for good
        QStringList refusals;
    };

    explicit JunkViewModel(QObject *parent = nullptr);
    ~JunkViewModel() override;

    QList<JunkCategory> categories() const { return m_categories; }
    // The caches only system tools clear (empty off Linux); read again with every scan.
    QList<SystemCache> systemCaches() const { return m_systemCaches; }
    void setSelected(const QUuid &id, bool selected);
    int selectedCount() const;

    // Asynchronous: rebuild and measure the categories.
    void scan(AppHost *appState);
    // Asynchronous: empty the ticked categories (as ticked now), then scan again.
    void cleanSelected(AppHost *appState);
    // Stable; names and paths compare as text, sizes as numbers.
    void sort(JunkSortColumn column, bool ascending);
    // The same order for any rows with a `name`, a `path` and a `sizeMB`.
    template <typename Row>
    static void sortRows(QList<Row> &rows, JunkSortColumn column, bool ascending)
    {
        auto less = [column](const Row &a, const Row &b) {
            switch (column) {
            case JunkSortColumn::category:
                return a.name < b.name;
            case JunkSortColumn::path:
                return a.path < b.path;
            case JunkSortColumn::size:
                return a.sizeMB < b.sizeMB;
            }
            return false;
        };
        std::stable_sort(rows.begin(), rows.end(), [&](const Row &a, const Row &b) {
            return ascending ? less(a, b) : less(b, a);
        });
    }

    bool isScanning() const { return m_cycle.isScanning(); }
    // The list is what a scan stopped from the banner measured before it stopped.
    bool isIncomplete() const { return m_incomplete; }
    bool isCleaning() const { return m_cycle.isCleaning(); }
    // While held (a confirmation is open), a scan that ends keeps the ticks; calls nest.
    void holdSelection(bool hold);

    // The scan's and the clean's work, synchronous: call off the main thread.
    static QList<JunkCategory> freshCategories();
    // The allocated MiB of the category's folder without the folders it excludes.
    static double measuredMB(const JunkCategory &category);
    // Stopped from the banner through `cancel`, it gives the categories measured so far.
    static QList<JunkCategory> measureCategories(AppHost *appState, const CancelToken &cancel = {});
    static CleanReport emptyFolders(const QList<JunkCategory> &categories, AppHost *appState);

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks();

signals:
    void changed();
    void categoriesChanged();
    void systemCachesChanged();
    void busyChanged();
    void cleanFinished(const JunkViewModel::CleanReport &report);

private:
    void publish(QList<JunkCategory> measured, bool keepTicks, bool stopped);
    // What went from a category's folder leaves its files at once; its size is measured
    // again.
    void dropRemoved(const RemovalBatch &batch);

    QList<JunkCategory> m_categories;
    QList<SystemCache> m_systemCaches;
    BackgroundWork m_systemWork;
    bool m_incomplete = false;
    ScanCleanCycle m_cycle;
    QSet<quint64> m_ownBatches; // this model's cleans, which scan again anyway
    BackgroundWork m_work;
};
