#include "applications/AppLeftovers.h"

#include "exec/SafetyHelper.h"
#include "platform/DesktopEntry.h"
#include "platform/DirectoryReader.h"
#include "platform/Exclusions.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/PropertyList.h"
#include "storage/StorageScanner.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// Extensions that sit between an identifier and the end of a leftover's name.
const char *const kKnownExtensions[] = {".plist", ".savedstate", ".binarycookies", ".desktop",
                                        ".service"};

QString lastComponent(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentFolder(const QString &path)
{
    return QDir::cleanPath(path + QStringLiteral("/.."));
}

bool isInsideTrash(const QString &path)
{
    const Locations &loc = Locations::current();
    return path.contains(loc.trashInMarker) || path.contains(QLatin1String("/.Trash/"));
}

qint64 sumBelow(DirectoryReader &dir, int depth)
{
    qint64 total = 0;
    DirectoryReader::Kind hint;
    while (const char *name = dir.next(hint)) {
        DirectoryReader::Node node;
        if (!dir.statChild(name, node))
            continue;
        total += node.allocatedBytes;
        if (node.kind == DirectoryReader::Kind::Directory && depth < 512) {
            DirectoryReader child;
            if (child.openChild(dir, name))
                total += sumBelow(child, depth + 1);
        }
    }
    return total;
}

// The desktop entry in this folder for the identifier, when its program is installed.
bool hasLiveEntry(const QString &folder, const QString &id)
{
    if (folder.isEmpty())
        return false;
    const auto entry =
        DesktopEntry::read(folder + QLatin1Char('/') + id + QStringLiteral(".desktop"));
    if (!entry || entry->hidden)
        return false;
    const QString program = entry->program();
    return !program.isEmpty() && !isInsideTrash(program) &&
           FileProperties::readFollowingLinks(program).has_value();
}

QStringList entryFolders()
{
    const Locations &loc = Locations::current();
    QStringList folders = loc.desktopEntryFolders;
    for (const QString &f : {loc.userDesktopEntries, loc.flatpakUserExports,
                             loc.flatpakSystemExports, loc.snapDesktopEntries}) {
        if (!f.isEmpty() && !folders.contains(f))
            folders.append(f);
    }
    return folders;
}

QStringList flatpakAppFolders()
{
    const Locations &loc = Locations::current();
    QStringList folders;
    for (const QString &f : {loc.flatpakUserApps, loc.flatpakSystemApps})
        if (!f.isEmpty())
            folders.append(f);
    return folders;
}

AppIdentity bundleIdentity(const QString &path, const QString &shownName)
{
    AppIdentity identity;
    const QString fileName = lastComponent(shownName);
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    identity.name = dot > 0 ? fileName.left(dot) : fileName;
    const auto plist = PropertyList::readFile(path + QStringLiteral("/Contents/Info.plist"));
    if (!plist)
        return identity;
    if (const auto name = PropertyList::stringValue(*plist, QStringLiteral("CFBundleName")))
        identity.name = *name;
    if (const auto id = PropertyList::stringValue(*plist, QStringLiteral("CFBundleIdentifier"));
        id && !id->isEmpty())
        identity.bundleID = *id;
    return identity;
}

AppIdentity flatpakIdentity(const QString &id, const QString &exports)
{
    AppIdentity identity;
    identity.bundleID = id;
    identity.name = id.mid(id.lastIndexOf(QLatin1Char('.')) + 1);
    if (!exports.isEmpty()) {
        const auto entry =
            DesktopEntry::read(exports + QLatin1Char('/') + id + QStringLiteral(".desktop"));
        if (entry && !entry->name.isEmpty())
            identity.name = entry->name;
    }
    return identity;
}

} // namespace

