#include "app/AppState.h"
#include "app/screens/TabCounts.h"
#include "dashboard/DashboardViewModel.h"
#include "exec/Background.h"
#include "exec/ThreadPriority.h"
#include "finders/AdvancedToolsViewModel.h"
#include "platform/FullDiskAccess.h"
#include "storage/StorageViewModel.h"
#include "support/TestEnvironment.h"

#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class tst_AppState : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        FullDiskAccess::setProbe([] { return true; });
    }
    void cleanup()
    {
        FullDiskAccess::setProbe({});
        m_env.reset();
    }

    void restored_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("tab");
        QTest::newRow("absent") << QVariant() << int(TabNavigation::dashboard);
        QTest::newRow("empty") << QVariant(QString()) << int(TabNavigation::dashboard);
        QTest::newRow("no such tab") << QVariant("settings") << int(TabNavigation::dashboard);
        QTest::newRow("junk") << QVariant("junk") << int(TabNavigation::junk);
        QTest::newRow("deepClean") << QVariant("deepClean") << int(TabNavigation::deepClean);
        QTest::newRow("wrong case") << QVariant("Junk") << int(TabNavigation::dashboard);
    }
    void restored()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, tab);
        if (stored.isValid())
            Preferences::setValue(TabNavigation::defaultsKey, stored);
        AppState state;
        QCOMPARE(int(state.selectedTab()), tab);
    }

    void poolWorkYieldsToTheWindow_data()
    {
        QTest::addColumn<bool>("qtsOwn");
        QTest::newRow("our pool") << false;
        // Qt splits large paints over its shared pool while the main thread waits.
        QTest::newRow("Qt's shared pool") << true;
    }

    // Our work, and what it starts, yields to the main thread: every one of our pool's
    // threads runs at the lower niceness; Qt's pool keeps the main thread's, so the window
    // never waits for pieces of its own paint queued behind our scans.
    void poolWorkYieldsToTheWindow()
    {
        QFETCH(bool, qtsOwn);
        const int base = ::getpriority(PRIO_PROCESS, 0);
        AppState state;
        QThreadPool *pool = qtsOwn ? QThreadPool::globalInstance() : Background::pool();
        QSemaphore started, release;
        QList<int> seen(pool->maxThreadCount());
        for (int i = 0; i < seen.size(); ++i) {
            pool->start([&, i] {
                seen[i] = ::getpriority(PRIO_PROCESS, ::gettid());
                started.release();
                release.acquire();
            });
        }
        QVERIFY(started.tryAcquire(int(seen.size()), 5000));
        release.release(int(seen.size()));
        pool->waitForDone();
        const int expected = qtsOwn ? base : std::max(base, ThreadPriority::kBackgroundNice);
        for (int n : seen)
            QCOMPARE(n, expected);
        QCOMPARE(::getpriority(PRIO_PROCESS, ::gettid()), base);
    }

    void tabOrderAndTexts()
    {
        QStringList raw;
        for (const TabNavigation &t : TabNavigation::allCases())
            raw.append(t.rawValue());
        QCOMPARE(raw, QStringList({"dashboard", "storage", "applications", "docker", "runtimes",
                                   "homebrew", "deepClean", "junk", "duplicates", "largeFiles",
                                   "installers"}));
        const TabNavigation large(TabNavigation::largeFiles);
        QCOMPARE(large.title(), QStringLiteral("Large Files"));
        QCOMPARE(large.subtitle(),
                 QStringLiteral("Files over 50 MB in Downloads, Desktop and Documents"));
        QCOMPARE(large.systemImage(), QStringLiteral("internaldrive.fill"));
        QCOMPARE(TabNavigation(TabNavigation::runtimes).title(),
                 QStringLiteral("Runtimes & Binaries"));
    }

    void selectingATabStoresItAtOnceAndClearsSearch()
    {
        {
            AppState state;
            state.setGlobalSearchText("report");
            QSignalSpy spy(&state, &AppState::selectedTabChanged);
            state.setSelectedTab(TabNavigation::junk);
            QCOMPARE(spy.count(), 1);
            QCOMPARE(Preferences::value("selectedTab").toString(), QStringLiteral("junk"));
            QVERIFY(state.globalSearchText().isEmpty());
        }
        AppState relaunched;
        QCOMPARE(relaunched.selectedTab(), TabNavigation(TabNavigation::junk));
    }

    void constructionDoesNotWriteTheTab()
    {
        AppState state;
        QVERIFY(!Preferences::contains("selectedTab"));
    }

    void scanProgressFromAWorkerThread()
    {
        AppState state;
        QSignalSpy scanning(&state, &AppState::isScanningChanged);
        QThread *worker = QThread::create([&state] {
            state.setScanProgress(true, "first", 10);
            state.setScanProgress(true, "second", 42.5);
        });
        worker->start();
        QVERIFY(worker->wait(5000));
        delete worker;
        // Nothing changes until the main thread runs the queued blocks.
        QVERIFY(!state.isScanning());
        QCOMPARE(state.scanStatusMessage(), QString());
        QTRY_COMPARE(state.scanStatusMessage(), QStringLiteral("second"));
        QVERIFY(state.isScanning());
        QCOMPARE(state.scanPercentage(), 42.5);
        QCOMPARE(scanning.count(), 1);

        state.setScanProgress(false, QString(), 0);
        QVERIFY(state.isScanning());
        QTRY_VERIFY(!state.isScanning());
        QCOMPARE(state.scanPercentage(), 0.0);
    }

    void logFormats_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("stdout") << "stdout" << false << "[stdout] hello world";
        QTest::newRow("stderr") << "stderr" << true << "hello world";
        QTest::newRow("input") << "input" << false << "[input] hello world";
        QTest::newRow("free text") << "whatever" << false << "[whatever] hello world";
    }
    void logFormats()
    {
        QFETCH(QString, type);
        QFETCH(bool, error);
        QFETCH(QString, message);
        AppState state;
        m_env->clearLog();
        state.addLog(type, "hello world");
        const auto log = m_env->log();
        QCOMPARE(log.size(), 1);
        QCOMPARE(log[0].first == SystemLog::Level::Error, error);
        QCOMPARE(log[0].second, message);
    }

    void gateWithoutAccessPollsUntilGranted()
    {
        bool granted = false;
        FullDiskAccess::setProbe([&granted] { return granted; });
        AppState state;
        QVERIFY(!state.hasFullDiskAccess());
        QVERIFY(!state.canScan());
        QVERIFY(state.isPollingForAccess());

        state.setProceedWithoutAccess(true);
        QVERIFY(state.canScan());
        QVERIFY(state.isPollingForAccess());

        granted = true;
        QTRY_VERIFY_WITH_TIMEOUT(state.hasFullDiskAccess(), 5000);
        QVERIFY(!state.isPollingForAccess());
    }

    void grantedAccessNeedsNoTimer()
    {
        AppState state;
        QVERIFY(state.hasFullDiskAccess());
        QVERIFY(state.canScan());
        QVERIFY(!state.isPollingForAccess());
    }

    // One file listed by three tabs goes to the Trash from the storage map, its copy from
    // Large Files: every list, count, the map's totals and the dashboard follow at once.
    void aRemovalAnywhereReachesEveryTab()
    {
        const QString h = m_env->home();
        const QString iso = h + "/Downloads/disk.iso";
        const QString copy = h + "/Documents/disk-copy.iso";
        for (const QString &path : {iso, copy}) {
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(QByteArray(51 << 20, 'i')) == 51 << 20);
            // Written back now: the blocks a file holds settle when it is written out.
            QVERIFY(f.flush() && ::fsync(f.handle()) == 0);
        }
        AppState state;
        const AppStateTabCounts counts(&state);
        DashboardViewModel *dashboard = state.dashboardVM();
        dashboard->fetchMetrics(&state);
        state.duplicatesVM()->scanDuplicates(&state);
        state.largeFilesVM()->scanLargeFiles(&state);
        state.installersVM()->scanInstallers(&state);
        StorageViewModel *map = state.storageVM();
        map->open(h);
        for (TabNavigation tab :
             {TabNavigation::duplicates, TabNavigation::largeFiles, TabNavigation::installers})
            QTRY_COMPARE_WITH_TIMEOUT(counts.count(tab), 2, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!dashboard->isFetching(), 20000);
        QVERIFY(!dashboard->isBreakdownStale());

        const auto entryIn = [&](int column, const QString &name) {
            for (const StorageEntry &e : map->columns().value(column)) {
                if (e.name() == name)
                    return e;
            }
            return StorageEntry();
        };
        QTRY_VERIFY(!entryIn(0, "Downloads").nativePath.isEmpty());
        map->choose(entryIn(0, "Downloads"), 0);
        QTRY_COMPARE(map->columns().size(), 2);
        const StorageEntry shown = entryIn(1, "disk.iso");
        const qint64 documentsBefore = entryIn(0, "Documents").bytes;
        QVERIFY(shown.bytes >= 51 << 20);
        QSignalSpy capacities(&state, &AppState::diskFiguresChanged);

        const QFuture<SafetyHelper::Outcome> moved = map->trash(shown, &state);
        QTRY_VERIFY(moved.isFinished());
        QVERIFY(moved.result().ok);
        // The copy left alone is no duplicate; the other lists keep only the copy.
        QTRY_COMPARE(counts.count(TabNavigation::duplicates), 0);
        QCOMPARE(counts.count(TabNavigation::largeFiles), 1);
        QCOMPARE(state.installersVM()->items().first().path, copy);
        QVERIFY(dashboard->isBreakdownStale());
        QTRY_VERIFY(capacities.count() > 0);

        // The other way round: a removal in another tab corrects the map's totals. The two
        // files' blocks may differ (one may need an extent block the other does not).
        struct stat copyStat;
        QVERIFY(::stat(QFile::encodeName(copy).constData(), &copyStat) == 0);
        const qint64 copyBytes = qint64(copyStat.st_blocks) * 512;
        const QFuture<SafetyHelper::Outcome> second = state.largeFilesVM()->trash(copy, &state);
        QTRY_VERIFY(second.isFinished());
        QVERIFY(second.result().ok);
        QTRY_COMPARE(counts.count(TabNavigation::installers), 0);
        QCOMPARE(counts.count(TabNavigation::largeFiles), 0);
        QTRY_COMPARE(entryIn(0, "Documents").bytes, documentsBefore - copyBytes);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(tst_AppState)
#include "tst_AppState.moc"
