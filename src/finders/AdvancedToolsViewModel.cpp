#include "finders/AdvancedToolsViewModel.h"

#include "app/AppState.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "finders/HomeSearch.h"
#include "platform/DirectoryReader.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"

#include <QMutexLocker>
#include <QPromise>
#include <QtConcurrent>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The links of the local tools folder shown at most.
constexpr qsizetype kLocalBinRows = 20;

void reportStart(AppState *appState, const QString &message)
{
    if (appState)
        appState->setScanProgress(true, message, 0);
}

QString decoded(const QByteArray &native)
{
    return decodeNativePath(native.constData(), native.size());
}

std::optional<FileProperties> propertiesOf(const QByteArray &native)
{
    struct stat st;
    if (native.isEmpty() || native.contains('\0') || ::lstat(native.constData(), &st) != 0)
        return std::nullopt;
    return FileProperties::fromStat(st);
}

// Ascending by the text shown, then by the bytes.
bool textOrder(const QByteArray &a, const QByteArray &b)
{
    const QString ta = decoded(a);
    const QString tb = decoded(b);
    return ta != tb ? ta < tb : a < b;
}

// Direct entries of a folder as bytes, in ascending order of their names; nothing when it
// cannot be listed.
QList<QByteArray> sortedEntries(const QString &folder)
{
    QList<QByteArray> names;
    DirectoryReader reader;
    if (!reader.open(nativePath(folder).constData(), true))
        return names;
    DirectoryReader::Kind hint;
    while (const char *name = reader.next(hint))
        names.append(QByteArray(name));
    std::sort(names.begin(), names.end(), textOrder);
    return names;
}

QByteArray trimmedOfBlanks(const QByteArray &line)
{
    qsizetype from = 0;
    qsizetype to = line.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (from < to && blank(line.at(from)))
        ++from;
    while (to > from && blank(line.at(to - 1)))
        --to;
    return line.mid(from, to - from);
}

FileItem itemAt(const QByteArray &native, const QString &sizeDesc, double sizeMB,
                const std::optional<FileProperties> &listed)
{
    return {decoded(native),
            sizeDesc,
            QString(),
            sizeMB,
            std::nullopt,
            native,
            listed ? listed->identity : FileIdentity()};
}

QByteArray bytesOf(const FileItem &item)
{
    return item.nativePath.isEmpty() ? nativePath(item.path) : item.nativePath;
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
        return ::lstat(bytesOf(item).constData(), &st) != 0 &&
               (errno == ENOENT || errno == ENOTDIR);
    });
    return items;
}

} // namespace

AdvancedToolsViewModel::AdvancedToolsViewModel(QObject *parent) : QObject(parent) {}

AdvancedToolsViewModel::~AdvancedToolsViewModel()
{
    cancelScans();
    waitForTasks();
}

