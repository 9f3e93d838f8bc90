#pragma once

#include "exec/BackgroundWork.h"
#include "exec/CancelToken.h"
#include "platform/DiskSpace.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <optional>

class AppHost;

// One slice of the used disk space.
struct DiskCategory {
    // Which slice it is; the screen picks its colour.
    enum Kind {
        apps,
        downloads,
        media,
        documents,
        brew,
        docker,
        caches,
        developer,
        trash,
        library,
        system
    };
    QUuid id = QUuid::createUuid();
    QString name;
    double sizeGB = 0; // megabytes / 1024
    Kind kind = system;
};

// The dashboard's figures: caches, outdated packages, runtimes, the digest verdict and
// the breakdown of the used space. Lives on the main thread; the work runs in the pool
// and publishes each figure as it arrives.
class DashboardViewModel : public QObject {
    Q_OBJECT
public:
    explicit DashboardViewModel(QObject *parent = nullptr);
    ~DashboardViewModel() override;

    QString cleanableCacheStr() const { return m_cleanableCacheStr; }
    QString outdatedBrewsStr() const { return m_outdatedBrewsStr; }
    // "Outdated Brews", or "Outdated Packages" where Homebrew is absent and the system's
    // package manager was asked instead; then `outdatedPackages` lists them.
    QString outdatedTitle() const { return m_outdatedTitle; }
    QStringList outdatedPackages() const { return m_outdatedPackages; }
    // "name/suite 2.0 amd64 [upgradable from: 1.0]" lines → "name 1.0 → 2.0".
    static QStringList parseUpgradable(const QString &aptOutput);
    QString runtimesStr() const { return m_runtimesStr; }
    QString weeklyDigestTitle() const { return m_weeklyDigestTitle; }
    QString weeklyDigestDesc() const { return m_weeklyDigestDesc; }
    QList<DiskCategory> diskCategories() const { return m_diskCategories; }
    bool isFetching() const { return m_fetching; }
    // Something went to the Trash since the breakdown was measured: it shows the space
    // as it was until the next fetch.
    bool isBreakdownStale() const { return m_breakdownStale; }

    // Starts the work and returns; a call while a fetch runs starts nothing. Capacities
    // still unknown are asked for first, and the breakdown waits for them up to the
    // time limit.
    void fetchMetrics(AppHost *appState);
    // Asks for the home volume's capacities off the main thread (a dead network home
    // never answers); they reach the state object when they come. A question still
    // open is not asked again.
    void fetchDiskUsage(AppHost *appState);
    // The capacities did not come within the time limit, or could not be read: they
    // show as unknown until an answer comes.
    bool isDiskUsageUnknown() const { return m_diskUsageUnknown; }
    static int diskUsageTimeoutMs();
    static void setDiskUsageTimeoutMs(int ms); // for tests

    // The capacities of the folder's volume; nothing when they cannot be read.
    static std::optional<DiskSpace> readDiskUsage(const QString &folder);
    // For tests: what answers in place of readDiskUsage (nothing: the file system again).
    using DiskUsageReader = std::function<std::optional<DiskSpace>(const QString &)>;
    static void setDiskUsageReader(DiskUsageReader reader);

    // Pieces of the work, for tests.
    struct Group {
        QString name;
        QStringList paths;
    };
    // Per-path sizes in MiB from "du -sm" output (one line per path).
    static QHash<QString, double> parseDuLines(const QString &output);
    // Each group's size in MiB with every other group's paths that lie inside it taken
    // out, so no byte counts twice.
    static QList<double> disjointSizes(const QList<Group> &groups,
                                       const QHash<QString, double> &pathSizes);
    // The eleven categories from the table's groups and the used space in decimal GB.
    static QList<DiskCategory> diskBreakdown(double diskUsedGB);

    // Stops waiting for capacities (quitting); later fetches run as usual.
    void cancelWork();
    void waitForTasks();

signals:
    void changed();
    void metricsChanged();
    void diskCategoriesChanged();
    void diskUsageUnknownChanged(bool unknown);

private:
    void publish(const std::function<void()> &change);
    void setDiskUsageUnknown(bool unknown);
    // The figures a removal can change that take little to measure: the caches, the
    // runtimes and the capacities. Run off the main thread; each publishes itself.
    void measureCache(AppHost *appState);
    void countRuntimes();
    void dropRemoved();

    QString m_cleanableCacheStr = QStringLiteral("Scanning...");
    QString m_outdatedBrewsStr = QStringLiteral("Scanning...");
    QString m_outdatedTitle = QStringLiteral("Outdated Brews");
    QStringList m_outdatedPackages;
    QString m_runtimesStr = QStringLiteral("Scanning...");
    QString m_weeklyDigestTitle = QStringLiteral("System Healthy");
    QString m_weeklyDigestDesc;
    QList<DiskCategory> m_diskCategories;
    bool m_fetching = false;
    bool m_breakdownStale = false;
    bool m_diskUsageUnknown = false;
    bool m_askingDiskUsage = false;
    AppHost *m_host = nullptr; // the last one a fetch was made for
    QFuture<std::optional<DiskSpace>> m_diskQuestion;
    CancelToken m_cancel;
    BackgroundWork m_work;
};
