#include "app/AppState.h"
#include "cleaning/JunkTableItem.h"
#include "cleaning/JunkViewModel.h"
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
        file(".cache/pip/wheel.bin", 3 << 20);
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
        QCOMPARE(names, QStringList({"Application Caches", "Application Logs", "Xcode DerivedData",
                                     "Homebrew Cache", "NPM Global Cache", "Browser Caches",
                                     "Thumbnails", "pip Cache", "Yarn Cache", "Cargo Registry",
                                     "Go Build Cache", "Go Module Cache", "Gradle Caches",
                                     "Maven Repository", "Empty Trash"}));
        QCOMPARE(cats.last().itemCount, 3);
        QVERIFY(cats.last().permanent);
        // The caches hold 6 MiB and change; du rounds up and counts the folders too.
        QVERIFY2(cats[0].sizeMB >= 6 && cats[0].sizeMB <= 8,
                 qPrintable(QString::number(cats[0].sizeMB)));
        QCOMPARE(cats[0].topFiles.size(), 4);
        QCOMPARE(cats[0].topFiles.first().name, QStringLiteral("wheel.bin"));
        QCOMPARE(cats[0].topFiles.first().sizeMB, 3.0);
        // No folder on this system, and a folder that does not exist: listed, 0, no files.
        for (int i : {1, 2, 4}) {
            QCOMPARE(cats[i].sizeMB, 0.0);
            QVERIFY(cats[i].topFiles.isEmpty());
        }
        QVERIFY(!state.isScanning());

        // Largest first; an expanded category's files follow it in the same order.
        const QList<JunkTableItem> rows = JunkTableItem::tableItems(cats, {});
        QCOMPARE(rows.first().name, QStringLiteral("Application Caches"));
        QCOMPARE(rows.at(1).name, QStringLiteral("pip Cache"));
        const QList<JunkTableItem> flat = JunkTableItem::flattenedItems(rows, {rows.first().id});
        QStringList shown;
        for (const JunkTableItem &r : flat)
            shown << r.name;
        QCOMPARE(shown.mid(0, 6), QStringList({"Application Caches", "wheel.bin", "bottle.tar.gz",
                                               "entry", "small.txt", "pip Cache"}));
        QVERIFY(!flat.at(1).isCategory);
        QCOMPARE(flat.size(), 15 + 4);
    }

    void clean_data()
    {
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("nothing ticked") << QStringList() << QStringList() << QStringList();
        QTest::newRow("caches and Homebrew")
            << QStringList({"Application Caches", "Homebrew Cache"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 4 items to the Trash in all."})
            << QStringList({".cache/pip", ".cache/small.txt", ".cache/Homebrew", ".cache/mozilla"});
        // The Trash is emptied before this clean moves anything into it.
        QTest::newRow("Empty Trash and pip")
            << QStringList({"pip Cache", "Empty Trash"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 1 items to the Trash in all."})
            << QStringList({".local/share/Trash/files/old.txt", ".local/share/Trash/files/olddir",
                            ".local/share/Trash/files/link",
                            ".local/share/Trash/info/old.txt.trashinfo", ".cache/pip/wheel.bin"});
        QTest::newRow("a missing folder still counts")
            << QStringList({"NPM Global Cache", "Browser Caches"})
            << QStringList({"[info] Moved 2 cache categories to the Trash.",
                            "[info] Moved 1 items to the Trash in all."})
            << QStringList({".cache/mozilla/cache2"});
    }
    void clean()
    {
        QFETCH(QStringList, ticked);
        QFETCH(QStringList, logged);
        QFETCH(QStringList, gone);
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
                     QStringList{"wheel.bin"});
            QCOMPARE(QDir(home() + "/.local/share/Trash/info")
                         .entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                     QStringList{"wheel.bin.trashinfo"});
        }
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
                     ticked.contains("Application Caches"));
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
        QCOMPARE(report.moved, 6);
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
