#include "applications/DesktopApps.h"

#include "applications/AppLeftovers.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "platform/DesktopEntry.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/MountTable.h"
#include "platform/ReadOnlyFile.h"

#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

using DesktopApps::PackageDatabase;
using DesktopApps::PackageFacts;

constexpr int kToolTimeoutMs = 30000;
constexpr qint64 kMaxXbelBytes = 32 * 1024 * 1024;

double mebibytes(qint64 bytes)
{
    return double(bytes) / 1024 / 1024;
}

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool inside(const QString &path, const QString &folder)
{
    return !folder.isEmpty() && path.startsWith(QDir::cleanPath(folder) + QLatin1Char('/'));
}

bool isAppImageName(const QString &name)
{
    return name.endsWith(QLatin1String(".appimage"), Qt::CaseInsensitive);
}

// A line feed or other control character in a name would break the row in two.
QString shownName(const QString &name)
{
    QString out = name;
    for (QChar &c : out)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return out.simplified();
}

RunOptions toolOptions(const CancelToken &cancel)
{
    RunOptions options;
    options.cancel = cancel;
    options.timeoutMs = kToolTimeoutMs;
    return options;
}

// dpkg -S takes its arguments as patterns: a name with one of these would match others.
bool plainPattern(const QString &path)
{
    static const QRegularExpression special(QStringLiteral("[*?\\[\\]\\\\\\n]"));
    return !path.contains(special);
}

bool dpkgIsTheDatabase()
{
    const Locations &loc = Locations::current();
    return !loc.dpkgSystem.isEmpty() && FileProperties::exists(loc.dpkgSystem) &&
           FileProperties::isExecutable(loc.dpkg);
}

bool rpmIsTheDatabase()
{
    const Locations &loc = Locations::current();
    return !dpkgIsTheDatabase() && !loc.rpm.isEmpty() && FileProperties::isExecutable(loc.rpm);
}

// Owners of the entries through rpm -qf, which answers one line per path in order.
QHash<QString, QString> rpmOwners(const QStringList &paths, AppHost *appState,
                                  const CancelToken &cancel)
{
    QStringList args = {QStringLiteral("-qf"), QStringLiteral("--queryformat"),
                        QStringLiteral("%{NAME}\\n"), QStringLiteral("--")};
    args += paths;
    const RunResult run =
        ProcessRunner::run(Locations::current().rpm, args, appState, toolOptions(cancel));
    QHash<QString, QString> owners;
    const QStringList lines = run.stdOut.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < paths.size() && i < lines.size(); ++i)
        if (!lines[i].contains(QLatin1Char(' ')) && !lines[i].isEmpty())
            owners.insert(paths[i], lines[i]);
    return owners;
}

PackageDatabase rpmDatabase(AppHost *appState, const CancelToken &cancel)
{
    const RunResult run =
        ProcessRunner::run(Locations::current().rpm,
                           {QStringLiteral("-qa"), QStringLiteral("--queryformat"),
                            QStringLiteral("%{NAME}\\t%{SIZE}[\\t%{REQUIRENAME}]\\n")},
                           appState, toolOptions(cancel));
    PackageDatabase db;
    for (const QString &line : run.stdOut.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 2)
            continue;
        db.packages.insert(f[0], {f[1].toLongLong(), false, true});
        for (qsizetype i = 2; i < f.size(); ++i)
            if (f[i] != f[0])
                db.required.insert(f[i]);
    }
    return db;
}

QString keptReason(const QString &package, const PackageDatabase &db)
{
    const QString bare = package.section(QLatin1Char(':'), 0, 0);
    const PackageFacts facts = db.packages.value(package, db.packages.value(bare));
    if (facts.essential)
        return QStringLiteral("%1 is essential to the system.").arg(bare);
    if (db.required.contains(bare) || db.required.contains(package))
        return QStringLiteral("Other installed packages depend on %1.").arg(bare);
    return {};
}

qint64 snapBytes(const QString &name)
{
    const QString folder = Locations::current().snapFiles;
    qint64 total = 0;
    for (const QString &file : FileProperties::listNames(folder).value_or(QStringList()))
        if (file.startsWith(name + QLatin1Char('_')) && file.endsWith(QLatin1String(".snap")))
            if (const auto props = FileProperties::read(joined(folder, file)))
                total += props->allocatedBytes;
    return total;
}

