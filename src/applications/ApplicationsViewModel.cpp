#include "applications/ApplicationsViewModel.h"

#include "applications/AppLeftovers.h"
#include "applications/DesktopApps.h"
#include "exec/AppHost.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "exec/ScanProgress.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"
#include "platform/RemovalHub.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QtConcurrent>

#include <algorithm>

namespace {

QString dayText(const QDateTime &date)
{
    return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"))
                          : QStringLiteral("Unknown");
}

double mebibytes(qint64 bytes)
{
    return double(bytes) / 1024 / 1024;
}

// Children of a folder, hidden ones left out; nothing when it cannot be listed.
QStringList visibleNames(const QString &folder)
{
    QStringList names = FileProperties::listNames(folder).value_or(QStringList());
    names.removeIf([](const QString &n) { return n.startsWith(QLatin1Char('.')); });
    std::sort(names.begin(), names.end());
    return names;
}

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

void addFlatpaks(QList<AppResource> &apps, const QString &folder, bool system)
{
    if (folder.isEmpty())
        return;
    for (const QString &id : visibleNames(folder)) {
        // Any other folder name is no app, and its name would reach flatpak's options.
        if (!AppLeftovers::isFlatpakAppId(id))
            continue;
        const QString path = joined(folder, id);
        const auto props = FileProperties::read(path);
        if (!props || !props->isDirectory)
            continue;
        AppResource app;
        app.kind = AppResource::Kind::Flatpak;
        app.path = path;
        app.flatpakID = id;
        app.systemInstallation = system;
        apps.append(app);
    }
}

} // namespace

ApplicationsViewModel::ApplicationsViewModel(QObject *parent) : QObject(parent)
{
    connect(RemovalHub::instance(), &RemovalHub::removed, this,
            &ApplicationsViewModel::dropRemoved);
}

void ApplicationsViewModel::dropRemoved(const RemovalBatch &batch)
{
    if (m_applications.removeIf([&](const AppResource &app) {
            return !app.nativePath.isEmpty() && batch.covers(app.nativePath);
        }) > 0) {
        emit applicationsChanged();
        emit changed();
    }
}

ApplicationsViewModel::~ApplicationsViewModel()
{
    waitForTasks();
}

void ApplicationsViewModel::waitForTasks()
{
    m_work.waitForAll();
}

void ApplicationsViewModel::setApplications(const QList<AppResource> &applications)
{
    m_applications = applications;
    emit applicationsChanged();
    emit changed();
}

QStringList ApplicationsViewModel::customFolders()
{
    const QVariant stored = Preferences::value(QLatin1String(customAppDirsKey));
    if (stored.typeId() != QMetaType::QString)
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(stored.toString().toUtf8());
    if (!doc.isArray())
        return {};
    QStringList folders;
    for (const QJsonValue &value : doc.array()) {
        // One element of another kind spoils the list, as text that does not decode does.
        if (!value.isString())
            return {};
        folders.append(value.toString());
    }
    return folders;
}

QStringList ApplicationsViewModel::scannedFolders()
{
    const Locations &loc = Locations::current();
    QStringList folders;
    if (Preferences::boolValue(QLatin1String(scanSystemAppsKey), true) &&
        !loc.applicationFolders.isEmpty())
        folders.append(loc.applicationFolders.value(0));
    if (Preferences::boolValue(QLatin1String(scanUserAppsKey), true) &&
        loc.applicationFolders.size() > 1)
        folders.append(loc.applicationFolders.value(1));
    for (const QString &folder : customFolders()) {
        // A relative path would list whatever folder the program started in.
        if (!folder.startsWith(QLatin1Char('/')) || folders.contains(folder))
            continue;
        folders.append(folder);
    }
    return folders;
}

namespace {

QList<AppResource> measureAll(const QList<AppResource> &found, ScanProgress *progress)
{
    std::atomic<qint64> measured{0};
    return QtConcurrent::blockingMapped(Background::pool(), found,
                                        [&measured, progress](const AppResource &app) {
                                            AppResource done = ApplicationsViewModel::measure(app);
                                            if (progress)
                                                progress->setFound(++measured);
                                            return done;
                                        });
}

} // namespace

