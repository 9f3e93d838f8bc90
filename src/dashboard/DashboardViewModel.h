#pragma once

#include "exec/BackgroundWork.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUuid>

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
    QString runtimesStr() const { return m_runtimesStr; }
    QString weeklyDigestTitle() const { return m_weeklyDigestTitle; }
    QString weeklyDigestDesc() const { return m_weeklyDigestDesc; }
    QList<DiskCategory> diskCategories() const { return m_diskCategories; }
    bool isFetching() const { return m_fetching; }

    // Starts the work and returns. The capacities are taken now, on the main thread
    // (asked for first when still unknown); a call while a fetch runs starts nothing.
    void fetchMetrics(AppHost *appState);
    // Reads the home volume's capacities into the state object. Main thread.
    static void fetchDiskUsage(AppHost *appState);

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

    void waitForTasks();

signals:
    void changed();
    void metricsChanged();
    void diskCategoriesChanged();

private:
    void publish(const std::function<void()> &change);

    QString m_cleanableCacheStr = QStringLiteral("Scanning...");
    QString m_outdatedBrewsStr = QStringLiteral("Scanning...");
    QString m_runtimesStr = QStringLiteral("Scanning...");
    QString m_weeklyDigestTitle = QStringLiteral("System Healthy");
    QString m_weeklyDigestDesc;
    QList<DiskCategory> m_diskCategories;
    bool m_fetching = false;
    BackgroundWork m_work;
};
