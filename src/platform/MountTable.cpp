#include "platform/MountTable.h"

#include <QFile>

#include <sys/sysmacros.h>

namespace {

// mountinfo writes space, tab, line feed and backslash as \ooo.
QByteArray unescape(const QByteArray &field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray octal = field.mid(i + 1, 3);
            bool ok = false;
            const int value = octal.toInt(&ok, 8);
            if (ok && octal.size() == 3) {
                out.append(char(value));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

} // namespace

namespace MountTable {

QList<Mount> parse(const QByteArray &mountinfo)
{
    QList<Mount> mounts;
    for (const QByteArray &line : mountinfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mountpoint options [optional…] - type source super
        const qsizetype dash = fields.indexOf(QByteArray("-"));
        if (fields.size() < 7 || dash < 6 || dash + 1 >= fields.size())
            continue;
        const QList<QByteArray> majorMinor = fields[2].split(':');
        if (majorMinor.size() != 2)
            continue;
        Mount m;
        m.device = makedev(majorMinor[0].toUInt(), majorMinor[1].toUInt());
        m.root = unescape(fields[3]);
        m.mountPoint = unescape(fields[4]);
        m.fsType = QString::fromUtf8(fields[dash + 1]);
        if (dash + 2 < fields.size())
            m.source = QString::fromUtf8(unescape(fields[dash + 2]));
        m.options = QString::fromUtf8(fields[5]).split(QLatin1Char(','), Qt::SkipEmptyParts);
        mounts.append(m);
    }
    return mounts;
}

QList<Mount> read()
{
#ifdef Q_OS_LINUX
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A proc file reports size 0: read until the end.
    return parse(file.readAll());
#else
    return {};
#endif
}

QList<Mount> mountsBelow(const QByteArray &folder, const QList<Mount> &mounts)
{
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    QList<Mount> below;
    for (const Mount &m : mounts) {
        if (m.mountPoint.size() > prefix.size() && m.mountPoint.startsWith(prefix))
            below.append(m);
    }
    return below;
}

bool isMountPoint(const QByteArray &path, const QList<Mount> &mounts)
{
    for (const Mount &m : mounts) {
        if (m.mountPoint == path)
            return true;
    }
    return false;
}

std::optional<Mount> mountOfDevice(quint64 device, const QList<Mount> &mounts)
{
    for (qsizetype i = mounts.size() - 1; i >= 0; --i)
        if (mounts[i].device == device)
            return mounts[i];
    return std::nullopt;
}

bool recordsAccessTimes(const Mount &mount)
{
    return !mount.options.contains(QLatin1String("noatime"));
}

bool isRemoteOrFuse(const QString &fsType)
{
    static const QStringList remote = {
        QStringLiteral("nfs"),  QStringLiteral("nfs4"),      QStringLiteral("cifs"),
        QStringLiteral("smb3"), QStringLiteral("smbfs"),     QStringLiteral("davfs"),
        QStringLiteral("afs"),  QStringLiteral("ncpfs"),     QStringLiteral("9p"),
        QStringLiteral("ceph"), QStringLiteral("glusterfs"), QStringLiteral("sshfs"),
        QStringLiteral("fuse"), QStringLiteral("fuseblk"),
    };
    return remote.contains(fsType) || fsType.startsWith(QLatin1String("fuse."));
}

} // namespace MountTable
