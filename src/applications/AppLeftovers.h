#pragma once

#include "applications/LeftoverReport.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class AppHost;

// Who an application is, as far as its leftovers go.
struct AppIdentity {
    QString name;
    std::optional<QString> bundleID;
    QStringList aliases; // lower-case: desktop entry id, window class
};

// Finds what a removed application left in the user's library folders and moves the
// chosen items to the Trash. Pure file-system reads, safe on any thread.
namespace AppLeftovers {

struct Place {
    QString subfolder;
    bool nameMatchAllowed = false;
};
// The library subfolders searched, in order.
QList<Place> places();
// Lower-case names too common to match by.
QSet<QString> genericNames();

// A Flatpak application ID: reverse-DNS, at least three parts of letters, digits, "_" and
// "-", none starting with a digit or "-", 255 characters at most. Only such a name is
// taken for an app or handed to flatpak.
bool isFlatpakAppId(const QString &id);

// Name and identifier of the application at `path`. A bundle is read from its
// Info.plist; an AppImage from the user's desktop entry that starts it; a Flatpak app
// from its folder name and exported entry. `originalPath` is where an item now in the
// Trash came from (empty: `path` itself).
AppIdentity identity(const QString &path, const QString &originalPath = QString());

// `installed`: lower-case identifiers of applications still installed; an entry that
// belongs to one of them is not another application's leftover.
// `aliases` (lower-case) match as identifiers do: exactly, or with "rc", ".conf" or
// ".desktop" after them.
QList<Leftover> find(const QString &name, const std::optional<QString> &bundleID,
                     const QString &library = QString(), const QSet<QString> &installed = {},
                     const QStringList &aliases = {});

// Whether an application with this identifier is installed outside the Trash.
bool stillInstalled(const std::optional<QString> &bundleID);
// Lower-case identifiers of every installed application, and the window classes and
// program names of the desktop entries that start them.
QSet<QString> installedIdentifiers();

// The leftovers of a removed application, or nothing (none found, still installed).
// `otherListedApps`: the paths of the other applications the Applications tab lists;
// without an identifier, one of them with the same name means the app is still there.
std::optional<LeftoverReport> report(const QString &name, const std::optional<QString> &bundleID,
                                     const QString &appURL, const QStringList &otherListedApps = {},
                                     const QStringList &aliases = {});

// Allocated bytes of a file, or of everything below a folder; links are not followed.
qint64 allocatedSize(const QByteArray &path);

struct RemovalSummary {
    int moved = 0;
    int gone = 0;
    int failed = 0;
    qint64 freed = 0;
};
// Moves each chosen leftover to the Trash, in report order, one at a time. Blocks:
// call it off the main thread.
RemovalSummary trashChosen(const QList<Leftover> &leftovers, const QSet<QByteArray> &chosen,
                           AppHost *appState = nullptr);
QString resultText(const RemovalSummary &summary);

} // namespace AppLeftovers
