#pragma once

#include <QString>
#include <QStringList>

// Every absolute location and tool path the program uses, for the running OS.
// Models read these through Locations::current(); tests swap in their own table
// (a temporary home, fake tools) with Locations::setCurrent().
struct Locations {
    enum class Os { MacOS, Linux };

    Os os = Os::Linux;
    QString home;

    // Shell and system tools.
    QString shell;                // "/bin/sh"
    QString du;                   // "/usr/bin/du"
    QString find;                 // "/usr/bin/find"
    QString fileTool;             // "/usr/bin/file"
    QString ls;                   // "/bin/ls"
    QString docker;               // the first executable of the candidates
    QStringList dockerCandidates; // first executable wins
    QStringList brewCandidates;   // first executable wins
    QString brewPrefix;           // the Homebrew installation's folder

    // The Trash.
    QString trashFiles;       // where trashed items land, watched for apps
    QString trashInMarker;    // a path containing this is inside the Trash
    QString trashInfo;        // Linux: the .trashinfo files of trashFiles' entries
    QString trashMeasureRoot; // what the dashboard measures as "trash"

    // The program's own files: settings kept as files (the excluded folders, the keep
    // list), the record of removals, and what may be thrown away (the map's history).
    QString configFolder;
    QString stateFolder;
    QString cacheFolder;

    // Removal safety.
    QStringList protectedTrees;  // each protects itself and everything below
    QStringList protectedItself; // each protects only itself

    // Storage scanner.
    QStringList skippedMounts;
    // Whether a skipped mount is skipped only while something is mounted there. On Linux
    // these are usually file systems of their own; where one is a plain folder of the
    // measured file system, it holds what du -x counts.
    bool skippedOnlyWhenMounted = false;
    // A measurement keeps to the device of the folder measured and leaves out every mount
    // below it. Off on macOS, where the data volume is reached from "/" through firmlinks
    // and the skipped mounts are the rule.
    bool storageStaysOnDevice = true;
    QString rootDisplayName; // display name of "/"

    // Applications.
    QStringList applicationFolders;
    QString leftoverLibrary;          // the folder leftover places hang off
    QStringList leftoverPlacesNamed;  // places where a name match is allowed
    QStringList leftoverPlacesIdOnly; // places matched by identifier only
    QStringList desktopEntryFolders;  // Linux: where stillInstalled looks
    QString userDesktopEntries;       // Linux: the user's own desktop entries
    QString flatpak;                  // Linux: the flatpak tool
    QString flatpakUserApps;          // Linux: <id> folders of the user installation
    QString flatpakSystemApps;        // Linux: <id> folders of the system installation
    QString flatpakUserExports;       // Linux: desktop entries the user's apps export
    QString flatpakSystemExports;     // Linux: desktop entries the system's apps export
    QString flatpakAppData;           // Linux: <id> folders Flatpak apps write to
    QString snapDesktopEntries;       // Linux: desktop entries of Snap packages
    // Linux: the folders the desktop menu reads entries from, the first holding an id winning.
    QStringList menuEntryFolders;
    QStringList appImageFolders; // Linux: where people keep AppImages, beside the settings'
    QString recentlyUsed;        // Linux: the desktop's record of opened files
    QString userIcons;           // Linux: the user's icon folder (AppImages install icons there)
    QString dpkg, dpkgQuery;     // Debian's package database tools
    QString dpkgSystem;          // present where dpkg is the package database (Debian and its kin)
    QString rpm, dnf;            // where rpm is the package database
    QString aptGet, apt;
    QString pkexec; // runs a package manager as root, asking through the desktop
    QString snap;
    QString snapFiles; // <name>_<revision>.snap files
    QString journalctl;
    QString aptArchives; // downloaded packages apt-get clean removes

    // Dashboard.
    QString cachesCommand;
    QString javaCountCommand;
    QString localBinLinksCountCommand;
    QStringList groupApps, groupDeveloper, groupCaches, groupDocker, groupBrew, groupDownloads,
        groupMedia, groupDocuments, groupTrash, groupLibrary;
    QString systemCategoryName; // "macOS" / "System"

    // File finders.
    QString javaListCommand;
    QString javaLineMarker;
    QString installersCommand;
    // When set, installers are found by running find on the home with this expression
    // (it prints with -print0); the command above is then not run.
    QStringList installersFindExpression;
    QString javaFolder;     // Linux: JDKs are its <name>/bin/java; empty: javaListCommand
    QString localBinFolder; // its symbolic links are listed
    QString pyenvVersions;
    QString condaEnvs;

    // Junk cleaner: folders of the six categories, in their order.
    QString junkAppCaches, junkAppLogs, junkDerivedData, junkHomebrewCache, junkNpmCache,
        junkBrowserCaches;
    // Further developer and desktop caches, each its own category (empty: none here).
    QString junkThumbnails, junkPipCache, junkYarnCache, junkCargoRegistry, junkGoBuildCache,
        junkGoModCache, junkGradleCaches, junkMavenRepository;

    // Deep clean and Large files.
    QStringList largeFilesFolders; // Downloads, Desktop, Documents

    // Full Disk Access.
    QString fullDiskAccessProbe; // empty: the OS has no such grant
    QString fullDiskAccessSettingsUrl;
    QString relaunchScript; // "-c" argument of the relaunch shell

    // Software update: the signature checker and the archive tool (empty where the
    // platform updates through its own disk image tools instead).
    QString gpgv;
    QString tar;

    // Builds the table for an OS and a home folder (no trailing slash).
    static Locations forOs(Os os, const QString &home);
    // The table of the OS this program runs on, for the user's home.
    static Locations system();

    static const Locations &current();
    // For tests: replaces the table until reset (not thread-safe against readers).
    static void setCurrent(const Locations &locations);
    static void resetCurrent();

    // The first candidate that is an executable file, else the first candidate.
    static QString firstExecutable(const QStringList &candidates);
    // The text as one shell word: single quotes, a quote inside as '\''.
    static QString shellQuoted(const QString &text);

    // Path helpers shared by every model.
    QString expandTilde(const QString &path) const;
    QString abbreviateHome(const QString &path) const;
};
