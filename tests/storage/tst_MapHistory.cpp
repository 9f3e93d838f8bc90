#include "storage/MapHistory.h"
#include "storage/StorageScanner.h"
#include "storage/StorageViewModel.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

// A folder with a line feed and a child whose name is not UTF-8.
const QByteArray kFolder = "/h/odd\nfolder";

QList<StorageEntry> column(const QList<std::pair<QByteArray, qint64>> &children)
{
    QList<StorageEntry> entries;
    for (const auto &[name, bytes] : children)
        entries.append(StorageEntry{kFolder + '/' + name, bytes, true});
    return entries;
}

} // namespace

class tst_MapHistory : public QObject {
    Q_OBJECT
private slots:
    // Each child's change is against the last measurement of an earlier day, read back
    // from the file by a later run; a child under 1 MB then counted as nothing.
    void changesSinceAnEarlierDay()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("cache/map-history");
        const QDate dec3(2024, 12, 3);
        {
            MapHistory history(file);
            QList<StorageEntry> first =
                column({{"a", 2'000'000'000}, {"b\xff", 500'000}, {"c", 3'000'000}});
            history.record(kFolder, first, dec3.addDays(-1));
            QVERIFY(!first[0].changedSince.isValid());
            // A later measurement the same day takes the place of the earlier one.
            QList<StorageEntry> again =
                column({{"a", 2'000'000'000}, {"b\xff", 500'000}, {"c", 3'000'000}});
            history.record(kFolder, again, dec3);
            history.record(kFolder, again, dec3);
            QCOMPARE(again[0].changedSince, dec3.addDays(-1));
        }
        MapHistory reread(file);
        QList<StorageEntry> now = column(
            {{"a", 3'200'000'000}, {"b\xff", 2'000'000}, {"c", 3'000'000}, {"d", 5'000'000}});
        reread.record(kFolder, now, dec3.addDays(5));
        const QStringList changes{MapHistory::changeText(now[0].changedBytes, now[0].changedSince),
                                  MapHistory::changeText(now[1].changedBytes, now[1].changedSince),
                                  MapHistory::changeText(now[2].changedBytes, now[2].changedSince),
                                  MapHistory::changeText(now[3].changedBytes, now[3].changedSince)};
        QCOMPARE(changes, QStringList({"+1.2 GB since 3 Dec", "+2 MB since 3 Dec", QString(),
                                       "+5 MB since 3 Dec"}));
    }

    void keepsTenMeasurementsAFolder()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("map-history");
        const QDate first(2024, 1, 1);
        {
            MapHistory history(file);
            for (int day = 0; day < 12; ++day) {
                QList<StorageEntry> c = column({{"a", 1'000'000 * (day + 1)}});
                history.record(kFolder, c, first.addDays(day));
            }
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 1 + MapHistory::measurementsKept);
        MapHistory reread(file);
        QList<StorageEntry> c = column({{"a", 20'000'000}});
        reread.record(kFolder, c, first.addDays(20));
        QCOMPARE(c[0].changedSince, first.addDays(11));
        QCOMPARE(c[0].changedBytes, qint64(8'000'000));
    }

    // "Grew Most": by growth, what has no history after, largest first among itself.
    void grewMostOrder()
    {
        QList<StorageEntry> c = column(
            {{"old big", 900}, {"shrank", 50}, {"grew", 10}, {"new small", 5}, {"grew more", 20}});
        const QDate day(2024, 12, 3);
        c[1].changedBytes = -40;
        c[1].changedSince = day;
        c[2].changedBytes = 8;
        c[2].changedSince = day;
        c[4].changedBytes = 15;
        c[4].changedSince = day;
        StorageViewModel::sort(c, StorageViewModel::Order::grewMost);
        QStringList names;
        for (const StorageEntry &e : c)
            names << e.name();
        QCOMPARE(names, QStringList({"grew more", "grew", "shrank", "old big", "new small"}));
    }
};

QTEST_GUILESS_MAIN(tst_MapHistory)
#include "tst_MapHistory.moc"
