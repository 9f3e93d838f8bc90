#pragma once

#include "platform/MountTable.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// One mounted disk a person would pick: a local file system with its label and fill.
struct Volume {
    QByteArray mountPoint;
    QString label; // the file system's label, else the mount point
    QString fsType;
    qint64 usedBytes = 0;
    qint64 totalBytes = 0;
};

// The mounted local file systems, "/" first, then by mount point. Pseudo, network and
// FUSE file systems are left out, except user disks mounted under /media or /run/media.
// Blocks (statvfs of each): call it off the main thread.
namespace Volumes {

struct Usage {
    qint64 usedBytes = 0;
    qint64 totalBytes = 0;
};
// statvfs of a mount point; nothing when it cannot be read.
std::optional<Usage> usage(const QByteArray &mountPoint);

QList<Volume> list();
// The same from a given table, sizes and labels; for tests.
QList<Volume> fromMounts(const QList<MountTable::Mount> &mounts,
                         const std::function<std::optional<Usage>(const QByteArray &)> &usageOf,
                         const std::function<QString(const QString &source)> &labelOf);

} // namespace Volumes