struct FoundEntry {
    DesktopEntry entry;
    QString folder;
    QString path;
};

QList<FoundEntry> shownEntries()
{
    const Locations &loc = Locations::current();
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    QSet<QString> seen;
    QList<FoundEntry> found;
    for (const QString &folder : loc.menuEntryFolders) {
        if (folder.isEmpty())
            continue;
        QStringList names = FileProperties::listNames(folder).value_or(QStringList());
        std::sort(names.begin(), names.end());
        for (const QString &file : names) {
            if (!file.endsWith(QLatin1String(".desktop")) || file.startsWith(QLatin1Char('.')))
                continue;
            const QString id = file.chopped(8);
            // The first folder holding an id decides, a hiding entry of the user's too.
            if (seen.contains(id))
                continue;
            seen.insert(id);
            const QString path = joined(folder, file);
            const auto entry = DesktopEntry::read(path);
            if (!entry || !entry->shownOn(desktop) || entry->exec.isEmpty())
                continue;
            found.append({*entry, folder, path});
        }
    }
    return found;
}

} // namespace

namespace DesktopApps {

QHash<QString, QString> parseDpkgSearch(const QString &output)
{
    QHash<QString, QString> owners;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("diversion ")))
            continue;
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        if (colon <= 0)
            continue;
        const QString packages = line.left(colon);
        if (packages.contains(QLatin1Char(' ')) && !packages.contains(QLatin1String(", ")))
            continue;
        owners.insert(line.mid(colon + 2), packages.section(QLatin1String(", "), 0, 0));
    }
    return owners;
}

QString dpkgListFormat()
{
    return QStringLiteral("${binary:Package}\\t${db:Status-Abbrev}\\t${Essential}\\t"
                          "${Installed-Size}\\t${Pre-Depends}\\t${Depends}\\n");
}

PackageDatabase parseDpkgStatus(const QString &output)
{
    static const QRegularExpression separators(QStringLiteral("[,|]"));
    PackageDatabase db;
    for (const QString &line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() < 6)
            continue;
        PackageFacts facts;
        // "ii " and "iU " and the like: installed, whatever is pending.
        facts.installed = f[1].startsWith(QLatin1Char('i'));
        facts.essential = f[2] == QLatin1String("yes");
        facts.installedBytes = f[3].toLongLong() * 1024;
        db.packages.insert(f[0], facts);
        if (!facts.installed)
            continue;
        const QString self = f[0].section(QLatin1Char(':'), 0, 0);
        for (const QString &dep : (f[4] + QLatin1Char(',') + f[5]).split(separators)) {
            // "libc6 (>= 2.34)", "python3:any": the name alone.
            QString name = dep.trimmed().section(QLatin1Char(' '), 0, 0);
            name = name.section(QLatin1Char(':'), 0, 0);
            if (!name.isEmpty() && name != self)
                db.required.insert(name);
        }
    }
    return db;
}

QHash<QString, QDateTime> parseRecentlyUsed(const QByteArray &xbel)
{
    QHash<QString, QDateTime> newest;
    const auto note = [&newest](const QString &key, const QDateTime &when) {
        if (key.isEmpty() || !when.isValid())
            return;
        QDateTime &slot = newest[key];
        if (!slot.isValid() || when > slot)
            slot = when;
    };
    QXmlStreamReader xml(xbel);
    // Writers differ in declaring the bookmark: prefix; the element is known by its name.
    xml.setNamespaceProcessing(false);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement ||
            xml.qualifiedName() != QLatin1String("bookmark:application"))
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        QDateTime when =
            QDateTime::fromString(a.value(QLatin1String("modified")).toString(), Qt::ISODateWithMs);
        if (!when.isValid())
            when =
                QDateTime::fromString(a.value(QLatin1String("modified")).toString(), Qt::ISODate);
        note(a.value(QLatin1String("name")).toString().toLower(), when);
        // exec="'gimp-2.10 %u'": the program's base name.
        QString exec = a.value(QLatin1String("exec")).toString().trimmed();
        exec.remove(QLatin1Char('\''));
        exec.remove(QLatin1Char('"'));
        const QString program = exec.section(QLatin1Char(' '), 0, 0);
        note(program.mid(program.lastIndexOf(QLatin1Char('/')) + 1).toLower(), when);
    }
    return newest;
}

