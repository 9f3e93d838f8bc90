#pragma once

#include "exec/CancelToken.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Largest files under a folder, and a file's modification day as text. No state.
namespace FileScan {

struct SizedPath {
    QString path;
    qint64 bytes = 0;
    QByteArray nativePath; // the file system's bytes of `path`, for removal
    friend bool operator==(const SizedPath &, const SizedPath &) = default;
};

// Regular files anywhere below `folder` (hidden ones included; the folder itself may be
// a link, links inside it are not followed), largest first, equal sizes in walking order;
// at most `limit` of them. However deep the tree, only a few descriptors are held open.
// A cancelled token ends the walk with nothing. The folders named in `skipped` (as the
// walk spells them: `folder` and the names below it) are not entered.
QList<SizedPath> largestFiles(const QString &folder, int limit, const CancelToken &cancel = {},
                              const QList<QByteArray> &skipped = {});
// "yyyy-MM-dd" in the local time zone, or empty when the item cannot be read.
QString modifiedDay(const QString &path);

} // namespace FileScan
