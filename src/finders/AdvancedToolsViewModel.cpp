#include "finders/AdvancedToolsViewModel.h"

#include "app/AppState.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QMutexLocker>
#include <QPromise>
#include <QtConcurrent>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace {

QStringList outputLines(const RunResult &result)
{
    return result.stdOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void reportStart(AppState *appState, const QString &message)
{
    if (appState)
        appState->setScanProgress(true, message, 0);
}

// Direct entries of a folder, names ascending; nothing when it cannot be listed.
QStringList sortedEntries(const QString &folder)
{
    QStringList names = FileProperties::listNames(folder).value_or(QStringList());
    std::sort(names.begin(), names.end());
    return names;
}

QString trimmedOfBlanks(const QString &line)
{
    qsizetype from = 0;
    qsizetype to = line.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(line.at(from)))
        ++from;
    while (to > from && blank(line.at(to - 1)))
        --to;
    return line.mid(from, to - from);
}

// Rows that name a path which is gone by the time the scan ends (a file moved to the
// Trash meanwhile must not come back). A row that is no path (a Java listing line) and
// one the system only refuses to describe stay.
QList<FileItem> withoutVanished(QList<FileItem> items)
{
    items.removeIf([](const FileItem &item) {
        if (!item.path.startsWith(QLatin1Char('/')))
            return false;
        struct stat st;
        return ::lstat(nativePath(item.path).constData(), &st) != 0 &&
               (errno == ENOENT || errno == ENOTDIR);
    });
    return items;
}

} // namespace

AdvancedToolsViewModel::AdvancedToolsViewModel(QObject *parent) : QObject(parent) {}

AdvancedToolsViewModel::~AdvancedToolsViewModel()
{
    waitForTasks();
}

void AdvancedToolsViewModel::waitForTasks()
{
    m_work.waitForAll();
}

void AdvancedToolsViewModel::setSelectedItemPath(const std::optional<QString> &path)
{
    if (m_selectedItemPath == path)
        return;
    m_selectedItemPath = path;
    emit selectedItemPathChanged();
    emit changed();
}

void AdvancedToolsViewModel::setItems(const QList<FileItem> &items)
{
    m_items = items;
    emit itemsChanged();
    emit changed();
}

void AdvancedToolsViewModel::removeItem(const QString &path)
{
    if (m_scansRunning > 0)
        m_trashedDuringScan.insert(path);
    const qsizetype removed =
        m_items.removeIf([&](const FileItem &item) { return item.path == path; });
    if (removed > 0) {
        emit itemsChanged();
        emit changed();
    }
    if (m_selectedItemPath == path)
        setSelectedItemPath(std::nullopt);
}

void AdvancedToolsViewModel::runScan(Work work, AppState *appState)
{
    ++m_scansRunning;
    m_work.track(QtConcurrent::run([this, work, appState] {
        const QList<FileItem> found = withoutVanished(work(appState));
        QMetaObject::invokeMethod(
            this,
            [this, found] {
                QList<FileItem> published = found;
                published.removeIf(
                    [&](const FileItem &item) { return m_trashedDuringScan.contains(item.path); });
                if (--m_scansRunning == 0)
                    m_trashedDuringScan.clear();
                setItems(published);
            },
            Qt::QueuedConnection);
        if (appState)
            appState->setScanProgress(false, QString(), 0);
    }));
}

void AdvancedToolsViewModel::scanLargeFiles(AppState *appState)
{
    runScan(&AdvancedToolsViewModel::findLargeFiles, appState);
}

void AdvancedToolsViewModel::scanInstallers(AppState *appState)
{
    runScan(&AdvancedToolsViewModel::findInstallers, appState);
}

void AdvancedToolsViewModel::scanRuntimes(AppState *appState)
{
    runScan(&AdvancedToolsViewModel::findRuntimes, appState);
}

void AdvancedToolsViewModel::scanDuplicates(AppState *appState)
{
    runScan(&AdvancedToolsViewModel::findDuplicates, appState);
}

QFuture<SafetyHelper::Outcome> AdvancedToolsViewModel::trash(const QString &path,
                                                             AppState *appState)
{
    // Finished on the main thread after the list is updated, so whoever waits for the
    // outcome sees the list without the item.
    auto promise = std::make_shared<QPromise<SafetyHelper::Outcome>>();
    promise->start();
    const QFuture<SafetyHelper::Outcome> done = promise->future();
    m_work.track(QtConcurrent::run([this, path, appState, promise] {
        const std::optional<QByteArray> bytes = SafetyHelper::exactNativePath(path);
        const SafetyHelper::Outcome outcome =
            bytes
                ? SafetyHelper::moveNativeToTrash(*bytes, appState)
                : SafetyHelper::Outcome{false, QStringLiteral("The name cannot be read exactly.")};
        QMetaObject::invokeMethod(
            this,
            [this, path, outcome, promise] {
                if (outcome.ok)
                    removeItem(path);
                promise->addResult(outcome);
                promise->finish();
            },
            Qt::QueuedConnection);
    }));
    return done;
}

