#include "homebrew/HomebrewViewModel.h"

#include "exec/AppHost.h"
#include "exec/Background.h"
#include "homebrew/Brew.h"
#include "platform/DirectoryWalk.h"
#include "platform/FileProperties.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

namespace {

void report(AppHost *appState, const QString &message)
{
    if (appState)
        appState->setScanProgress(true, message, 0);
}

QString textOr(const QJsonValue &value, const QString &fallback)
{
    return value.isString() ? value.toString() : fallback;
}

std::optional<QDateTime> dateFrom(const QJsonValue &value)
{
    if (!value.isDouble() || value.toDouble() <= 0)
        return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(value.toDouble() * 1000));
}

QJsonObject objectOf(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    return document.isObject() ? document.object() : QJsonObject();
}

QSet<QString> namesOf(const QJsonValue &list)
{
    QSet<QString> names;
    for (const QJsonValue &entry : list.toArray()) {
        const QJsonValue name = entry.toObject().value(QLatin1String("name"));
        if (name.isString())
            names.insert(name.toString());
    }
    return names;
}

// A JSON text used as one folder name: anything that could climb out of, or widen, the
// folder it names is refused.
bool isPlainName(const QString &component)
{
    return !component.isEmpty() && component != QLatin1String(".") &&
           !component.contains(QLatin1Char('/')) && !component.contains(QLatin1String(".."));
}

} // namespace

HomebrewViewModel::HomebrewViewModel(QObject *parent) : QObject(parent) {}

HomebrewViewModel::~HomebrewViewModel()
{
    waitForTasks();
}

void HomebrewViewModel::waitForTasks()
{
    m_work.waitForAll();
}

void HomebrewViewModel::setPackages(const QList<BrewPackage> &packages)
{
    m_packages = packages;
    emit packagesChanged();
    emit changed();
}

void HomebrewViewModel::setIsBrewInstalled(bool value)
{
    if (m_isBrewInstalled == value)
        return;
    m_isBrewInstalled = value;
    emit isBrewInstalledChanged(value);
    emit changed();
}

void HomebrewViewModel::setStream(const std::optional<QString> &title,
                                  const std::optional<QString> &command)
{
    if (m_activeStreamTitle == title && m_activeStreamCommand == command)
        return;
    m_activeStreamTitle = title;
    m_activeStreamCommand = command;
    emit activeStreamChanged();
    emit changed();
}

void HomebrewViewModel::stream(const QString &title, const QStringList &arguments)
{
    setStream(title, Brew::command(arguments));
}

void HomebrewViewModel::clearStream()
{
    setStream(std::nullopt, std::nullopt);
}

void HomebrewViewModel::upgradeAll()
{
    setStream(QStringLiteral("Updating Homebrew and upgrading everything…"),
              Brew::command({QStringLiteral("update")}) + QStringLiteral(" && ") +
                  Brew::command({QStringLiteral("upgrade")}));
}

void HomebrewViewModel::updatePackageLists()
{
    stream(QStringLiteral("Updating Homebrew…"), {QStringLiteral("update")});
}

void HomebrewViewModel::cleanUp()
{
    stream(QStringLiteral("Cleaning up…"), {QStringLiteral("cleanup"), QStringLiteral("-s")});
}

void HomebrewViewModel::removeUnusedDependencies()
{
    stream(QStringLiteral("Removing unused dependencies…"), {QStringLiteral("autoremove")});
}

void HomebrewViewModel::runDoctor()
{
    stream(QStringLiteral("brew doctor"), {QStringLiteral("doctor")});
}

namespace {
QStringList packageArguments(const QString &verb, const BrewPackage &package)
{
    return package.isCask() ? QStringList{verb, QStringLiteral("--cask"), package.name}
                            : QStringList{verb, package.name};
}
} // namespace

void HomebrewViewModel::upgrade(const BrewPackage &package)
{
    stream(QStringLiteral("Updating %1…").arg(package.name),
           packageArguments(QStringLiteral("upgrade"), package));
}

void HomebrewViewModel::uninstall(const BrewPackage &package)
{
    stream(QStringLiteral("Uninstalling %1…").arg(package.name),
           packageArguments(QStringLiteral("uninstall"), package));
}

void HomebrewViewModel::reinstall(const BrewPackage &package)
{
    stream(QStringLiteral("Reinstalling %1…").arg(package.name),
           packageArguments(QStringLiteral("reinstall"), package));
}

void HomebrewViewModel::togglePin(const BrewPackage &package)
{
    if (package.isPinned)
        stream(QStringLiteral("Unpinning %1…").arg(package.name),
               {QStringLiteral("unpin"), package.name});
    else
        stream(QStringLiteral("Pinning %1…").arg(package.name),
               {QStringLiteral("pin"), package.name});
}

void HomebrewViewModel::scanHomebrew(AppHost *appState)
{
    // A later scan supersedes an earlier one still running: only the newest publishes.
    const quint64 generation = ++m_scanGeneration;
    m_work.track(Background::start([this, appState, generation] {
        const ScanResult result = collect(appState);
        QMetaObject::invokeMethod(
            this,
            [this, result, generation] {
                if (generation != m_scanGeneration)
                    return;
                setIsBrewInstalled(result.installed);
                if (result.installed)
                    setPackages(result.packages);
            },
            Qt::QueuedConnection);
        if (appState)
            appState->setScanProgress(false, QString(), 0);
    }));
}

