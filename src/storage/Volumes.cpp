#include "storage/Volumes.h"

#include "platform/FileProperties.h"

#include <QDir>
#include <QHash>

#include <algorithm>

#include <sys/statvfs.h>

namespace {

bool isDiskType(const QString &type)
{
    static const QStringList types = {
        QStringLiteral("ext2"),  QStringLiteral("ext3"),  QStringLiteral("ext4"),
        QStringLiteral("btrfs"), QStringLiteral("xfs"),   QStringLiteral("f2fs"),
        QStringLiteral("vfat"),  QStringLiteral("exfat"), QStringLiteral("ntfs"),
        QStringLiteral("ntfs3"), QStringLiteral("zfs"),
    };
    return types.contains(type);
}

bool underUserMedia(const QByteArray &point)
{
    return point.startsWith("/media/") || point.startsWith("/run/media/");
}

// The labels udev publishes as /dev/disk/by-label/<label> → ../../sdb1.
QHash<QString, QString> labelsBySource()
{
    const QString folder = QStringLiteral("/dev/disk/by-label");
    QHash<QString, QString> labels;
    for (const QString &name : FileProperties::listNames(folder).value_or(QStringList())) {
        const QString target = FileProperties::linkTarget(folder + QLatin1Char('/') + name);
        if (target.isEmpty())
            continue;
        // udev writes spaces and slashes in labels as \x20 and \x2f.
        QString label = name;
        label.replace(QLatin1String("\\x20"), QLatin1String(" "));
        label.replace(QLatin1String("\\x2f"), QLatin1String("/"));
        labels.insert(QDir::cleanPath(folder + QLatin1Char('/') + target), label);
    }
    return labels;
}

} // namespace

namespace Volumes {

std::optional<Usage> usage(const QByteArray &mountPoint)
{
    struct statvfs st;
    if (::statvfs(mountPoint.constData(), &st) != 0)
        return std::nullopt;
    const qint64 unit = qint64(st.f_frsize ? st.f_frsize : st.f_bsize);
    return Usage{qint64(st.f_blocks - st.f_bfree) * unit, qint64(st.f_blocks) * unit};
}

QList<Volume> fromMounts(const QList<MountTable::Mount> &mounts,
                         const std::function<std::optional<Usage>(const QByteArray &)> &usageOf,
                         const std::function<QString(const QString &)> &labelOf)
{
    QList<Volume> volumes;
    QList<quint64> devices;
    for (const MountTable::Mount &m : mounts) {
        const bool userFuse =
            (m.fsType == QLatin1String("fuseblk") || m.fsType.startsWith(QLatin1String("fuse."))) &&
            underUserMedia(m.mountPoint);
        if (!isDiskType(m.fsType) && !userFuse)
            continue;
        // A folder bound elsewhere again is the same disk; btrfs names its subvolumes
        // there, and each mounted one is a place of its own.
        if (m.root != "/" && m.fsType != QLatin1String("btrfs"))
            continue;
        if (m.fsType != QLatin1String("btrfs") && devices.contains(m.device))
            continue;
        const auto used = usageOf(m.mountPoint);
        if (!used || used->totalBytes <= 0)
            continue;
        devices.append(m.device);
        Volume v;
        v.mountPoint = m.mountPoint;
        v.fsType = m.fsType;
        v.usedBytes = used->usedBytes;
        v.totalBytes = used->totalBytes;
        v.label = labelOf(m.source);
        if (v.label.isEmpty())
            v.label = decodeNativePath(m.mountPoint.constData(), m.mountPoint.size());
        volumes.append(v);
    }
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume &a, const Volume &b) {
        if ((a.mountPoint == "/") != (b.mountPoint == "/"))
            return a.mountPoint == "/";
        return a.mountPoint < b.mountPoint;
    });
    return volumes;
}

QList<Volume> list()
{
    const QHash<QString, QString> labels = labelsBySource();
    return fromMounts(MountTable::read(), &usage, [&labels](const QString &source) {
        return labels.value(QDir::cleanPath(source));
    });
}

} // namespace Volumes
