#include "app/AppState.h"
#include "exec/SafetyHelper.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <unistd.h>

class tst_SafetyHelper : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void safety_data()
    {
        QTest::addColumn<QString>("path"); // "~" is the test home
        QTest::addColumn<bool>("safe");
        QTest::newRow("root") << "/" << false;
        QTest::newRow("root doubled") << "//" << false;
        QTest::newRow("Library") << "/Library" << false;
        QTest::newRow("below Library") << "/Library/Caches/x" << false;
        QTest::newRow("user Library") << "~/Library/Caches/x" << true;
        QTest::newRow("usr") << "/usr" << false;
        QTest::newRow("below usr") << "/usr/local/bin/tool" << false;
        QTest::newRow("usr via doubled slash") << "//usr//bin" << false;
        QTest::newRow("case differs") << "/USR" << true;
        QTest::newRow("homebrew cellar") << "/opt/homebrew/Cellar/x" << true;
        QTest::newRow("application") << "/Applications/Some.app" << true;
        QTest::newRow("var folders") << "/var/folders/x" << false;
        QTest::newRow("private var") << "/private/var/db/x" << false;
        QTest::newRow("home") << "~" << false;
        QTest::newRow("home slash") << "~/" << false;
        QTest::newRow("Desktop") << "~/Desktop" << false;
        QTest::newRow("Documents slash") << "~/Documents/" << false;
        QTest::newRow("Downloads") << "~/Downloads" << false;
        QTest::newRow("Movies") << "~/Movies" << false;
        QTest::newRow("Music") << "~/Music" << false;
        QTest::newRow("Pictures") << "~/Pictures" << false;
        QTest::newRow("file in Downloads") << "~/Downloads/file.zip" << true;
        QTest::newRow("dot-dot to home") << "~/Desktop/.." << false;
        QTest::newRow("dot-dot to usr") << "/opt/../usr/lib" << false;
        QTest::newRow("dot component") << "~/./Music/." << false;
        // The Linux additions.
        QTest::newRow("boot") << "/boot/vmlinuz" << false;
        QTest::newRow("proc") << "/proc/1" << false;
        QTest::newRow("sys") << "/sys" << false;
        QTest::newRow("lib64") << "/lib64/ld.so" << false;
        QTest::newRow("root home") << "/root/.bashrc" << false;
        QTest::newRow("snap") << "/snap/core/1" << false;
        QTest::newRow("Videos") << "~/Videos" << false;
        QTest::newRow("in Videos") << "~/Videos/clip.mp4" << true;
        QTest::newRow("Public") << "~/Public" << false;
        QTest::newRow("Templates") << "~/Templates" << false;
        QTest::newRow("home root") << "/home" << false;
        QTest::newRow("opt itself") << "/opt" << false;
        QTest::newRow("in opt") << "/opt/someapp" << true;
        QTest::newRow("tmp itself") << "/tmp/" << false;
        QTest::newRow("in tmp") << "/tmp/x" << true;
        QTest::newRow("mnt") << "/mnt" << false;
        QTest::newRow("media") << "/media" << false;
        QTest::newRow("relative") << "Documents/x" << false;
        QTest::newRow("empty") << "" << false;
    }
    void safety()
    {
        QFETCH(QString, path);
        QFETCH(bool, safe);
        if (path.startsWith('~'))
            path = m_env->home() + path.mid(1);
        QCOMPARE(SafetyHelper::isPathSafeToDelete(path), safe);
    }

    void tildeIsTheHome()
    {
        QVERIFY(!SafetyHelper::isPathSafeToDelete("~/Desktop"));
        QVERIFY(SafetyHelper::isPathSafeToDelete("~/Desktop/notes.txt"));
    }

    void protectedFolderReachedThroughALink()
    {
        // ~/link -> /usr: "~/link/bin" reads as a home path but is /usr/bin.
        const QString link = m_env->home() + "/link";
        QVERIFY(QFile::link("/usr", link));
        QVERIFY(!SafetyHelper::isPathSafeToDelete(link + "/bin"));
        QVERIFY(!SafetyHelper::isPathSafeToDelete(link + "/lib/x"));
        // The link itself is an ordinary item of the home folder.
        QVERIFY(SafetyHelper::isPathSafeToDelete(link));

        // A link standing in for a protected home folder is judged as itself too.
        const QString home2 = m_env->home() + "/Desktop2";
        QVERIFY(QFile::link(m_env->home(), home2));
        QVERIFY(!SafetyHelper::isPathSafeToDelete(home2 + "/Desktop"));
    }

    void refusedMoveLogsAndTouchesNothing()
    {
        AppState state;
        m_env->clearLog();
        QVERIFY(!SafetyHelper::moveToTrash("/usr/bin", &state));
        const auto log = m_env->log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].first, SystemLog::Level::Error);
        QCOMPARE(log[0].second, QStringLiteral("Safety Check Failed: /usr/bin is protected."));
        QVERIFY(QFile::exists("/usr/bin"));
    }

    void moveWithoutStateLogsNothing()
    {
        const QString file = m_env->home() + "/a.txt";
        QVERIFY(touch(file));
        m_env->clearLog();
        QVERIFY(SafetyHelper::moveToTrash(file));
        QVERIFY(!QFile::exists(file));
        QVERIFY(QFile::exists(m_env->home() + "/.local/share/Trash/files/a.txt"));
        QVERIFY(!SafetyHelper::moveToTrash("/"));
        QVERIFY(m_env->log().isEmpty());
    }

    void moveLogsTrashedAndFailure()
    {
        AppState state;
        const QString file = m_env->home() + "/b.txt";
        QVERIFY(touch(file));
        m_env->clearLog();
        QVERIFY(SafetyHelper::moveToTrash(file, &state));
        QCOMPARE(m_env->log().last().second, "[info] Trashed: " + file);

        const QString missing = m_env->home() + "/missing.txt";
        QVERIFY(!SafetyHelper::moveToTrash(missing, &state));
        QCOMPARE(m_env->log().last().first, SystemLog::Level::Error);
        QVERIFY(m_env->log().last().second.startsWith("Failed to trash " + missing + ": "));
    }

    void trashContentsOfUnlistableFolder()
    {
        AppState state;
        m_env->clearLog();
        QCOMPARE(SafetyHelper::trashContents(m_env->home() + "/nope", &state), 0);
        QCOMPARE(SafetyHelper::trashContents(m_env->home() + "/Desktop", &state), 0);
        QVERIFY(m_env->log().isEmpty());
    }

    void trashContentsOfEmptyFolderStillLogs()
    {
        AppState state;
        const QString folder = m_env->home() + "/Caches";
        QVERIFY(QDir().mkpath(folder));
        m_env->clearLog();
        QCOMPARE(SafetyHelper::trashContents(folder, &state), 0);
        QCOMPARE(m_env->log().size(), 1);
        QCOMPARE(m_env->log()[0].second, "[info] Moved 0 items from " + folder + " to the Trash");
    }

    void trashContentsCountsAndGoesOnAfterFailure()
    {
        AppState state;
        const QString folder = m_env->home() + "/Caches";
        QVERIFY(QDir().mkpath(folder + "/sub/deeper"));
        QVERIFY(touch(folder + "/.hidden"));
        QVERIFY(touch(folder + "/fails"));
        QVERIFY(touch(folder + "/plain"));
        m_env->clearLog();

        QStringList asked;
        const int moved = SafetyHelper::trashContents(folder, &state, [&](const QString &child) {
            asked.append(child);
            if (child.endsWith("/fails"))
                return std::make_pair(false, QStringLiteral("Operation not permitted"));
            return std::make_pair(true, QString());
        });
        QCOMPARE(moved, 3);
        asked.sort();
        QCOMPARE(asked, QStringList({folder + "/.hidden", folder + "/fails", folder + "/plain",
                                     folder + "/sub"}));
        const auto log = m_env->log();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[0].second, "Failed to trash " + folder + "/fails: Operation not permitted");
        QCOMPARE(log[1].second, "[info] Moved 3 items from " + folder + " to the Trash");
    }

    void trashContentsSkipsProtectedChildren()
    {
        // The home's own children include protected folders: they are never offered.
        QVERIFY(QDir().mkpath(m_env->home() + "/Desktop"));
        QVERIFY(touch(m_env->home() + "/loose.txt"));
        QStringList asked;
        // The temp home's parent is a folder we may empty; the home inside it is not.
        const int moved =
            SafetyHelper::trashContents(m_env->root(), nullptr, [&](const QString &c) {
                asked.append(c);
                return std::make_pair(true, QString());
            });
        QVERIFY(!asked.contains(m_env->home()));
        QCOMPARE(moved, asked.size());
    }

private:
    static bool touch(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly);
    }
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(tst_SafetyHelper)
#include "tst_SafetyHelper.moc"
