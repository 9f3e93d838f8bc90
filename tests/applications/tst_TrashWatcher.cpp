#include "app/AppState.h"
#include "applications/TrashWatcher.h"
#include "platform/NotificationCenter.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <memory>

#include <sys/stat.h>

namespace {

using Arrival = QPair<QString, QString>;

void write(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class tst_TrashWatcher : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_files = Locations::current().trashFiles;
        m_info = Locations::current().trashInfo;
        m_staging = m_env->root() + "/staging";
        QDir().mkpath(m_staging);
    }
    void cleanup() { m_env.reset(); }

    void arrivals_data()
    {
        QTest::addColumn<QStringList>("arrive");   // entry|original name|kind
        QTest::addColumn<QStringList>("expected"); // entry|original path, in report order
        const QString orig = "/home/u/Apps/";
        QTest::newRow("one") << QStringList{"New.AppImage||file"}
                             << QStringList{"New.AppImage|staging/New.AppImage"};
        QTest::newRow("two at once, name order")
            << QStringList{"b.AppImage||file", "A.appimage||file"}
            << QStringList{"A.appimage|staging/A.appimage", "b.AppImage|staging/b.AppImage"};
        QTest::newRow("renamed by the trasher")
            << QStringList{"Foo.AppImage.2|Foo.AppImage|file",
                           "Foo-1.2.2.AppImage|Foo-1.2.2.AppImage|file",
                           "Foo.AppImage_1|Foo.AppImage|file"}
            << QStringList{"Foo-1.2.2.AppImage|" + orig + "Foo-1.2.2.AppImage",
                           "Foo.AppImage.2|" + orig + "Foo.AppImage",
                           "Foo.AppImage_1|" + orig + "Foo.AppImage"};
        QTest::newRow("encoded original name")
            << QStringList{"My App.AppImage.3|My%20App%0A.AppImage|file"}
            << QStringList{"My App.AppImage.3|" + orig + "My App\n.AppImage"};
        QTest::newRow("not applications")
            << QStringList{"notes.txt||file", "Folder.AppImage||dir", "Link.AppImage||link",
                           "doc.2|Tool.AppImage.txt|file"}
            << QStringList{};
    }
    void arrivals()
    {
        QFETCH(QStringList, arrive);
        QFETCH(QStringList, expected);
        write(m_files + "/Old.AppImage");
        QList<Arrival> seen;
        TrashWatcher watcher([&](const QString &p, const QString &o) { seen.append({p, o}); });
        watcher.start();
        QVERIFY(watcher.isWatching());
        // All arrive before the event loop runs again: one event or several, same answer.
        for (const QString &arrival : arrive) {
            const QStringList f = arrival.split('|');
            if (!f[1].isEmpty())
                write(m_info + "/" + f[0] + ".trashinfo",
                      "[Trash Info]\nPath=/home/u/Apps/" + f[1].toUtf8() +
                          "\nDeletionDate=2024-01-01T00:00:00\n");
            const QString staged = m_staging + "/" + f[0];
            if (f[2] == "dir")
                QDir().mkpath(staged);
            else if (f[2] == "link")
                QVERIFY(QFile::link(m_staging + "/elsewhere.AppImage", staged));
            else
                write(staged);
            QVERIFY(QFile::rename(staged, m_files + "/" + f[0]));
        }
        QStringList want;
        for (const QString &e : expected) {
            const QStringList f = e.split('|');
            want << m_files + "/" + f[0] + "|" +
                        (f[1].startsWith("staging/") ? m_files + "/" + f[1].mid(8) : f[1]);
        }
        auto shown = [&] {
            QStringList out;
            for (const Arrival &a : seen)
                out << a.first + "|" + a.second;
            return out;
        };
        if (want.isEmpty())
            QTest::qWait(300);
        QTRY_COMPARE(shown(), want);
        watcher.check();
        QCOMPARE(shown(), want); // reported once
    }

