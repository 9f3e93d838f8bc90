#include "app/AppState.h"

#include "dashboard/DashboardViewModel.h"
// The storage scanner names its own token type like the shared one; this file needs
// both, so the scanner's is spelled differently here (the type itself is unchanged).
#define CancelToken StorageCancelToken
#include "storage/StorageViewModel.h"
#undef CancelToken

#include "exec/ProcessRunner.h"
#include "finders/AdvancedToolsViewModel.h"
#include "homebrew/HomebrewViewModel.h"
#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/SystemLog.h"
#include "platform/Workspace.h"

#include <QCoreApplication>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

AppState::AppState(QObject *parent) : QObject(parent)
{
    // The tabs' scans mostly wait on programs and the disk, and all of them may run at
    // once; a pool sized to the cores would queue the storage map behind them.
    QThreadPool *pool = QThreadPool::globalInstance();
    pool->setMaxThreadCount(qMax(pool->maxThreadCount(), 16));

    const QVariant stored = Preferences::value(TabNavigation::defaultsKey);
    m_selectedTab = TabNavigation::restored(stored.typeId() == QMetaType::QString
                                                ? std::optional<QString>(stored.toString())
                                                : std::nullopt);

    m_dashboardVM = new DashboardViewModel(this);
    m_homebrewVM = new HomebrewViewModel(this);
    m_runtimesVM = new AdvancedToolsViewModel(this);
    m_duplicatesVM = new AdvancedToolsViewModel(this);
    m_largeFilesVM = new AdvancedToolsViewModel(this);
    m_installersVM = new AdvancedToolsViewModel(this);

    m_hasFullDiskAccess = readFullDiskAccess();
    watchForFullDiskAccess();
    updateTrashWatcher();

    connect(NotificationCenter::instance(), &NotificationCenter::notified, this,
            [this](const QString &name) {
                if (name == QLatin1String("watchTrashChanged"))
                    updateTrashWatcher();
            });

    forwardChanges(m_dashboardVM);
    forwardChanges(m_homebrewVM);
    forwardChanges(m_runtimesVM);
    forwardChanges(m_duplicatesVM);
    forwardChanges(m_largeFilesVM);
    forwardChanges(m_installersVM);

    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &AppState::stopAllWork);
}

AppState::~AppState()
{
    // Running scans still report through this object: stop them and let them end while
    // it is whole.
    cancelScans();
    for (AdvancedToolsViewModel *model :
         {m_runtimesVM, m_duplicatesVM, m_largeFilesVM, m_installersVM})
        model->waitForTasks();
    m_homebrewVM->waitForTasks();
    m_dashboardVM->waitForTasks();
}

void AppState::cancelScans()
{
    for (AdvancedToolsViewModel *model :
         {m_runtimesVM, m_duplicatesVM, m_largeFilesVM, m_installersVM})
        model->cancelScans();
}

void AppState::stopAllWork()
{
    cancelScans();
    ProcessRunner::stopAll();
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

void AppState::setDiskFigures(double totalGB, double freeGB)
{
    m_diskTotalGB = totalGB;
    m_diskFreeGB = freeGB;
    m_diskUsedGB = totalGB - freeGB;
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
    QMetaObject::invokeMethod(
        this,
        [this, isScanning, message, percentage] {
            setIsScanning(isScanning);
            setScanStatusMessage(message);
            setScanPercentage(percentage);
        },
        Qt::QueuedConnection);
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
    if (!m_storageVM)
        m_storageVM = new StorageViewModel(this);
    return m_storageVM;
}

void AppState::loadAllTabs()
{
    if (!canScan())
        return;
    emit loadAllTabsStarted();
    // Each model's scan starts its own background work and returns at once.
    m_dashboardVM->fetchMetrics(this);
    m_runtimesVM->scanRuntimes(this);
    m_homebrewVM->scanHomebrew(this);
    m_duplicatesVM->scanDuplicates(this);
    m_largeFilesVM->scanLargeFiles(this);
    m_installersVM->scanInstallers(this);
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

void AppState::updateTrashWatcher()
{
    // The Trash watcher arrives with the Applications tab.
}
