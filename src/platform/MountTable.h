#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The system's table of mounted file systems, read fresh on each call (mounts come and
// go while the program runs). Linux reads /proc/self/mountinfo; elsewhere the table is
// empty until the platform's own source is wired in.
namespace MountTable {

struct Mount {
    QByteArray mountPoint; // the file system's bytes, escapes undone
    QByteArray root;       // the folder of the source mounted there ("/" unless a bind mount)
    QString fsType;        // "ext4", "nfs4", "fuse.sshfs", …
    quint64 device = 0;    // st_dev of the files under the mount point
    QString source;        // "/dev/sda2", "tmpfs", "server:/export", …
    QStringList options;   // the mount's own options: "rw", "relatime", "noatime", …
};

QList<Mount> read();
// Parses mountinfo text; for tests.
QList<Mount> parse(const QByteArray &mountinfo);

// Mount points strictly below the folder (given as bytes, no trailing slash).
QList<Mount> mountsBelow(const QByteArray &folder, const QList<Mount> &mounts);
// Whether the path is itself a mount point.
bool isMountPoint(const QByteArray &path, const QList<Mount> &mounts);
// Network and user-space file systems: reading them in full is slow or costs a server.
bool isRemoteOrFuse(const QString &fsType);
// The mount holding files of this device (the last mounted wins); nothing when unknown.
std::optional<Mount> mountOfDevice(quint64 device, const QList<Mount> &mounts);
// Whether reading a file there records its access time (relatime counts; noatime does not).
bool recordsAccessTimes(const Mount &mount);

} // namespace MountTable
