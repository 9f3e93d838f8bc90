#include "app/AppState.h"
#include "exec/ProcessRunner.h"
#include "homebrew/Brew.h"
#include "homebrew/BrewListing.h"
#include "homebrew/HomebrewViewModel.h"
#include "platform/Preferences.h"

#include "homebrew/BrewAnswers.h"
#include "support/FakeBrew.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

void writeFile(const QString &path, qint64 bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'b'));
}

const BrewPackage *find(const QList<BrewPackage> &packages, const QString &name, bool cask)
{
    for (const BrewPackage &p : packages) {
        if (p.name == name && p.isCask() == cask)
            return &p;
    }
    return nullptr;
}

} // namespace

class TestBrew : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_brew = std::make_unique<FakeBrew>(m_env->filePath("brew"));
        QDir().mkpath(m_brew->prefix() + "/Cellar");
        m_env->editLocations([this](Locations &loc) {
            loc.brewCandidates = {m_brew->path(), m_env->filePath("missing/bin/brew")};
        });
    }
    void cleanup()
    {
        m_brew.reset();
        m_env.reset();
    }

    void command_reachesBrewUnchanged_data()
    {
        QTest::addColumn<QString>("word");
        const QString marker = QDir::tempPath() + "/quillmar-brew-ran";
        QTest::newRow("quote") << "it's";
        QTest::newRow("semicolon") << "x; touch " + marker;
        QTest::newRow("substitution") << "$(touch " + marker + ")";
        QTest::newRow("backtick") << "`touch " + marker + "`";
        QTest::newRow("line feed") << "one\ntwo";
        QTest::newRow("leading dash and quotes") << "--\"x\"'y'";
        QTest::newRow("empty") << "";
    }
    void command_reachesBrewUnchanged()
    {
        QFETCH(QString, word);
        const QString marker = QDir::tempPath() + "/quillmar-brew-ran";
        QFile::remove(marker);
        const RunResult result = ProcessRunner::runCommand(Brew::command({"info", word}));
        QCOMPARE(result.exitCode, 0);
        const QList<FakeBrew::Call> calls = m_brew->calls();
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.first().arguments, QStringList({"info", word}));
        QVERIFY(!QFile::exists(marker));
    }

    void path_followsCustomSetting_data()
    {
        QTest::addColumn<QString>("custom");
        QTest::addColumn<bool>("used");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("relative") << "bin/brew" << false;
        QTest::newRow("not executable") << "plain" << false;
        QTest::newRow("folder") << "folder" << false;
        QTest::newRow("runnable") << "runnable" << true;
    }
    void path_followsCustomSetting()
    {
        QFETCH(QString, custom);
        QFETCH(bool, used);
        writeFile(m_env->filePath("plain"), 10);
        QDir().mkpath(m_env->filePath("folder"));
        QFile::copy(m_brew->path(), m_env->filePath("runnable"));
        const QString value =
            custom.isEmpty() || custom.startsWith("bin/") ? custom : m_env->filePath(custom);
        Preferences::setValue(Brew::customPathKey, value);
        QCOMPARE(Brew::path(), used ? value : m_brew->path());
    }

    void path_fallsBackToLastCandidateUnchecked()
    {
        QFile::remove(m_brew->path());
        QCOMPARE(Brew::path(), m_env->filePath("missing/bin/brew"));
        QCOMPARE(Brew::prefix("/opt/homebrew/bin/brew"), QString("/opt/homebrew"));
        QCOMPARE(Brew::prefix("/bin/brew"), QString("/"));
    }

    void scan_readsPackages_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("cask");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("onRequest");
        QTest::addColumn<bool>("pinned");
        QTest::addColumn<bool>("outdated");
        QTest::addColumn<double>("minMB");
        QTest::addColumn<double>("maxMB");
        QTest::addColumn<qint64>("installedSecs"); // -1: from the disk, 0: none
        // The linked keg, not the first listed, and its own folder's size.
        QTest::newRow("linked keg")
            << "wget" << false << "1.2" << true << true << true << 1.0 << 1.2 << qint64(1700000000);
        QTest::newRow("dependency") << "libidn2" << false << "2.3" << false << false << false << 0.0
                                    << 0.0 << qint64(1650000000);
        QTest::newRow("newest keg without a link")
            << "kegs" << false << "2" << true << false << false << 0.0 << 0.0 << qint64(0);
        QTest::newRow("never installed")
            << "ghost" << false << "Unknown" << true << false << false << 0.0 << 0.0 << qint64(0);
        QTest::newRow("wrong types")
            << "Unknown" << false << "Unknown" << true << false << false << 0.0 << 0.0 << qint64(0);
        QTest::newRow("climbing name")
            << ".." << false << "evil" << true << false << false << 0.0 << 0.0 << qint64(1);
        // The installed version, not the one the tap offers now.
        QTest::newRow("cask") << "docker" << true << "4.28" << true << false << true << 2.0 << 2.2
                              << qint64(1710000000);
        QTest::newRow("cask without installed text")
            << "fresh" << true << "2.0" << true << false << false << 0.0 << 0.0 << qint64(0);
    }
    void scan_readsPackages()
    {
        QFETCH(QString, name);
        QFETCH(bool, cask);
        QFETCH(QString, version);
        QFETCH(bool, onRequest);
        QFETCH(bool, pinned);
        QFETCH(bool, outdated);
        QFETCH(double, minMB);
        QFETCH(double, maxMB);
        QFETCH(qint64, installedSecs);
        const QString prefix = m_brew->prefix();
        writeFile(prefix + "/Cellar/wget/1.0/bin/wget", 3 * 1024 * 1024);
        writeFile(prefix + "/Cellar/wget/1.2/bin/wget", 1024 * 1024 + 100);
        writeFile(prefix + "/Caskroom/docker/4.28/Docker.app/blob", 2 * 1024 * 1024);
        // What "..", "evil" would reach: must not be measured.
        writeFile(prefix + "/evil/big", 5 * 1024 * 1024);
        m_brew->answer("outdated", outdatedJson);
        m_brew->answer("installed", installedJson);

        AppState appState;
        HomebrewViewModel *model = appState.homebrewVM();
        QSignalSpy published(model, &HomebrewViewModel::packagesChanged);
        model->scanHomebrew(&appState);
        QVERIFY(published.wait(10000));
        QVERIFY(model->isBrewInstalled());
        const QList<BrewPackage> packages = model->packages();
        QCOMPARE(packages.size(), 8);
        const BrewPackage *p = find(packages, name, cask);
        QVERIFY(p);
        QCOMPARE(p->version, version);
        QCOMPARE(p->onRequest, onRequest);
        QCOMPARE(p->isPinned, pinned);
        QCOMPARE(p->isOutdated, outdated);
        QVERIFY2(p->sizeMB >= minMB && p->sizeMB <= maxMB, qPrintable(QString::number(p->sizeMB)));
        if (installedSecs > 0)
            QCOMPARE(p->installedDate->toSecsSinceEpoch(), installedSecs);
        else
            QCOMPARE(p->installedDate.has_value(), installedSecs < 0);
        if (minMB > 0)
            QVERIFY(p->modifiedDate.contains('/'));
        else if (!cask || p->sizeMB == 0)
            QCOMPARE(p->modifiedDate, QString("Unknown"));

        // Read-only runs never let brew update itself first.
        const QList<FakeBrew::Call> calls = m_brew->calls();
        QCOMPARE(calls.size(), 3);
        for (const FakeBrew::Call &call : calls)
            QCOMPARE(call.noAutoUpdate, QString("1"));
    }

    void scan_withoutBrewKeepsList()
    {
        m_brew->answer("installed", installedJson);
        AppState appState;
        HomebrewViewModel *model = appState.homebrewVM();
        QSignalSpy published(model, &HomebrewViewModel::packagesChanged);
        model->scanHomebrew(&appState);
        QVERIFY(published.wait(10000));
        const int count = model->packages().size();
        QVERIFY(count > 0);

        m_brew->answer("version", "", 1);
        QSignalSpy gone(model, &HomebrewViewModel::isBrewInstalledChanged);
        model->scanHomebrew(&appState);
        QVERIFY(gone.wait(10000));
        QVERIFY(!model->isBrewInstalled());
        QCOMPARE(model->packages().size(), count);
        QCOMPARE(m_brew->calls().size(), 4); // nothing after the failed "--version"
    }

    void scan_asksPrefixOnceWhenNoCellar()
    {
        QDir(m_brew->prefix() + "/Cellar").removeRecursively();
        const QString elsewhere = m_env->filePath("real");
        writeFile(elsewhere + "/Cellar/libidn2/2.3/lib", 1024 * 1024);
        m_brew->answer("prefix", elsewhere.toUtf8() + "\n");
        m_brew->answer("installed", installedJson);
        const HomebrewViewModel::ScanResult result = HomebrewViewModel::collect(nullptr);
        const BrewPackage *p = find(result.packages, "libidn2", false);
        QVERIFY(p);
        QCOMPARE(p->path, elsewhere + "/Cellar/libidn2/2.3");
        QVERIFY(p->sizeMB >= 1.0);
        int asked = 0;
        for (const FakeBrew::Call &call : m_brew->calls())
            asked += call.arguments == QStringList{"--prefix"};
        QCOMPARE(asked, 1);
    }

    void listing_filtersAndSorts_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("sort");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        using F = BrewListing::FilterType;
        using S = BrewListing::PackageSort;
        QTest::newRow("name, case-insensitive")
            << int(F::all) << int(S::name) << ""
            << QStringList{"alpha", "Beta", "cask", "dep", "zed"};
        QTest::newRow("largest") << int(F::all) << int(S::largest) << ""
                                 << QStringList{"dep", "cask", "zed", "Beta", "alpha"};
        QTest::newRow("newest, undated last") << int(F::all) << int(S::newest) << ""
                                              << QStringList{"cask", "Beta", "zed", "alpha", "dep"};
        QTest::newRow("oldest, undated last") << int(F::all) << int(S::oldest) << ""
                                              << QStringList{"zed", "Beta", "cask", "alpha", "dep"};
        QTest::newRow("leaves") << int(F::leaves) << int(S::name) << ""
                                << QStringList{"alpha", "Beta", "cask", "zed"};
        QTest::newRow("dependencies")
            << int(F::dependencies) << int(S::name) << "" << QStringList{"dep"};
        QTest::newRow("updates") << int(F::updates) << int(S::name) << "" << QStringList{"Beta"};
        QTest::newRow("pinned") << int(F::pinned) << int(S::name) << "" << QStringList{"zed"};
        QTest::newRow("casks") << int(F::casks) << int(S::name) << "" << QStringList{"cask"};
        QTest::newRow("formulae searched")
            << int(F::formulae) << int(S::name) << "E" << QStringList{"Beta", "dep", "zed"};
    }
    void listing_filtersAndSorts()
    {
        QFETCH(int, filter);
        QFETCH(int, sort);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        const auto make = [](const QString &name, double mb, std::optional<qint64> secs) {
            BrewPackage p;
            p.name = name;
            p.sizeMB = mb;
            if (secs)
                p.installedDate = QDateTime::fromSecsSinceEpoch(*secs);
            return p;
        };
        QList<BrewPackage> packages = {make("zed", 30, 100), make("alpha", 10, std::nullopt),
                                       make("Beta", 20, 200), make("dep", 50, std::nullopt),
                                       make("cask", 40, 300)};
        packages[0].isPinned = true;
        packages[2].isOutdated = true;
        packages[3].onRequest = false;
        packages[4].type = "Cask";
        QStringList names;
        for (const BrewPackage &p : BrewListing::listing(packages, BrewListing::FilterType(filter),
                                                         search, BrewListing::PackageSort(sort)))
            names.append(p.name);
        QCOMPARE(names, expected);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeBrew> m_brew;
};

QTEST_GUILESS_MAIN(TestBrew)
#include "tst_Brew.moc"
