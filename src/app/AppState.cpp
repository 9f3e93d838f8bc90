#include "app/AppState.h"

#include "cleaning/DeepCleanViewModel.h"
#include "cleaning/JunkViewModel.h"
#include "dashboard/DashboardViewModel.h"
#include "docker/DockerViewModel.h"
#include "storage/StorageViewModel.h"

#include "applications/AppLeftovers.h"
#include "applications/ApplicationsViewModel.h"
#include "applications/TrashWatcher.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ExclusionsViewModel.h"
#include "exec/ProcessRunner.h"
#include "exec/RecentlyRemovedViewModel.h"
#include "exec/ThreadPriority.h"
#include "finders/AdvancedToolsViewModel.h"
#include "homebrew/HomebrewViewModel.h"
#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/RemovalHub.h"
#include "platform/SystemLog.h"
#include "platform/desktop/Workspace.h"
#include "update/Updater.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

AppState::AppState(QObject *parent) : QObject(parent)
{
    // The tabs' scans mostly wait on programs and the disk, and all of them may run at
    // once; a pool sized to the cores would queue the storage map behind them.
    QThreadPool *pool = Background::pool();
    pool->setMaxThreadCount(qMax(pool->maxThreadCount(), 16));
    // They all yield to the window's thread, and so do the programs they start: on a busy
    // machine the launch scans otherwise kept it waiting for a core for 80 ms and more.
    ThreadPriority::lowerPool(*pool);

    const QVariant stored = Preferences::value(TabNavigation::defaultsKey);
    m_selectedTab = TabNavigation::restored(stored.typeId() == QMetaType::QString
                                                ? std::optional<QString>(stored.toString())
                                                : std::nullopt);

    m_dashboardVM = new DashboardViewModel(this);
    m_applicationsVM = new ApplicationsViewModel(this);
    m_dockerVM = new DockerViewModel(this);
    m_homebrewVM = new HomebrewViewModel(this);
    m_deepCleanVM = new DeepCleanViewModel(this);
    m_junkVM = new JunkViewModel(this);
    m_runtimesVM = new AdvancedToolsViewModel(this);
    m_duplicatesVM = new AdvancedToolsViewModel(this);
    m_largeFilesVM = new AdvancedToolsViewModel(this);
    m_installersVM = new AdvancedToolsViewModel(this);
    m_recentlyRemovedVM = new RecentlyRemovedViewModel(this);
    m_exclusionsVM = new ExclusionsViewModel(this);
    connect(RemovalHub::instance(), &RemovalHub::restored, this, &AppState::showRestored);
    // The keep list leaves the map as it is; the excluded folders change what it measures.
    connect(m_exclusionsVM, &ExclusionsViewModel::excludedFoldersChanged, this,
            [this] { applyExclusions(true); });
    connect(m_exclusionsVM, &ExclusionsViewModel::keptPathsChanged, this,
            [this] { applyExclusions(false); });
    connect(m_exclusionsVM, &ExclusionsViewModel::blockedReasonChanged, this,
            [this] { applyExclusions(false); });

    m_hasFullDiskAccess = readFullDiskAccess();
    watchForFullDiskAccess();
    updateTrashWatcher();

    connect(NotificationCenter::instance(), &NotificationCenter::notified, this,
            [this](const QString &name) {
                if (name == QLatin1String("watchTrashChanged"))
                    updateTrashWatcher();
            });

    forwardChanges(m_dashboardVM);
    forwardChanges(m_applicationsVM);
    forwardChanges(m_dockerVM);
    forwardChanges(m_homebrewVM);
    forwardChanges(m_deepCleanVM);
    forwardChanges(m_junkVM);
    forwardChanges(m_runtimesVM);
    forwardChanges(m_duplicatesVM);
    forwardChanges(m_largeFilesVM);
    forwardChanges(m_installersVM);

    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppState::stopAllWork);
}

AppState::~AppState()
{
    // Its measurements report to this object: let them go while it is whole.
    delete m_storageVM;
    m_storageVM = nullptr;
    // Running scans still report through this object: stop them and let them end while
    // it is whole.
    cancelScans();
    for (AdvancedToolsViewModel *model :
         {m_runtimesVM, m_duplicatesVM, m_largeFilesVM, m_installersVM})
        model->waitForTasks();
    m_applicationsVM->waitForTasks();
    m_leftoverSearches.waitForAll();
    m_dockerVM->waitForTasks();
    m_deepCleanVM->waitForTasks();
    m_junkVM->waitForTasks();
    m_homebrewVM->waitForTasks();
    m_dashboardVM->waitForTasks();
    m_recentlyRemovedVM->waitForTasks();
    m_exclusionsVM->waitForTasks();
}