namespace AppLeftovers {

bool isFlatpakAppId(const QString &id)
{
    if (id.isEmpty() || id.size() > 255)
        return false;
    const QStringList parts = id.split(QLatin1Char('.'));
    if (parts.size() < 3)
        return false;
    for (const QString &part : parts) {
        if (part.isEmpty() || part.front().isDigit() || part.front() == QLatin1Char('-'))
            return false;
        for (const QChar c : part) {
            const char16_t u = c.unicode();
            if (!((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                  u == '_' || u == '-'))
                return false;
        }
    }
    return true;
}

QList<Place> places()
{
    const Locations &loc = Locations::current();
    QList<Place> list;
    for (const QString &p : loc.leftoverPlacesNamed)
        list.append({p, true});
    for (const QString &p : loc.leftoverPlacesIdOnly)
        list.append({p, false});
    return list;
}

QSet<QString> genericNames()
{
    QSet<QString> names = {"apple",   "google",    "microsoft", "adobe",
                           "mozilla", "jetbrains", "app",       "code"};
    // Folders every Linux desktop shares; an app named like one must not claim it.
    if (Locations::current().os == Locations::Os::Linux)
        names.unite({"applications", "icons", "fonts", "mime", "flatpak", "trash", "keyrings",
                     "systemd", "autostart", "themes", "sounds", "recently-used.xbel",
                     "gnome-shell", "containers", "docker"});
    return names;
}

AppIdentity identity(const QString &path, const QString &originalPath)
{
    const QString shown = originalPath.isEmpty() ? path : originalPath;
    const auto props = FileProperties::read(path);
    if (props && props->isDirectory && lastComponent(shown).endsWith(QLatin1String(".app")))
        return bundleIdentity(path, shown);

    const Locations &loc = Locations::current();
    const QString parent = parentFolder(shown);
    if (props && props->isDirectory && isFlatpakAppId(lastComponent(shown))) {
        if (!loc.flatpakUserApps.isEmpty() && parent == QDir::cleanPath(loc.flatpakUserApps))
            return flatpakIdentity(lastComponent(shown), loc.flatpakUserExports);
        if (!loc.flatpakSystemApps.isEmpty() && parent == QDir::cleanPath(loc.flatpakSystemApps))
            return flatpakIdentity(lastComponent(shown), loc.flatpakSystemExports);
    }

    if (!loc.userDesktopEntries.isEmpty()) {
        QStringList names =
            FileProperties::listNames(loc.userDesktopEntries).value_or(QStringList());
        std::sort(names.begin(), names.end());
        for (const QString &file : names) {
            if (!file.endsWith(QLatin1String(".desktop")))
                continue;
            const auto entry = DesktopEntry::read(loc.userDesktopEntries + QLatin1Char('/') + file);
            if (entry && !entry->hidden && (entry->names(shown) || entry->names(path))) {
                AppIdentity found{entry->name.isEmpty() ? entry->id : entry->name, entry->id, {}};
                for (const QString &a : {entry->id, entry->startupWMClass})
                    if (!a.isEmpty() && !found.aliases.contains(a.toLower()))
                        found.aliases.append(a.toLower());
                return found;
            }
        }
    }

    // No entry: the name up to its first version or extension separator.
    const QString fileName = lastComponent(shown);
    qsizetype cut = fileName.size();
    for (const QChar c : {QLatin1Char('-'), QLatin1Char('_'), QLatin1Char('.')}) {
        const qsizetype at = fileName.indexOf(c);
        if (at > 0 && at < cut)
            cut = at;
    }
    return {fileName.left(cut), std::nullopt, {}};
}

QList<Leftover> find(const QString &name, const std::optional<QString> &bundleID,
                     const QString &library, const QSet<QString> &installed,
                     const QStringList &aliases)
{
    const QString lowerName = name.toLower();
    const std::optional<QString> lowerID = bundleID && !bundleID->isEmpty()
                                               ? std::optional<QString>(bundleID->toLower())
                                               : std::nullopt;
    const bool nameMatching = lowerName.size() >= 3 && !genericNames().contains(lowerName);
    QStringList usableAliases;
    for (const QString &a : aliases)
        if (a.size() >= 3 && !genericNames().contains(a))
            usableAliases.append(a);
    const QString root = library.isEmpty() ? Locations::current().leftoverLibrary : library;

    QList<Leftover> found;
    const Exclusions exclusions = Exclusions::current();
    for (const Place &place : places()) {
        const QByteArray folder = nativePath(root + QLatin1Char('/') + place.subfolder);
        DirectoryReader dir;
        if (exclusions.isExcluded(folder) || !dir.open(folder.constData(), true))
            continue;
        QList<QByteArray> names;
        DirectoryReader::Kind hint;
        while (const char *entry = dir.next(hint))
            names.append(QByteArray(entry));
        std::sort(names.begin(), names.end());
        for (const QByteArray &raw : names) {
            const QString entry = decodeNativePath(raw.constData(), raw.size()).toLower();
            bool byID = false;
            if (lowerID)
                byID = entry == *lowerID || entry.startsWith(*lowerID + QLatin1Char('.')) ||
                       entry.endsWith(QLatin1Char('.') + *lowerID);
            QString alias;
            if (!byID)
                for (const QString &a : std::as_const(usableAliases))
                    if (entry == a || entry == a + QLatin1String("rc") ||
                        entry == a + QLatin1String(".conf") ||
                        entry == a + QLatin1String(".desktop"))
                        alias = a;
            // Another installed application answers to the same name: not ours to take.
            if (!alias.isEmpty() && installed.contains(alias))
                continue;
            byID = byID || !alias.isEmpty();
            const bool byName =
                !byID && nameMatching && place.nameMatchAllowed && entry == lowerName;
            if (!byID && !byName)
                continue;
            // Another installed application's own files (com.a.b.canary beside com.a.b).
            QString owner = entry;
            for (const char *ext : kKnownExtensions) {
                if (owner.endsWith(QLatin1String(ext))) {
                    owner.chop(qsizetype(qstrlen(ext)));
                    break;
                }
            }
            if (owner != lowerID && installed.contains(owner))
                continue;
            const QByteArray path = folder + '/' + raw;
            if (!exclusions.offers(path) || !SafetyHelper::isNativePathSafeToDelete(path))
                continue;
            const std::optional<FileIdentity> listed = FileIdentity::read(path);
            if (!listed)
                continue;
            found.append({path, allocatedSize(path), place.subfolder, byName, *listed});
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Leftover &a, const Leftover &b) { return a.bytes > b.bytes; });
    return found;
}

bool stillInstalled(const std::optional<QString> &bundleID)
{
    if (!bundleID || bundleID->isEmpty() || bundleID->contains(QLatin1Char('/')))
        return false;
    const Locations &loc = Locations::current();
    if (loc.os == Locations::Os::MacOS) {
        for (const QString &folder : loc.applicationFolders) {
            for (const QString &name : FileProperties::listNames(folder).value_or(QStringList())) {
                const QString path = folder + QLatin1Char('/') + name;
                if (name.endsWith(QLatin1String(".app")) && !isInsideTrash(path) &&
                    bundleIdentity(path, path).bundleID == bundleID)
                    return true;
            }
        }
        return false;
    }
    for (const QString &folder : entryFolders())
        if (hasLiveEntry(folder, *bundleID))
            return true;
    for (const QString &folder : flatpakAppFolders())
        if (FileProperties::exists(folder + QLatin1Char('/') + *bundleID))
            return true;
    return false;
}

QSet<QString> installedIdentifiers()
{
    const Locations &loc = Locations::current();
    QSet<QString> ids;
    if (loc.os == Locations::Os::MacOS) {
        for (const QString &folder : loc.applicationFolders)
            for (const QString &name : FileProperties::listNames(folder).value_or(QStringList()))
                if (name.endsWith(QLatin1String(".app")))
                    if (const auto id = bundleIdentity(folder + '/' + name, name).bundleID)
                        ids.insert(id->toLower());
        return ids;
    }
    for (const QString &folder : entryFolders()) {
        for (const QString &file : FileProperties::listNames(folder).value_or(QStringList())) {
            if (!file.endsWith(QLatin1String(".desktop")))
                continue;
            const QString id = file.chopped(8);
            if (!hasLiveEntry(folder, id))
                continue;
            ids.insert(id.toLower());
            const auto entry = DesktopEntry::read(folder + QLatin1Char('/') + file);
            const QString program = entry ? entry->program() : QString();
            for (const QString &a : {entry ? entry->startupWMClass : QString(),
                                     program.mid(program.lastIndexOf(QLatin1Char('/')) + 1)})
                if (!a.isEmpty())
                    ids.insert(a.toLower());
        }
    }
    for (const QString &folder : flatpakAppFolders())
        for (const QString &id : FileProperties::listNames(folder).value_or(QStringList()))
            if (isFlatpakAppId(id))
                ids.insert(id.toLower());
    return ids;
}

std::optional<LeftoverReport> report(const QString &name, const std::optional<QString> &bundleID,
                                     const QString &appURL, const QStringList &otherListedApps,
                                     const QStringList &aliases)
{
    if (bundleID && stillInstalled(bundleID))
        return std::nullopt;
    if (!bundleID) {
        // A second copy (another version of the same AppImage) still uses the settings.
        for (const QString &other : otherListedApps) {
            if (other == appURL || !FileProperties::exists(other))
                continue;
            const AppIdentity them = identity(other);
            if (!them.bundleID && them.name.compare(name, Qt::CaseInsensitive) == 0)
                return std::nullopt;
        }
    }
    QList<Leftover> leftovers = find(name, bundleID, QString(), installedIdentifiers(), aliases);
    if (leftovers.isEmpty())
        return std::nullopt;
    return LeftoverReport{name, bundleID, appURL, leftovers};
}

qint64 allocatedSize(const QByteArray &path)
{
    DirectoryReader::Node node;
    if (!DirectoryReader::statPath(path.constData(), node))
        return 0;
    if (node.kind != DirectoryReader::Kind::Directory)
        return node.allocatedBytes;
    DirectoryReader dir;
    if (!dir.open(path.constData()))
        return 0;
    return sumBelow(dir, 0);
}

RemovalSummary trashChosen(const QList<Leftover> &leftovers, const QSet<QByteArray> &chosen,
                           AppHost *appState)
{
    RemovalSummary summary;
    int considered = 0;
    for (const Leftover &leftover : leftovers) {
        if (!chosen.contains(leftover.id()))
            continue;
        ++considered;
        // A dangling link is still there to be trashed: never follow links here.
        DirectoryReader::Node node;
        if (!DirectoryReader::statPath(leftover.path.constData(), node)) {
            ++summary.gone;
            continue;
        }
        if (SafetyHelper::moveNativeToTrash(leftover.path, leftover.identity, appState).ok) {
            ++summary.moved;
            summary.freed += leftover.bytes;
        }
    }
    summary.failed = considered - summary.moved - summary.gone;
    return summary;
}

QString resultText(const RemovalSummary &s)
{
    QString text = QStringLiteral("Moved ") + QString::number(s.moved) + QStringLiteral(" item") +
                   (s.moved == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" (") +
                   formatBytes(s.freed) + QStringLiteral(") to the Trash.");
    if (s.gone >= 1)
        text += QLatin1Char(' ') + QString::number(s.gone) + QStringLiteral(" were already gone.");
    if (s.failed >= 1)
        text += QLatin1Char(' ') + QString::number(s.failed) + QLatin1Char(' ') +
                PlatformTexts::text(QStringLiteral(
                    "couldn't be moved; macOS may protect them, use Show in Finder."));
    return text;
}

} // namespace AppLeftovers
