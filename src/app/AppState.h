#pragma once

#include "app/TabNavigation.h"
#include "applications/LeftoverReport.h"
#include "exec/AppHost.h"
#include "exec/BackgroundWork.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class AdvancedToolsViewModel;
class ApplicationsViewModel;
class DeepCleanViewModel;
class DockerViewModel;
class JunkViewModel;
class DashboardViewModel;
class ExclusionsViewModel;
class RecentlyRemovedViewModel;
struct RemovalBatch;
class HomebrewViewModel;
class StorageViewModel;
class TrashWatcher;
struct AppIdentity;

// The one central state object: selected tab, scan status, disk figures, the tab
// models, the access flags and the search text. Lives on the main thread; every
// property is written there only.
class AppState : public QObject, public AppHost {
    Q_OBJECT
    Q_PROPERTY(
        TabNavigation selectedTab READ selectedTab WRITE setSelectedTab NOTIFY selectedTabChanged)
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(QString scanStatusMessage READ scanStatusMessage NOTIFY scanStatusMessageChanged)
    Q_PROPERTY(double scanPercentage READ scanPercentage NOTIFY scanPercentageChanged)
    Q_PROPERTY(bool isScanBusy READ isScanBusy NOTIFY isScanBusyChanged)
    Q_PROPERTY(bool canStopScan READ canStopScan NOTIFY canStopScanChanged)
    Q_PROPERTY(bool hasFullDiskAccess READ hasFullDiskAccess NOTIFY hasFullDiskAccessChanged)
    Q_PROPERTY(bool proceedWithoutAccess READ proceedWithoutAccess WRITE setProceedWithoutAccess
                   NOTIFY proceedWithoutAccessChanged)
    Q_PROPERTY(QString globalSearchText READ globalSearchText WRITE setGlobalSearchText NOTIFY
                   globalSearchTextChanged)
    Q_PROPERTY(bool showUpdate READ showUpdate WRITE setShowUpdate NOTIFY showUpdateChanged)

public:
    static constexpr const char watchTrashKey[] = "watchTrashForApps";

    explicit AppState(QObject *parent = nullptr);
    ~AppState() override;

    TabNavigation selectedTab() const { return m_selectedTab; }
    // Also stores the raw value under "selectedTab" and clears the search text.
    void setSelectedTab(TabNavigation tab);

    // Of the scans running, the banner shows the one started last.
    bool isScanning() const { return m_isScanning; }
    QString scanStatusMessage() const { return m_scanStatusMessage; }
    double scanPercentage() const { return m_scanPercentage; }
    // Its total is still growing.
    bool isScanBusy() const { return m_isScanBusy; }
    // It can be stopped: stopScan() ends it early, and its tab keeps what it found.
    bool canStopScan() const { return m_canStopScan; }
    void stopScan();

    double diskTotalGB() const override { return double(m_disk.totalBytes) / 1e9; }
    double diskUsedGB() const override { return double(m_disk.usedBytes) / 1e9; }
    // What can still be written.
    double diskFreeGB() const { return double(m_disk.availableBytes) / 1e9; }
    DiskSpace diskSpace() const { return m_disk; }
    // The dashboard's capacity query; main thread only.
    void setDiskSpace(const DiskSpace &space) override;

    // The tab models, created with the state object and kept for its whole life.
    ApplicationsViewModel *applicationsVM() const { return m_applicationsVM; }
    DockerViewModel *dockerVM() const { return m_dockerVM; }
    DeepCleanViewModel *deepCleanVM() const { return m_deepCleanVM; }
    JunkViewModel *junkVM() const { return m_junkVM; }
    DashboardViewModel *dashboardVM() const { return m_dashboardVM; }
    HomebrewViewModel *homebrewVM() const { return m_homebrewVM; }
    AdvancedToolsViewModel *runtimesVM() const { return m_runtimesVM; }
    AdvancedToolsViewModel *duplicatesVM() const { return m_duplicatesVM; }
    AdvancedToolsViewModel *largeFilesVM() const { return m_largeFilesVM; }
    AdvancedToolsViewModel *installersVM() const { return m_installersVM; }
    // Every removal made and the way back; the excluded folders and the keep list.
    RecentlyRemovedViewModel *recentlyRemovedVM() const { return m_recentlyRemovedVM; }
    ExclusionsViewModel *exclusionsVM() const { return m_exclusionsVM; }
    // Scans the tab again, as its own rescan does.
    void rescanTab(TabNavigation tab);

    bool hasFullDiskAccess() const { return m_hasFullDiskAccess; }
    bool proceedWithoutAccess() const { return m_proceedWithoutAccess; }
    void setProceedWithoutAccess(bool value);
    bool canScan() const { return m_hasFullDiskAccess || m_proceedWithoutAccess; }
    bool isPollingForAccess() const { return m_accessTimer != nullptr; }

    QString globalSearchText() const { return m_globalSearchText; }
    void setGlobalSearchText(const QString &text);

    bool showUpdate() const { return m_showUpdate; }
    void setShowUpdate(bool value);

    // Callable from any thread: one queued block on the main thread assigns the values in
    // order. Never blocks. The scans that cannot be stopped share one report.
    void setScanProgress(bool isScanning, const QString &message, double percentage) override;
    void reportScan(const ScanReport &report) override;
    // Callable from any thread: one record in the system log.
    void addLog(const QString &type, const QString &text) override;

