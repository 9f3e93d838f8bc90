#include "platform/DiskSpace.h"

#include <QFile>

#include <sys/statvfs.h>

int DiskSpace::usedPercent() const
{
    const qint64 counted = usedBytes + availableBytes;
    if (counted <= 0)
        return 0;
    // In 128-bit: petabytes times a hundred overflow 64 bits.
    const __int128 hundredfold = __int128(usedBytes) * 100;
    return int(hundredfold / counted + (hundredfold % counted != 0 ? 1 : 0));
}

std::optional<DiskSpace> DiskSpace::read(const QString &folder)
{
    struct statvfs fs;
    if (folder.isEmpty() || ::statvfs(QFile::encodeName(folder).constData(), &fs) != 0 ||
        fs.f_blocks == 0)
        return std::nullopt;
    const qint64 unit = qint64(fs.f_frsize ? fs.f_frsize : fs.f_bsize);
    return DiskSpace{qint64(fs.f_blocks) * unit, qint64(fs.f_blocks - fs.f_bfree) * unit,
                     qint64(fs.f_bavail) * unit};
}
