#include "app/AppState.h"
#include "exec/RecentlyRemovedViewModel.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/DuplicateGroup.h"
#include "finders/FinderScans.h"
#include "platform/FullDiskAccess.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <filesystem>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool zombie(const QByteArray &pid)
{
    QFile stat("/proc/" + pid + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] == 'Z';
}

} // namespace

class tst_AdvancedToolsViewModel : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    Locations m_loc;

    QString home() const { return m_env->home(); }

    QString script(const QString &name, const QString &body)
    {
        const QString path = m_env->root() + "/tools/" + name;
        QDir().mkpath(m_env->root() + "/tools");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(("#!/bin/sh\n" + body + "\n").toUtf8()) < 0)
            qFatal("cannot write %s", qPrintable(path));
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }
    QString file(const QString &relative, const QByteArray &data, qint64 size = -1)
    {
        const QString path = home() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) < 0 || (size >= 0 && !f.resize(size)))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    void apply() { Locations::setCurrent(m_loc); }

    // Runs one scan on a fresh model, waits for its one published list and the end of
    // its status.
    QList<FileItem> scan(AppState &state, void (AdvancedToolsViewModel::*start)(AppHost *),
                         QStringList *messages)
    {
        AdvancedToolsViewModel model;
        QSignalSpy items(&model, &AdvancedToolsViewModel::itemsChanged);
        QSignalSpy status(&state, &AppState::scanStatusMessageChanged);
        (model.*start)(&state);
        model.waitForTasks();
        // The list and the status end are both queued by now.
        QCoreApplication::processEvents();
        if (items.count() != 1 || state.isScanning())
            qWarning("scan did not publish once and end");
        // The stages and the end; the counts found between them come and go.
        for (const auto &args : status) {
            if (!args.at(0).toString().contains(" · "))
                messages->append(args.at(0).toString());
        }
        messages->append(QString::number(items.count()));
        return model.items();
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        FullDiskAccess::setProbe([] { return true; });
        m_loc = Locations::forOs(Locations::Os::Linux, home());
        apply();
    }
    void cleanup()
    {
        FullDiskAccess::setProbe({});
        m_env.reset();
    }

    void sizeBands_data()
    {
        QTest::addColumn<double>("mb");
        QTest::addColumn<QString>("band");
        QTest::newRow("700 MiB") << 700.0 << "50 - 500 MB";
        QTest::newRow("1000 MiB") << 1000.0 << "50 - 500 MB";
        QTest::newRow("1000.5 MiB") << 1000.5 << "1 - 5 GB";
        QTest::newRow("1024 MiB") << 1024.0 << "1 - 5 GB";
        QTest::newRow("5000 MiB") << 5000.0 << "1 - 5 GB";
        QTest::newRow("5000.5 MiB") << 5000.5 << "> 5 GB";
    }
    void sizeBands()
    {
        QFETCH(double, mb);
        QFETCH(QString, band);
        QCOMPARE(FinderScans::sizeBand(mb), band);
    }

    void largeFilesMeasuresEachFoundFile()
    {
        const QString a = file("Downloads/a.iso", QByteArray(1048577, 'a'));
        const QString b = file("Desktop/b.mov", QByteArray(3 * 1048576, 'b'));
        const QString c = file("Documents/deep/c.dmg", {}, 60 * 1048576); // sparse
        const QString args = m_env->root() + "/find-args";
        m_loc.find = script("find", QString("for a in \"$@\"; do echo \"$a\" >> %1; done\n"
                                            "printf '%s\\0\\0%s\\0%s\\0%s\\0' %2 %3 %4 %5")
                                        .arg(args, c, b, a, home() + "/gone.bin"));
        apply();
        AppState state;
        QStringList messages;
        const auto items = scan(state, &AdvancedToolsViewModel::scanLargeFiles, &messages);

        QFile argFile(args);
        QVERIFY(argFile.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(argFile.readAll()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"-H", home() + "/Downloads", home() + "/Desktop",
                              home() + "/Documents", "-type", "f", "-size", "+50M", "-print0"}));
        // Discovery order; sizes are the files' own byte counts, as the preview shows them
        // (not the blocks they hold); a listed path that is gone by the end of the scan is
        // dropped.
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0], (FileItem{c, "50 - 500 MB", QString(), 60, std::nullopt, c.toUtf8(),
                                     *FileIdentity::read(c.toUtf8())}));
        QCOMPARE(items[1].sizeMB, 3.0);
        QCOMPARE(items[2].sizeMB, 1048577 / 1048576.0);
        QCOMPARE(messages, QStringList({"Scanning for files >50MB...", "", "1"}));
    }

    // Stopped from the banner, a scan keeps what it found so far and says it is incomplete.
    void stoppedScanKeepsWhatItFound()
    {
        const QString a = file("Downloads/a.iso", QByteArray(10, 'a'));
        const QString b = file("Downloads/b.iso", QByteArray(10, 'b'));
        m_loc.find =
            script("find",
                   QString("printf '%s\\0%s\\0%s' %1 %2 %3/half\nexec sleep 30").arg(a, b, home()));
        apply();
        AppState state;
        AdvancedToolsViewModel model;
        model.scanLargeFiles(&state);
        QTRY_VERIFY(state.canStopScan());
        QTest::qWait(100); // the two names are printed
        state.stopScan();
        QTRY_VERIFY_WITH_TIMEOUT(!model.isScanRunning(), 5000);
        QTRY_VERIFY(!state.isScanning());
        QCOMPARE(model.items().size(), 2);
        QCOMPARE(model.items().last().path, b);
        QVERIFY(model.isIncomplete());
    }

    // A name that is not valid UTF-8 beside its look-alike: the row is the big file, its
    // size is that file's, and removing the row moves that file and nothing else.
    void largeFilesCarryTheNamesBytes()
    {
        const QByteArray folder = (home() + "/Downloads/").toUtf8();
        QDir().mkpath(home() + "/Downloads");
        const QByteArray movie = folder + "movie\xff.mkv";
        const QByteArray lookAlike = folder + "movie\xef\xbf\xbd.mkv";
        auto write = [](const QByteArray &path, const QByteArray &data) {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const bool ok = fd >= 0 && ::write(fd, data.constData(), data.size()) == data.size();
            if (fd >= 0)
                ::close(fd);
            return ok;
        };
        QVERIFY(write(movie, QByteArray(51 * 1048576, 'm')));
        QVERIFY(write(lookAlike, "tiny"));
        AppState state;
        QStringList messages;
        AdvancedToolsViewModel model;
        model.scanLargeFiles(&state);
        model.waitForTasks();
        QTRY_COMPARE(model.items().size(), 1);
        const FileItem row = model.items().first();
        QCOMPARE(row.nativePath, movie);
        QCOMPARE(row.sizeMB, 51.0);

        model.trash(row.path, &state);
        model.waitForTasks();
        QTRY_VERIFY(model.items().isEmpty());
        struct stat st;
        QCOMPARE(::lstat(movie.constData(), &st), -1);
        QCOMPARE(::lstat(lookAlike.constData(), &st), 0);
        QCOMPARE(qint64(st.st_size), qint64(4));
        const QByteArray trashed = Locations::current().trashFiles.toUtf8() + "/movie\xff.mkv";
        QCOMPARE(::lstat(trashed.constData(), &st), 0);
        QCOMPARE(qint64(st.st_size), qint64(51 * 1048576));
        // QTemporaryDir cannot remove names that are not valid UTF-8.
        std::filesystem::remove_all(std::filesystem::path(home().toStdString()));
    }

    void installersFoundByFindInTheHome()
    {
        const QString dmg = file("Downloads/tool.dmg", {}, 3 * 1048576 + 524288);
        const QString deb = file("Documents/deep/pkg.deb", "d");
        file(".cache/hidden.dmg", "h");
        file("src/node_modules/x.pkg", "n");
        file("Documents/notes.txt", "t");
        AppState state;
        QStringList messages;
        auto items = scan(state, &AdvancedToolsViewModel::scanInstallers, &messages);
        std::sort(items.begin(), items.end(),
                  [](const FileItem &a, const FileItem &b) { return a.path < b.path; });
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].path, deb);
        QCOMPARE(items[1], (FileItem{dmg, "Installer", QString(), 3.5, std::nullopt, dmg.toUtf8(),
                                     *FileIdentity::read(dmg.toUtf8())}));
        QCOMPARE(messages, QStringList({"Scanning for .dmg and .pkg...", "", "1"}));
    }

    // Where the table has no find expression (the Spotlight query), the command prints
    // NUL-separated paths.
    void installersFromTheCommand()
    {
        const QString dmg = file("Downloads/tool.dmg", {}, 3 * 1048576 + 524288);
        m_loc.installersFindExpression.clear();
        m_loc.installersCommand =
            script("installers", "printf '%s\\0%s\\0' '" + dmg + "' '" + home() + "/missing\npkg'");
        apply();
        AppState state;
        QStringList messages;
        const auto items = scan(state, &AdvancedToolsViewModel::scanInstallers, &messages);
        // The missing package is gone by the end of the scan.
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].sizeMB, 3.5);
    }

    // Closing the window while tools run: the state object goes within a second and
    // takes the tools (and what they started) with it.
    void quittingStopsEveryScanAtOnce()
    {
        const QString pids = m_env->root() + "/pids";
        const QString sleeper = script("sleeper", "echo $$ >> '" + pids + "'; sleep 30; echo /x");
        m_loc.find = sleeper;
        apply();
        auto *state = new AppState;
        state->loadAllTabs();
        // Large files, installers, the Java search and the node_modules search are
        // running (duplicates are listed without a program).
        auto started = [&] {
            QFile f(pids);
            return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n').size() - 1 : 0;
        };
        QTRY_COMPARE_WITH_TIMEOUT(started(), 4, 5000);
        QElapsedTimer clock;
        clock.start();
        delete state;
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QFile f(pids);
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QByteArray &pid : f.readAll().split('\n')) {
            if (!pid.isEmpty())
                QTRY_VERIFY_WITH_TIMEOUT(::kill(pid.toInt(), 0) != 0 || zombie(pid), 500);
        }
    }

    void runtimesInTheirOrder_data()
    {
        QTest::addColumn<bool>("withEnvs");
        QTest::newRow("pyenv and conda") << true;
        QTest::newRow("neither") << false;
    }
    void runtimesInTheirOrder()
    {
        QFETCH(bool, withEnvs);
        namespace fs = std::filesystem;
        // A JDK is a folder holding bin/java, a file or a link to one.
        const QString jvm = m_env->root() + "/usr/lib/jvm";
        for (const char *jdk : {"/temurin-25/bin", "/java-17 (x64)/bin", "/jre-only/lib"})
            QDir().mkpath(jvm + jdk);
        file("../usr/lib/jvm/temurin-25/bin/java", "elf");
        fs::create_symlink((jvm + "/temurin-25/bin/java").toStdString(),
                           (jvm + "/java-17 (x64)/bin/java").toStdString());
        m_loc.javaFolder = jvm;
        const QString bin = m_env->root() + "/bin";
        QDir().mkpath(bin);
        fs::create_symlink("/nonexistent/tool-1.0", (bin + "/tool").toStdString());
        file("../bin/plain", "x");
        m_loc.localBinFolder = bin;
        if (withEnvs) {
            QDir().mkpath(home() + "/.pyenv/versions/3.9.0");
            QDir().mkpath(home() + "/.pyenv/versions/3.12.1");
            QDir().mkpath(home() + "/.conda/envs/base");
        }
        apply();
        AppState state;
        QStringList messages;
        const auto items = scan(state, &AdvancedToolsViewModel::scanRuntimes, &messages);

        QStringList rows;
        for (const FileItem &i : items) {
            rows << i.path + " | " + i.sizeDesc;
            QCOMPARE(i.sizeMB, 0.0);
        }
        QStringList expected = {jvm + "/java-17 (x64) | Java JDK", jvm + "/temurin-25 | Java JDK"};
        if (withEnvs)
            expected << home() + "/.pyenv/versions/3.12.1 | Pyenv Python"
                     << home() + "/.pyenv/versions/3.9.0 | Pyenv Python"
                     << home() + "/.conda/envs/base | Conda Env";
        expected << bin + "/tool | -> /nonexistent/tool-1.0";
        QCOMPARE(rows, expected);
        QCOMPARE(messages,
                 QStringList({"Deep discovery of Conda, Pyenv, Java, Local...", "", "1"}));
    }

    void duplicatesScanPrunesAndGroups()
    {
        QByteArray data(1048576 + 10, 'q');
        data[5] = 'x';
        const QString a = file("Pictures/b.bin", data);
        const QString b = file("Documents/a.bin", data);
        file("Documents/Projects/node_modules/c.bin", data);
        file(".hidden/d.bin", data);
        file("Library/Caches/e.bin", data);
        file("1/2/3/4/5/too-deep.bin", data);
        file("Documents/.dotfile.bin", QByteArray(1048576 + 20, 'h'));
        file("Music/.dotfile-copy.bin", QByteArray(1048576 + 20, 'h'));
        file("Music/one-mebibyte", QByteArray(1048576, 'm'));
        file("Videos/one-mebibyte", QByteArray(1048576, 'm'));

        AppState state;
        QStringList messages;
        const auto items = scan(state, &AdvancedToolsViewModel::scanDuplicates, &messages);
        QCOMPARE(messages, QStringList({"Scanning for potential duplicates in Home directory...",
                                        "Comparing files to find true duplicates...", "", "1"}));
        // Hidden files are looked at, hidden folders are not.
        QCOMPARE(items.size(), 4);
        const QString dataKey = "1048586-" + DuplicateFinder::fingerprint(a, data.size()).left(12);
        const QString dotKey =
            "1048596-" +
            DuplicateFinder::fingerprint(home() + "/Music/.dotfile-copy.bin", 1048596).left(12);
        QCOMPARE(items[0], (FileItem{b, "Duplicate", dataKey, 1048586 / 1048576.0, std::nullopt,
                                     b.toUtf8(), *FileIdentity::read(b.toUtf8())}));
        QCOMPARE(items[1].path, a);
        QCOMPARE(items[2].md5Hash, dotKey);
        QCOMPARE(items[3].path, home() + "/Music/.dotfile-copy.bin");
    }

    void copiesThatFreeNothing_data()
    {
        QTest::addColumn<bool>("reflink");
        QTest::addColumn<bool>("plainCopy");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("copiesFreed");
        const QString links = "hard links, frees 0 B";
        const QString shared = "shares its data with another copy";
        // A hard link's other name is the same file: its group lists it once.
        QTest::newRow("a hard-linked copy")
            << false << true << QStringList({"a.raw = b.raw: " + links, "c.raw: "}) << 1;
        QTest::newRow("a hard-linked pair")
            << false << false << QStringList({"a.raw = b.raw: " + links}) << 0;
        QTest::newRow("reflinked copies on btrfs")
            << true << true << QStringList({"a.raw: " + shared, "b.raw: " + shared, "c.raw: "})
            << 1;
    }
    // a and b share their blocks (two names of one file, or a reflink copy); c is a plain
    // copy. Only c frees anything, and neither a nor b is offered as a way to free space.
    void copiesThatFreeNothing()
    {
        QFETCH(bool, reflink);
        QFETCH(bool, plainCopy);
        QFETCH(QStringList, rows);
        QFETCH(int, copiesFreed);
        const QString folder = home() + "/Pictures";
        QDir().mkpath(folder);
        std::optional<QTemporaryDir> image;
        if (reflink) {
            if (::getuid() != 0 || !QFile::exists("/usr/sbin/mkfs.btrfs"))
                QSKIP("reflinks need root and mkfs.btrfs (btrfs-progs) to mount an image");
            image.emplace();
            const QString file = image->filePath("btrfs.img");
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(130 << 20));
            f.close();
            if (QProcess::execute("/usr/sbin/mkfs.btrfs", {"-q", file}) != 0 ||
                QProcess::execute("/bin/mount", {"-o", "loop", file, folder}) != 0)
                QSKIP("this machine cannot mount a btrfs image from a loop file");
        }
        const auto unmount = qScopeGuard([&] {
            if (reflink)
                QProcess::execute("/bin/umount", {folder});
        });
        const QByteArray data = QByteArray(3 << 20, 'p') + "tail";
        const QString a = file("Pictures/a.raw", data);
        const QString b = folder + "/b.raw";
        QCOMPARE(reflink ? QProcess::execute("/bin/cp", {"--reflink=always", a, b})
                         : int(::link(QFile::encodeName(a), QFile::encodeName(b))),
                 0);
        if (plainCopy)
            file("Pictures/c.raw", data);

        AppState state;
        QStringList messages;
        const QList<FileItem> items =
            scan(state, &AdvancedToolsViewModel::scanDuplicates, &messages);
        QStringList shown;
        for (const FileItem &item : items) {
            QString row = item.path.section('/', -1);
            for (const QString &name : item.hardLinks)
                row += " = " + name.section('/', -1);
            shown << row + ": " + item.sharingNote();
        }
        QCOMPARE(shown, rows);
        const QList<DuplicateGroup> groups = regroupDuplicates(items, QString());
        QCOMPARE(groups.size(), 1);
        QCOMPARE(groups[0].wastedMB(), groups[0].sizeMB * copiesFreed);
    }

    // Undo puts the copy back and the duplicates show the whole group again, without a
    // scan: the rows dropped for that removal come back.
    void undoBringsTheGroupBack()
    {
        const QByteArray data(2 << 20, 'u');
        const QString a = file("Documents/a.bin", data);
        file("Documents/b.bin", data);
        AppState state;
        AdvancedToolsViewModel *duplicates = state.duplicatesVM();
        duplicates->scanDuplicates(&state);
        QTRY_COMPARE(duplicates->items().size(), 2);
        const auto paths = [](const QList<FileItem> &items) {
            QStringList out;
            for (const FileItem &item : items)
                out << item.path + ' ' + item.md5Hash;
            return out;
        };
        const QStringList listed = paths(duplicates->items());
        const QFuture<SafetyHelper::Outcome> moved =
            duplicates->trash(a, &state, RemovalHub::Batch(QStringLiteral("duplicates")));
        QTRY_VERIFY(moved.isFinished());
        QVERIFY(moved.result().ok);
        QVERIFY(duplicates->items().isEmpty()); // a group of one is no group
        QTRY_VERIFY(state.recentlyRemovedVM()->notice());
        QSignalSpy scans(&state, &AppState::scanStatusMessageChanged);

        state.recentlyRemovedVM()->undoNotice();
        QTRY_COMPARE(paths(duplicates->items()), listed);
        QVERIFY(QFile::exists(a));
        QVERIFY(!duplicates->isScanRunning());
        QVERIFY(scans.isEmpty());
    }

    void trashDropsOnlyWhatMoved()
    {
        QByteArray data(1048576 + 1, 'z');
        const QString a = file("Documents/a.bin", data);
        const QString b = file("Documents/b.bin", data);
        const QString c = file("Documents/c.bin", data);
        AppState state;
        AdvancedToolsViewModel model;
        model.scanDuplicates(&state);
        model.waitForTasks();
        QTRY_COMPARE(model.items().size(), 3);
        model.setSelectedItemPath(a);

        model.trash(home(), &state); // refused: the home folder itself
        model.waitForTasks();
        QCoreApplication::processEvents();
        QCOMPARE(model.items().size(), 3);
        QCOMPARE(model.selectedItemPath(), std::optional<QString>(a));

        // A copy that goes to the (temporary home's) Trash leaves the list and the selection.
        model.trash(a, &state);
        model.waitForTasks();
        QTRY_COMPARE(model.items().size(), 2);
        QCOMPARE(model.items()[0].path, b);
        QCOMPARE(model.selectedItemPath(), std::nullopt);
        QVERIFY(!QFile::exists(a));
        QVERIFY(QFile::exists(Locations::current().trashFiles + "/a.bin"));

        // A group left with one copy is no longer a group of duplicates.
        model.trash(b, &state);
        model.waitForTasks();
        QTRY_VERIFY(model.items().isEmpty());
        QVERIFY(QFile::exists(c));
    }

    // Each row keeps what it was listed with: an item put at its path since the scan is
    // not the row's and stays, as does the one listed.
    void changedRowIsRefused_data()
    {
        QTest::addColumn<bool>("duplicates"); // else large files
        QTest::newRow("a large file") << false;
        QTest::newRow("a duplicate copy") << true;
    }
    void changedRowIsRefused()
    {
        QFETCH(bool, duplicates);
        const QByteArray data(1048576 + 1, 'z');
        const QString listed = file("Documents/a.bin", data, duplicates ? -1 : 60 * 1048576);
        file("Pictures/b.bin", data);
        AppState state;
        AdvancedToolsViewModel model;
        duplicates ? model.scanDuplicates(&state) : model.scanLargeFiles(&state);
        model.waitForTasks();
        QTRY_VERIFY(!model.items().isEmpty());
        QVERIFY(QFile::rename(listed, listed + ".listed"));
        file("Documents/a.bin", data);

        const QFuture<SafetyHelper::Outcome> moved = model.trash(listed, &state);
        QTRY_VERIFY(moved.isFinished());
        QCOMPARE(moved.result().reason, "a.bin changed since it was listed. Rescan and try again.");
        QVERIFY(QFile::exists(listed) && QFile::exists(listed + ".listed"));
        QVERIFY(QDir(Locations::current().trashFiles).isEmpty());
    }

    // A link named "tool", a line feed and another file's path is one row, and removing
    // it moves the link.
    void localToolNamedWithALineFeed()
    {
        const QString thesis = file("Documents/thesis.pdf", "years");
        const QString bin = m_env->root() + "/bin";
        QDir().mkpath(bin);
        const QByteArray link = QFile::encodeName(bin + "/tool\n" + thesis);
        QVERIFY(QDir().mkpath(QFileInfo(QFile::decodeName(link)).path()));
        QCOMPARE(::symlink("/usr/bin/true", link.constData()), 0);
        m_loc.localBinFolder = bin;
        m_loc.javaFolder.clear();
        m_loc.javaListCommand = "true";
        apply();
        AppState state;
        AdvancedToolsViewModel model;
        model.scanRuntimes(&state);
        model.waitForTasks();
        QTRY_COMPARE(model.items().size(), 1);
        QCOMPARE(model.items()[0].nativePath, link);
        const QFuture<SafetyHelper::Outcome> moved = model.trash(model.items()[0].path, &state);
        QTRY_VERIFY(moved.isFinished());
        QVERIFY(moved.result().ok);
        QVERIFY(QFile::exists(thesis));
        QVERIFY(!QFileInfo(QFile::decodeName(link)).isSymLink());
    }

    void scanDropsRowsGoneMeanwhile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("listed");
        QTest::newRow("moved to the Trash during the scan") << "trashed" << false;
        QTest::newRow("link whose target is gone") << "dangling" << true;
        QTest::newRow("a line that names no path") << "line" << true;
    }
    void scanDropsRowsGoneMeanwhile()
    {
        QFETCH(QString, kind);
        QFETCH(bool, listed);
        const QString a = file("a.iso", "a");
        QString row = a;
        if (kind == "dangling") {
            row = home() + "/link.iso";
            QVERIFY(QFile::link(home() + "/nowhere", row));
        } else if (kind == "line") {
            row = "17.0.2 (x86_64) JDK";
        }
        const QString go = m_env->root() + "/go";
        m_loc.installersFindExpression.clear();
        m_loc.installersCommand =
            script("installers", QString("printf '%s\\0' '%1'\nwhile [ ! -f '%2' ]; do sleep 0.02; "
                                         "done\nprintf '%s\\0' '%3'")
                                     .arg(a, go, row));
        apply();
        AppState state;
        AdvancedToolsViewModel model;
        model.scanInstallers(&state);
        QTRY_VERIFY(model.isScanRunning());
        // The scan has listed the file; now it goes, before the scan ends.
        if (kind == "trashed") {
            const QFuture<SafetyHelper::Outcome> moved = model.trash(a, &state);
            QTRY_VERIFY(moved.isFinished());
            QVERIFY(moved.result().ok);
        }
        QFile(go).open(QIODevice::WriteOnly);
        QTRY_VERIFY(!model.isScanRunning());
        QStringList paths;
        for (const FileItem &item : model.items())
            paths << item.path;
        QCOMPARE(paths.contains(row), listed);
        QCOMPARE(paths.contains(a), kind != "trashed");
    }

    void stateOwnsAndScansTheFourModels()
    {
        file("../usr/lib/jvm/fake/bin/java", "elf");
        m_loc.javaFolder = m_env->root() + "/usr/lib/jvm";
        m_loc.localBinFolder.clear();
        apply();
        file("Documents/big.bin", {}, 60 * 1048576);
        file("x.dmg", "d");
        AppState state;
        const QList<AdvancedToolsViewModel *> models = {state.runtimesVM(), state.duplicatesVM(),
                                                        state.largeFilesVM(), state.installersVM()};
        for (AdvancedToolsViewModel *m : models) {
            QVERIFY(m);
            QCOMPARE(models.count(m), 1);
        }
        // Created in tab order: runtimes, duplicates, large files, installers.
        QCOMPARE(state.findChildren<AdvancedToolsViewModel *>(Qt::FindDirectChildrenOnly), models);
        QSignalSpy changed(&state, &AppState::changed);
        state.loadAllTabs();
        QTRY_COMPARE(state.runtimesVM()->items().size(), 1);
        QTRY_COMPARE(state.installersVM()->items().size(), 1);
        QTRY_COMPARE(state.largeFilesVM()->items().size(), 1);
        QCOMPARE(state.runtimesVM()->items()[0].path, m_env->root() + "/usr/lib/jvm/fake");
        QCOMPARE(state.largeFilesVM()->items()[0].path, home() + "/Documents/big.bin");
        for (AdvancedToolsViewModel *m : models)
            m->waitForTasks();
        QTRY_VERIFY(changed.count() >= 4);

        // A model's own change is announced by the state object too. The other tabs'
        // launch scans announce theirs as well: wait until they are done and quiet. They
        // run at the lowest priority, so on a busy machine a scan may pause for a while.
        QTRY_VERIFY_WITH_TIMEOUT(!state.isScanning(), 60000);
        for (int quiet = 0; quiet < 40; ++quiet) {
            changed.clear();
            QTest::qWait(1000);
            if (changed.isEmpty())
                break;
        }
        QVERIFY(changed.isEmpty());
        state.duplicatesVM()->setSelectedItemPath(QStringLiteral("/x"));
        QTRY_COMPARE(changed.count(), 1);
    }
};

QTEST_MAIN(tst_AdvancedToolsViewModel)
#include "tst_AdvancedToolsViewModel.moc"
