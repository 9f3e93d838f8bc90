#include "cleaning/SystemCaches.h"
#include "support/FakeTools.h"
#include "support/TestEnvironment.h"

#include <QTest>

class tst_SystemCaches : public QObject {
    Q_OBJECT
private slots:
    void journalUsage_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("gigabytes")
            << "Archived and active journals take up 1.5G in the file system."
            << qint64(1610612736);
        QTest::newRow("bytes") << "Journals take up 512 in the file system." << qint64(512);
        QTest::newRow("nothing said") << "No journal files were found." << qint64(-1);
    }
    void journalUsage()
    {
        QFETCH(QString, output);
        QFETCH(qint64, bytes);
        QCOMPARE(SystemCaches::parseJournalUsage(output), bytes);
    }

    // Each installed tool has its row, with what it holds and the command it runs; a tool
    // that is missing has none, and nothing from the tools' output becomes an option.
    void listsWhatTheToolsHold()
    {
        TestEnvironment env;
        FakeTools tools(env.root() + "/tools");
        const QString archives = env.root() + "/archives";
        QDir().mkpath(archives + "/partial");
        QFile deb(archives + "/big.deb");
        QVERIFY(deb.open(QIODevice::WriteOnly));
        deb.write(QByteArray(64 * 1024, 'd'));
        deb.close();
        QFile snapFile(env.root() + "/snaps/chat_11.snap");
        QDir().mkpath(env.root() + "/snaps");
        QVERIFY(snapFile.open(QIODevice::WriteOnly));
        snapFile.write(QByteArray(32 * 1024, 's'));
        snapFile.close();
        env.editLocations([&](Locations &l) {
            l.aptGet = tools.tool("apt-get");
            l.journalctl = tools.tool("journalctl");
            l.snap = tools.tool("snap");
            l.aptArchives = archives;
            l.snapFiles = env.root() + "/snaps";
            l.pkexec = "/usr/bin/pkexec";
        });
        tools.answer("journalctl",
                     "Archived and active journals take up 2.0M in the file system.\n");
        tools.answer("snap", "Name    Version  Rev  Tracking  Publisher  Notes\n"
                             "chat    1.0      11   stable    x          disabled\n"
                             "chat    1.1      12   stable    x          -\n"
                             "--evil  1.0      3    stable    x          disabled\n"
                             "core    16       99x  stable    x          base,disabled\n");

        const QList<SystemCache> caches = SystemCaches::list();
        QStringList names;
        for (const SystemCache &c : caches)
            names << c.name;
        QCOMPARE(names,
                 QStringList({"Package Cache", "System Journal", "Disabled Snap Revisions"}));
        QVERIFY(caches[0].bytes >= 64 * 1024);
        QCOMPARE(caches[0].command, "'/usr/bin/pkexec' '" + tools.tool("apt-get") + "' clean");
        QVERIFY(caches[0].confirmation.contains("permanently"));
        QCOMPARE(caches[1].bytes, qint64(2 * 1024 * 1024));
        QCOMPARE(caches[1].command,
                 "'/usr/bin/pkexec' '" + tools.tool("journalctl") + "' --vacuum-size=100M");
        QCOMPARE(caches[2].command,
                 "'/usr/bin/pkexec' '" + tools.tool("snap") + "' remove --revision=11 -- 'chat'");
        QVERIFY(caches[2].bytes >= 32 * 1024);
        QVERIFY(caches[2].confirmation.contains("chat (revision 11)"));
        QCOMPARE(tools.calls().size(), 2); // journalctl --disk-usage, snap list --all
    }
};

QTEST_GUILESS_MAIN(tst_SystemCaches)
#include "tst_SystemCaches.moc"
