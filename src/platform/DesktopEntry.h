#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The [Desktop Entry] group of a .desktop file: what names a program and how it starts.
struct DesktopEntry {
    QString id;             // the file name less ".desktop"
    QString name;           // Name= (the untranslated one)
    QString exec;           // Exec= after the file's own escapes
    QString tryExec;        // TryExec=
    QString type;           // Type=, "Application" for programs
    QString icon;           // Icon=: a theme name or an absolute path
    QString startupWMClass; // StartupWMClass=
    QString flatpakId;      // X-Flatpak=
    QString snapName;       // X-SnapInstanceName=
    QStringList onlyShowIn, notShowIn;
    bool hidden = false;
    bool noDisplay = false;

    // Whether the menu of a desktop named by XDG_CURRENT_DESKTOP (a colon-separated list)
    // shows this entry: an application, not hidden, and meant for that desktop.
    bool shownOn(const QString &currentDesktop) const;

    // Nothing when the file cannot be read or has no [Desktop Entry] group.
    static std::optional<DesktopEntry> read(const QString &path);
    static std::optional<DesktopEntry> parse(const QByteArray &text, const QString &id);

    // Exec= split into arguments by the entry format's quoting rules.
    QStringList execArguments() const;
    // The program that runs: TryExec=, else the first argument of Exec=, resolved through
    // PATH when it is a bare name; empty when it cannot be found.
    QString program() const;
    // Whether Exec= or TryExec= names this exact path.
    bool names(const QString &path) const;
};
