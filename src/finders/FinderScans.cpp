#include "finders/FinderScans.h"

#include "exec/AppHost.h"
#include "exec/ProcessRunner.h"
#include "exec/ScanProgress.h"
#include "finders/DuplicateFinder.h"
#include "finders/FileSearch.h"
#include "finders/HomeSearch.h"
#include "platform/DirectoryReader.h"
#include "platform/FileExtents.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"

#include <QHash>

#include <algorithm>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The links of the local tools folder shown at most.
constexpr qsizetype kLocalBinRows = 20;

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

// A copy with another name, or whose blocks another file shares, frees nothing when it
// goes: it is marked so, and never offered as a way to free space.
void markCopiesThatFreeNothing(QList<FileItem> &copies)
{
    for (FileItem &copy : copies) {
        struct stat st;
        if (::lstat(copy.nativePath.constData(), &st) == 0)
            copy.linkCount = quint64(st.st_nlink);
        copy.sharesData = FileExtents::sharesBlocks(copy.nativePath).value_or(false);
    }
}

// The finder compares a file with several names once, under its first name in path order.
// Each such file the listing names more than once gets its other names on its row; one
// that no other file copies is a row of its own ("hard links, frees 0 B").
void addHardLinks(QList<FileItem> &items, const FileList &listed)
{
    // Names of one file are next to each other once sorted by identity.
    std::vector<qsizetype> order(size_t(listed.size()));
    for (qsizetype i = 0; i < listed.size(); ++i)
        order[size_t(i)] = i;
    const auto idOf = [&](qsizetype i) {
        const FileIdentity &id = listed.at(i).identity;
        return std::pair(id.device, id.inode);
    };
    std::sort(order.begin(), order.end(),
              [&](qsizetype a, qsizetype b) { return idOf(a) < idOf(b); });
    QHash<QByteArray, qsizetype> rows;
    for (qsizetype i = 0; i < items.size(); ++i)
        rows.insert(items[i].nativePath, i);
    for (size_t from = 0; from < order.size();) {
        size_t to = from + 1;
        while (to < order.size() && idOf(order[to]) == idOf(order[from]))
            ++to;
        if (to - from >= 2) {
            QList<QByteArray> same;
            for (size_t k = from; k < to; ++k)
                same.append(listed.path(order[k]));
            std::sort(same.begin(), same.end(), textOrder);
            QStringList others;
            for (qsizetype k = 1; k < same.size(); ++k)
                others << decoded(same[k]);
            if (const auto row = rows.constFind(same.first()); row != rows.cend()) {
                items[*row].hardLinks = others;
            } else {
                const FileIdentity &id = listed.at(order[from]).identity;
                FileItem item = itemAt(same.first(), QStringLiteral("Hard links"),
                                       double(id.size) / 1024 / 1024, std::nullopt);
                item.identity = id;
                item.md5Hash = QStringLiteral("links-%1-%2").arg(id.device).arg(id.inode);
                item.hardLinks = others;
                items.append(item);
            }
        }
        from = to;
    }
}

} // namespace

namespace FinderScans {

QString sizeBand(double sizeMB)
{
    if (sizeMB > 5000)
        return QStringLiteral("> 5 GB");
    if (sizeMB > 1000)
        return QStringLiteral("1 - 5 GB");
    return QStringLiteral("50 - 500 MB");
}

QList<FileItem> findLargeFiles(AppHost *appState, const CancelToken &cancel)
{
    ScanProgress progress(appState, QStringLiteral("Scanning for files >50MB..."), cancel);
    const Locations &loc = Locations::current();
    const QStringList expression{QStringLiteral("-type"), QStringLiteral("f"),
                                 QStringLiteral("-size"), QStringLiteral("+50M"),
                                 QStringLiteral("-print0")};
    QList<FileItem> items;
    for (const QByteArray &path :
         HomeSearch::find(loc.largeFilesFolders, {}, expression, MountTable::read(), appState,
                          cancel, &progress)) {
        // The file's own byte count, as its preview shows it.
        const auto p = propertiesOf(path);
        const double mb = p ? double(p->fileSize) / 1024 / 1024 : 0;
        items.append(itemAt(path, sizeBand(mb), mb, p));
    }
    return items;
}

QList<FileItem> findInstallers(AppHost *appState, const CancelToken &cancel)
{
    ScanProgress progress(appState, QStringLiteral("Scanning for .dmg and .pkg..."), cancel);
    const Locations &loc = Locations::current();
    QList<QByteArray> found;
    if (!loc.installersFindExpression.isEmpty()) {
        found = HomeSearch::find({loc.home}, {}, loc.installersFindExpression, MountTable::read(),
                                 appState, cancel, &progress);
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

QList<FileItem> findRuntimes(AppHost *appState, const CancelToken &cancel)
{
    ScanProgress progress(appState,
                          QStringLiteral("Deep discovery of Conda, Pyenv, Java, Local..."), cancel);
    const Locations &loc = Locations::current();
    const QList<MountTable::Mount> mounts = MountTable::read();
    QList<FileItem> items;
    const auto row = [&](const QByteArray &path, const QString &kind) {
        items.append(itemAt(path, kind, 0, propertiesOf(path)));
        progress.setFound(items.size());
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

QList<FileItem> findDuplicates(AppHost *appState, const CancelToken &cancel)
{
    ScanProgress progress(
        appState, QStringLiteral("Scanning for potential duplicates in Home directory..."), cancel);
    const FileList listed =
        FileSearch::list({nativePath(Locations::current().home)}, FileSearch::homeDuplicates(),
                         MountTable::read(), cancel);
    progress.setMessage(QStringLiteral("Comparing files to find true duplicates..."));

    QList<FileItem> items;
    const auto compared = [&progress](qint64 done, qint64 total) {
        progress.setShare(done, total);
    };
    for (const DuplicateGroupRecord &group :
         DuplicateFinder::groupsOf(listed, 0, cancel, compared)) {
        for (qsizetype i = 0; i < group.paths.size(); ++i)
            items.append({group.paths[i], QStringLiteral("Duplicate"), group.key,
                          double(group.bytes) / 1024 / 1024, std::nullopt,
                          group.nativePaths.value(i), group.identities.value(i)});
    }
    addHardLinks(items, listed);
    std::stable_sort(items.begin(), items.end(),
                     [](const FileItem &a, const FileItem &b) { return a.md5Hash < b.md5Hash; });
    markCopiesThatFreeNothing(items);
    return items;
}

} // namespace FinderScans
