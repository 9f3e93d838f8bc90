#include "exec/SafetyHelper.h"

#include "app/AppState.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/Trash.h"

#include <QDir>

#include <climits>
#include <cstdlib>

namespace {

bool isAllowed(const QString &standardized, const Locations &loc)
{
    for (const QString &entry : loc.protectedTrees) {
        const QString t = SafetyHelper::standardizedPath(entry);
        if (standardized == t || standardized.startsWith(t + QLatin1Char('/')))
            return false;
    }
    for (const QString &entry : loc.protectedItself) {
        if (standardized == SafetyHelper::standardizedPath(entry))
            return false;
    }
    return true;
}

// The path with its parent folder's links resolved; the last component stays as it
// is, so a link is judged (and moved) as the link.
QString withResolvedParent(const QString &standardized)
{
    if (standardized == QLatin1String("/") || standardized.isEmpty())
        return standardized;
    const qsizetype slash = standardized.lastIndexOf(QLatin1Char('/'));
    const QString parent = slash <= 0 ? QStringLiteral("/") : standardized.left(slash);
    const QString last = standardized.mid(slash + 1);
    char resolved[PATH_MAX];
    if (!::realpath(nativePath(parent).constData(), resolved))
        return standardized;
    const QString real = decodeNativePath(resolved);
    return real == QLatin1String("/") ? QLatin1Char('/') + last : real + QLatin1Char('/') + last;
}

} // namespace

QString SafetyHelper::standardizedPath(const QString &path)
{
    QString p = Locations::current().expandTilde(path);
    if (p.isEmpty())
        return p;
    p = QDir::cleanPath(p);
    // cleanPath keeps a leading "//"; one slash means the same folder.
    while (p.startsWith(QLatin1String("//")))
        p.remove(0, 1);
    return p;
}

bool SafetyHelper::isPathSafeToDelete(const QString &path)
{
    const Locations &loc = Locations::current();
    const QString p = standardizedPath(path);
    if (p.isEmpty() || !p.startsWith(QLatin1Char('/')))
        return false;
    if (!isAllowed(p, loc))
        return false;
    const QString resolved = withResolvedParent(p);
    return resolved == p || isAllowed(resolved, loc);
}

std::optional<QByteArray> SafetyHelper::exactNativePath(const QString &path)
{
    if (path.contains(QChar(0)))
        return std::nullopt;
    const QByteArray bytes = nativePath(path);
    if (decodeNativePath(bytes.constData(), bytes.size()) != path)
        return std::nullopt;
    return bytes;
}

bool SafetyHelper::isNativePathSafeToDelete(const QByteArray &path)
{
    if (path.isEmpty() || path.contains('\0'))
        return false;
    return isPathSafeToDelete(decodeNativePath(path.constData(), path.size()));
}

SafetyHelper::Outcome SafetyHelper::moveNativeToTrash(const QByteArray &path, AppState *appState)
{
    const QString shown = decodeNativePath(path.constData(), path.size());
    if (!isNativePathSafeToDelete(path)) {
        if (appState)
            appState->addLog(QStringLiteral("stderr"), QStringLiteral("Safety Check Failed: ") +
                                                           shown +
                                                           QStringLiteral(" is protected."));
        return {false, QStringLiteral("This location is protected.")};
    }
    const QString standardized = standardizedPath(shown);
    // Only a path that was already standard keeps its exact bytes through the move.
    const Trash::Result result =
        standardized == shown ? Trash::moveNativeToTrash(path) : Trash::moveToTrash(standardized);
    if (appState) {
        if (result.ok)
            appState->addLog(QStringLiteral("info"), QStringLiteral("Trashed: ") + shown);
        else
            appState->addLog(QStringLiteral("stderr"), QStringLiteral("Failed to trash ") + shown +
                                                           QStringLiteral(": ") + result.error);
    }
    return {result.ok, result.error};
}

bool SafetyHelper::moveToTrash(const QString &path, AppState *appState)
{
    if (!isPathSafeToDelete(path)) {
        if (appState)
            appState->addLog(QStringLiteral("stderr"), QStringLiteral("Safety Check Failed: ") +
                                                           path + QStringLiteral(" is protected."));
        return false;
    }
    const Trash::Result result = Trash::moveToTrash(standardizedPath(path));
    if (appState) {
        if (result.ok)
            appState->addLog(QStringLiteral("info"), QStringLiteral("Trashed: ") + path);
        else
            appState->addLog(QStringLiteral("stderr"), QStringLiteral("Failed to trash ") + path +
                                                           QStringLiteral(": ") + result.error);
    }
    return result.ok;
}

int SafetyHelper::trashContents(const QString &folder, AppState *appState, RemoveFn remove)
{
    if (!isPathSafeToDelete(folder))
        return 0;
    const std::optional<QStringList> names = FileProperties::listNames(standardizedPath(folder));
    if (!names)
        return 0;
    if (!remove) {
        remove = [](const QString &child) {
            const Trash::Result r = Trash::moveToTrash(child);
            return std::make_pair(r.ok, r.error);
        };
    }
    const QString base = standardizedPath(folder);
    int count = 0;
    for (const QString &name : *names) {
        const QString child =
            base == QLatin1String("/") ? QLatin1Char('/') + name : base + QLatin1Char('/') + name;
        if (!isPathSafeToDelete(child))
            continue;
        const auto [ok, error] = remove(child);
        if (ok) {
            ++count;
        } else if (appState) {
            appState->addLog(QStringLiteral("stderr"), QStringLiteral("Failed to trash ") + child +
                                                           QStringLiteral(": ") + error);
        }
    }
    if (appState)
        appState->addLog(QStringLiteral("info"), QStringLiteral("Moved ") + QString::number(count) +
                                                     QStringLiteral(" items from ") + folder +
                                                     QStringLiteral(" to the Trash"));
    return count;
}
