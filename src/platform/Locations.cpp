#include "platform/Locations.h"

#include "platform/FileProperties.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QStorageInfo>

#include <memory>
#include <vector>

namespace {

QString rootLabel()
{
    const QStorageInfo root(QStringLiteral("/"));
    const QString label = root.name();
    return label.isEmpty() ? QStringLiteral("Computer") : label;
}

void fillMac(Locations &l)
{
    const QString &h = l.home;
    l.shell = "/bin/sh";
    l.du = "/usr/bin/du";
    l.find = "/usr/bin/find";
    l.fileTool = "/usr/bin/file";
    l.ls = "/bin/ls";
    l.dockerCandidates = {"/usr/local/bin/docker"};
    l.docker = Locations::firstExecutable(l.dockerCandidates);
    l.brewCandidates = {"/opt/homebrew/bin/brew", "/usr/local/bin/brew"};
    l.brewPrefix = "/opt/homebrew";

    l.trashFiles = h + "/.Trash";
    l.trashInMarker = "/.Trash/";
    l.trashMeasureRoot = h + "/.Trash";
    l.configFolder = h + "/Library/Application Support/Quillmar";
    l.stateFolder = l.configFolder;
    l.cacheFolder = h + "/Library/Caches/Quillmar";

    l.protectedTrees = {"/",    "/System", "/Library", "/usr", "/usr/bin", "/usr/sbin",
                        "/bin", "/sbin",   "/var",     "/etc", "/dev",     "/private"};
    l.protectedItself = {h,
                         h + "/Desktop",
                         h + "/Documents",
                         h + "/Downloads",
                         h + "/Movies",
                         h + "/Music",
                         h + "/Pictures"};

    l.skippedMounts = {"/System/Volumes", "/.nofollow", "/.resolve", "/.vol", "/Volumes", "/dev"};
    l.storageStaysOnDevice = false;
    l.rootDisplayName = "Macintosh HD";

    l.applicationFolders = {"/Applications", h + "/Applications"};
    l.leftoverLibrary = h + "/Library";
    l.leftoverPlacesNamed = {"Application Support", "Caches", "Logs"};
    l.leftoverPlacesIdOnly = {"Preferences",
                              "Preferences/ByHost",
                              "Containers",
                              "Group Containers",
                              "Saved Application State",
                              "HTTPStorages",
                              "WebKit",
                              "Cookies",
                              "LaunchAgents",
                              "Application Scripts"};

    // From the table's home, not the shell's $HOME.
    l.cachesCommand = "du -sm " + Locations::shellQuoted(h + "/Library/Caches") + " 2>/dev/null";
    l.javaCountCommand = "/usr/libexec/java_home -V 2>&1 | grep 'JavaVirtualMachines' | wc -l";
    l.localBinLinksCountCommand = "find /usr/local/bin -type l 2>/dev/null | head -n 20 | wc -l";
    l.groupApps = {"/Applications"};
    l.groupDeveloper = {h + "/Library/Developer"};
    l.groupCaches = {h + "/Library/Caches"};
    l.groupDocker = {h + "/.docker", h + "/Library/Containers/com.docker.docker"};
    l.groupBrew = {"/opt/homebrew"};
    l.groupDownloads = {h + "/Downloads"};
    l.groupMedia = {h + "/Music", h + "/Movies", h + "/Pictures"};
    l.groupDocuments = {h + "/Documents", h + "/Desktop"};
    l.groupTrash = {h + "/.Trash"};
    l.groupLibrary = {h + "/Library"};
    l.systemCategoryName = "macOS";

    l.javaListCommand = "/usr/libexec/java_home -V 2>&1";
    l.javaLineMarker = "JavaVirtualMachines";
    // -0: the paths as bytes, one NUL after each.
    l.installersCommand = "mdfind -0 -onlyin " + Locations::shellQuoted(h) +
                          " \"kMDItemKind == 'Disk Image' || kMDItemKind == "
                          "'Installer Package'\"";
    l.localBinFolder = "/usr/local/bin";
    l.pyenvVersions = h + "/.pyenv/versions";
    l.condaEnvs = h + "/.conda/envs";

    l.junkAppCaches = h + "/Library/Caches";
    l.junkAppLogs = h + "/Library/Logs";
    l.junkDerivedData = h + "/Library/Developer/Xcode/DerivedData";
    l.junkHomebrewCache = h + "/Library/Caches/Homebrew";
    l.junkNpmCache = h + "/.npm";
    l.junkBrowserCaches = h + "/Library/Caches/com.apple.Safari";
    l.junkPipCache = h + "/Library/Caches/pip";
    l.junkYarnCache = h + "/Library/Caches/Yarn";
    l.junkCargoRegistry = h + "/.cargo/registry";
    l.junkGoBuildCache = h + "/Library/Caches/go-build";
    l.junkGoModCache = h + "/go/pkg/mod";
    l.junkGradleCaches = h + "/.gradle/caches";
    l.junkMavenRepository = h + "/.m2/repository";

    l.largeFilesFolders = {h + "/Downloads", h + "/Desktop", h + "/Documents"};

    l.fullDiskAccessProbe = "/Library/Application Support/com.apple.TCC/TCC.db";
    l.fullDiskAccessSettingsUrl =
        "x-apple.systempreferences:com.apple.preference.security?Privacy_AllFiles";
    l.relaunchScript = "sleep 1; /usr/bin/open \"$0\"";
}

// The user's own folders, under the names the desktop gives them (~/.config/user-dirs.dirs
// can name ~/Dokumente). Only the running user's home has such a file we may read.
struct UserFolders {
    QString desktop, documents, downloads, music, pictures, videos, publicShare, templates;
};

UserFolders userFolders(const QString &h)
{
    UserFolders f{h + "/Desktop",  h + "/Documents", h + "/Downloads", h + "/Music",
                  h + "/Pictures", h + "/Videos",    h + "/Public",    h + "/Templates"};
    if (QDir::cleanPath(h) != QDir::cleanPath(QDir::homePath()))
        return f;
    const auto take = [](QString &into, QStandardPaths::StandardLocation which) {
        const QString found = QStandardPaths::writableLocation(which);
        if (found.startsWith('/'))
            into = QDir::cleanPath(found);
    };
    take(f.desktop, QStandardPaths::DesktopLocation);
    take(f.documents, QStandardPaths::DocumentsLocation);
    take(f.downloads, QStandardPaths::DownloadLocation);
    take(f.music, QStandardPaths::MusicLocation);
    take(f.pictures, QStandardPaths::PicturesLocation);
    take(f.videos, QStandardPaths::MoviesLocation);
    take(f.publicShare, QStandardPaths::PublicShareLocation);
    take(f.templates, QStandardPaths::TemplatesLocation);
    return f;
}

// The folders without duplicates and without the home itself (a user folder switched off
// points at the home, and searching or counting all of it is not what was asked).
QStringList ownFolders(const QString &home, const QStringList &folders)
{
    QStringList out;
    for (const QString &f : folders) {
        if (f != home && !out.contains(f))
            out.append(f);
    }
    return out;
}

void fillLinux(Locations &l)
{
    const QString &h = l.home;
    const UserFolders uf = userFolders(h);
    l.shell = "/bin/sh";
    l.du = "/usr/bin/du";
    l.find = "/usr/bin/find";
    l.fileTool = "/usr/bin/file";
    l.ls = "/bin/ls";
    l.dockerCandidates = {"/usr/bin/docker", "/usr/local/bin/docker", "/snap/bin/docker"};
    l.docker = Locations::firstExecutable(l.dockerCandidates);
    l.brewCandidates = {"/home/linuxbrew/.linuxbrew/bin/brew", h + "/.linuxbrew/bin/brew"};
    l.brewPrefix = "/home/linuxbrew/.linuxbrew";

    // The XDG variables speak for the running user's home only.
    const auto xdg = [&l, &h](const char *variable, const QString &fallback) {
        const QString value = qEnvironmentVariable(variable);
        return value.startsWith('/') && l.home == QDir::homePath() ? value : h + fallback;
    };
    const QString dataHome = xdg("XDG_DATA_HOME", "/.local/share");
    l.configFolder = xdg("XDG_CONFIG_HOME", "/.config") + "/quillmar";
    l.stateFolder = xdg("XDG_STATE_HOME", "/.local/state") + "/quillmar";
    l.cacheFolder = xdg("XDG_CACHE_HOME", "/.cache") + "/quillmar";
    l.trashFiles = dataHome + "/Trash/files";
    l.trashInMarker = "/Trash/files/";
    l.trashInfo = dataHome + "/Trash/info";
    l.trashMeasureRoot = dataHome + "/Trash";

    l.protectedTrees = {"/",     "/System", "/Library", "/usr",   "/usr/bin", "/usr/sbin",
                        "/bin",  "/sbin",   "/var",     "/etc",   "/dev",     "/private",
                        "/boot", "/lib",    "/lib32",   "/lib64", "/libx32",  "/proc",
                        "/sys",  "/run",    "/srv",     "/root",  "/snap"};
    l.protectedItself = {h,
                         h + "/Desktop",
                         h + "/Documents",
                         h + "/Downloads",
                         h + "/Movies",
                         h + "/Music",
                         h + "/Pictures",
                         h + "/Videos",
                         h + "/Public",
                         h + "/Templates",
                         "/home",
                         "/mnt",
                         "/media",
                         "/opt",
                         "/tmp"};
    for (const QString &own : {uf.desktop, uf.documents, uf.downloads, uf.music, uf.pictures,
                               uf.videos, uf.publicShare, uf.templates}) {
        if (!l.protectedItself.contains(own))
            l.protectedItself.append(own);
    }

    l.skippedMounts = {"/proc", "/sys", "/dev", "/run", "/mnt", "/media", "/snap"};
    l.skippedOnlyWhenMounted = true;
    l.storageStaysOnDevice = true;
    l.rootDisplayName = rootLabel();

    l.applicationFolders = {"/Applications", h + "/Applications"};
    l.leftoverLibrary = h;
    l.leftoverPlacesNamed = {".config", ".cache", ".local/share"};
    l.leftoverPlacesIdOnly = {".local/state", ".var/app", "snap", ".config/autostart",
                              ".local/share/applications"};
    l.desktopEntryFolders = {dataHome + "/applications", "/usr/local/share/applications",
                             "/usr/share/applications"};
    l.userDesktopEntries = dataHome + "/applications";
    l.flatpak = "/usr/bin/flatpak";
    l.flatpakUserApps = dataHome + "/flatpak/app";
    l.flatpakSystemApps = "/var/lib/flatpak/app";
    l.flatpakUserExports = dataHome + "/flatpak/exports/share/applications";
    l.flatpakSystemExports = "/var/lib/flatpak/exports/share/applications";
    l.flatpakAppData = h + "/.var/app";
    l.snapDesktopEntries = "/var/lib/snapd/desktop/applications";
    l.menuEntryFolders = {dataHome + "/applications", l.flatpakUserExports,
                          l.flatpakSystemExports,     "/usr/local/share/applications",
                          "/usr/share/applications",  l.snapDesktopEntries};
    l.appImageFolders = ownFolders(h, {h + "/Applications", uf.downloads, h + "/Downloads",
                                       h + "/.local/bin", h + "/bin", h + "/AppImages"});
    l.recentlyUsed = dataHome + "/recently-used.xbel";
    l.userIcons = dataHome + "/icons";
    l.dpkg = "/usr/bin/dpkg";
    l.dpkgQuery = "/usr/bin/dpkg-query";
    l.dpkgSystem = "/etc/debian_version";
    l.rpm = "/usr/bin/rpm";
    l.dnf = "/usr/bin/dnf";
    l.aptGet = "/usr/bin/apt-get";
    l.apt = "/usr/bin/apt";
    l.pkexec = "/usr/bin/pkexec";
    l.snap = "/usr/bin/snap";
    l.snapFiles = "/var/lib/snapd/snaps";
    l.journalctl = "/usr/bin/journalctl";
    l.aptArchives = "/var/cache/apt/archives";

    l.cachesCommand = "du -sm " + Locations::shellQuoted(h + "/.cache") + " 2>/dev/null";
    // A JDK is a folder holding bin/java (a file, or a link to one); links to JDKs and
    // leftovers without a java count for nothing.
    const QString jvm = "/usr/lib/jvm";
    l.javaListCommand = "find " + Locations::shellQuoted(jvm) + " -mindepth 3 -maxdepth 3 -path " +
                        Locations::shellQuoted(jvm + "/*/bin/java") +
                        " -xtype f 2>/dev/null | sed 's|/bin/java$||'";
    l.javaLineMarker = "/usr/lib/jvm/";
    l.javaFolder = jvm;
    l.javaCountCommand = l.javaListCommand + " | wc -l";
    l.localBinLinksCountCommand = "find /usr/local/bin -type l 2>/dev/null | head -n 20 | wc -l";
    l.groupApps = {"/Applications", h + "/Applications", "/opt"};
    l.groupDeveloper = {h + "/.cargo", h + "/.rustup", h + "/go", h + "/.gradle", h + "/.m2"};
    l.groupCaches = {h + "/.cache"};
    l.groupDocker = {h + "/.docker", h + "/.local/share/docker"};
    l.groupBrew = {"/home/linuxbrew/.linuxbrew"};
    l.groupDownloads = ownFolders(h, {uf.downloads});
    l.groupMedia = ownFolders(h, {uf.music, uf.videos, uf.pictures});
    l.groupDocuments = ownFolders(h, {uf.documents, uf.desktop});
    l.groupTrash = {dataHome + "/Trash"};
    // No folder in two groups: what another group counts inside .local comes off it.
    l.groupLibrary = {h + "/.config", h + "/.local"};
    l.systemCategoryName = "System";

    l.installersFindExpression = {
        "-type", "d",      "(",     "-name", ".*",    "-o",     "-name", "node_modules",
        ")",     "-prune", "-o",    "-type", "f",     "(",      "-name", "*.dmg",
        "-o",    "-name",  "*.pkg", "-o",    "-name", "*.iso",  "-o",    "-name",
        "*.deb", "-o",     "-name", "*.rpm", ")",     "-print0"};
    l.installersCommand = "find -H " + Locations::shellQuoted(h);
    for (const QString &word : l.installersFindExpression)
        l.installersCommand += ' ' + Locations::shellQuoted(word);
    l.installersCommand += " 2>/dev/null";
    l.localBinFolder = "/usr/local/bin";
    l.pyenvVersions = h + "/.pyenv/versions";
    l.condaEnvs = h + "/.conda/envs";

    l.junkAppCaches = h + "/.cache";
    // No such places here: they measure nothing and clean nothing.
    l.junkAppLogs.clear();
    l.junkDerivedData.clear();
    l.junkHomebrewCache = h + "/.cache/Homebrew";
    l.junkNpmCache = h + "/.npm";
    l.junkBrowserCaches = h + "/.cache/mozilla";
    l.junkThumbnails = h + "/.cache/thumbnails";
    l.junkPipCache = h + "/.cache/pip";
    l.junkYarnCache = h + "/.cache/yarn";
    l.junkCargoRegistry = h + "/.cargo/registry";
    l.junkGoBuildCache = h + "/.cache/go-build";
    l.junkGoModCache = h + "/go/pkg/mod";
    l.junkGradleCaches = h + "/.gradle/caches";
    l.junkMavenRepository = h + "/.m2/repository";

    l.largeFilesFolders = ownFolders(h, {uf.downloads, uf.desktop, uf.documents});

    l.fullDiskAccessProbe.clear();
    l.fullDiskAccessSettingsUrl.clear();
    l.relaunchScript = "sleep 1; exec \"$0\"";
    l.gpgv = "/usr/bin/gpgv";
    l.tar = "/bin/tar";
}

QMutex gMutex;
// Tables are never freed: a reader may still hold a reference to a replaced one.
std::vector<std::unique_ptr<Locations>> gTables;
Locations *gCurrent = nullptr;

} // namespace

