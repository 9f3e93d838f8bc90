#include "app/AppState.h"
#include "dashboard/DashboardViewModel.h"
#include "platform/PlatformTexts.h"

#include "support/FakeBrew.h"
#include "support/FakeTools.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

void writeScript(const QString &path, const QString &body)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(("#!/bin/sh\n" + body + "\n").toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TestDashboardViewModel : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_brew = std::make_unique<FakeBrew>(m_env->filePath("brew"));
        const QString h = m_env->home();
        // du that records each run, then does the real work.
        writeScript(m_env->filePath("du"),
                    "echo run >> '" + m_env->filePath("du-runs") + "'\nexec /usr/bin/du \"$@\"");
        QDir().mkpath(m_env->filePath("links"));
        for (int i = 0; i < 25; ++i)
            QFile::link("/bin/sh", m_env->filePath("links/l%1").arg(i));
        QDir().mkpath(h + "/.pyenv/versions/3.11");
        QDir().mkpath(h + "/.pyenv/versions/3.12");
        m_env->editLocations([this, h](Locations &loc) {
            loc.brewCandidates = {m_brew->path()};
            loc.du = m_env->filePath("du");
            loc.javaCountCommand = "echo 2";
            loc.localBinLinksCountCommand =
                "find '" + m_env->filePath("links") + "' -type l | head -n 20 | wc -l";
            loc.pyenvVersions = h + "/.pyenv/versions";
            loc.condaEnvs = h + "/.conda/envs";
            loc.groupApps = {h + "/apps"};
            loc.groupDeveloper = {h + "/.cargo"};
            loc.groupCaches = {h + "/.cache"};
            loc.groupDocker = {h + "/.docker", h + "/.local/share/docker"};
            loc.groupBrew = {h + "/brew"};
            loc.groupDownloads = {h + "/Downloads"};
            loc.groupMedia = {h + "/Music"};
            loc.groupDocuments = {h + "/Documents", h + "/Documents/inner"};
            loc.groupTrash = {h + "/.local/share/Trash"};
            loc.groupLibrary = {h + "/.config", h + "/.local"};
        });
    }
    void cleanup()
    {
        DashboardViewModel::setDiskUsageReader({});
        m_brew.reset();
        m_env.reset();
    }

    // Without Homebrew the card counts the system's upgradable packages, read from the lists
    // as they are (apt list --upgradable, nothing refreshed), and names them.
    void outdatedPackagesWithoutHomebrew()
    {
        FakeTools tools(m_env->root() + "/tools");
        m_env->editLocations([&](Locations &loc) {
            loc.brewCandidates = {m_env->root() + "/no-brew/brew"};
            loc.apt = tools.tool("apt");
        });
        tools.answer("apt",
                     "Listing...\n"
                     "curl/stable-security 7.88.1-10+deb12u8 amd64 [upgradable from: "
                     "7.88.1-10+deb12u7]\n"
                     "libc6/stable 2.36-9+deb12u9 amd64 [upgradable from: 2.36-9+deb12u8]\n");
        AppState appState;
        DashboardViewModel *model = appState.dashboardVM();
        QSignalSpy done(model, &DashboardViewModel::diskCategoriesChanged);
        model->fetchMetrics(&appState);
        QVERIFY(done.wait(20000));
        QCOMPARE(model->outdatedTitle(), "Outdated Packages");
        QCOMPARE(model->outdatedBrewsStr(), "2 Packages");
        QCOMPARE(model->outdatedPackages(),
                 QStringList({"curl 7.88.1-10+deb12u7 → 7.88.1-10+deb12u8",
                              "libc6 2.36-9+deb12u8 → 2.36-9+deb12u9"}));
        QCOMPARE(tools.calls(), QList<QStringList>({{"apt", "list", "--upgradable"}}));
        QVERIFY(m_brew->calls().isEmpty());
    }

    void fetch_figuresAndDigest_data()
    {
        QTest::addColumn<QString>("caches");
        QTest::addColumn<int>("outdated");
        QTest::addColumn<int>("brewExit");
        QTest::addColumn<QString>("cacheText");
        QTest::addColumn<QString>("brewText");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("descEnd");
        const QString smooth = PlatformTexts::text("Your Mac is running smoothly.");
        QTest::newRow("1000 MB") << "1000\t/c" << 0 << 0 << "1000.00 MB"
                                 << "0 Packages"
                                 << "System Healthy"
                                 << "\n" + smooth;
        QTest::newRow("1000.1 MB")
            << "1000.1\t/c" << 0 << 0 << "1000.10 MB"
            << "0 Packages"
            << "Large Cache Detected"
            << "\nYou have over 1GB of caches. Consider running Junk Cleaner.";
        QTest::newRow("du printed nothing") << "" << 0 << 0 << "Unknown"
                                            << "0 Packages"
                                            << "System Healthy" << smooth;
        QTest::newRow("brew failing") << "5\t/c" << 0 << 1 << "5.00 MB"
                                      << "N/A"
                                      << "System Healthy"
                                      << "\n" + smooth;
        QTest::newRow("one outdated") << "5\t/c" << 1 << 0 << "5.00 MB"
                                      << "1 Package"
                                      << "System Healthy"
                                      << "\n" + smooth;
        QTest::newRow("ten outdated") << "5\t/c" << 10 << 0 << "5.00 MB"
                                      << "10 Packages"
                                      << "System Healthy"
                                      << "\n" + smooth;
        QTest::newRow("eleven outdated")
            << "5\t/c" << 11 << 0 << "5.00 MB"
            << "11 Packages"
            << "Updates Available"
            << "You have 11 outdated packages. Consider running brew upgrade.";
    }
    void fetch_figuresAndDigest()
    {
        QFETCH(QString, caches);
        QFETCH(int, outdated);
        QFETCH(int, brewExit);
        QFETCH(QString, cacheText);
        QFETCH(QString, brewText);
        QFETCH(QString, title);
        QFETCH(QString, descEnd);
        m_env->editLocations([&](Locations &loc) {
            loc.cachesCommand = "printf '" + QString(caches).replace("\t", "\\t") + "'";
        });
        QByteArray lines;
        for (int i = 0; i < outdated; ++i)
            lines += "pkg" + QByteArray::number(i) + "\n\n";
        m_brew->answer("outdated", lines, brewExit);

        AppState appState;
        DashboardViewModel *model = appState.dashboardVM();
        QSignalSpy done(model, &DashboardViewModel::diskCategoriesChanged);
        model->fetchMetrics(&appState);
        QVERIFY(done.wait(20000));
        QCOMPARE(model->cleanableCacheStr(), cacheText);
        QCOMPARE(model->outdatedBrewsStr(), brewText);
        QCOMPARE(model->weeklyDigestTitle(), title);
        QVERIFY2(model->weeklyDigestDesc().endsWith(descEnd),
                 qPrintable(model->weeklyDigestDesc()));
        QCOMPARE(model->runtimesStr(), QString("24 Envs")); // 2 + 2 + 0 + 20 of 25 links
        QCOMPARE(m_brew->calls().first().arguments, QStringList({"outdated", "--quiet"}));
        QCOMPARE(m_brew->calls().first().noAutoUpdate, QString("1"));
        // The launch load had no capacities: they were asked for first.
        QVERIFY(appState.diskTotalGB() > 0);
    }

    // A home on a dead network mount: its capacities are asked for off the main thread,
    // stay unknown past the time limit while the rest is measured, and show when they come.
    void capacitiesNeverWaitedForOnTheMainThread()
    {
        auto answer = std::make_shared<QSemaphore>();
        auto askedOn = std::make_shared<std::atomic<QThread *>>(nullptr);
        DashboardViewModel::setDiskUsageReader([answer, askedOn](const QString &) {
            *askedOn = QThread::currentThread();
            answer->tryAcquire(1, 5000);
            return std::optional<DiskSpace>({qint64(500e9), qint64(300e9), qint64(190e9)});
        });
        DashboardViewModel::setDiskUsageTimeoutMs(300);
        AppState appState;
        DashboardViewModel *model = appState.dashboardVM();
        QSignalSpy done(model, &DashboardViewModel::diskCategoriesChanged);
        model->fetchMetrics(&appState);
        QTRY_VERIFY(askedOn->load());
        QVERIFY(askedOn->load() != QThread::currentThread());
        QVERIFY(done.wait(20000));
        QVERIFY(model->isDiskUsageUnknown());
        QCOMPARE(appState.diskTotalGB(), 0.0);
        answer->release();
        QTRY_COMPARE(appState.diskTotalGB(), 500.0);
        QCOMPARE(appState.diskUsedGB(), 300.0);
        QVERIFY(!model->isDiskUsageUnknown());
    }

    void breakdown_countsEachByteOnce_data()
    {
        QTest::addColumn<int>("trashMB");
        QTest::addColumn<int>("configMB");
        QTest::addColumn<double>("library");
        // .config 10 + .cache 200 + .local 300 + .cargo 40, less caches 200, developer 40,
        // docker 50 and the Trash 100 inside .local.
        QTest::newRow("parts inside") << 100 << 10 << 160.0;
        // Library smaller than its parts: nothing, never below.
        QTest::newRow("smaller than parts") << 400 << 0 << 0.0;
    }
    void breakdown_countsEachByteOnce()
    {
        QFETCH(int, trashMB);
        QFETCH(int, configMB);
        QFETCH(double, library);
        const QString h = "/h";
        const QList<DashboardViewModel::Group> groups = {
            {"developer", {h + "/.cargo"}},
            {"caches", {h + "/.cache"}},
            {"docker", {h + "/.docker", h + "/.local/share/docker"}},
            {"trash", {h + "/.local/share/Trash"}},
            {"library", {h + "/.config", h + "/.local"}},
        };
        const QHash<QString, double> sizes = {
            {h + "/.cargo", 40},
            {h + "/.cache", 200},
            {h + "/.local/share/docker", 50},
            {h + "/.local/share/Trash", double(trashMB)},
            {h + "/.config", double(configMB)},
            {h + "/.local", 300},
        };
        const QList<double> rests = DashboardViewModel::disjointSizes(groups, sizes);
        QCOMPARE(rests.at(3), double(trashMB));
        QCOMPARE(rests.at(4), library);
    }

    void breakdown_measuresOnceAndConvertsUnits()
    {
        const QString h = m_env->home();
        for (const char *dir :
             {"/.cache", "/.local/share/Trash/files", "/Documents/inner", "/apps"})
            QDir().mkpath(h + dir);
        QFile big(h + "/.local/share/Trash/files/big");
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(QByteArray(3 * 1024 * 1024, 't'));
        big.close();

        const QList<DiskCategory> categories = DashboardViewModel::diskBreakdown(1000);
        QCOMPARE(categories.size(), 11);
        QCOMPARE(categories.at(8).name, QString("Trash"));
        QVERIFY(categories.at(8).sizeGB * 1024 >= 3);
        // Counted in the Trash, not again in Library (which holds ~/.local).
        QVERIFY(categories.at(9).sizeGB * 1024 < 1);
        // 1000 decimal GB are 931.3 of the categories' gigabytes.
        QCOMPARE(categories.last().name, QString("System"));
        const double counted = [&] {
            double sum = 0;
            for (int i = 0; i < 10; ++i)
                sum += categories.at(i).sizeGB;
            return sum;
        }();
        QVERIFY(qAbs(categories.last().sizeGB + counted - 931.32) < 0.01);
        QCOMPARE(DashboardViewModel::diskBreakdown(0).last().sizeGB, 0.0);
    }

    // The table's own groups, each holding a figure of its own: every one shows it, none
    // takes another's.
    void breakdown_aFigureInEveryGroup()
    {
        const QString h = m_env->home();
        const Locations table = Locations::forOs(Locations::Os::Linux, h);
        m_env->editLocations([h, &table](Locations &loc) {
            loc.groupApps = {h + "/Applications"};
            loc.groupBrew = {h + "/linuxbrew"};
            for (QStringList Locations::*group :
                 {&Locations::groupDeveloper, &Locations::groupCaches, &Locations::groupDocker,
                  &Locations::groupDownloads, &Locations::groupMedia, &Locations::groupDocuments,
                  &Locations::groupTrash, &Locations::groupLibrary})
                loc.*group = table.*group;
        });
        const Locations &loc = Locations::current();
        const QList<QPair<QString, QString>> placed = {
            {"Apps", loc.groupApps.first()},     {"Developer", loc.groupDeveloper.first()},
            {"Caches", loc.groupCaches.first()}, {"Docker", loc.groupDocker.first()},
            {"Brew", loc.groupBrew.first()},     {"Downloads", loc.groupDownloads.first()},
            {"Media", loc.groupMedia.first()},   {"Documents", loc.groupDocuments.first()},
            {"Trash", loc.groupTrash.first()},   {"Library", loc.groupLibrary.first()},
        };
        for (int i = 0; i < placed.size(); ++i) {
            QVERIFY(QDir().mkpath(placed.at(i).second));
            QFile f(placed.at(i).second + "/figure");
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.write(QByteArray((i + 1) * 1024 * 1024 - 65536, 'f')) > 0);
        }
        const QList<DiskCategory> categories = DashboardViewModel::diskBreakdown(0);
        for (int i = 0; i < placed.size(); ++i) {
            const auto shown =
                std::find_if(categories.begin(), categories.end(),
                             [&](const DiskCategory &c) { return c.name == placed.at(i).first; });
            QVERIFY(shown != categories.end());
            const double mb = shown->sizeGB * 1024;
            QVERIFY2(mb >= i + 1 && mb <= i + 2,
                     qPrintable(shown->name + ": " + QString::number(mb)));
        }
    }

    void fetch_whileRunningStartsNoSecondWalk()
    {
        const QString h = m_env->home();
        for (const char *dir : {"/apps", "/.cache", "/Downloads"})
            QDir().mkpath(h + dir);
        m_env->editLocations([](Locations &loc) { loc.cachesCommand = "sleep 0.3; echo 1"; });
        AppState appState;
        DashboardViewModel *model = appState.dashboardVM();
        QSignalSpy done(model, &DashboardViewModel::diskCategoriesChanged);
        model->fetchMetrics(&appState);
        model->fetchMetrics(&appState);
        QVERIFY(done.wait(20000));
        QTest::qWait(200);
        QCOMPARE(done.size(), 1);
        QFile runs(m_env->filePath("du-runs"));
        QVERIFY(runs.open(QIODevice::ReadOnly));
        // One run for each group with a folder: apps, caches, downloads, library, and the
        // Trash, whose folders the state object's Trash watcher makes.
        QCOMPARE(runs.readAll().count("run"), 5);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeBrew> m_brew;
};

QTEST_GUILESS_MAIN(TestDashboardViewModel)
#include "tst_DashboardViewModel.moc"
