#pragma once

#include <QList>
#include <QString>

// Largest files under a folder, and a file's modification day as text. No state.
namespace FileScan {

struct SizedPath {
    QString path;
    qint64 bytes = 0;
    friend bool operator==(const SizedPath &, const SizedPath &) = default;
};

// Regular files anywhere below `folder` (hidden ones included, links not followed),
// largest first, equal sizes in walking order; at most `limit` of them.
QList<SizedPath> largestFiles(const QString &folder, int limit);
// "yyyy-MM-dd" in the local time zone, or empty when the item cannot be read.
QString modifiedDay(const QString &path);

} // namespace FileScan
