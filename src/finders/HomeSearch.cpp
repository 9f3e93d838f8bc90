#include "finders/HomeSearch.h"

#include "exec/ProcessRunner.h"
#include "exec/ScanProgress.h"
#include "platform/BytePath.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <climits>
#include <cstdlib>

namespace {

QByteArray withoutTrailingSlash(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

QByteArray resolved(const QByteArray &path)
{
    char buffer[PATH_MAX];
    if (!::realpath(path.constData(), buffer))
        return withoutTrailingSlash(path);
    return QByteArray(buffer);
}

QList<QByteArray> split(const QByteArray &listing, char separator)
{
    QList<QByteArray> parts;
    qsizetype from = 0;
    while (from < listing.size()) {
        qsizetype to = listing.indexOf(separator, from);
        if (to < 0)
            to = listing.size();
        if (to > from)
            parts.append(listing.mid(from, to - from));
        from = to + 1;
    }
    return parts;
}

} // namespace

namespace HomeSearch {

QString literalPattern(const QByteArray &path)
{
    QString pattern;
    const QString text = QString::fromUtf8(path);
    for (const QChar c : text) {
        if (c == QChar::ReplacementCharacter) {
            pattern += QLatin1Char('?');
            continue;
        }
        if (c == QLatin1Char('\\') || c == QLatin1Char('*') || c == QLatin1Char('?') ||
            c == QLatin1Char('['))
            pattern += QLatin1Char('\\');
        pattern += c;
    }
    return pattern;
}

QStringList findArguments(const QStringList &roots, const QStringList &globalOptions,
                          const QStringList &expression, const QList<MountTable::Mount> &mounts,
                          const QList<QByteArray> &excluded)
{
    QStringList prune;
    const auto pruneBelow = [&prune](const QByteArray &given, const QByteArray &real,
                                     const QByteArray &folder) {
        const QByteArray below = folder.mid(real == "/" ? 0 : real.size());
        if (!prune.isEmpty())
            prune << QStringLiteral("-o");
        prune << QStringLiteral("-path")
              << literalPattern((given == "/" ? QByteArray() : given) + below);
    };
    for (const QString &root : roots) {
        const QByteArray given = withoutTrailingSlash(nativePath(root));
        const QByteArray real = resolved(given);
        for (const MountTable::Mount &m : MountTable::mountsBelow(real, mounts)) {
            if (MountTable::isRemoteOrFuse(m.fsType))
                pruneBelow(given, real, m.mountPoint);
        }
        for (const QByteArray &folder : excluded) {
            if (BytePath::isStrictlyInside(folder, given))
                pruneBelow(given, given, folder);
            else if (real != given && BytePath::isStrictlyInside(folder, real))
                pruneBelow(given, real, folder);
        }
    }
    QStringList arguments{QStringLiteral("-H")};
    arguments << roots << globalOptions;
    if (!prune.isEmpty())
        arguments << QStringLiteral("(") << prune << QStringLiteral(")") << QStringLiteral("-prune")
                  << QStringLiteral("-o");
    arguments << expression;
    return arguments;
}

QList<QByteArray> splitNul(const QByteArray &listing)
{
    return split(listing, '\0');
}

QList<QByteArray> splitLines(const QByteArray &listing)
{
    return split(listing, '\n');
}

QList<QByteArray> find(const QStringList &roots, const QStringList &globalOptions,
                       const QStringList &expression, const QList<MountTable::Mount> &mounts,
                       AppHost *appState, const CancelToken &cancel, ScanProgress *progress)
{
    RunOptions options;
    options.cancel = cancel;
    qint64 found = 0;
    if (progress) {
        options.onOutput = [progress, &found](const QByteArray &piece) {
            found += piece.count('\0');
            progress->setFound(found);
        };
    }
    const Exclusions exclusions = Exclusions::current();
    QStringList searched;
    for (const QString &root : roots) {
        if (!exclusions.isExcluded(withoutTrailingSlash(nativePath(root))))
            searched.append(root);
    }
    if (searched.isEmpty())
        return {};
    const RunResult result = ProcessRunner::run(
        Locations::current().find,
        findArguments(searched, globalOptions, expression, mounts, exclusions.excludedFolders()),
        appState, options);
    QByteArray listing = result.stdOutBytes;
    // A stopped search may have been cut in the middle of a name.
    if (result.cancelled)
        listing.truncate(listing.lastIndexOf('\0') + 1);
    return splitNul(listing);
}

} // namespace HomeSearch
