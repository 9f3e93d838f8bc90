#include "app/AppState.h"
#include "cleaning/JunkTableItem.h"
#include "cleaning/JunkViewModel.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class tst_JunkViewModel : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    QString home() const { return m_env->home(); }
    void file(const QString &relative, qint64 bytes)
    {
        const QString path = home() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(QByteArray(bytes, 'j')) == bytes);
    }
    static void settle(JunkViewModel &model)
    {
        model.waitForTasks();
        QCoreApplication::processEvents();
    }
    static void tick(JunkViewModel &model, const QStringList &names)
    {
        for (const JunkCategory &c : model.categories())
            model.setSelected(c.id, names.contains(c.name));
    }
    QStringList infoLog() const
    {
        QStringList lines;
        for (const auto &[level, text] : m_env->log())
            if (text.startsWith("[info] Moved"))
                lines.append(text);
        return lines;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        // Logs and DerivedData have no folder on Linux.
        m_env->editLocations([](Locations &loc) {
            loc.junkAppLogs.clear();
            loc.junkDerivedData.clear();
        });
        file(".cache/app/wheel.bin", 3 << 20);
        file(".cache/pip/pkg.whl", 1 << 20);
        file(".cache/small.txt", 10);
        file(".cache/Homebrew/bottle.tar.gz", 2 << 20);
        file(".cache/mozilla/cache2/entry", 1 << 20);
        // Two items in the Trash, one a link to a file that must outlive emptying it.
        file(".local/share/Trash/files/old.txt", 10);
        file(".local/share/Trash/files/olddir/inner/x", 10);
        file(".local/share/Trash/info/old.txt.trashinfo", 10);
        file(".local/share/Trash/info/olddir.trashinfo", 10);
        file("outside/keep.txt", 10);
        QVERIFY(QFile::link(home() + "/outside", home() + "/.local/share/Trash/files/link"));
    }
    void cleanup() { m_env.reset(); }

    void scanMeasuresEveryCategoryInItsOrder()
    {
        AppState state;
        JunkViewModel model;
        model.scan(&state);
        settle(model);
        const QList<JunkCategory> cats = model.categories();
        QStringList names;
        for (const JunkCategory &c : cats)
            names << c.name;
        // No logs or Xcode folders here: not shown.
        QCOMPARE(names, QStringList({"Application Caches", "Homebrew Cache", "NPM Global Cache",
                                     "Browser Caches", "Thumbnails", "pip Cache", "Yarn Cache",
                                     "Cargo Registry", "Go Build Cache", "Go Module Cache",
                                     "Gradle Caches", "Maven Repository", "Empty Trash"}));
        QCOMPARE(cats.last().itemCount, 3);
        QVERIFY(cats.last().permanent);
        // The caches without the Homebrew, browser and pip folders, which are categories of
        // their own: 3 MiB and change.
        QVERIFY2(cats[0].sizeMB >= 3 && cats[0].sizeMB < 3.1,
                 qPrintable(QString::number(cats[0].sizeMB)));
        QCOMPARE(cats[0].topFiles.size(), 2);
        QCOMPARE(cats[0].topFiles.first().name, QStringLiteral("wheel.bin"));
        QCOMPARE(cats[0].topFiles.first().sizeMB, 3.0);
        QCOMPARE(cats[2].sizeMB, 0.0); // no such folder
        QVERIFY(cats[2].topFiles.isEmpty());
        QVERIFY(!state.isScanning());

        // Largest first; an expanded category's files follow it in the same order.
        const QList<JunkTableItem> rows = JunkTableItem::tableItems(cats, {});
        QCOMPARE(rows.first().name, QStringLiteral("Application Caches"));
        QCOMPARE(rows.at(1).name, QStringLiteral("Homebrew Cache"));
        const QList<JunkTableItem> flat = JunkTableItem::flattenedItems(rows, {rows.first().id});
        QStringList shown;
        for (const JunkTableItem &r : flat)
            shown << r.name;
        QCOMPARE(shown.mid(0, 4),
                 QStringList({"Application Caches", "wheel.bin", "small.txt", "Homebrew Cache"}));
        QVERIFY(!flat.at(1).isCategory);
        QCOMPARE(flat.size(), 13 + 2);
    }

    void clean_data()
    {
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<QStringList>("spared"); // "x:" an excluded folder, "k:" a kept path
        QTest::newRow("nothing ticked")
            << QStringList() << QStringList() << QStringList() << QStringList() << QStringList();
        QTest::newRow("caches and Homebrew")
            << QStringList({"Application Caches", "Homebrew Cache"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 3 items to the Trash in all."})
            << QStringList({".cache/app", ".cache/small.txt", ".cache/Homebrew/bottle.tar.gz"})
            << QStringList({".cache/mozilla/cache2/entry", ".cache/pip/pkg.whl"}) << QStringList();
        // The browser's cache is inside the caches folder: the unticked Homebrew cache stays.
        QTest::newRow("caches and browser")
            << QStringList({"Application Caches", "Browser Caches"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 3 items to the Trash in all."})
            << QStringList({".cache/app", ".cache/small.txt", ".cache/mozilla/cache2"})
            << QStringList({".cache/Homebrew/bottle.tar.gz", ".cache/pip/pkg.whl"})
            << QStringList();
        // The Trash is emptied before this clean moves anything into it.
        QTest::newRow("Empty Trash and pip")
            << QStringList({"pip Cache", "Empty Trash"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 1 items to the Trash in all."})
            << QStringList({".local/share/Trash/files/old.txt", ".local/share/Trash/files/olddir",
                            ".local/share/Trash/files/link",
                            ".local/share/Trash/info/old.txt.trashinfo", ".cache/pip/pkg.whl"})
            << QStringList({"outside/keep.txt", ".cache/app/wheel.bin"}) << QStringList();
        QTest::newRow("a missing folder still counts")
            << QStringList({"NPM Global Cache", "Browser Caches"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 1 items to the Trash in all."})
            << QStringList({".cache/mozilla/cache2"}) << QStringList({".cache/app/wheel.bin"})
            << QStringList();
        // A folder excluded deep inside a category's child keeps that whole child; a kept
        // file stays; what holds neither goes.
        QTest::newRow("excluded folder and kept file")
            << QStringList({"Application Caches"})
            << QStringList({"[info] Moved 1 cache categories to the Trash.",
                            "[info] Moved 1 items to the Trash in all."})
            << QStringList({".cache/gone.bin"})
            << QStringList({".cache/app/wheel.bin", ".cache/app/deep/keep/x", ".cache/small.txt"})
            << QStringList({"x:.cache/app/deep/keep", "k:.cache/small.txt"});
    }
    void clean()
    {
        QFETCH(QStringList, ticked);
        QFETCH(QStringList, logged);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, spared);
        QList<QByteArray> excluded, keep;
        for (const QString &s : spared) {
            if (s.startsWith("x:"))
                file(s.mid(2) + "/x", 10);
            (s.startsWith("x:") ? excluded : keep).append(nativePath(home() + '/' + s.mid(2)));
        }
        if (!spared.isEmpty())
            file(".cache/gone.bin", 10);
        QVERIFY(Exclusions::write(Exclusions::List::ExcludedFolders, excluded).isEmpty());
        QVERIFY(Exclusions::write(Exclusions::List::KeepList, keep).isEmpty());
        AppState state;
        JunkViewModel model;
        model.scan(&state);
        settle(model);
        tick(model, ticked);
        const QList<JunkCategory> before = model.categories();
        QSignalSpy banner(&state, &AppState::scanStatusMessageChanged);
        QSignalSpy finished(&model, &JunkViewModel::cleanFinished);
        m_env->clearLog();

        model.cleanSelected(&state);
        settle(model);

        QStringList lines = infoLog();
        lines.removeIf([](const QString &l) { return l.contains(" items from "); });
        QCOMPARE(lines, logged);
        for (const QString &g : gone)
            QVERIFY2(!QFileInfo::exists(home() + '/' + g), qPrintable(g));
        if (ticked.contains("Empty Trash")) {
            QCOMPARE(finished.first().first().value<JunkViewModel::CleanReport>().deleted, 3);
            QVERIFY(QFileInfo::exists(home() + "/outside/keep.txt"));
            QCOMPARE(QDir(home() + "/.local/share/Trash/files")
                         .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                     QStringList{"pkg.whl"});
            QCOMPARE(QDir(home() + "/.local/share/Trash/info")
                         .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                     QStringList{"pkg.whl.trashinfo"});
        }
        for (const QString &k : kept)
            QVERIFY2(QFileInfo::exists(home() + '/' + k), qPrintable(k));
        QVERIFY(QFileInfo::exists(home() + "/.cache"));
        if (ticked.isEmpty()) {
            QCOMPARE(banner.count(), 0);
            QCOMPARE(finished.count(), 0);
            QCOMPARE(model.categories().first().id, before.first().id); // no re-scan
        } else {
            QCOMPARE(finished.count(), 1);
            QCOMPARE(model.selectedCount(), 0);
            QVERIFY(model.categories().first().id != before.first().id);
            QCOMPARE(model.categories().first().topFiles.isEmpty(),
                     ticked.contains("Application Caches") && spared.isEmpty());
            QCOMPARE(state.scanStatusMessage(), QString());
        }
    }

    void aLinkIsMovedAsTheLink()
    {
        QDir().mkpath(m_env->root() + "/elsewhere");
        QFile keep(m_env->root() + "/elsewhere/keep.txt");
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.close();
        QVERIFY(QFile::link(m_env->root() + "/elsewhere", home() + "/.cache/linked"));
        AppState state;
        JunkViewModel model;
        model.scan(&state);
        settle(model);
        tick(model, {"Application Caches"});
        model.cleanSelected(&state);
        settle(model);
        QVERIFY(!QFileInfo(home() + "/.cache/linked").isSymLink());
        QVERIFY(QFileInfo(m_env->root() + "/elsewhere/keep.txt").isFile());
        QVERIFY(QFileInfo(home() + "/.local/share/Trash/files/linked").isSymLink());
    }

    // Children travel as their bytes: a name that is not valid UTF-8 is not swapped for
    // its look-alike.
    void namesThatAreNotUtf8()
    {
        const QByteArray cache = QFile::encodeName(home()) + "/.cache/";
        for (const QByteArray &name : {QByteArray("a\xff"), QByteArray("a\xef\xbf\xbd")}) {
            const int fd = ::open((cache + name).constData(), O_WRONLY | O_CREAT, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        AppState state;
        JunkViewModel model;
        model.scan(&state);
        settle(model);
        tick(model, {"Application Caches"});
        QSignalSpy finished(&model, &JunkViewModel::cleanFinished);
        model.cleanSelected(&state);
        settle(model);
        const auto report = finished.at(0).at(0).value<JunkViewModel::CleanReport>();
        QCOMPARE(report.moved, 4); // not the Homebrew and browser folders
        QCOMPARE(report.notMoved, 0);
        struct stat st;
        QVERIFY(::lstat((cache + "a\xff").constData(), &st) != 0);
        const QByteArray trash = QFile::encodeName(home()) + "/.local/share/Trash/files/";
        QVERIFY(::lstat((trash + "a\xff").constData(), &st) == 0);
        QVERIFY(::lstat((trash + "a\xef\xbf\xbd").constData(), &st) == 0);
    }

    // A scan that ends while a confirmation is open keeps the ticks; the clean's own
    // re-scan clears them.
    void ticksSurviveAScanWhileHeld()
    {
        AppState state;
        JunkViewModel model;
        model.scan(&state);
        settle(model);
        tick(model, {"Browser Caches"});
        model.holdSelection(true);
        model.scan(&state);
        settle(model);
        model.holdSelection(false);
        QCOMPARE(model.selectedCount(), 1);
        model.scan(&state);
        settle(model);
        QCOMPARE(model.selectedCount(), 0);
    }
};

Q_DECLARE_METATYPE(JunkViewModel::CleanReport)

QTEST_MAIN(tst_JunkViewModel)
#include "tst_JunkViewModel.moc"
