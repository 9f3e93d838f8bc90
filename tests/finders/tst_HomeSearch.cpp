#include "finders/HomeSearch.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <filesystem>

class tst_HomeSearch : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    void write(const QString &relative)
    {
        const QString path = m_env->home() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write("x") != 1)
            qFatal("cannot write %s", qPrintable(path));
    }

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    // The home is reached through a link; "sh [*]are" below it is mounted. Network and
    // user-space file systems are left out, local ones are searched like any folder.
    void searchFollowsTheRootAndSkipsRemoteMounts_data()
    {
        QTest::addColumn<QString>("fsType");
        QTest::addColumn<bool>("searched");
        QTest::newRow("sshfs") << "fuse.sshfs" << false;
        QTest::newRow("nfs") << "nfs4" << false;
        QTest::newRow("smb") << "cifs" << false;
        QTest::newRow("davfs") << "davfs" << false;
        QTest::newRow("local disk") << "ext4" << true;
    }
    void searchFollowsTheRootAndSkipsRemoteMounts()
    {
        QFETCH(QString, fsType);
        QFETCH(bool, searched);
        write("top");
        write("Documents/deep/file");
        write("sh [*]are/remote");
        write("sh [*]are/more/remote2");
        write("sh a/near-the-mount"); // matched by a pattern that is not literal
        const QString link = m_env->root() + "/linked-home";
        std::filesystem::create_directory_symlink(m_env->home().toStdString(), link.toStdString());
        std::filesystem::create_symlink(m_env->root().toStdString(),
                                        (m_env->home() + "/loop").toStdString());

        MountTable::Mount share;
        share.mountPoint = QFile::encodeName(QDir(m_env->home()).canonicalPath() + "/sh [*]are");
        share.fsType = fsType;
        MountTable::Mount elsewhere;
        elsewhere.mountPoint = QFile::encodeName(m_env->root()); // above the home: no matter
        elsewhere.fsType = "nfs4";

        const QList<QByteArray> found = HomeSearch::find(
            {link}, {}, {"-type", "f", "-print0"}, {elsewhere, share}, nullptr, CancelToken());
        QStringList names;
        for (const QByteArray &path : found) {
            QVERIFY(path.startsWith(QFile::encodeName(link) + '/'));
            names << QString::fromUtf8(path.mid(link.size() + 1));
        }
        names.sort();
        QStringList expected{"Documents/deep/file", "sh a/near-the-mount", "top"};
        if (searched)
            expected << "sh [*]are/more/remote2"
                     << "sh [*]are/remote";
        expected.sort();
        QCOMPARE(names, expected);
    }

    void listingsSplitAsBytes_data()
    {
        QTest::addColumn<QByteArray>("listing");
        QTest::addColumn<QList<QByteArray>>("nul");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("empty") << QByteArray() << QList<QByteArray>() << QList<QByteArray>();
        QTest::newRow("line feed in a name")
            << QByteArray("a\nb\0c\xff\0", 6) << QList<QByteArray>{"a\nb", "c\xff"}
            << QList<QByteArray>{"a", QByteArray("b\0c\xff", 4)};
        QTest::newRow("empty entries dropped") << QByteArray("\0x\0\0", 4) << QList<QByteArray>{"x"}
                                               << QList<QByteArray>{QByteArray("\0x\0\0", 4)};
    }
    void listingsSplitAsBytes()
    {
        QFETCH(QByteArray, listing);
        QFETCH(QList<QByteArray>, nul);
        QFETCH(QList<QByteArray>, lines);
        QCOMPARE(HomeSearch::splitNul(listing), nul);
        QCOMPARE(HomeSearch::splitLines(listing), lines);
    }
};

QTEST_GUILESS_MAIN(tst_HomeSearch)
#include "tst_HomeSearch.moc"
