#include "storage/Volumes.h"

#include <QTest>

class tst_Volumes : public QObject {
    Q_OBJECT
private slots:
    // Local disks and user disks under /media, "/" first; nothing pseudo, remote, bound
    // again or unreadable.
    void picksTheDisks()
    {
        const QByteArray info = "1 0 8:2 / /home rw,relatime - ext4 /dev/sda2 rw\n"
                                "2 0 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
                                "3 1 0:5 / /proc rw - proc proc rw\n"
                                "4 1 0:40 / /mnt/share rw - nfs4 srv:/x rw\n"
                                "5 1 8:17 / /media/u/USB\\040Stick rw - fuseblk /dev/sdb1 rw\n"
                                "6 1 0:41 / /home/u/.gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
                                "7 1 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
                                "8 1 8:2 /u/data /srv/bind rw - ext4 /dev/sda2 rw\n"
                                "9 1 8:3 / /boot/efi rw - vfat /dev/sda3 rw\n"
                                "10 1 0:30 / /tmp rw - tmpfs tmpfs rw\n"
                                "11 1 8:4 / /gone rw - xfs /dev/sda4 rw\n"
                                "12 1 8:2 / /home rw,relatime - ext4 /dev/sda2 rw\n";
        const auto usage = [](const QByteArray &point) -> std::optional<Volumes::Usage> {
            if (point == "/gone")
                return std::nullopt;
            return Volumes::Usage{1000 * point.size(), 100000};
        };
        const auto label = [](const QString &source) {
            return source == "/dev/sda2" ? QStringLiteral("Home") : QString();
        };
        QStringList shown;
        for (const Volume &v : Volumes::fromMounts(MountTable::parse(info), usage, label))
            shown << v.label + "|" + v.mountPoint + "|" + QString::number(v.usedBytes);
        QCOMPARE(shown, QStringList({"/|/|1000", "/boot/efi|/boot/efi|9000", "Home|/home|5000",
                                     "/media/u/USB Stick|/media/u/USB Stick|18000"}));
    }
};

QTEST_GUILESS_MAIN(tst_Volumes)
#include "tst_Volumes.moc"