QHash<QString, QDateTime> readRecentlyUsed()
{
    const QString path = Locations::current().recentlyUsed;
    ReadOnlyFile file;
    if (path.isEmpty() || !file.open(path, true) || file.size() > kMaxXbelBytes)
        return {};
    QByteArray text(file.size(), Qt::Uninitialized);
    if (file.readAt(0, text.data(), text.size()) != text.size())
        return {};
    return parseRecentlyUsed(text);
}

QDateTime lastOpened(const AppResource &app, const QHash<QString, QDateTime> &recent,
                     const QString &program)
{
    QDateTime best;
    QStringList keys = app.aliases();
    keys.append(app.name.toLower());
    for (const QString &key : keys) {
        const QDateTime when = recent.value(key);
        if (when.isValid() && (!best.isValid() || when > best))
            best = when;
    }
    if (best.isValid() || program.isEmpty())
        return best;
    const auto props = FileProperties::readFollowingLinks(program);
    if (!props || !props->accessed.isValid())
        return {};
    const auto mount = MountTable::mountOfDevice(props->id.device, MountTable::read());
    if (!mount || !MountTable::recordsAccessTimes(*mount))
        return {};
    return props->accessed;
}

QList<AppResource> appImagesIn(const QString &folder)
{
    QList<AppResource> found;
    const Exclusions exclusions = Exclusions::current();
    if (exclusions.isExcluded(nativePath(folder)))
        return found;
    QStringList names = FileProperties::listNames(folder).value_or(QStringList());
    std::sort(names.begin(), names.end());
    for (const QString &name : names) {
        if (name.startsWith(QLatin1Char('.')) || !isAppImageName(name))
            continue;
        const QString path = joined(folder, name);
        const auto props = FileProperties::read(path);
        if (!props || !exclusions.offers(nativePath(path)))
            continue;
        const auto target = props->isSymLink ? FileProperties::readFollowingLinks(path) : props;
        if (!target || !target->isRegularFile)
            continue;
        AppResource app;
        app.kind = AppResource::Kind::AppImage;
        app.name = name;
        app.path = path;
        app.isLink = props->isSymLink;
        app.identity = props->identity;
        found.append(app);
    }
    return found;
}

void measureAppImage(AppResource &app, const QHash<QString, QDateTime> &recent)
{
    app.source = QStringLiteral("AppImage");
    const auto props = FileProperties::readFollowingLinks(app.path);
    app.sizeMB = props ? mebibytes(props->allocatedBytes) : 0;
    if (app.executable.isEmpty())
        app.executable = app.path;
    const QDateTime used = lastOpened(app, recent, app.path);
    app.lastUsed = used.isValid() ? used.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"))
                                  : QStringLiteral("Unknown");
}

