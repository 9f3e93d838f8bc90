#include "dashboard/DashboardViewModel.h"

#include "exec/AppHost.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "homebrew/Brew.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Plural.h"
#include "platform/RemovalHub.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QTime>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>

namespace {

QMutex gReaderMutex;
DashboardViewModel::DiskUsageReader gReader;
std::atomic_int gDiskUsageTimeoutMs{3000};

// A statvfs on a dead network mount never returns. Its thread is not the global pool's,
// which quitting waits for, and this pool is never destroyed, which would wait too.
QThreadPool *diskQuestionPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(4);
        return p;
    }();
    return pool;
}

// The answer to an open question, waited for on a pool thread up to the limit.
std::optional<DiskSpace> awaitDiskUsage(const QFuture<std::optional<DiskSpace>> &question,
                                        int limitMs, const CancelToken &cancel)
{
    QElapsedTimer clock;
    clock.start();
    while (!question.isFinished()) {
        if (cancel.isCancelled() || clock.elapsed() >= limitMs)
            return std::nullopt;
        QThread::msleep(10);
    }
    return question.result();
}

bool liesStrictlyInside(const QString &path, const QString &folder)
{
    return path.startsWith(folder) && path.size() > folder.size() &&
           (folder.endsWith(QLatin1Char('/')) || path.at(folder.size()) == QLatin1Char('/'));
}

// GNU du counts a folder named twice in one run once: keep only the outermost paths.
QStringList outermost(const QStringList &paths)
{
    QStringList kept;
    for (const QString &p : paths) {
        bool inner = false;
        for (const QString &other : paths) {
            if (liesStrictlyInside(p, other))
                inner = true;
        }
        if (!inner && !kept.contains(p))
            kept.append(p);
    }
    return kept;
}

int countOf(const QString &command)
{
    bool ok = false;
    const int n = ProcessRunner::runCommand(command).stdOut.trimmed().toInt(&ok);
    return ok ? n : 0;
}

int entriesIn(const QString &folder)
{
    return int(FileProperties::listNames(folder).value_or(QStringList()).size());
}

} // namespace

DashboardViewModel::DashboardViewModel(QObject *parent)
    : QObject(parent),
      m_weeklyDigestDesc(PlatformTexts::text(QStringLiteral("Your Mac is running smoothly.")))
{
    connect(RemovalHub::instance(), &RemovalHub::removed, this, &DashboardViewModel::dropRemoved);
}

DashboardViewModel::~DashboardViewModel()
{
    m_cancel.cancel();
    waitForTasks();
}

void DashboardViewModel::cancelWork()
{
    m_cancel.cancel();
    m_cancel = CancelToken();
}

int DashboardViewModel::diskUsageTimeoutMs()
{
    return gDiskUsageTimeoutMs.load();
}

void DashboardViewModel::setDiskUsageTimeoutMs(int ms)
{
    gDiskUsageTimeoutMs.store(ms);
}

void DashboardViewModel::setDiskUsageUnknown(bool unknown)
{
    if (m_diskUsageUnknown == unknown)
        return;
    m_diskUsageUnknown = unknown;
    emit diskUsageUnknownChanged(unknown);
    emit changed();
}

void DashboardViewModel::waitForTasks()
{
    m_work.waitForAll();
}

void DashboardViewModel::publish(const std::function<void()> &change)
{
    QMetaObject::invokeMethod(
        this,
        [this, change] {
            change();
            emit metricsChanged();
            emit changed();
        },
        Qt::QueuedConnection);
}

std::optional<DiskSpace> DashboardViewModel::readDiskUsage(const QString &folder)
{
    {
        QMutexLocker lock(&gReaderMutex);
        if (gReader) {
            const DiskUsageReader reader = gReader;
            lock.unlock();
            return reader(folder);
        }
    }
    return DiskSpace::read(folder);
}