void AppState::cancelScans()
{
    for (AdvancedToolsViewModel *model :
         {m_runtimesVM, m_duplicatesVM, m_largeFilesVM, m_installersVM})
        model->cancelScans();
    // A daemon that does not answer must not hold up quitting.
    m_dockerVM->cancelWork();
    m_deepCleanVM->cancelWork();
    m_dashboardVM->cancelWork();
}

void AppState::stopAllWork()
{
    cancelScans();
    ProcessRunner::stopAll();
    Updater::stopAll();
}

void AppState::forwardChanges(QObject *model)
{
    connect(model, SIGNAL(changed()), this, SIGNAL(changed()), Qt::QueuedConnection);
}

void AppState::setSelectedTab(TabNavigation tab)
{
    Preferences::setValue(TabNavigation::defaultsKey, tab.rawValue());
    if (tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    setGlobalSearchText(QString());
    emit selectedTabChanged(tab);
    emit changed();
}

void AppState::setIsScanning(bool value)
{
    if (m_isScanning == value)
        return;
    m_isScanning = value;
    emit isScanningChanged(value);
    emit changed();
}

void AppState::setScanStatusMessage(const QString &value)
{
    if (m_scanStatusMessage == value)
        return;
    m_scanStatusMessage = value;
    emit scanStatusMessageChanged(value);
    emit changed();
}

void AppState::setScanPercentage(double value)
{
    if (m_scanPercentage == value)
        return;
    m_scanPercentage = value;
    emit scanPercentageChanged(value);
    emit changed();
}

void AppState::setIsScanBusy(bool value)
{
    if (m_isScanBusy == value)
        return;
    m_isScanBusy = value;
    emit isScanBusyChanged(value);
    emit changed();
}

void AppState::setCanStopScan(bool value)
{
    if (m_canStopScan == value)
        return;
    m_canStopScan = value;
    emit canStopScanChanged(value);
    emit changed();
}

void AppState::setDiskSpace(const DiskSpace &space)
{
    m_disk = space;
    emit diskFiguresChanged();
    emit changed();
}

void AppState::setHasFullDiskAccess(bool value)
{
    if (m_hasFullDiskAccess == value)
        return;
    m_hasFullDiskAccess = value;
    emit hasFullDiskAccessChanged(value);
    emit changed();
}

void AppState::setProceedWithoutAccess(bool value)
{
    if (m_proceedWithoutAccess == value)
        return;
    m_proceedWithoutAccess = value;
    emit proceedWithoutAccessChanged(value);
    emit changed();
}

void AppState::setGlobalSearchText(const QString &text)
{
    if (m_globalSearchText == text)
        return;
    m_globalSearchText = text;
    emit globalSearchTextChanged(text);
    emit changed();
}

void AppState::setShowUpdate(bool value)
{
    if (m_showUpdate == value)
        return;
    m_showUpdate = value;
    emit showUpdateChanged(value);
    emit changed();
}

void AppState::setScanProgress(bool isScanning, const QString &message, double percentage)
{
    ScanReport report;
    report.running = isScanning;
    report.message = message;
    report.percentage = percentage;
    reportScan(report);
}

void AppState::reportScan(const ScanReport &report)
{
    QMetaObject::invokeMethod(
        this, [this, report] { applyScanReport(report); }, Qt::QueuedConnection);
}

void AppState::applyScanReport(const ScanReport &report)
{
    const auto known = std::find_if(m_scans.begin(), m_scans.end(),
                                    [&](const ScanReport &r) { return r.scan == report.scan; });
    if (!report.running) {
        if (known != m_scans.end())
            m_scans.erase(known);
    } else if (known != m_scans.end()) {
        *known = report;
    } else {
        m_scans.append(report);
    }
    const ScanReport shown = m_scans.isEmpty() ? ScanReport() : m_scans.last();
    setIsScanning(!m_scans.isEmpty());
    setScanStatusMessage(shown.message);
    setScanPercentage(shown.percentage);
    setIsScanBusy(shown.busy);
    setCanStopScan(shown.stop.has_value());
}

void AppState::stopScan()
{
    if (!m_scans.isEmpty() && m_scans.last().stop)
        m_scans.last().stop->cancel();
}

void AppState::addLog(const QString &type, const QString &text)
{
    if (type == QLatin1String("stderr"))
        SystemLog::write(SystemLog::Level::Error, text);
    else
        SystemLog::write(SystemLog::Level::Info,
                         QLatin1Char('[') + type + QLatin1String("] ") + text);
}

StorageViewModel *AppState::storageVM()
{
    if (!m_storageVM) {
        m_storageVM = new StorageViewModel(this);
        m_storageVM->setHost(this);
    }
    return m_storageVM;
}

void AppState::loadAllTabs()
{
    if (!canScan())
        return;
    emit loadAllTabsStarted();
    // Each model's scan starts its own background work and returns at once.
    m_dashboardVM->fetchMetrics(this);
    m_applicationsVM->scan(this);
    m_dockerVM->scanDocker(this);
    m_runtimesVM->scanRuntimes(this);
    m_homebrewVM->scanHomebrew(this);
    m_deepCleanVM->scan(this);
    m_junkVM->scan(this);
    m_duplicatesVM->scanDuplicates(this);
    m_largeFilesVM->scanLargeFiles(this);
    m_installersVM->scanInstallers(this);
}

void AppState::rescanTab(TabNavigation tab)
{
    if (!canScan())
        return;
    switch (tab) {
    case TabNavigation::dashboard:
        m_dashboardVM->fetchMetrics(this);
        break;
    case TabNavigation::storage:
        storageVM()->rescanFolder();
        break;
    case TabNavigation::applications:
        m_applicationsVM->scan(this);
        break;
    case TabNavigation::docker:
        m_dockerVM->scanDocker(this);
        break;
    case TabNavigation::runtimes:
        m_runtimesVM->scanRuntimes(this);
        break;
    case TabNavigation::homebrew:
        m_homebrewVM->scanHomebrew(this);
        break;
    case TabNavigation::deepClean:
        m_deepCleanVM->scan(this);
        break;
    case TabNavigation::junk:
        m_junkVM->scan(this);
        break;
    case TabNavigation::duplicates:
        m_duplicatesVM->scanDuplicates(this);
        break;
    case TabNavigation::largeFiles:
        m_largeFilesVM->scanLargeFiles(this);
        break;
    case TabNavigation::installers:
        m_installersVM->scanInstallers(this);
        break;
    }
}

void AppState::showRestored(const RemovalBatch &batch)
{
    // The finders take back the rows they dropped and the map corrects its own totals;
    // the tab it came from, unless it took its rows back, and the dashboard's figures are
    // scanned again.
    const std::optional<TabNavigation> origin =
        batch.origin == QLatin1String("leftovers")
            ? std::optional(TabNavigation(TabNavigation::applications))
            : TabNavigation::fromRawValue(batch.origin);
    bool tookBack = false;
    const QList<std::pair<TabNavigation, AdvancedToolsViewModel *>> finders{
        {TabNavigation::runtimes, m_runtimesVM},
        {TabNavigation::duplicates, m_duplicatesVM},
        {TabNavigation::largeFiles, m_largeFilesVM},
        {TabNavigation::installers, m_installersVM}};
    for (const auto &[tab, model] : finders) {
        const bool took = model->restore(batch);
        tookBack = tookBack || (took && origin == tab);
    }
    if (origin && !tookBack && *origin != TabNavigation::storage &&
        *origin != TabNavigation::dashboard)
        rescanTab(*origin);
    if (m_storageVM)
        m_storageVM->showRestored(batch);
    m_dashboardVM->fetchMetrics(this);
}

void AppState::applyExclusions(bool foldersChanged)
{
    for (AdvancedToolsViewModel *model :
         {m_runtimesVM, m_duplicatesVM, m_largeFilesVM, m_installersVM})
        model->dropNotOffered();
    m_deepCleanVM->dropNotOffered();
    if (!m_junkVM->categories().isEmpty())
        m_junkVM->scan(this);
    if (m_storageVM && foldersChanged)
        m_storageVM->forgetMeasurements();
}

bool AppState::readFullDiskAccess()
{
    return FullDiskAccess::read();
}

void AppState::watchForFullDiskAccess()
{
    if (m_hasFullDiskAccess)
        return;
    auto *timer = new QTimer(this);
    timer->setInterval(2000);
    connect(timer, &QTimer::timeout, this, &AppState::checkFullDiskAccess);
    timer->start();
    m_accessTimer = timer;
}

void AppState::checkFullDiskAccess()
{
    const bool granted = readFullDiskAccess();
    const bool previous = m_hasFullDiskAccess;
    setHasFullDiskAccess(granted);
    if (!granted)
        return;
    if (m_accessTimer) {
        m_accessTimer->stop();
        m_accessTimer->deleteLater();
        m_accessTimer = nullptr;
    }
    if (!previous)
        loadAllTabs();
    updateTrashWatcher();
}

void AppState::openFullDiskAccessSettings()
{
    const QString address = Locations::current().fullDiskAccessSettingsUrl;
    if (address.isEmpty())
        return;
    const QUrl url(address);
    if (url.isValid())
        Workspace::openUrl(url);
}

void AppState::relaunch()
{
    Workspace::startDetached(
        Locations::current().shell,
        {QStringLiteral("-c"), Locations::current().relaunchScript, Workspace::applicationPath()});
    emit terminateRequested();
}

void AppState::startUpdateCheck()
{
    Updater::backgroundCheck(this, [this](std::optional<Updater::Release> release) {
        if (release)
            setShowUpdate(true);
    });
}

void AppState::updateTrashWatcher()
{
    const bool wanted =
        m_hasFullDiskAccess && Preferences::boolValue(QLatin1String(watchTrashKey), true);
    if (!wanted) {
        if (m_trashWatcher)
            m_trashWatcher->stop();
        return;
    }
    if (!m_trashWatcher) {
        QPointer<AppState> self(this);
        m_trashWatcher = new TrashWatcher(
            [self](const TrashWatcher::Arrival &arrival) {
                if (self)
                    self->appWasTrashed(arrival.pathInTrash, arrival.identity);
            },
            this);
    }
    m_trashWatcher->start();
}

bool AppState::isWatchingTrash() const
{
    return m_trashWatcher && m_trashWatcher->isWatching();
}

void AppState::appWasTrashed(const QString &pathInTrash, const AppIdentity &identity)
{
    showLeftovers(identity.name, identity.bundleID, pathInTrash, identity.aliases);
}

bool AppState::leftoversShownOrComing(const QString &name,
                                      const std::optional<QString> &bundleID) const
{
    if (m_leftoverReport && m_leftoverReport->sameApp(name, bundleID))
        return true;
    for (const LeftoverReport &waiting : m_waitingReports)
        if (waiting.sameApp(name, bundleID))
            return true;
    return false;
}

void AppState::showLeftovers(const QString &name, const std::optional<QString> &bundleID,
                             const QString &appURL, const QStringList &aliases)
{
    // The in-app uninstall and the Trash watcher both see the same removal.
    if (leftoversShownOrComing(name, bundleID))
        return;
    for (const Search &search : m_searching)
        if (search.name == name && search.bundleID == bundleID)
            return;
    m_searching.append({name, bundleID, false, std::nullopt});
    QStringList listed;
    for (const AppResource &app : m_applicationsVM->applications())
        listed.append(app.path);
    const QFuture<std::optional<LeftoverReport>> search =
        Background::start([name, bundleID, appURL, listed, aliases] {
            return AppLeftovers::report(name, bundleID, appURL, listed, aliases);
        });
    m_leftoverSearches.track(QFuture<void>(search));
    whenFinished(this, search, [this, name, bundleID](const std::optional<LeftoverReport> &report) {
        for (Search &s : m_searching) {
            if (s.name == name && s.bundleID == bundleID && !s.done) {
                s.done = true;
                s.report = report;
                break;
            }
        }
        publishFinishedSearches();
    });
}

void AppState::publishFinishedSearches()
{
    while (!m_searching.isEmpty() && m_searching.first().done) {
        const Search search = m_searching.takeFirst();
        if (!search.report || leftoversShownOrComing(search.name, search.bundleID))
            continue;
        if (m_leftoverReport) {
            m_waitingReports.append(*search.report);
            continue;
        }
        setLeftoverReport(search.report);
        emit activationRequested();
    }
}

void AppState::dismissLeftoverReport()
{
    if (m_waitingReports.isEmpty()) {
        setLeftoverReport(std::nullopt);
        return;
    }
    setLeftoverReport(m_waitingReports.takeFirst());
    emit activationRequested();
}

void AppState::setLeftoverReport(const std::optional<LeftoverReport> &report)
{
    m_leftoverReport = report;
    emit leftoverReportChanged();
    emit changed();
}