QList<AppResource> ApplicationsViewModel::findApplications(ScanProgress *progress)
{
    const Locations &loc = Locations::current();
    const bool mac = loc.os == Locations::Os::MacOS;
    const bool system = Preferences::boolValue(QLatin1String(scanSystemAppsKey), true);
    const bool user = Preferences::boolValue(QLatin1String(scanUserAppsKey), true);
    QList<AppResource> found;
    if (mac) {
        for (const QString &folder : scannedFolders()) {
            for (const QString &name : visibleNames(folder)) {
                const QString path = joined(folder, name);
                const auto props = FileProperties::read(path);
                if (!props || !name.endsWith(QLatin1String(".app")))
                    continue;
                AppResource app;
                app.name = name;
                app.path = path;
                app.isLink = props->isSymLink;
                app.identity = props->identity;
                found.append(app);
            }
        }
        return measureAll(found, progress);
    }

    // The desktop's menu first: its rows carry the entry's name and icon.
    for (const AppResource &app : DesktopApps::list()) {
        const bool mine = app.kind == AppResource::Kind::AppImage ||
                          app.kind == AppResource::Kind::UserEntry ||
                          (app.kind == AppResource::Kind::Flatpak && !app.systemInstallation);
        if (mine ? user : system)
            found.append(app);
    }
    QStringList folders = scannedFolders();
    if (user)
        for (const QString &f : loc.appImageFolders)
            if (!folders.contains(f))
                folders.append(f);
    QSet<QString> listed;
    for (const AppResource &app : std::as_const(found))
        listed.insert(app.kind == AppResource::Kind::Flatpak ? app.flatpakID : app.path);
    for (const QString &folder : std::as_const(folders)) {
        for (const AppResource &image : DesktopApps::appImagesIn(folder)) {
            if (listed.contains(image.path))
                continue;
            listed.insert(image.path);
            found.append(image);
        }
    }
    QList<AppResource> flatpaks;
    if (user)
        addFlatpaks(flatpaks, loc.flatpakUserApps, false);
    if (system)
        addFlatpaks(flatpaks, loc.flatpakSystemApps, true);
    for (const AppResource &app : std::as_const(flatpaks))
        if (!listed.contains(app.flatpakID))
            found.append(app);
    return measureAll(found, progress);
}

AppResource ApplicationsViewModel::measure(AppResource app)
{
    const Locations &loc = Locations::current();
    // A name that does not survive the trip through text is listed but never moved.
    if (app.nativePath.isEmpty())
        app.nativePath = SafetyHelper::exactNativePath(app.path).value_or(QByteArray());
    // The menu's rows come measured.
    if (!app.source.isEmpty())
        return app;
    switch (app.kind) {
    case AppResource::Kind::Bundle: {
        const bool receipt =
            FileProperties::exists(app.path + QStringLiteral("/Contents/_MASReceipt/receipt"));
        app.source = receipt ? QStringLiteral("App Store") : QStringLiteral("Web");
        const auto props = FileProperties::readFollowingLinks(app.path);
        app.lastUsed = dayText(props ? props->modified : QDateTime());
        const QByteArray measured =
            app.isLink ? nativePath(QFileInfo(app.path).canonicalFilePath()) : app.nativePath;
        app.sizeMB = measured.isEmpty() ? 0 : mebibytes(AppLeftovers::allocatedSize(measured));
        break;
    }
    case AppResource::Kind::AppImage:
        DesktopApps::measureAppImage(app, DesktopApps::readRecentlyUsed());
        break;
    case AppResource::Kind::Flatpak: {
        app.source = QStringLiteral("Flatpak");
        app.name = AppLeftovers::identity(app.path).name;
        app.sizeMB = mebibytes(AppLeftovers::allocatedSize(nativePath(app.path)));
        auto props = FileProperties::read(joined(loc.flatpakAppData, app.flatpakID));
        if (!props)
            props = FileProperties::read(app.path);
        app.lastUsed = dayText(props ? props->modified : QDateTime());
        break;
    }
    default:
        break;
    }
    return app;
}

void ApplicationsViewModel::scan(AppHost *appState)
{
    ++m_scans;
    emit busyChanged();
    m_work.track(Background::start([this, appState] {
        ScanProgress progress(
            appState, PlatformTexts::text(QStringLiteral("Deep scanning /Applications...")));
        const QList<AppResource> found = findApplications(&progress);
        QMetaObject::invokeMethod(
            this,
            [this, found] {
                --m_scans;
                setApplications(found);
                emit busyChanged();
            },
            Qt::QueuedConnection);
    }));
}