void DashboardViewModel::setDiskUsageReader(DiskUsageReader reader)
{
    QMutexLocker lock(&gReaderMutex);
    gReader = std::move(reader);
}

void DashboardViewModel::fetchDiskUsage(AppHost *appState)
{
    if (m_askingDiskUsage)
        return;
    m_askingDiskUsage = true;
    const QString home = Locations::current().home;
    m_diskQuestion = QtConcurrent::run(diskQuestionPool(), [home] { return readDiskUsage(home); });
    // The host may be gone when the answer comes; the application's state is a QObject.
    const QPointer<QObject> alive(dynamic_cast<QObject *>(appState));
    whenFinished(this, m_diskQuestion,
                 [this, appState, alive](const std::optional<DiskSpace> &figures) {
                     m_askingDiskUsage = false;
                     if (figures && alive)
                         appState->setDiskSpace(*figures);
                     setDiskUsageUnknown(!figures);
                 });
    QTimer::singleShot(diskUsageTimeoutMs(), this, [this, question = m_diskQuestion] {
        if (!question.isFinished())
            setDiskUsageUnknown(true);
    });
}

void DashboardViewModel::fetchMetrics(AppHost *appState)
{
    // Showing the dashboard twice quickly must not start a second set of walks.
    if (m_fetching)
        return;
    m_host = appState;
    if (appState && appState->diskTotalGB() <= 0)
        fetchDiskUsage(appState);
    const double knownUsedGB = appState ? appState->diskUsedGB() : 0;
    const bool asking = m_askingDiskUsage;
    const QFuture<std::optional<DiskSpace>> question = m_diskQuestion;
    const int waitMs = diskUsageTimeoutMs();
    const CancelToken cancel = m_cancel;
    m_fetching = true;
    m_work.track(Background::start([this, appState, knownUsedGB, asking, question, waitMs, cancel] {
        measureCache(appState);
        const Locations &loc = Locations::current();

        // Where Homebrew is absent, the system's own package manager tells what is outdated.
        const bool useApt = loc.os == Locations::Os::Linux &&
                            !FileProperties::isExecutable(Brew::path()) &&
                            FileProperties::isExecutable(loc.apt);
        const RunResult outdated =
            useApt ? RunResult{}
                   : Brew::read({QStringLiteral("outdated"), QStringLiteral("--quiet")});
        if (useApt) {
            // Read only: the lists as the last update left them, never refreshed here.
            RunOptions options;
            options.cancel = cancel;
            options.timeoutMs = 30000;
            const RunResult listed = ProcessRunner::run(
                loc.apt, {QStringLiteral("list"), QStringLiteral("--upgradable")}, appState,
                options);
            const QStringList packages = parseUpgradable(listed.stdOut);
            const bool ok = listed.exitCode == 0;
            publish([this, packages, ok] {
                m_outdatedTitle = QStringLiteral("Outdated Packages");
                m_outdatedPackages = packages;
                m_outdatedBrewsStr = ok ? Plural::count(packages.size(), QStringLiteral("Package"),
                                                        QStringLiteral("Packages"))
                                        : QStringLiteral("N/A");
            });
        } else if (outdated.exitCode != 0) {
            publish([this] { m_outdatedBrewsStr = QStringLiteral("N/A"); });
        } else {
            const qsizetype n = outdated.stdOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size();
            publish([this, n] {
                m_outdatedBrewsStr =
                    Plural::count(n, QStringLiteral("Package"), QStringLiteral("Packages"));
                if (n > 10) {
                    m_weeklyDigestTitle = QStringLiteral("Updates Available");
                    m_weeklyDigestDesc = QStringLiteral("You have %1 outdated packages. Consider "
                                                        "running brew upgrade.")
                                             .arg(n);
                }
            });
        }

        countRuntimes();

        double usedGB = knownUsedGB;
        if (asking) {
            const std::optional<DiskSpace> figures = awaitDiskUsage(question, waitMs, cancel);
            usedGB = figures ? double(figures->usedBytes) / 1e9 : 0;
        }
        const QList<DiskCategory> categories = diskBreakdown(usedGB);
        QMetaObject::invokeMethod(
            this,
            [this, categories] {
                m_diskCategories = categories;
                m_breakdownStale = false;
                m_fetching = false;
                emit diskCategoriesChanged();
                emit changed();
            },
            Qt::QueuedConnection);
    }));
}

