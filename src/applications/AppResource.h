#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

// One listed application.
struct AppResource {
    enum class Kind { Bundle, AppImage, Flatpak };

    QUuid id = QUuid::createUuid();
    QString name; // the bundle's or file's name; a Flatpak app's display name
    QString path;
    double sizeMB = 0; // allocated size in MiB
    QString lastUsed;  // "yyyy-MM-dd" or "Unknown"
    QString source;    // "App Store", "Flatpak" or "Web"

    Kind kind = Kind::Bundle;
    QByteArray nativePath; // the path as the file system spells it
    bool isLink = false;   // the listed item is a symbolic link to the application
    QString flatpakID;
    bool systemInstallation = false; // Flatpak: the system-wide installation
};
