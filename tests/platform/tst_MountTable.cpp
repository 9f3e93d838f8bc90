#include "platform/MountTable.h"

#include <QTest>

class tst_MountTable : public QObject {
    Q_OBJECT

private slots:
    void parsesEscapedPointsAndTypes()
    {
        const QByteArray info =
            "36 35 98:0 /mnt1 /mnt/my\\040disk rw,noatime master:1 - ext3 /dev/root rw\n"
            "37 26 0:44 / /home/u/net\\012x rw shared:7 - fuse.sshfs u@h:/ rw\n"
            "garbage line\n"
            "38 26 8:1 / /home/u/bind rw - ext4 /dev/sda1 rw\n";
        const QList<MountTable::Mount> mounts = MountTable::parse(info);
        QCOMPARE(mounts.size(), 3);
        QCOMPARE(mounts[0].mountPoint, QByteArray("/mnt/my disk"));
        QCOMPARE(mounts[0].root, QByteArray("/mnt1"));
        QCOMPARE(mounts[0].fsType, QStringLiteral("ext3"));
        QCOMPARE(mounts[1].mountPoint, QByteArray("/home/u/net\nx"));
        QVERIFY(MountTable::isRemoteOrFuse(mounts[1].fsType));
        QVERIFY(!MountTable::isRemoteOrFuse(mounts[2].fsType));
        QCOMPARE(mounts[2].source, QStringLiteral("/dev/sda1"));
        QVERIFY(!MountTable::recordsAccessTimes(mounts[0]));
        QVERIFY(MountTable::recordsAccessTimes(mounts[2]));
        QCOMPARE(MountTable::mountOfDevice(mounts[2].device, mounts)->mountPoint,
                 QByteArray("/home/u/bind"));

        const QList<MountTable::Mount> below = MountTable::mountsBelow("/home/u", mounts);
        QCOMPARE(below.size(), 2);
        QVERIFY(MountTable::mountsBelow("/home/u/bind", mounts).isEmpty());
        QVERIFY(MountTable::mountsBelow("/home/u/bin", mounts).isEmpty());
        QVERIFY(MountTable::isMountPoint("/home/u/bind", mounts));
    }

    void readsThisSystemsTable()
    {
        const QList<MountTable::Mount> mounts = MountTable::read();
        QVERIFY(MountTable::isMountPoint("/", mounts));
        QVERIFY(MountTable::isMountPoint("/proc", mounts));
    }
};

QTEST_GUILESS_MAIN(tst_MountTable)
#include "tst_MountTable.moc"