void ApplicationsViewModel::trashApp(const QString &path, AppHost *appState)
{
    if (m_uninstalling.contains(path))
        return;
    AppResource app;
    const auto row = std::find_if(m_applications.cbegin(), m_applications.cend(),
                                  [&](const AppResource &a) { return a.path == path; });
    if (row != m_applications.cend()) {
        app = *row;
    } else {
        app.path = path;
        app.name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        if (const auto bytes = SafetyHelper::exactNativePath(path))
            app.nativePath = *bytes;
        if (const auto props = FileProperties::read(path))
            app.isLink = props->isSymLink;
    }
    m_uninstalling.insert(path);
    emit busyChanged();

    m_work.track(Background::start([this, app, appState] {
        // Who it is must be read while it is still in place.
        const AppIdentity identity = AppLeftovers::identity(app.path);
        SafetyHelper::Outcome outcome;
        if (app.kind == AppResource::Kind::Flatpak) {
            const QStringList args = {
                QStringLiteral("uninstall"), QStringLiteral("--noninteractive"),
                app.systemInstallation ? QStringLiteral("--system") : QStringLiteral("--user"),
                QStringLiteral("--"), app.flatpakID};
            const RunResult run = ProcessRunner::run(Locations::current().flatpak, args, appState);
            outcome.ok = run.exitCode == 0 && !run.cancelled && !run.timedOut;
            if (!outcome.ok) {
                const QString said = run.stdErr.trimmed();
                outcome.reason =
                    said.isEmpty() ? QStringLiteral("flatpak ended with code %1.").arg(run.exitCode)
                                   : said;
            }
        } else if (app.kind == AppResource::Kind::Package || app.kind == AppResource::Kind::Snap) {
            outcome.reason = QStringLiteral("Its package manager removes it.");
        } else if (app.kind == AppResource::Kind::UserEntry) {
            // The program may be anyone's: only the user's own menu entry goes.
            outcome = app.identity.isNull()
                          ? SafetyHelper::Outcome{false, SafetyHelper::changedReason(app.entryPath)}
                          : SafetyHelper::moveNativeToTrash(app.entryPath, app.identity, appState);
        } else if (app.nativePath.isEmpty()) {
            outcome.reason = QStringLiteral("The name cannot be read exactly.");
        } else {
            // Read before the move: the entries name the AppImage's path.
            const QList<QByteArray> companions =
                app.kind == AppResource::Kind::AppImage && !app.isLink
                    ? DesktopApps::companionsOf(app.path)
                    : QList<QByteArray>();
            const RemovalHub::Joined joined(RemovalHub::Batch(QStringLiteral("applications")));
            outcome = app.identity.isNull()
                          ? SafetyHelper::moveNativeToTrash(app.nativePath, appState)
                          : SafetyHelper::moveNativeToTrash(app.nativePath, app.identity, appState);
            if (outcome.ok)
                for (const QByteArray &item : companions)
                    SafetyHelper::moveNativeToTrash(item, appState);
        }
        QStringList aliases = identity.aliases;
        for (const QString &a : app.aliases())
            if (!aliases.contains(a))
                aliases.append(a);
        QMetaObject::invokeMethod(
            this,
            [this, app, identity, outcome, appState, aliases] {
                m_uninstalling.remove(app.path);
                emit busyChanged();
                if (!outcome.ok) {
                    emit uninstallFailed(app.name, outcome.reason);
                    return;
                }
                // A link or a menu entry went, the program stays: nothing was left.
                if (appState && !app.isLink && app.kind != AppResource::Kind::UserEntry)
                    appState->showLeftovers(identity.name, identity.bundleID, app.path, aliases);
                if (m_applications.removeIf(
                        [&](const AppResource &a) { return a.path == app.path; }) > 0) {
                    emit applicationsChanged();
                    emit changed();
                }
            },
            Qt::QueuedConnection);
    }));
}

void ApplicationsViewModel::planRemoval(const QString &path, AppHost *appState)
{
    const auto row = std::find_if(m_applications.cbegin(), m_applications.cend(),
                                  [&](const AppResource &a) { return a.path == path; });
    if (row == m_applications.cend() || m_uninstalling.contains(path))
        return;
    const AppResource app = *row;
    m_uninstalling.insert(path);
    emit busyChanged();
    m_work.track(Background::start([this, app, appState] {
        const DesktopApps::RemovalPlan plan = DesktopApps::planRemoval(app, appState);
        QMetaObject::invokeMethod(
            this,
            [this, path = app.path, plan] {
                m_uninstalling.remove(path);
                emit busyChanged();
                emit removalPlanned(path, plan.command, plan.alsoRemoved, plan.error);
            },
            Qt::QueuedConnection);
    }));
}
