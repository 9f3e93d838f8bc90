#include "platform/Locations.h"

#include "exec/ProcessRunner.h"
#include "finders/HomeSearch.h"
#include "platform/FileProperties.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>

namespace {

void writeFile(const QString &path, const QByteArray &data, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        qFatal("cannot write %s", qPrintable(path));
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

} // namespace

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

    // A home whose name needs quoting, not the shell's $HOME, is what the commands read.
    void commandsReadTheTablesHome_data()
    {
        QTest::addColumn<bool>("installers");
        QTest::newRow("caches") << false;
        QTest::newRow("installers") << true;
    }
    void commandsReadTheTablesHome()
    {
        QFETCH(bool, installers);
        QTemporaryDir dir;
        const QString home = dir.path() + "/it's a $HOME";
        writeFile(home + "/.cache/blob", QByteArray(2 * 1048576, 'c'));
        writeFile(home + "/Downloads/tool.dmg", "d");
        const Locations l = Locations::forOs(Locations::Os::Linux, home);
        const RunResult r =
            ProcessRunner::runCommand(installers ? l.installersCommand : l.cachesCommand);
        if (installers) {
            QCOMPARE(HomeSearch::splitNul(r.stdOutBytes),
                     QList<QByteArray>{QFile::encodeName(home + "/Downloads/tool.dmg")});
        } else {
            QVERIFY2(r.stdOut.endsWith("\t" + home + "/.cache\n"), qPrintable(r.stdOut));
            QVERIFY(ProcessRunner::parseDuMB(r.stdOut) >= 2);
        }
    }

    void javaListingHoldsFoldersWithJava()
    {
        namespace fs = std::filesystem;
        QTemporaryDir dir;
        const QString jvm = dir.path() + "/jvm";
        writeFile(jvm + "/jdk-a/bin/java", "elf", true);
        writeFile(jvm + "/jdk-a/lib/x", "x");
        QDir().mkpath(jvm + "/jre-b/bin");
        fs::create_symlink((jvm + "/jdk-a/bin/java").toStdString(),
                           (jvm + "/jre-b/bin/java").toStdString());
        QDir().mkpath(jvm + "/sources-only");
        fs::create_symlink("/nonexistent/src.zip", (jvm + "/sources-only/src.zip").toStdString());
        QDir().mkpath(jvm + "/dangling/bin");
        fs::create_symlink("/nonexistent/java", (jvm + "/dangling/bin/java").toStdString());
        fs::create_directory_symlink((jvm + "/jdk-a").toStdString(),
                                     (jvm + "/default-java").toStdString());
        writeFile(jvm + "/.jdk-a.jinfo", "i");

        Locations l = Locations::forOs(Locations::Os::Linux, dir.path());
        const RunResult listed =
            ProcessRunner::runCommand(l.javaListCommand.replace("/usr/lib/jvm", jvm));
        QStringList lines = listed.stdOut.split('\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines, QStringList({jvm + "/jdk-a", jvm + "/jre-b"}));
        QCOMPARE(ProcessRunner::runCommand(l.javaCountCommand.replace("/usr/lib/jvm", jvm))
                     .stdOut.trimmed(),
                 QStringLiteral("2"));
    }

    void firstExecutableWins_data()
    {
        QTest::addColumn<QStringList>("candidates");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("third of four")
            << QStringList{"missing", "plain", "tool", "tool2"} << "tool";
        QTest::newRow("none: the first") << QStringList{"missing", "plain"} << "missing";
        QTest::newRow("empty") << QStringList{} << "";
    }
    void firstExecutableWins()
    {
        QFETCH(QStringList, candidates);
        QFETCH(QString, chosen);
        QTemporaryDir dir;
        writeFile(dir.path() + "/plain", "p");
        writeFile(dir.path() + "/tool", "t", true);
        writeFile(dir.path() + "/tool2", "t", true);
        for (QString &c : candidates)
            c = dir.path() + '/' + c;
        QCOMPARE(Locations::firstExecutable(candidates),
                 chosen.isEmpty() ? QString() : dir.path() + '/' + chosen);
    }

    void trashMeasuredWhereItems()
    {
        QTemporaryDir dir;
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path()));
        const Locations l = Locations::forOs(Locations::Os::Linux, QDir::homePath());
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(l.trashFiles, dir.path() + "/Trash/files");
        QCOMPARE(l.trashMeasureRoot, dir.path() + "/Trash");
        QCOMPARE(l.groupTrash, QStringList{dir.path() + "/Trash"});
    }

    // Places that only the other system has measure nothing here, however the home looks.
    void macOnlyJunkIsNothingHere()
    {
        QTemporaryDir dir;
        for (const char *made :
             {"/Library/Logs", "/Library/Developer/Xcode/DerivedData", "/.local/state", "/.cache"})
            QDir().mkpath(dir.path() + made);
        const Locations l = Locations::forOs(Locations::Os::Linux, dir.path());
        QVERIFY(!FileProperties::exists(l.junkAppLogs));
        QVERIFY(!FileProperties::exists(l.junkDerivedData));
        QCOMPARE(ProcessRunner::sizeMB({l.junkAppLogs, l.junkDerivedData}), 0.0);
        QVERIFY(FileProperties::exists(l.junkAppCaches)); // the table does see this home
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
