#pragma once

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

    const QString &id() const { return path; }
    friend bool operator==(const FileItem &, const FileItem &) = default;
};
