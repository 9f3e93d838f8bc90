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

    const QString &id() const { return path; }
    friend bool operator==(const FileItem &, const FileItem &) = default;
};