QList<AppResource> list(AppHost *appState, const CancelToken &cancel)
{
    const Locations &loc = Locations::current();
    const QString home = QDir::cleanPath(loc.home);
    const QList<FoundEntry> entries = shownEntries();
    const QHash<QString, QDateTime> recent = readRecentlyUsed();

    QList<AppResource> apps;
    QStringList systemEntries;
    for (const FoundEntry &found : entries) {
        if (cancel.isCancelled())
            return {};
        const DesktopEntry &e = found.entry;
        AppResource app;
        app.name = shownName(e.name.isEmpty() ? e.id : e.name);
        app.desktopId = e.id;
        app.icon = e.icon;
        app.startupWMClass = e.startupWMClass;
        app.executable = e.program();
        app.entryPath = SafetyHelper::exactNativePath(found.path).value_or(QByteArray());
        app.path = found.path;
        const QString folder = QDir::cleanPath(found.folder);
        const bool userEntry = folder == QDir::cleanPath(loc.userDesktopEntries);
        if (!e.flatpakId.isEmpty() || folder == QDir::cleanPath(loc.flatpakUserExports) ||
            folder == QDir::cleanPath(loc.flatpakSystemExports)) {
            const QString id = e.flatpakId.isEmpty() ? e.id : e.flatpakId;
            if (!AppLeftovers::isFlatpakAppId(id))
                continue;
            app.kind = AppResource::Kind::Flatpak;
            app.flatpakID = id;
            app.systemInstallation = folder == QDir::cleanPath(loc.flatpakSystemExports);
            app.path =
                joined(app.systemInstallation ? loc.flatpakSystemApps : loc.flatpakUserApps, id);
        } else if (folder == QDir::cleanPath(loc.snapDesktopEntries) || !e.snapName.isEmpty()) {
            app.kind = AppResource::Kind::Snap;
            app.package = e.snapName.isEmpty() ? e.id.section(QLatin1Char('_'), 0, 0) : e.snapName;
            app.source = QStringLiteral("Snap");
            app.sizeMB = mebibytes(snapBytes(app.package));
        } else if (userEntry && isAppImageName(app.executable) && inside(app.executable, home)) {
            app.kind = AppResource::Kind::AppImage;
            app.path = app.executable;
            const auto props = FileProperties::read(app.path);
            if (!props)
                continue;
            app.isLink = props->isSymLink;
            app.identity = props->identity;
        } else if (userEntry) {
            // Only the entry is the user's: a program elsewhere is not ours to move.
            app.kind = AppResource::Kind::UserEntry;
            app.source = QStringLiteral("Installed for you");
            if (const auto props = FileProperties::read(found.path))
                app.identity = props->identity;
            if (inside(app.executable, home))
                if (const auto props = FileProperties::readFollowingLinks(app.executable))
                    app.sizeMB = mebibytes(props->allocatedBytes);
        } else {
            app.kind = AppResource::Kind::Package;
            if (plainPattern(found.path))
                systemEntries.append(found.path);
        }
        app.nativePath = SafetyHelper::exactNativePath(app.path).value_or(QByteArray());
        apps.append(app);
    }

    // Who owns the system's entries, and what each package weighs: one call each.
    QHash<QString, QString> owners;
    PackageDatabase db;
    QString packageSource = QStringLiteral("Package");
    if (!systemEntries.isEmpty() && dpkgIsTheDatabase()) {
        packageSource = QStringLiteral("Debian package");
        QStringList args = {QStringLiteral("-S"), QStringLiteral("--")};
        args += systemEntries;
        owners = parseDpkgSearch(
            ProcessRunner::run(loc.dpkg, args, appState, toolOptions(cancel)).stdOut);
        db = parseDpkgStatus(
            ProcessRunner::run(loc.dpkgQuery,
                               {QStringLiteral("-W"), QStringLiteral("-f"), dpkgListFormat()},
                               appState, toolOptions(cancel))
                .stdOut);
    } else if (!systemEntries.isEmpty() && rpmIsTheDatabase()) {
        packageSource = QStringLiteral("RPM package");
        owners = rpmOwners(systemEntries, appState, cancel);
        db = rpmDatabase(appState, cancel);
    }
    if (cancel.isCancelled())
        return {};

    for (AppResource &app : apps) {
        switch (app.kind) {
        case AppResource::Kind::Package:
            app.package = owners.value(app.path);
            if (app.package.isEmpty()) {
                app.source = QStringLiteral("System");
                app.keptReason = QStringLiteral("No package manager installed it.");
            } else {
                app.source = packageSource;
                const QString bare = app.package.section(QLatin1Char(':'), 0, 0);
                app.sizeMB = mebibytes(
                    db.packages.value(app.package, db.packages.value(bare)).installedBytes);
                app.keptReason = keptReason(app.package, db);
            }
            break;
        case AppResource::Kind::AppImage:
            measureAppImage(app, recent);
            continue;
        case AppResource::Kind::Flatpak:
            app.source = QStringLiteral("Flatpak");
            app.sizeMB = mebibytes(AppLeftovers::allocatedSize(nativePath(app.path)));
            break;
        default:
            break;
        }
        // Flatpak and snap entries start the same launcher for every app: its access
        // time says nothing of this one. A Flatpak app's data folder changes when it runs.
        const bool launcher =
            app.kind == AppResource::Kind::Flatpak || app.kind == AppResource::Kind::Snap;
        QDateTime used = lastOpened(app, recent, launcher ? QString() : app.executable);
        if (!used.isValid() && app.kind == AppResource::Kind::Flatpak)
            if (const auto data = FileProperties::read(joined(loc.flatpakAppData, app.flatpakID)))
                used = data->modified;
        app.lastUsed = used.isValid() ? used.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"))
                                      : QStringLiteral("Unknown");
    }
    return apps;
}

