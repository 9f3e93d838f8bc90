#include "platform/DiskSpace.h"

#include <QProcess>
#include <QTest>

class tst_DiskSpace : public QObject {
    Q_OBJECT
private slots:
    void usedPercentRoundsUpWithoutOverflow()
    {
        QCOMPARE((DiskSpace{1000, 1, 999}.usedPercent()), 1);
        QCOMPARE((DiskSpace{qint64(5e15), qint64(3e15), qint64(1e15)}.usedPercent()), 75);
    }

    // The blocks kept for the system count as neither used nor available, as df says.
    void agreesWithDf()
    {
        // Other programs write meanwhile: compare a reading that did not move around df's.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const std::optional<DiskSpace> before = DiskSpace::read("/");
            QProcess df;
            df.start("/bin/df", {"-B1", "--output=used,avail,pcent", "--", "/"});
            QVERIFY(df.waitForFinished(10000));
            const std::optional<DiskSpace> after = DiskSpace::read("/");
            QVERIFY(before && after);
            if (before != after)
                continue;
            const QStringList fields = QString::fromLatin1(df.readAllStandardOutput())
                                           .split('\n')
                                           .value(1)
                                           .simplified()
                                           .split(' ');
            QCOMPARE(fields.size(), 3);
            QCOMPARE(before->usedBytes, fields[0].toLongLong());
            QCOMPARE(before->availableBytes, fields[1].toLongLong());
            QCOMPARE(QString::number(before->usedPercent()) + '%', fields[2]);
            return;
        }
        QSKIP("The volume kept changing");
    }
};

QTEST_GUILESS_MAIN(tst_DiskSpace)
#include "tst_DiskSpace.moc"