    // The storage map's model, created on first use and kept.
    StorageViewModel *storageVM();

    // Starts every tab's scan when scanning is allowed; returns at once.
    void loadAllTabs();
    // Quitting: stops every scan and every program now running or started later, so the
    // process can end at once. Runs by itself when the application is about to quit.
    void stopAllWork();

    static bool readFullDiskAccess();
    void checkFullDiskAccess();
    void openFullDiskAccessSettings();
    // Starts a shell that reopens the program after this one quits, then quits.
    void relaunch();
    // Starts or stops the Trash watcher to match the preference and the access grant.
    void updateTrashWatcher();
    bool isWatchingTrash() const;
    // The watcher's report of an application that arrived in the Trash.
    void appWasTrashed(const QString &pathInTrash, const AppIdentity &identity);
    // Looks for the application's leftovers in the background and shows them when there
    // are some. Reports wait their turn while another is on screen.
    void showLeftovers(const QString &name, const std::optional<QString> &bundleID,
                       const QString &appURL, const QStringList &aliases = {}) override;
    // The report the leftovers sheet shows; nothing when no sheet is open.
    std::optional<LeftoverReport> leftoverReport() const { return m_leftoverReport; }
    // Closing the sheet: the next waiting report, if any, takes its place.
    void dismissLeftoverReport();
    int waitingReports() const { return int(m_waitingReports.size()); }
    // For tests: blocks until every leftovers search started so far has ended.
    void waitForLeftoverSearches() { m_leftoverSearches.waitForAll(); }
    // The once-a-day check; a newer release raises showUpdate.
    void startUpdateCheck();

signals:
    void changed();
    void selectedTabChanged(TabNavigation tab);
    void isScanningChanged(bool value);
    void scanStatusMessageChanged(const QString &value);
    void scanPercentageChanged(double value);
    void isScanBusyChanged(bool value);
    void canStopScanChanged(bool value);
    void diskFiguresChanged();
    void hasFullDiskAccessChanged(bool value);
    void proceedWithoutAccessChanged(bool value);
    void globalSearchTextChanged(const QString &text);
    void showUpdateChanged(bool value);
    void leftoverReportChanged();
    // A report came up: the program should come to the front.
    void activationRequested();
    // loadAllTabs() passed the access gate and started the scans.
    void loadAllTabsStarted();
    // The program should quit (relaunch asked for it).
    void terminateRequested();

private:
    void setIsScanning(bool value);
    void setScanStatusMessage(const QString &value);
    void setScanPercentage(double value);
    void setIsScanBusy(bool value);
    void setCanStopScan(bool value);
    void applyScanReport(const ScanReport &report);
    void setHasFullDiskAccess(bool value);
    void watchForFullDiskAccess();
    void cancelScans();
    // Re-announces a model's changes one main-thread hop later.
    void forwardChanges(QObject *model);
    void setLeftoverReport(const std::optional<LeftoverReport> &report);
    bool leftoversShownOrComing(const QString &name, const std::optional<QString> &bundleID) const;
    // Put back: the tab it was removed from shows it again.
    void showRestored(const RemovalBatch &batch);
    // The lists changed: what they now keep out leaves every tab; the map measures afresh
    // when the excluded folders changed.
    void applyExclusions(bool foldersChanged);

    TabNavigation m_selectedTab;
    bool m_isScanning = false;
    QString m_scanStatusMessage;
    double m_scanPercentage = 0;
    bool m_isScanBusy = false;
    bool m_canStopScan = false;
    QList<ScanReport> m_scans; // running, in the order they started
    DiskSpace m_disk;
    ApplicationsViewModel *m_applicationsVM = nullptr;
    DockerViewModel *m_dockerVM = nullptr;
    DeepCleanViewModel *m_deepCleanVM = nullptr;
    JunkViewModel *m_junkVM = nullptr;
    DashboardViewModel *m_dashboardVM = nullptr;
    HomebrewViewModel *m_homebrewVM = nullptr;
    AdvancedToolsViewModel *m_runtimesVM = nullptr;
    AdvancedToolsViewModel *m_duplicatesVM = nullptr;
    AdvancedToolsViewModel *m_largeFilesVM = nullptr;
    AdvancedToolsViewModel *m_installersVM = nullptr;
    RecentlyRemovedViewModel *m_recentlyRemovedVM = nullptr;
    ExclusionsViewModel *m_exclusionsVM = nullptr;
    bool m_hasFullDiskAccess = false;
    bool m_proceedWithoutAccess = false;
    QPointer<QTimer> m_accessTimer;
    QString m_globalSearchText;
    bool m_showUpdate = false;
    StorageViewModel *m_storageVM = nullptr;
    std::optional<LeftoverReport> m_leftoverReport;
    QList<LeftoverReport> m_waitingReports;
    // Searches under way, in the order they were asked for; results are shown in it.
    struct Search {
        QString name;
        std::optional<QString> bundleID;
        bool done = false;
        std::optional<LeftoverReport> report;
    };
    QList<Search> m_searching;
    void publishFinishedSearches();
    BackgroundWork m_leftoverSearches;
    TrashWatcher *m_trashWatcher = nullptr;
};
