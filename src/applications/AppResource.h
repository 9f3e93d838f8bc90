#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUuid>

// One listed application.
struct AppResource {
    // Package and Snap are removed by their package manager, in the terminal; UserEntry
    // is a menu entry of the user's own for a program elsewhere.
    enum class Kind { Bundle, AppImage, Flatpak, Package, Snap, UserEntry };

    QUuid id = QUuid::createUuid();
    QString name;      // the bundle's or file's name; a menu entry's Name
    QString path;      // what the row stands for: the bundle, the file, the Flatpak folder or entry
    double sizeMB = 0; // allocated size in MiB (a package's installed size)
    QString lastUsed;  // "yyyy-MM-dd" or "Unknown"
    QString source;    // "App Store", "Web", "Debian package", "Snap", "Flatpak", "AppImage", …

    Kind kind = Kind::Bundle;
    QByteArray nativePath;   // the path as the file system spells it
    FileIdentity identity{}; // the item at nativePath as listed; a removal refuses another
    bool isLink = false;     // the listed item is a symbolic link to the application
    QString flatpakID;
    bool systemInstallation = false; // Flatpak: the system-wide installation

    // From the desktop menu.
    QString desktopId;      // the entry's file name less ".desktop"
    QByteArray entryPath;   // the entry file, as the file system spells it
    QString icon;           // a theme icon name or an absolute file; the screen resolves it
    QString startupWMClass; // StartupWMClass=
    QString executable;     // the program the entry starts, when found
    QString package;        // the package (or snap) that owns it
    // Why the package manager must not remove it (essential, needed by others); empty
    // when it may.
    QString keptReason;

    // Lower-case names its settings and data may carry in the home folder: the entry id,
    // the window class, the executable's name, the Flatpak or snap id.
    QStringList aliases() const
    {
        QStringList out;
        const QString exe = executable.mid(executable.lastIndexOf(QLatin1Char('/')) + 1);
        for (const QString &a : {desktopId, startupWMClass, exe, flatpakID,
                                 kind == Kind::Snap ? package : QString()}) {
            const QString lower = a.toLower();
            if (!lower.isEmpty() && !out.contains(lower))
                out.append(lower);
        }
        return out;
    }
};
