#include "finders/AdvancedToolsViewModel.h"
#include "finders/DuplicateFinder.h"
#include "finders/Md5Lanes.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>
#include <QFile>
#include <QMutex>
#include <QTest>

#include <cstdio>
#include <filesystem>

#include <sys/stat.h>

namespace {

constexpr qint64 KiB512 = 524288;
constexpr qint64 MiB = 1048576;

QByteArray pattern(qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data[i] = char(x);
    }
    return data;
}

QByteArray flipped(QByteArray data, qint64 at)
{
    data[at] = char(data[at] ^ 0x01);
    return data;
}

QString md5Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

} // namespace

class tst_DuplicateFinder : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    int m_count = 0;

    QString write(const QByteArray &data, const QString &name = {})
    {
        const QString path =
            m_env->home() + '/' + (name.isEmpty() ? QString("f%1.bin").arg(++m_count) : name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_count = 0;
    }
    void cleanup() { m_env.reset(); }

    // One read up to 512 KiB, the whole file up to 1 MiB, head and tail beyond.
    void fingerprintCoversTheRightBytes_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("flipAt");
        QTest::addColumn<bool>("changes");
        QTest::newRow("1 byte") << qint64(1) << qint64(0) << true;
        QTest::newRow("512 KiB, last byte") << KiB512 << KiB512 - 1 << true;
        QTest::newRow("512 KiB + 1, last byte") << KiB512 + 1 << KiB512 << true;
        QTest::newRow("1 MiB, middle") << MiB << KiB512 << true;
        QTest::newRow("1 MiB + 1, middle") << MiB + 1 << KiB512 << false;
        QTest::newRow("3 MiB, end of head") << 3 * MiB << KiB512 - 1 << true;
        QTest::newRow("3 MiB, after head") << 3 * MiB << KiB512 << false;
        QTest::newRow("3 MiB, before tail") << 3 * MiB << 3 * MiB - KiB512 - 1 << false;
        QTest::newRow("3 MiB, start of tail") << 3 * MiB << 3 * MiB - KiB512 << true;
    }
    void fingerprintCoversTheRightBytes()
    {
        QFETCH(qint64, size);
        QFETCH(qint64, flipAt);
        QFETCH(bool, changes);
        const QByteArray data = pattern(size, 7);
        const QString a = write(data);
        const QString b = write(flipped(data, flipAt));
        const QString fp = DuplicateFinder::fingerprint(a, size);
        const QString expected =
            size <= MiB ? md5Hex(data) : md5Hex(data.left(KiB512) + data.right(KiB512));
        QCOMPARE(fp, expected);
        QCOMPARE(DuplicateFinder::fingerprint(b, size) != fp, changes);
        // A file no longer of the size it had is not fingerprinted.
        QVERIFY(DuplicateFinder::fingerprint(a, size + 1).isEmpty());
    }

    void copiesFormOneGroupKeyedBySizeAndFingerprint_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("small") << qint64(1000);
        QTest::newRow("exactly 512 KiB") << KiB512;
        QTest::newRow("under 1 MiB") << MiB - 3;
        QTest::newRow("head and tail") << 2 * MiB + 5;
    }
    void copiesFormOneGroupKeyedBySizeAndFingerprint()
    {
        QFETCH(qint64, size);
        const QByteArray data = pattern(size, 3);
        const QString b = write(data, "b.bin");
        const QString a = write(data, "a.bin");
        write(pattern(size + 1, 3)); // other size: never compared
        const auto groups = DuplicateFinder::groups({b, a});
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].bytes, size);
        QCOMPARE(groups[0].paths, QStringList({a, b}));
        QCOMPARE(groups[0].key,
                 QString::number(size) + '-' + DuplicateFinder::fingerprint(a, size).left(12));
        QCOMPARE(AdvancedToolsViewModel::duplicateGroups({a, b}), groups);
    }

    void lookAlikesAreNotGrouped_data()
    {
        QTest::addColumn<qint64>("flipAt");
        QTest::newRow("head") << qint64(0);
        QTest::newRow("middle only") << 2 * MiB;
        QTest::newRow("tail") << 4 * MiB - 1;
    }
    void lookAlikesAreNotGrouped()
    {
        QFETCH(qint64, flipAt);
        const QByteArray data = pattern(4 * MiB, 11);
        const QString a = write(data);
        const QString b = write(flipped(data, flipAt));
        QVERIFY(DuplicateFinder::groups({a, b}).isEmpty());
        // With a true copy beside them, only the copy joins.
        const QString c = write(data);
        const auto groups = DuplicateFinder::groups({a, b, c});
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].paths, QStringList({a, c}));
    }

    // Names that show alike but are different bytes stay different files; a name that
    // is not valid UTF-8 is read as itself. A cancelled token yields nothing.
    void namesAreBytes_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("whole run") << false;
        QTest::newRow("cancelled") << true;
    }
    void namesAreBytes()
    {
        QFETCH(bool, cancelled);
        const QByteArray home = QFile::encodeName(m_env->home());
        const QByteArray odd = home + "/v\xff.bin";
        const QByteArray lookAlike = home + "/v\xef\xbf\xbd.bin";
        const QByteArray data = pattern(2 * MiB, 9);
        for (const QByteArray &path : {odd, lookAlike}) {
            const QByteArray content = path == odd ? data : flipped(data, MiB);
            std::FILE *f = std::fopen(path.constData(), "wb");
            QVERIFY(f);
            QCOMPARE(std::fwrite(content.constData(), 1, size_t(content.size()), f),
                     size_t(content.size()));
            std::fclose(f);
        }
        const QByteArray copy = QFile::encodeName(write(data, "copy.bin"));
        CancelToken cancel;
        if (cancelled)
            cancel.cancel();
        const auto groups = DuplicateFinder::nativeGroups({lookAlike, odd, copy}, 0, cancel);
        std::filesystem::remove(odd.constData());
        if (cancelled) {
            QVERIFY(groups.isEmpty());
            return;
        }
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].nativePaths, QList<QByteArray>({copy, odd}));
        QCOMPARE(groups[0].paths, QStringList({QString::fromUtf8(copy), QString::fromUtf8(odd)}));
    }

    void namesOfOneFileCountOnce()
    {
        namespace fs = std::filesystem;
        const QByteArray data = pattern(MiB + 100, 5);
        const QString original = write(data, "m.bin");
        const QString link = m_env->home() + "/b-link.bin";
        fs::create_hard_link(original.toStdString(), link.toStdString());
        QVERIFY(DuplicateFinder::groups({original, link, original}).isEmpty());

        const QString copy = write(data, "z.bin");
        const auto groups = DuplicateFinder::groups({original, copy, link});
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].paths, QStringList({link, copy})); // the smaller name stays

        // Names far apart in a long listing still meet.
        const QStringList padding(400, m_env->home() + "/missing");
        QCOMPARE(DuplicateFinder::groups(QStringList{original} + padding + QStringList{copy, link}),
                 groups);
    }

    void splitFingerprintGroupsGetContentKeys()
    {
        // Two pairs of copies alike in head and tail but not in the middle: one fingerprint,
        // two groups, so each is named by its whole contents.
        const qint64 size = 3 * MiB;
        const QByteArray x = pattern(size, 21);
        const QByteArray y = flipped(x, size / 2);
        const QString x1 = write(x), x2 = write(x), y1 = write(y), y2 = write(y);
        const QString lone = write(flipped(x, size / 3));
        auto groups = DuplicateFinder::groups({x1, y1, lone, x2, y2});
        QCOMPARE(groups.size(), 2);
        const QString prefix = QString::number(size) + '-';
        QMap<QString, QStringList> byKey;
        for (const auto &g : groups)
            byKey[g.key] = g.paths;
        QCOMPARE(byKey.value(prefix + md5Hex(x).left(12)), QStringList({x1, x2}));
        QCOMPARE(byKey.value(prefix + md5Hex(y).left(12)), QStringList({y1, y2}));
        QVERIFY(groups[0].key < groups[1].key);

        // One group and a look-alike left alone: no split, the fingerprint names it.
        groups = DuplicateFinder::groups({x1, x2, lone});
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].key, prefix + DuplicateFinder::fingerprint(x1, size).left(12));
    }

    void unusableFilesYieldNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder") << "folder";
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("symbolic link") << "link";
        QTest::newRow("empty") << "empty";
        QTest::newRow("unreadable") << "unreadable";
    }
    void unusableFilesYieldNothing()
    {
        QFETCH(QString, kind);
        namespace fs = std::filesystem;
        const QByteArray data = kind == "empty" ? QByteArray() : pattern(6, 1);
        const QString real = write(data);
        const QString other = m_env->home() + "/other";
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(other));
        } else if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(other).constData(), 0644), 0);
        } else if (kind == "link") {
            // Followed, it would pair the listed file with its unlisted copy.
            fs::create_symlink(write(data, "target").toStdString(), other.toStdString());
        } else if (kind == "empty") {
            write(data, "other");
        } else if (kind == "unreadable") {
            write(data, "other");
            QFile::setPermissions(other, QFileDevice::Permissions());
            if (QFile f(other); f.open(QIODevice::ReadOnly))
                QSKIP("running with rights that read any file");
        }
        QVERIFY(DuplicateFinder::groups({real, other}).isEmpty());
        QVERIFY(DuplicateFinder::groups({}).isEmpty());
    }

    // What the banner shows: bytes compared of the bytes to compare, from 0 to all of them,
    // never backwards, whatever the number of threads. A size only one file has is not
    // compared.
    void progressCountsTheBytesCompared_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one thread") << 1;
        QTest::newRow("two threads") << 2;
    }
    void progressCountsTheBytesCompared()
    {
        QFETCH(int, threads);
        const QByteArray two = pattern(2 * MiB, 3), one = pattern(MiB, 4);
        QList<QByteArray> paths;
        for (const QString &p : {write(two), write(two), write(two), write(one), write(one),
                                 write(pattern(5 * MiB, 5))})
            paths.append(QFile::encodeName(p));
        QMutex mutex;
        QList<QPair<qint64, qint64>> heard;
        DuplicateFinder::nativeGroups(paths, threads, {}, [&](qint64 done, qint64 total) {
            QMutexLocker lock(&mutex);
            heard.append({done, total});
        });
        QVERIFY(heard.size() >= 2);
        QCOMPARE(heard.first(), qMakePair(qint64(0), 8 * MiB));
        QCOMPARE(heard.last(), qMakePair(8 * MiB, 8 * MiB));
        for (qsizetype i = 1; i < heard.size(); ++i)
            QVERIFY(heard[i].first >= heard[i - 1].first);
    }

    void keysSortAsText()
    {
        const QByteArray ten = pattern(10 * MiB, 2), two = pattern(2 * MiB, 2);
        const auto groups =
            DuplicateFinder::groups({write(two), write(two), write(ten), write(ten)});
        QCOMPARE(groups.size(), 2);
        QVERIFY(groups[0].key.startsWith("10485760-"));
        QVERIFY(groups[1].key.startsWith("2097152-"));
    }

    // Keys of many groups are digested together, on the vector lanes from three on, and
    // each must still be its own group's. Files shorter than the fingerprint's reach are
    // digested whole, all of one size being one batch.
    void manyGroupsEachKeyedByItsFingerprint_data()
    {
        QTest::addColumn<int>("groups");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("step");
        QTest::addColumn<int>("threads");
        QTest::newRow("two, each alone") << 2 << MiB << qint64(4097) << 1;
        QTest::newRow("three") << 3 << MiB << qint64(4097) << 1;
        QTest::newRow("one past a set of lanes")
            << Md5Lanes::kLanes + 1 << MiB << qint64(4097) << 1;
        QTest::newRow("more than digested at once, two workers")
            << Md5Lanes::kMessages + 3 << MiB << qint64(4097) << 2;
        QTest::newRow("short files of one size")
            << Md5Lanes::kLanes + 4 << 300 * 1024 + qint64(33) << qint64(0) << 1;
    }
    void manyGroupsEachKeyedByItsFingerprint()
    {
        QFETCH(int, groups);
        QFETCH(qint64, size);
        QFETCH(qint64, step);
        QFETCH(int, threads);
        QStringList paths;
        QMap<QString, QString> keyOf;
        for (int i = 0; i < groups; ++i) {
            const qint64 bytes = size + i * step;
            const QByteArray data = pattern(bytes, quint32(100 + i));
            const QString a = write(data), b = write(data);
            paths << a << b;
            keyOf[a] = keyOf[b] =
                QString::number(bytes) + '-' + DuplicateFinder::fingerprint(a, bytes).left(12);
        }
        const auto found = DuplicateFinder::groups(paths, threads);
        QCOMPARE(found.size(), groups);
        for (const auto &g : found)
            QCOMPARE(g.key, keyOf.value(g.paths.value(0)));
    }

    // Files alike at both ends: a few are read side by side, many are hashed whole first,
    // many copies of one file are compared two at a time. All find the same sets, on one
    // thread or two.
    void manyLookAlikesInOneSize_data()
    {
        QTest::addColumn<int>("pairs");
        QTest::addColumn<int>("copies");
        QTest::newRow("side by side") << 20 << 0;
        QTest::newRow("hashed first") << 40 << 0;
        QTest::newRow("many copies") << 3 << 70;
    }
    void manyLookAlikesInOneSize()
    {
        QFETCH(int, pairs);
        QFETCH(int, copies);
        const QByteArray base = pattern(300 * 1024, 9);
        QStringList paths;
        for (int i = 0; i < pairs; ++i) {
            QByteArray d = base;
            d[200000] = char(i);
            paths << write(d) << write(d);
        }
        for (int i = 0; i < copies; ++i)
            paths << write(base);
        paths << write(pattern(300 * 1024 + 1, 4)) << write(pattern(300 * 1024 + 1, 5));
        const auto one = DuplicateFinder::groups(paths, 1);
        QCOMPARE(one.size(), pairs + (copies ? 1 : 0));
        int grouped = 0;
        for (const auto &g : one)
            grouped += g.paths.size();
        QCOMPARE(grouped, 2 * pairs + copies);
        QCOMPARE(DuplicateFinder::groups(paths, 2), one);
    }
};

QTEST_GUILESS_MAIN(tst_DuplicateFinder)
#include "tst_DuplicateFinder.moc"