QList<QByteArray> companionsOf(const QString &appImage)
{
    const Locations &loc = Locations::current();
    QList<QByteArray> found;
    QStringList icons;
    QStringList names = FileProperties::listNames(loc.userDesktopEntries).value_or(QStringList());
    std::sort(names.begin(), names.end());
    for (const QString &file : names) {
        if (!file.endsWith(QLatin1String(".desktop")))
            continue;
        const QString path = joined(loc.userDesktopEntries, file);
        const auto entry = DesktopEntry::read(path);
        if (!entry || !entry->names(appImage))
            continue;
        if (const auto bytes = SafetyHelper::exactNativePath(path))
            found.append(*bytes);
        if (!entry->icon.isEmpty())
            icons.append(entry->icon);
    }
    const QString iconRoot = QDir::cleanPath(loc.userIcons);
    for (const QString &icon : std::as_const(icons)) {
        if (icon.startsWith(QLatin1Char('/'))) {
            if (inside(QDir::cleanPath(icon), iconRoot))
                if (const auto bytes = SafetyHelper::exactNativePath(icon))
                    found.append(*bytes);
            continue;
        }
        if (icon.contains(QLatin1Char('/')))
            continue;
        // <theme>/<size>/<context>/<name>.<ext>, as icon themes lay them out.
        const QStringList exts = {QStringLiteral(".png"), QStringLiteral(".svg"),
                                  QStringLiteral(".xpm")};
        for (const QString &theme : FileProperties::listNames(iconRoot).value_or(QStringList())) {
            const QString themeDir = joined(iconRoot, theme);
            for (const QString &ext : exts)
                if (FileProperties::exists(joined(themeDir, icon + ext)))
                    found.append(nativePath(joined(themeDir, icon + ext)));
            for (const QString &size : FileProperties::listNames(themeDir).value_or(QStringList()))
                for (const QString &context :
                     FileProperties::listNames(joined(themeDir, size)).value_or(QStringList()))
                    for (const QString &ext : exts) {
                        const QString file =
                            joined(joined(joined(themeDir, size), context), icon + ext);
                        if (FileProperties::exists(file))
                            found.append(nativePath(file));
                    }
        }
    }
    return found;
}

QStringList parseSimulatedRemoval(const QString &output)
{
    QStringList names;
    for (const QString &line : output.split(QLatin1Char('\n'))) {
        if (!line.startsWith(QLatin1String("Remv ")))
            continue;
        const QString name = line.mid(5).section(QLatin1Char(' '), 0, 0);
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

RemovalPlan planRemoval(const AppResource &app, AppHost *appState)
{
    const Locations &loc = Locations::current();
    RemovalPlan plan;
    const auto q = &Locations::shellQuoted;
    if (app.package.isEmpty() || app.package.startsWith(QLatin1Char('-'))) {
        plan.error = QStringLiteral("No package owns %1.").arg(app.name);
        return plan;
    }
    if (!app.keptReason.isEmpty()) {
        plan.error = app.keptReason;
        return plan;
    }
    if (app.kind == AppResource::Kind::Snap) {
        plan.command = q(loc.pkexec) + QLatin1Char(' ') + q(loc.snap) +
                       QStringLiteral(" remove -- ") + q(app.package);
        return plan;
    }
    if (app.kind != AppResource::Kind::Package) {
        plan.error = QStringLiteral("%1 is not a package.").arg(app.name);
        return plan;
    }
    if (rpmIsTheDatabase()) {
        // dnf asks before it removes; the sheet has no keyboard, so it is told yes here,
        // after the confirmation.
        plan.command = q(loc.pkexec) + QLatin1Char(' ') + q(loc.dnf) +
                       QStringLiteral(" remove -y -- ") + q(app.package);
        return plan;
    }
    const RunResult run = ProcessRunner::run(
        loc.aptGet,
        {QStringLiteral("-s"), QStringLiteral("remove"), QStringLiteral("--"), app.package},
        appState, toolOptions({}));
    if (run.exitCode != 0) {
        const QString said = run.stdErr.trimmed();
        plan.error =
            said.isEmpty() ? QStringLiteral("apt-get ended with code %1.").arg(run.exitCode) : said;
        return plan;
    }
    const QString bare = app.package.section(QLatin1Char(':'), 0, 0);
    plan.alsoRemoved = parseSimulatedRemoval(run.stdOut);
    plan.alsoRemoved.removeAll(bare);
    plan.alsoRemoved.removeAll(app.package);
    plan.command = q(loc.pkexec) + QLatin1Char(' ') + q(loc.aptGet) +
                   QStringLiteral(" remove -y -- ") + q(app.package);
    return plan;
}

} // namespace DesktopApps
