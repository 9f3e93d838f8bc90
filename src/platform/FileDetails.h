#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// What a details panel shows about one item: size, birth and change times, owner.
// Read without following a final link; each value is absent when the system cannot
// tell it (no birth time on the file system, an owner id with no account).
struct FileDetails {
    qint64 size = 0;
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
    std::optional<QString> owner;

    // Nothing when the item cannot be read at all. Blocks on the disk.
    static std::optional<FileDetails> read(const QString &path);
};