void DashboardViewModel::measureCache(AppHost *appState)
{
    const RunResult caches =
        ProcessRunner::runCommand(Locations::current().cachesCommand, appState);
    const QStringList pieces = caches.stdOut.split(QLatin1Char('\t'), Qt::SkipEmptyParts);
    bool ok = false;
    const double cacheMB = pieces.isEmpty() ? 0 : pieces.first().trimmed().toDouble(&ok);
    if (!ok) {
        publish([this] { m_cleanableCacheStr = QStringLiteral("Unknown"); });
        return;
    }
    const QString time = QLocale().toString(QTime::currentTime(), QLocale::ShortFormat);
    publish([this, cacheMB, time] {
        m_cleanableCacheStr = formatSizeMB(cacheMB);
        const bool large = cacheMB > 1000;
        m_weeklyDigestTitle =
            large ? QStringLiteral("Large Cache Detected") : QStringLiteral("System Healthy");
        m_weeklyDigestDesc =
            QStringLiteral("Last scanned: ") + time + QLatin1Char('\n') +
            (large ? QStringLiteral("You have over 1GB of caches. Consider running Junk Cleaner.")
                   : PlatformTexts::text(QStringLiteral("Your Mac is running smoothly.")));
    });
}

void DashboardViewModel::countRuntimes()
{
    const Locations &loc = Locations::current();
    const int runtimes = countOf(loc.javaCountCommand) + entriesIn(loc.pyenvVersions) +
                         entriesIn(loc.condaEnvs) + countOf(loc.localBinLinksCountCommand);
    publish(
        [this, runtimes] { m_runtimesStr = QString::number(runtimes) + QStringLiteral(" Envs"); });
}

void DashboardViewModel::dropRemoved()
{
    if (!m_diskCategories.isEmpty() && !m_breakdownStale) {
        m_breakdownStale = true;
        emit diskCategoriesChanged();
        emit changed();
    }
    AppHost *host = m_host;
    if (host)
        fetchDiskUsage(host);
    m_work.track(Background::start([this, host] {
        measureCache(host);
        countRuntimes();
    }));
}

QHash<QString, double> DashboardViewModel::parseDuLines(const QString &output)
{
    QHash<QString, double> sizes;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(QLatin1Char('\t'));
        if (tab < 0)
            continue;
        bool ok = false;
        const double mb = line.left(tab).trimmed().toDouble(&ok);
        if (ok)
            sizes.insert(line.mid(tab + 1), mb);
    }
    return sizes;
}

QList<double> DashboardViewModel::disjointSizes(const QList<Group> &groups,
                                                const QHash<QString, double> &pathSizes)
{
    QList<double> sizes;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        QStringList others;
        for (qsizetype h = 0; h < groups.size(); ++h) {
            if (h != g)
                others += outermost(groups.at(h).paths);
        }
        others.removeDuplicates();
        double total = 0;
        for (const QString &path : outermost(groups.at(g).paths)) {
            double size = pathSizes.value(path, 0);
            // Take out what another group counts, once: only the outermost such paths.
            for (const QString &inner : others) {
                if (!liesStrictlyInside(inner, path))
                    continue;
                bool covered = false;
                for (const QString &between : others) {
                    if (liesStrictlyInside(inner, between) && liesStrictlyInside(between, path))
                        covered = true;
                }
                if (!covered)
                    size -= pathSizes.value(inner, 0);
            }
            total += qMax(0.0, size);
        }
        sizes.append(total);
    }
    return sizes;
}

