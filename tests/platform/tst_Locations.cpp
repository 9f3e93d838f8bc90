#include "platform/Locations.h"

#include <QFile>
#include <QTemporaryDir>
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

    // The desktop may name the user's folders in the user's language; those are what gets
    // protected, searched for large files and counted on the dashboard.
    void userFoldersFollowTheDesktop_data()
    {
        QTest::addColumn<QByteArray>("userDirs"); // ~/.config/user-dirs.dirs; empty: none
        QTest::addColumn<bool>("otherHome");      // a table built for someone else's home
        QTest::addColumn<QStringList>("protectedToo");
        QTest::addColumn<QStringList>("largeFiles");
        QTest::addColumn<QStringList>("documents");
        const QStringList english{"Downloads", "Desktop", "Documents"};
        const QByteArray german = "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
                                  "XDG_DOWNLOAD_DIR=\"$HOME/Herunterladen\"\n"
                                  "XDG_TEMPLATES_DIR=\"$HOME/Vorlagen\"\n";
        QTest::newRow("no file") << QByteArray() << false << QStringList{"Documents", "Templates"}
                                 << english << QStringList{"Documents", "Desktop"};
        QTest::newRow("localised")
            << german << false
            << QStringList{"Dokumente", "Documents", "Herunterladen", "Vorlagen", "Templates"}
            << QStringList{"Herunterladen", "Desktop", "Dokumente"}
            << QStringList{"Dokumente", "Desktop"};
        QTest::newRow("desktop switched off")
            << QByteArray("XDG_DESKTOP_DIR=\"$HOME/\"\n") << false << QStringList{"Desktop"}
            << QStringList{"Downloads", "Documents"} << QStringList{"Documents"};
        QTest::newRow("another home") << german << true << QStringList{"Documents"} << english
                                      << QStringList{"Documents", "Desktop"};
    }
    void userFoldersFollowTheDesktop()
    {
        QFETCH(QByteArray, userDirs);
        QFETCH(bool, otherHome);
        QFETCH(QStringList, protectedToo);
        QFETCH(QStringList, largeFiles);
        QFETCH(QStringList, documents);
        QTemporaryDir dir;
        const QString home = dir.path() + "/home";
        QVERIFY(QDir().mkpath(home + "/.config"));
        if (!userDirs.isEmpty()) {
            QFile file(home + "/.config/user-dirs.dirs");
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(userDirs);
        }
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + "/.config"));
        const QString tableHome = otherHome ? dir.path() + "/other" : home;
        const Locations l = Locations::forOs(Locations::Os::Linux, tableHome);
        qputenv("HOME", oldHome);
        if (hadConfig)
            qputenv("XDG_CONFIG_HOME", oldConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");

        const auto under = [&](const QStringList &names) {
            QStringList out;
            for (const QString &n : names)
                out.append(tableHome + '/' + n);
            return out;
        };
        for (const QString &p : under(protectedToo))
            QVERIFY2(l.protectedItself.contains(p), qPrintable(p));
        QVERIFY(l.protectedItself.contains(tableHome));
        QCOMPARE(l.largeFilesFolders, under(largeFiles));
        QCOMPARE(l.groupDocuments, under(documents));
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
