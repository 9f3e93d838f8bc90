#include "platform/DiskSpace.h"

#include <QDir>
#include <QProcess>
#include <QTest>

class tst_DiskSpace : public QObject {
    Q_OBJECT
private slots:
    void usedPercent_data()
    {
        QTest::addColumn<qint64>("used");
        QTest::addColumn<qint64>("available");
        QTest::addColumn<int>("percent");
        QTest::newRow("exact") << qint64(50) << qint64(50) << 50;
        QTest::newRow("rounded up") << qint64(1) << qint64(999) << 1;
        QTest::newRow("empty volume") << qint64(0) << qint64(0) << 0;
        QTest::newRow("petabytes") << qint64(3e15) << qint64(1e15) << 75;
    }
    void usedPercent()
    {
        QFETCH(qint64, used);
        QFETCH(qint64, available);
        QFETCH(int, percent);
        QCOMPARE((DiskSpace{used + available + 7, used, available}.usedPercent()), percent);
    }

    // The blocks kept for the system count as neither used nor available, as df says.
    void agreesWithDf_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("root") << "/";
        QTest::newRow("temporary files") << QDir::tempPath();
    }
    void agreesWithDf()
    {
        QFETCH(QString, folder);
        // Other programs write meanwhile: compare a reading that did not move around df's.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const std::optional<DiskSpace> before = DiskSpace::read(folder);
            QProcess df;
            df.start("/bin/df", {"-B1", "--output=used,avail,pcent", "--", folder});
            QVERIFY(df.waitForFinished(10000));
            const std::optional<DiskSpace> after = DiskSpace::read(folder);
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