QList<DiskCategory> DashboardViewModel::diskBreakdown(double diskUsedGB)
{
    const Locations &loc = Locations::current();
    const QList<Group> groups = {
        {QStringLiteral("apps"), loc.groupApps},
        {QStringLiteral("developer"), loc.groupDeveloper},
        {QStringLiteral("caches"), loc.groupCaches},
        {QStringLiteral("docker"), loc.groupDocker},
        {QStringLiteral("brew"), loc.groupBrew},
        {QStringLiteral("downloads"), loc.groupDownloads},
        {QStringLiteral("media"), loc.groupMedia},
        {QStringLiteral("documents"), loc.groupDocuments},
        {QStringLiteral("trash"), loc.groupTrash},
        {QStringLiteral("library"), loc.groupLibrary},
    };
    // Every path measured once, the groups at the same time.
    QList<QFuture<QHash<QString, double>>> runs;
    for (const Group &group : groups) {
        QStringList existing;
        for (const QString &path : outermost(group.paths)) {
            if (FileProperties::exists(path))
                existing.append(path);
        }
        runs.append(Background::start([existing] {
            if (existing.isEmpty())
                return QHash<QString, double>();
            return parseDuLines(ProcessRunner::run(Locations::current().du,
                                                   QStringList{QStringLiteral("-sm")} + existing)
                                    .stdOut);
        }));
    }
    QHash<QString, double> pathSizes;
    for (auto &run : runs)
        pathSizes.insert(run.result());
    const QList<double> mb = disjointSizes(groups, pathSizes);
    double categorised = 0;
    for (double value : mb)
        categorised += value / 1024;
    // The used figure is decimal gigabytes; the categories count 1024 × 1024 × 1024 bytes.
    const double usedInCategoryUnits = diskUsedGB * 1e9 / (1024.0 * 1024 * 1024);
    const double systemRest = qMax(0.0, usedInCategoryUnits - categorised);
    const auto make = [](const QString &name, double gb, DiskCategory::Kind kind) {
        DiskCategory c;
        c.name = name;
        c.sizeGB = gb;
        c.kind = kind;
        return c;
    };
    return {make(QStringLiteral("Apps"), mb[0] / 1024, DiskCategory::apps),
            make(QStringLiteral("Downloads"), mb[5] / 1024, DiskCategory::downloads),
            make(QStringLiteral("Media"), mb[6] / 1024, DiskCategory::media),
            make(QStringLiteral("Documents"), mb[7] / 1024, DiskCategory::documents),
            make(QStringLiteral("Brew"), mb[4] / 1024, DiskCategory::brew),
            make(QStringLiteral("Docker"), mb[3] / 1024, DiskCategory::docker),
            make(QStringLiteral("Caches"), mb[2] / 1024, DiskCategory::caches),
            make(QStringLiteral("Developer"), mb[1] / 1024, DiskCategory::developer),
            make(QStringLiteral("Trash"), mb[8] / 1024, DiskCategory::trash),
            make(QStringLiteral("Library"), mb[9] / 1024, DiskCategory::library),
            make(loc.systemCategoryName, systemRest, DiskCategory::system)};
}

QStringList DashboardViewModel::parseUpgradable(const QString &aptOutput)
{
    QStringList packages;
    for (const QString &line : aptOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype slash = line.indexOf(QLatin1Char('/'));
        const qsizetype from = line.indexOf(QLatin1String("[upgradable from: "));
        if (slash <= 0 || from < 0)
            continue;
        const QStringList fields = line.left(from).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 2)
            continue;
        QString old = line.mid(from + 18);
        old.chop(old.endsWith(QLatin1Char(']')) ? 1 : 0);
        packages.append(line.left(slash) + QLatin1Char(' ') + old + QStringLiteral(" → ") +
                        fields[1]);
    }
    return packages;
}
