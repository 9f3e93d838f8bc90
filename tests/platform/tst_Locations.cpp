#include "platform/Locations.h"

#include <QTest>

class tst_Locations : public QObject {
    Q_OBJECT
private slots:
    void tildeAndHome_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expanded");
        QTest::addColumn<QString>("abbreviated");
        QTest::newRow("home") << "~"
                              << "/home/ann"
                              << "~";
        QTest::newRow("below") << "~/Music/a"
                               << "/home/ann/Music/a"
                               << "~/Music/a";
        QTest::newRow("other user") << "/home/anna/x"
                                    << "/home/anna/x"
                                    << "/home/anna/x";
        QTest::newRow("tilde name") << "~bob/x"
                                    << "~bob/x"
                                    << "~bob/x";
        QTest::newRow("absolute") << "/usr/bin"
                                  << "/usr/bin"
                                  << "/usr/bin";
    }
    void tildeAndHome()
    {
        QFETCH(QString, path);
        QFETCH(QString, expanded);
        QFETCH(QString, abbreviated);
        const Locations l = Locations::forOs(Locations::Os::Linux, "/home/ann/");
        QCOMPARE(l.home, QStringLiteral("/home/ann"));
        QCOMPARE(l.expandTilde(path), expanded);
        QCOMPARE(l.abbreviateHome(expanded), abbreviated);
    }

    void tablesFollowTheHome()
    {
        const Locations l = Locations::forOs(Locations::Os::Linux, "/tmp/h");
        QCOMPARE(l.trashFiles, QStringLiteral("/tmp/h/.local/share/Trash/files"));
        QVERIFY(l.protectedItself.contains("/tmp/h/Videos"));
        QVERIFY(l.protectedTrees.contains("/proc"));
        QCOMPARE(l.largeFilesFolders.first(), QStringLiteral("/tmp/h/Downloads"));
        QCOMPARE(l.brewCandidates.last(), QStringLiteral("/tmp/h/.linuxbrew/bin/brew"));

        const Locations mac = Locations::forOs(Locations::Os::MacOS, "/Users/ann");
        QCOMPARE(mac.trashFiles, QStringLiteral("/Users/ann/.Trash"));
        QCOMPARE(mac.protectedTrees.size(), 12);
        QCOMPARE(mac.protectedItself.size(), 7);
        QCOMPARE(mac.skippedMounts.size(), 6);
        QCOMPARE(mac.docker, QStringLiteral("/usr/local/bin/docker"));
    }

    void replacedTableStaysValidForReaders()
    {
        const Locations &before = Locations::current();
        const QString oldHome = before.home;
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, "/tmp/other"));
        QCOMPARE(Locations::current().home, QStringLiteral("/tmp/other"));
        QCOMPARE(before.home, oldHome); // the old reference still reads
        Locations::resetCurrent();
        QCOMPARE(Locations::current().home, QDir::homePath());
    }
};

QTEST_GUILESS_MAIN(tst_Locations)
#include "tst_Locations.moc"
