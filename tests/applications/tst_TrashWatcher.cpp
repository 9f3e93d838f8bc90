#include "app/AppState.h"
#include "applications/TrashWatcher.h"
#include "platform/NotificationCenter.h"
#include "support/FifoFeeder.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

#include <list>
#include <memory>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Arrival = QPair<QString, QString>;

void write(const QString &path, const QByteArray &content = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

// The read calls this thread has made so far; nothing where the system does not count.
std::optional<qint64> readsOfThisThread()
{
    QFile io("/proc/thread-self/io");
    if (!io.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("syscr: "))
            return line.mid(7).toLongLong();
    return std::nullopt;
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
        QTest::addColumn<int>("source");
        QTest::addColumn<QStringList>("arrive");   // entry|original name|kind
        QTest::addColumn<QStringList>("expected"); // entry|original path, in report order
        const QString orig = "/home/u/Apps/";
        for (const auto source :
             {TrashWatcher::Source::EventNames, TrashWatcher::Source::Listing}) {
            const char *by = source == TrashWatcher::Source::EventNames ? "events" : "listing";
            const auto row = [&](const char *name) {
                return &(QTest::addRow("%s, %s", by, name) << int(source));
            };
            *row("one") << QStringList{"New.AppImage||file"}
                        << QStringList{"New.AppImage|staging/New.AppImage"};
            *row("two at once, name order")
                << QStringList{"b.AppImage||file", "A.appimage||file"}
                << QStringList{"A.appimage|staging/A.appimage", "b.AppImage|staging/b.AppImage"};
            *row("renamed by the trasher")
                << QStringList{"Foo.AppImage.2|Foo.AppImage|file",
                               "Foo-1.2.2.AppImage|Foo-1.2.2.AppImage|file",
                               "Foo.AppImage_1|Foo.AppImage|file"}
                << QStringList{"Foo-1.2.2.AppImage|" + orig + "Foo-1.2.2.AppImage",
                               "Foo.AppImage.2|" + orig + "Foo.AppImage",
                               "Foo.AppImage_1|" + orig + "Foo.AppImage"};
            *row("encoded original name")
                << QStringList{"My App.AppImage.3|My%20App%0A.AppImage|file"}
                << QStringList{"My App.AppImage.3|" + orig + "My App\n.AppImage"};
            *row("hostile name") << QStringList{"-x\n\"q.AppImage||file"}
                                 << QStringList{"-x\n\"q.AppImage|staging/-x\n\"q.AppImage"};
            // Its info file is never opened: a pipe would block whoever reads it.
            *row("a pipe for an info file") << QStringList{"Piped.AppImage||pipe-info"}
                                            << QStringList{"Piped.AppImage|staging/Piped.AppImage"};
            *row("not applications")
                << QStringList{"notes.txt||file", "Folder.AppImage||dir", "Link.AppImage||link",
                               "doc.2|Tool.AppImage.txt|file"}
                << QStringList{};
        }
    }
    void arrivals()
    {
        QFETCH(int, source);
        QFETCH(QStringList, arrive);
        QFETCH(QStringList, expected);
        write(m_files + "/Old.AppImage");
        QList<Arrival> seen;
        TrashWatcher watcher([&](const TrashWatcher::Arrival &a) {
            seen.append({a.pathInTrash, a.originalPath});
        });
        watcher.setSource(TrashWatcher::Source(source));
        watcher.start();
        QVERIFY(watcher.isWatching());
        watcher.waitForTasks(); // the first look of a listing
        std::list<FifoFeeder> pipes;
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
            if (f[2] == "pipe-info")
                pipes.emplace_back(m_info + "/" + f[0] + ".trashinfo",
                                   "[Trash Info]\nPath=/home/u/Apps/Fed.AppImage\n");
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
        QTRY_COMPARE(shown(), want);
        // Reported once, nothing else: every batch has ended and published.
        QTest::qWait(100);
        watcher.waitForTasks();
        QTest::qWait(20);
        QCOMPARE(shown(), want);
    }

    void emptiedTrashReportsNothingAndAComebackIsNew()
    {
        write(m_files + "/Tool.AppImage");
        QList<Arrival> seen;
        TrashWatcher watcher([&](const TrashWatcher::Arrival &a) {
            seen.append({a.pathInTrash, a.originalPath});
        });
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
        TrashWatcher watcher([&](const TrashWatcher::Arrival &a) {
            seen.append({a.pathInTrash, a.originalPath});
        });
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

    // More arrivals at once than the kernel queues events for: the names it dropped are
    // found by what changed since, and the application among them is reported once.
    void aFloodOfArrivalsLosesNone()
    {
        QFile limit("/proc/sys/fs/inotify/max_queued_events");
        const int queued = limit.open(QIODevice::ReadOnly) ? limit.readAll().trimmed().toInt() : 0;
        if (queued <= 0 || queued > 20000)
            QSKIP("the event queue is unknown or too long to fill here");
        QList<Arrival> seen;
        TrashWatcher watcher([&](const TrashWatcher::Arrival &a) {
            seen.append({a.pathInTrash, a.originalPath});
        });
        watcher.start();
        QCOMPARE(watcher.source(), TrashWatcher::Source::EventNames);
        // The event loop does not run meanwhile: the queue overflows.
        const QByteArray files = QFile::encodeName(m_files);
        for (int i = 0; i <= queued; ++i) {
            const QByteArray name = files + "/c" + QByteArray::number(i);
            ::close(::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
        }
        write(m_files + "/Late.AppImage");
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 1, 20000);
        QCOMPARE(seen.first().first, m_files + "/Late.AppImage");
        watcher.waitForTasks();
        QTest::qWait(100);
        QCOMPARE(seen.size(), 1);
    }

    // However full the Trash, the main thread reads only a few times for an arrival: the
    // info files, the listing and the desktop entries are read on the pool.
    void mainThreadReadsDoNotGrowWithTheTrash()
    {
        const auto readsBefore = readsOfThisThread();
        if (!readsBefore)
            QSKIP("this system does not count a thread's reads");
        for (int i = 0; i < 2000; ++i) {
            const QString name = QString("cache-%1").arg(i);
            write(m_files + "/" + name);
            write(m_info + "/" + name + ".trashinfo",
                  "[Trash Info]\nPath=/home/u/.cache/" + name.toUtf8() + "\n");
        }
        for (int i = 0; i < 100; ++i)
            write(m_env->home() + QString("/.local/share/applications/app-%1.desktop").arg(i),
                  "[Desktop Entry]\nType=Application\nName=App\nExec=/opt/app\n");
        write(m_env->home() + "/.config/gamma/settings");
        const qint64 before = *readsOfThisThread();
        AppState state;
        QVERIFY(state.isWatchingTrash());
        write(m_staging + "/gamma.AppImage");
        QVERIFY(QFile::rename(m_staging + "/gamma.AppImage", m_files + "/gamma.AppImage"));
        QTRY_VERIFY(state.leftoverReport());
        const qint64 reads = *readsOfThisThread() - before;
        QCOMPARE(state.leftoverReport()->appName, QStringLiteral("gamma"));
        QVERIFY2(reads < 200, qPrintable(QString::number(reads)));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_files, m_info, m_staging;
};

QTEST_GUILESS_MAIN(tst_TrashWatcher)
#include "tst_TrashWatcher.moc"
