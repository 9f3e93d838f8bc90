#pragma once

#include "platform/FileProperties.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One file or folder an application left behind. The path stays the file system's bytes
// from the listing to the Trash.
struct Leftover {
    QByteArray path;
    qint64 bytes = 0;        // allocated size on disk
    QString place;           // the library subfolder it was found in
    bool byNameOnly = false; // matched the name, not the identifier
    FileIdentity identity{}; // as listed; the move refuses another item at the path

    QByteArray id() const { return path; }
    QString displayPath() const { return decodeNativePath(path.constData(), path.size()); }
    QString name() const
    {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray last = path.mid(slash + 1);
        return decodeNativePath(last.constData(), last.size());
    }
    friend bool operator==(const Leftover &, const Leftover &) = default;
};

// The leftovers of one removed application; `leftovers` is never empty, largest first.
struct LeftoverReport {
    QString appName;
    std::optional<QString> bundleID;
    QString appURL; // where the application was, or its place in the Trash
    QList<Leftover> leftovers;

    QString id() const { return appURL; }
    bool sameApp(const QString &name, const std::optional<QString> &otherID) const
    {
        return appName == name && bundleID == otherID;
    }
};