HomebrewViewModel::ScanResult HomebrewViewModel::collect(AppHost *appState)
{
    ScanResult result;
    report(appState, QStringLiteral("Checking Homebrew..."));
    const QString brewPath = Brew::path();
    if (Brew::read({QStringLiteral("--version")}, appState).exitCode != 0)
        return result;
    result.installed = true;

    report(appState, QStringLiteral("Checking for outdated packages..."));
    const Outdated outdated = parseOutdated(
        Brew::read({QStringLiteral("outdated"), QStringLiteral("--json=v2")}, appState)
            .stdOutBytes);

    report(appState, QStringLiteral("Fetching precise package data..."));
    const QByteArray info = Brew::read({QStringLiteral("info"), QStringLiteral("--json=v2"),
                                        QStringLiteral("--installed")},
                                       appState)
                                .stdOutBytes;
    result.packages = parseInstalled(info, installPrefix(brewPath), outdated);
    for (BrewPackage &package : result.packages)
        measure(package);
    return result;
}

QString HomebrewViewModel::installPrefix(const QString &brewPath)
{
    const QString prefix = Brew::prefix(brewPath);
    const auto cellar = FileProperties::readFollowingLinks(prefix + QStringLiteral("/Cellar"));
    if (cellar && cellar->isDirectory)
        return prefix;
    const RunResult asked = Brew::read({QStringLiteral("--prefix")});
    const QString answer = asked.stdOut.section(QLatin1Char('\n'), 0, 0).trimmed();
    if (asked.exitCode == 0 && QDir::isAbsolutePath(answer))
        return QDir::cleanPath(answer);
    return prefix;
}

HomebrewViewModel::Outdated HomebrewViewModel::parseOutdated(const QByteArray &json)
{
    const QJsonObject top = objectOf(json);
    return {namesOf(top.value(QLatin1String("formulae"))),
            namesOf(top.value(QLatin1String("casks")))};
}

QList<BrewPackage> HomebrewViewModel::parseInstalled(const QByteArray &json, const QString &prefix,
                                                     const Outdated &outdated)
{
    const QJsonObject top = objectOf(json);
    QList<BrewPackage> packages;
    // Anything but an object describes no package: listing it would offer an uninstall of
    // "Unknown".
    for (const QJsonValue &value : top.value(QLatin1String("formulae")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject formula = value.toObject();
        BrewPackage package;
        package.name = textOr(formula.value(QLatin1String("name")), QStringLiteral("Unknown"));
        package.description = textOr(formula.value(QLatin1String("desc")), QString());
        package.homepage = textOr(formula.value(QLatin1String("homepage")), QString());
        package.isOutdated = outdated.formulae.contains(package.name);
        // Kegs are listed oldest first; after an upgrade without cleanup the old one is
        // still there. The linked keg is the one in use, else the newest.
        const QJsonArray kegs = formula.value(QLatin1String("installed")).toArray();
        if (!kegs.isEmpty()) {
            QJsonObject keg = kegs.last().toObject();
            const QJsonValue linked = formula.value(QLatin1String("linked_keg"));
            if (linked.isString()) {
                for (const QJsonValue &candidate : kegs) {
                    if (candidate.toObject().value(QLatin1String("version")) == linked) {
                        keg = candidate.toObject();
                        break;
                    }
                }
            }
            package.version =
                textOr(keg.value(QLatin1String("version")), QStringLiteral("Unknown"));
            package.installedDate = dateFrom(keg.value(QLatin1String("time")));
            const QJsonValue onRequest = keg.value(QLatin1String("installed_on_request"));
            package.onRequest = onRequest.isBool() ? onRequest.toBool() : true;
        }
        for (const QJsonValue &dependency :
             formula.value(QLatin1String("dependencies")).toArray()) {
            if (dependency.isString())
                package.dependencies.append(dependency.toString());
        }
        const QJsonValue pinned = formula.value(QLatin1String("pinned"));
        package.isPinned = pinned.isBool() && pinned.toBool();
        package.type = QStringLiteral("Formula");
        package.path =
            prefix + QStringLiteral("/Cellar/") + package.name + QLatin1Char('/') + package.version;
        packages.append(package);
    }
    for (const QJsonValue &value : top.value(QLatin1String("casks")).toArray()) {
        if (!value.isObject())
            continue;
        const QJsonObject cask = value.toObject();
        BrewPackage package;
        package.name = textOr(cask.value(QLatin1String("token")), QStringLiteral("Unknown"));
        package.description = textOr(cask.value(QLatin1String("desc")), QString());
        package.homepage = textOr(cask.value(QLatin1String("homepage")), QString());
        // "version" is what the tap offers now; "installed" is what is on disk.
        const QJsonValue installed = cask.value(QLatin1String("installed"));
        package.version = installed.isString() ? installed.toString()
                                               : textOr(cask.value(QLatin1String("version")),
                                                        QStringLiteral("Unknown"));
        package.isOutdated = outdated.casks.contains(package.name);
        package.installedDate = dateFrom(cask.value(QLatin1String("installed_time")));
        package.type = QStringLiteral("Cask");
        package.isPinned = false;
        package.onRequest = true;
        package.path = prefix + QStringLiteral("/Caskroom/") + package.name;
        packages.append(package);
    }
    return packages;
}

void HomebrewViewModel::measure(BrewPackage &package)
{
    if (!isPlainName(package.name) || (!package.isCask() && !isPlainName(package.version)))
        return;
    qint64 bytes = 0;
    DirectoryWalk::walk(package.path, [&bytes](const QString &, const FileProperties &properties) {
        bytes += properties.allocatedBytes;
    });
    package.sizeMB = double(bytes) / 1024 / 1024;
    if (const auto properties = FileProperties::read(package.path)) {
        package.modifiedDate =
            properties->modified.toLocalTime().toString(QStringLiteral("MM/dd/yy"));
        if (!package.installedDate)
            package.installedDate = properties->modified;
    }
    package.id = QUuid::createUuid();
}