Locations Locations::forOs(Os os, const QString &home)
{
    Locations l;
    l.os = os;
    l.home = home.size() > 1 && home.endsWith('/') ? home.chopped(1) : home;
    if (os == Os::MacOS)
        fillMac(l);
    else
        fillLinux(l);
    return l;
}

Locations Locations::system()
{
#ifdef Q_OS_MACOS
    return forOs(Os::MacOS, QDir::homePath());
#else
    return forOs(Os::Linux, QDir::homePath());
#endif
}

const Locations &Locations::current()
{
    QMutexLocker lock(&gMutex);
    if (!gCurrent) {
        gTables.push_back(std::make_unique<Locations>(system()));
        gCurrent = gTables.back().get();
    }
    return *gCurrent;
}

void Locations::setCurrent(const Locations &locations)
{
    QMutexLocker lock(&gMutex);
    gTables.push_back(std::make_unique<Locations>(locations));
    gCurrent = gTables.back().get();
}

void Locations::resetCurrent()
{
    QMutexLocker lock(&gMutex);
    gCurrent = nullptr;
}

QString Locations::firstExecutable(const QStringList &candidates)
{
    for (const QString &c : candidates) {
        if (FileProperties::isExecutable(c))
            return c;
    }
    return candidates.value(0);
}

QString Locations::shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString Locations::expandTilde(const QString &path) const
{
    if (path == QLatin1String("~"))
        return home;
    if (path.startsWith(QLatin1String("~/")))
        return home + path.mid(1);
    return path;
}

QString Locations::abbreviateHome(const QString &path) const
{
    if (path == home)
        return QStringLiteral("~");
    if (!home.isEmpty() && home != QLatin1String("/") && path.startsWith(home + '/'))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}