void AdvancedToolsViewModel::cancelScans()
{
    for (const CancelToken &token : std::as_const(m_scans))
        token.cancel();
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

void AdvancedToolsViewModel::removeItem(const QByteArray &nativePath)
{
    if (!m_scans.isEmpty())
        m_trashedDuringScan.insert(nativePath);
    QStringList paths;
    const qsizetype removed = m_items.removeIf([&](const FileItem &item) {
        if (bytesOf(item) != nativePath)
            return false;
        paths.append(item.path);
        return true;
    });
    if (removed > 0) {
        emit itemsChanged();
        emit changed();
    }
    if (m_selectedItemPath && paths.contains(*m_selectedItemPath))
        setSelectedItemPath(std::nullopt);
}

void AdvancedToolsViewModel::runScan(Work work, AppState *appState)
{
    const quint64 number = ++m_lastScan;
    const CancelToken token;
    m_scans.insert(number, token);
    m_work.track(QtConcurrent::run([this, work, appState, token, number] {
        const QList<FileItem> found = withoutVanished(work(appState, token));
        QMetaObject::invokeMethod(
            this,
            [this, found, token, number] {
                m_scans.remove(number);
                QList<FileItem> published = found;
                published.removeIf([&](const FileItem &item) {
                    return m_trashedDuringScan.contains(bytesOf(item));
                });
                if (m_scans.isEmpty())
                    m_trashedDuringScan.clear();
                if (!token.isCancelled())
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
    // The row's own bytes and identity; a path no row has must stand for exactly one name
    // on disk, and one that rows name by different bytes stands for none.
    const FileItem *row = nullptr;
    bool ambiguous = false;
    for (const FileItem &item : std::as_const(m_items)) {
        if (item.path != path)
            continue;
        ambiguous = ambiguous || (row && bytesOf(*row) != bytesOf(item));
        row = row ? row : &item;
    }
    std::optional<QByteArray> native;
    std::optional<FileIdentity> listed;
    if (row && !ambiguous) {
        native = bytesOf(*row);
        listed = row->identity;
    } else if (!row) {
        native = SafetyHelper::exactNativePath(path);
    }
    if (!native) {
        if (appState)
            appState->addLog(QStringLiteral("stderr"),
                             QStringLiteral("Not moved to the Trash: the name of ") + path +
                                 QStringLiteral(" cannot be read exactly."));
        promise->addResult(
            SafetyHelper::Outcome{false, QStringLiteral("The name cannot be read exactly.")});
        promise->finish();
        return done;
    }
    m_work.track(QtConcurrent::run([this, native = *native, listed, appState, promise] {
        const SafetyHelper::Outcome outcome =
            listed ? SafetyHelper::moveNativeToTrash(native, *listed, appState)
                   : SafetyHelper::moveNativeToTrash(native, appState);
        QMetaObject::invokeMethod(
            this,
            [this, native, outcome, promise] {
                if (outcome.ok)
                    removeItem(native);
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

QList<FileItem> AdvancedToolsViewModel::findLargeFiles(AppState *appState,
                                                       const CancelToken &cancel)
{
    reportStart(appState, QStringLiteral("Scanning for files >50MB..."));
    const Locations &loc = Locations::current();
    const QStringList expression{QStringLiteral("-type"), QStringLiteral("f"),
                                 QStringLiteral("-size"), QStringLiteral("+50M"),
                                 QStringLiteral("-print0")};
    QList<FileItem> items;
    for (const QByteArray &path : HomeSearch::find(loc.largeFilesFolders, {}, expression,
                                                   MountTable::read(), appState, cancel)) {
        // What du -sm says of one file (allocated MiB, rounded up), read by the file's
        // own bytes.
        const auto p = propertiesOf(path);
        const double mb = p ? double((p->allocatedBytes + 1048575) / 1048576) : 0;
        items.append(itemAt(path, sizeBand(mb), mb, p));
    }
    return items;
}

QList<FileItem> AdvancedToolsViewModel::findInstallers(AppState *appState,
                                                       const CancelToken &cancel)
{
    reportStart(appState, QStringLiteral("Scanning for .dmg and .pkg..."));
    const Locations &loc = Locations::current();
    QList<QByteArray> found;
    if (!loc.installersFindExpression.isEmpty()) {
        found = HomeSearch::find({loc.home}, {}, loc.installersFindExpression, MountTable::read(),
                                 appState, cancel);
    } else {
        RunOptions options;
        options.cancel = cancel;
        found = HomeSearch::splitNul(
            ProcessRunner::runCommand(loc.installersCommand, appState, options).stdOutBytes);
    }
    QList<FileItem> items;
    for (const QByteArray &path : found) {
        const auto p = propertiesOf(path);
        const double mb = p ? double(p->fileSize) / 1024 / 1024 : 0;
        items.append(itemAt(path, QStringLiteral("Installer"), mb, p));
    }
    return items;
}

QList<FileItem> AdvancedToolsViewModel::findRuntimes(AppState *appState, const CancelToken &cancel)
{
    reportStart(appState, QStringLiteral("Deep discovery of Conda, Pyenv, Java, Local..."));
    const Locations &loc = Locations::current();
    const QList<MountTable::Mount> mounts = MountTable::read();
    QList<FileItem> items;
    const auto row = [&](const QByteArray &path, const QString &kind) {
        items.append(itemAt(path, kind, 0, propertiesOf(path)));
    };

    if (!loc.javaFolder.isEmpty()) {
        // A JDK is a folder holding bin/java (a file, or a link to one).
        const QByteArray java = "/bin/java";
        QList<QByteArray> found = HomeSearch::find(
            {loc.javaFolder},
            {QStringLiteral("-mindepth"), QStringLiteral("3"), QStringLiteral("-maxdepth"),
             QStringLiteral("3")},
            {QStringLiteral("-path"),
             HomeSearch::literalPattern(nativePath(loc.javaFolder)) + QStringLiteral("/*/bin/java"),
             QStringLiteral("-xtype"), QStringLiteral("f"), QStringLiteral("-print0")},
            mounts, appState, cancel);
        std::sort(found.begin(), found.end(), textOrder);
        for (const QByteArray &path : found) {
            if (path.endsWith(java))
                row(path.chopped(java.size()), QStringLiteral("Java JDK"));
        }
    } else {
        // The Java tool's report: text lines, one installation each.
        RunOptions options;
        options.cancel = cancel;
        const QByteArray marker = loc.javaLineMarker.toUtf8();
        for (const QByteArray &line : HomeSearch::splitLines(
                 ProcessRunner::runCommand(loc.javaListCommand, appState, options).stdOutBytes)) {
            if (line.contains(marker))
                row(trimmedOfBlanks(line), QStringLiteral("Java JDK"));
        }
    }
    for (const QByteArray &name : sortedEntries(loc.pyenvVersions))
        row(nativePath(loc.pyenvVersions) + '/' + name, QStringLiteral("Pyenv Python"));
    for (const QByteArray &name : sortedEntries(loc.condaEnvs))
        row(nativePath(loc.condaEnvs) + '/' + name, QStringLiteral("Conda Env"));
    if (!loc.localBinFolder.isEmpty()) {
        const QList<QByteArray> links =
            HomeSearch::find(
                {loc.localBinFolder}, {},
                {QStringLiteral("-type"), QStringLiteral("l"), QStringLiteral("-print0")}, mounts,
                appState, cancel)
                .mid(0, kLocalBinRows);
        for (const QByteArray &path : links) {
            char buffer[4096];
            const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
            row(path, n <= 0 ? QStringLiteral("Local Bin")
                             : QStringLiteral("-> ") + decodeNativePath(buffer, n));
        }
    }
    return items;
}

QList<DuplicateGroupRecord> AdvancedToolsViewModel::duplicateGroups(const QStringList &paths)
{
    return DuplicateFinder::groups(paths);
}

QList<FileItem> AdvancedToolsViewModel::findDuplicates(AppState *appState,
                                                       const CancelToken &cancel)
{
    reportStart(appState, QStringLiteral("Scanning for potential duplicates in Home directory..."));
    const Locations &loc = Locations::current();
    const QList<QByteArray> listed = HomeSearch::find(
        {loc.home}, {QStringLiteral("-maxdepth"), QStringLiteral("5")},
        QStringList{"-type", "d", "(", "-name", "Library", "-o", "-name", ".*", "-o", "-name",
                    "node_modules", ")", "-prune", "-o", "-type", "f", "-size", "+1M", "-print0"},
        MountTable::read(), appState, cancel);
    reportStart(appState, QStringLiteral("Comparing files to find true duplicates..."));

    QList<FileItem> items;
    for (const DuplicateGroupRecord &group : DuplicateFinder::nativeGroups(listed, 0, cancel)) {
        for (qsizetype i = 0; i < group.paths.size(); ++i)
            items.append({group.paths[i], QStringLiteral("Duplicate"), group.key,
                          double(group.bytes) / 1024 / 1024, std::nullopt,
                          group.nativePaths.value(i), group.identities.value(i)});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const FileItem &a, const FileItem &b) { return a.md5Hash < b.md5Hash; });
    return items;
}

// Compiled here rather than with every other model's meta-object code: the storage
// scanner's headers name a different token type the same way.
#include "moc_AdvancedToolsViewModel.cpp"
