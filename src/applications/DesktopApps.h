#pragma once

#include "applications/AppResource.h"
#include "exec/CancelToken.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class AppHost;

// The applications the Linux desktop menu shows, read from the desktop entries in the
// table's menu folders and measured the way each was installed: a package by its
// installed size, a snap by its .snap files, a Flatpak by its deployed folder, an
// AppImage by its file. Every call blocks (the package database is asked once, in one
// call per question): call them off the main thread.
namespace DesktopApps {

// Every shown application, one row per entry id.
QList<AppResource> list(AppHost *appState = nullptr, const CancelToken &cancel = {});
// The AppImages directly inside a folder, links to them included.
QList<AppResource> appImagesIn(const QString &folder);
// Fills size and last use of an AppImage row.
void measureAppImage(AppResource &app, const QHash<QString, QDateTime> &recent);

// What `dpkg -S` printed: path → owning package (the first named when several share it).
QHash<QString, QString> parseDpkgSearch(const QString &output);

struct PackageFacts {
    qint64 installedBytes = 0;
    bool essential = false;
    bool installed = false;
};
struct PackageDatabase {
    QHash<QString, PackageFacts> packages;
    QSet<QString> required; // names some installed package depends on
};
// Lines of Package, status, Essential, Installed-Size (KiB), Pre-Depends, Depends, tab
// separated, as dpkg-query -W prints them with listFormat().
PackageDatabase parseDpkgStatus(const QString &output);
QString dpkgListFormat();

// The newest time recorded for each application in recently-used.xbel, keyed by the
// lower-case application name and the lower-case base name of the program it ran.
QHash<QString, QDateTime> parseRecentlyUsed(const QByteArray &xbel);
QHash<QString, QDateTime> readRecentlyUsed();

// When the application was last opened: the desktop's record, else the program's access
// time where its file system records one; an invalid time when nothing tells.
QDateTime lastOpened(const AppResource &app, const QHash<QString, QDateTime> &recent,
                     const QString &program);

// What an AppImage installed for itself in the user's menu: the user's desktop entries
// that start it and the icons they name below the user's icon folder.
QList<QByteArray> companionsOf(const QString &appImage);

// The packages `apt-get -s remove` would remove with it ("Remv <name> …" lines).
QStringList parseSimulatedRemoval(const QString &output);

struct RemovalPlan {
    QString command;         // the shell line the terminal sheet runs
    QStringList alsoRemoved; // other packages that go with it
    QString error;           // why it cannot be removed this way
};
// What removing a package or a snap would take; asks apt-get for a Debian package.
RemovalPlan planRemoval(const AppResource &app, AppHost *appState = nullptr);

} // namespace DesktopApps