QString AdvancedToolsViewModel::sizeBand(double sizeMB)
{
    if (sizeMB > 5000)
        return QStringLiteral("> 5 GB");
    if (sizeMB > 1000)
        return QStringLiteral("1 - 5 GB");
    return QStringLiteral("50 - 500 MB");
}

QList<FileItem> AdvancedToolsViewModel::findLargeFiles(AppState *appState)
{
    reportStart(appState, QStringLiteral("Scanning for files >50MB..."));
    const Locations &loc = Locations::current();
    const QStringList arguments =
        loc.largeFilesFolders + QStringList{QStringLiteral("-type"), QStringLiteral("f"),
                                            QStringLiteral("-size"), QStringLiteral("+50M")};
    QList<FileItem> items;
    for (const QString &path : outputLines(ProcessRunner::run(loc.find, arguments, appState))) {
        const double mb = ProcessRunner::sizeMB({path});
        items.append({path, sizeBand(mb), QString(), mb, std::nullopt});
    }
    return items;
}

QList<FileItem> AdvancedToolsViewModel::findInstallers(AppState *appState)
{
    reportStart(appState, QStringLiteral("Scanning for .dmg and .pkg..."));
    QList<FileItem> items;
    const RunResult found =
        ProcessRunner::runCommand(Locations::current().installersCommand, appState);
    for (const QString &path : outputLines(found)) {
        const auto p = FileProperties::read(path);
        const double mb = p ? double(p->fileSize) / 1024 / 1024 : 0;
        items.append({path, QStringLiteral("Installer"), QString(), mb, std::nullopt});
    }
    return items;
}

QList<FileItem> AdvancedToolsViewModel::findRuntimes(AppState *appState)
{
    reportStart(appState, QStringLiteral("Deep discovery of Conda, Pyenv, Java, Local..."));
    const Locations &loc = Locations::current();
    QList<FileItem> items;

    for (const QString &line :
         outputLines(ProcessRunner::runCommand(loc.javaListCommand, appState))) {
        if (line.contains(loc.javaLineMarker))
            items.append(
                {trimmedOfBlanks(line), QStringLiteral("Java JDK"), QString(), 0, std::nullopt});
    }
    for (const QString &name : sortedEntries(loc.pyenvVersions))
        items.append({loc.pyenvVersions + QLatin1Char('/') + name, QStringLiteral("Pyenv Python"),
                      QString(), 0, std::nullopt});
    for (const QString &name : sortedEntries(loc.condaEnvs))
        items.append({loc.condaEnvs + QLatin1Char('/') + name, QStringLiteral("Conda Env"),
                      QString(), 0, std::nullopt});
    const RunResult links = ProcessRunner::runCommand(loc.localBinLinksCommand, appState);
    for (const QString &path : outputLines(links)) {
        const QString target = FileProperties::linkTarget(path);
        items.append(
            {path, target.isEmpty() ? QStringLiteral("Local Bin") : QStringLiteral("-> ") + target,
             QString(), 0, std::nullopt});
    }
    return items;
}

QList<DuplicateGroupRecord> AdvancedToolsViewModel::duplicateGroups(const QStringList &paths)
{
    return DuplicateFinder::groups(paths);
}

QList<FileItem> AdvancedToolsViewModel::findDuplicates(AppState *appState)
{
    reportStart(appState, QStringLiteral("Scanning for potential duplicates in Home directory..."));
    const Locations &loc = Locations::current();
    const QStringList arguments{loc.home, "-maxdepth",    "5",   "-type",  "d",  "(",
                                "-name",  "Library",      "-o",  "-name",  ".*", "-o",
                                "-name",  "node_modules", ")",   "-prune", "-o", "-type",
                                "f",      "-size",        "+1M", "-print"};
    const RunResult listed = ProcessRunner::run(loc.find, arguments, appState);
    reportStart(appState, QStringLiteral("Comparing files to find true duplicates..."));

    QList<FileItem> items;
    for (const DuplicateGroupRecord &group : duplicateGroups(outputLines(listed))) {
        for (const QString &path : group.paths)
            items.append({path, QStringLiteral("Duplicate"), group.key,
                          double(group.bytes) / 1024 / 1024, std::nullopt});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const FileItem &a, const FileItem &b) { return a.md5Hash < b.md5Hash; });
    return items;
}
