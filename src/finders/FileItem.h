#pragma once

#include "platform/FileIdentity.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One row of a file-finder tab. Its identity is its path.
struct FileItem {
    QString path;
    QString sizeDesc;
    QString md5Hash; // duplicates: the group key
    double sizeMB = 0;
    std::optional<QList<FileItem>> children;
    // The file system's bytes for `path` when the listing had them (a name that is not
    // valid UTF-8 shows with a replacement character in `path`); removal uses these.
    QByteArray nativePath;
    // What the listing found at `nativePath`; a removal refuses anything else there.
    FileIdentity identity{};
    // Duplicates: the file's other names (hard links) the scan found, and how many names
    // it has in all; removing one name of several frees nothing.
    QStringList hardLinks{};
    quint64 linkCount = 1;
    // Duplicates: its blocks are shared with another file (a reflink or a snapshot), so
    // removing it frees nothing either.
    bool sharesData = false;

    bool freesNothing() const { return linkCount > 1 || sharesData; }
    // "hard links, frees 0 B", "shares its data with another copy", or nothing.
    QString sharingNote() const
    {
        if (linkCount > 1)
            return QStringLiteral("hard links, frees 0 B");
        return sharesData ? QStringLiteral("shares its data with another copy") : QString();
    }

    const QString &id() const { return path; }
    friend bool operator==(const FileItem &, const FileItem &) = default;
};