    void emptiedTrashReportsNothingAndAComebackIsNew()
    {
        write(m_files + "/Tool.AppImage");
        QList<Arrival> seen;
        TrashWatcher watcher([&](const QString &p, const QString &o) { seen.append({p, o}); });
        watcher.start();
        QVERIFY(QFile::remove(m_files + "/Tool.AppImage"));
        QTest::qWait(300);
        QVERIFY(seen.isEmpty());
        write(m_files + "/Tool.AppImage");
        QTRY_COMPARE(seen.size(), 1);
    }

    void missingTrashIsMadeAndWatchedWhenRemadeLater()
    {
        const QString trash = QFileInfo(m_files).path();
        QVERIFY(!QFileInfo::exists(trash));
        QList<Arrival> seen;
        TrashWatcher watcher([&](const QString &p, const QString &o) { seen.append({p, o}); });
        watcher.start();
        QVERIFY(watcher.isWatching());
        for (const QString &folder : {trash, m_files, m_info}) {
            struct stat st;
            QVERIFY(::stat(QFile::encodeName(folder).constData(), &st) == 0);
            QCOMPARE(st.st_mode & 0777, 0700u);
        }
        QVERIFY(QDir(trash).removeRecursively());
        QTest::qWait(200);
        QDir().mkpath(m_files);
        write(m_files + "/Back.AppImage");
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 1, 4000);
        write(m_files + "/Again.AppImage");
        QTRY_COMPARE(seen.size(), 2);
    }

    void followsAccessAndSetting_data()
    {
        QTest::addColumn<bool>("access");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("watching");
        QTest::newRow("absent") << true << QVariant() << true;
        QTest::newRow("off") << true << QVariant(false) << false;
        QTest::newRow("not a boolean") << true << QVariant(QStringLiteral("maybe")) << true;
        QTest::newRow("no access") << false << QVariant(true) << false;
    }
    void followsAccessAndSetting()
    {
        QFETCH(bool, access);
        QFETCH(QVariant, stored);
        QFETCH(bool, watching);
        FullDiskAccess::setProbe([access] { return access; });
        if (stored.isValid())
            Preferences::setValue(AppState::watchTrashKey, stored);
        AppState state;
        QCOMPARE(state.isWatchingTrash(), watching);
        // Flipping the switch takes effect at once, without a restart.
        Preferences::setValue(AppState::watchTrashKey, !watching);
        NotificationCenter::instance()->post("watchTrashChanged");
        QTRY_COMPARE(state.isWatchingTrash(), access && !watching);
    }

    void reportsWaitTheirTurn()
    {
        write(m_env->home() + "/.config/alpha/settings");
        write(m_env->home() + "/.config/beta/settings");
        AppState state;
        QVERIFY(state.isWatchingTrash());
        write(m_staging + "/beta.AppImage");
        write(m_staging + "/alpha.AppImage");
        QVERIFY(QFile::rename(m_staging + "/beta.AppImage", m_files + "/beta.AppImage"));
        QVERIFY(QFile::rename(m_staging + "/alpha.AppImage", m_files + "/alpha.AppImage"));
        QTRY_COMPARE(state.waitingReports(), 1);
        QCOMPARE(state.leftoverReport()->appName, QStringLiteral("alpha"));
        // The same app again while its sheet is up: no second report.
        state.showLeftovers("alpha", std::nullopt, m_files + "/alpha.AppImage");
        state.waitForLeftoverSearches();
        QTest::qWait(50);
        QCOMPARE(state.waitingReports(), 1);
        state.dismissLeftoverReport();
        QCOMPARE(state.leftoverReport()->appName, QStringLiteral("beta"));
        QCOMPARE(state.leftoverReport()->leftovers.first().displayPath(),
                 m_env->home() + "/.config/beta");
        state.dismissLeftoverReport();
        QVERIFY(!state.leftoverReport());
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_files, m_info, m_staging;
};

QTEST_GUILESS_MAIN(tst_TrashWatcher)
#include "tst_TrashWatcher.moc"
