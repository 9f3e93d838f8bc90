#pragma once

#include "exec/BackgroundWork.h"
#include "exec/SafetyHelper.h"
#include "finders/DuplicateFinder.h"
#include "finders/FileItem.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

class AppState;

// The model of the four file-finder tabs: runtimes, duplicates, large files and
// installers. Each tab owns one instance and runs its own scan on it. Lives on the main
// thread; `items` is replaced whole there when a scan ends.
class AdvancedToolsViewModel : public QObject {
    Q_OBJECT

public:
    explicit AdvancedToolsViewModel(QObject *parent = nullptr);
    // Waits for this model's background work, which still refers to it.
    ~AdvancedToolsViewModel() override;

    QList<FileItem> items() const { return m_items; }
    std::optional<QString> selectedItemPath() const { return m_selectedItemPath; }
    // The row the user selected; the screen writes it.
    void setSelectedItemPath(const std::optional<QString> &path);

    // Asynchronous; each replaces `items` when done.
    void scanLargeFiles(AppState *appState);
    void scanInstallers(AppState *appState);
    void scanRuntimes(AppState *appState);
    void scanDuplicates(AppState *appState);
    // Asynchronous: moves one item to the Trash through the safety check and, when it
    // went, drops it from `items`. The future ends after the list is updated.
    QFuture<SafetyHelper::Outcome> trash(const QString &path, AppState *appState);
    // Whether a scan of this model has started and not yet published.
    bool isScanRunning() const { return m_scansRunning > 0; }

    static QList<DuplicateGroupRecord> duplicateGroups(const QStringList &paths);

    // The scans' work, synchronous and blocking: call off the main thread. Each reports
    // its start (and, for duplicates, its second stage) through `appState`, not its end.
    static QList<FileItem> findLargeFiles(AppState *appState);
    static QList<FileItem> findInstallers(AppState *appState);
    static QList<FileItem> findRuntimes(AppState *appState);
    static QList<FileItem> findDuplicates(AppState *appState);

    // "> 5 GB" above 5000 MiB, "1 - 5 GB" above 1000, else "50 - 500 MB".
    static QString sizeBand(double sizeMB);

    // For tests: blocks until every background task started so far has ended.
    void waitForTasks();

signals:
    void changed();
    void itemsChanged();
    void selectedItemPathChanged();

private:
    using Work = QList<FileItem> (*)(AppState *);
    void runScan(Work work, AppState *appState);
    void setItems(const QList<FileItem> &items);
    void removeItem(const QString &path);

    QList<FileItem> m_items;
    std::optional<QString> m_selectedItemPath;
    int m_scansRunning = 0;
    // Moved away while a scan ran: that scan may have listed them before they went.
    QSet<QString> m_trashedDuringScan;
    BackgroundWork m_work;
};
