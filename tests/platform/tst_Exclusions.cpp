#include "applications/AppLeftovers.h"
#include "applications/DesktopApps.h"
#include "cleaning/DeepCleanViewModel.h"
#include "cleaning/JunkViewModel.h"
#include "exec/ExclusionsViewModel.h"
#include "exec/SafetyHelper.h"
#include "finders/AdvancedToolsViewModel.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"
#include "storage/StorageScanner.h"
#include "storage/UsageWalk.h"
#include "support/TestEnvironment.h"

#include <QTest>

#include <sys/stat.h>

namespace {

QString write(const QString &path, qint64 size, char fill = 'x')
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(size, fill)) != size)
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Every path a walk meets, the way quillmar-cli's scans meet them.
class Paths : public UsageWalk::Visitor {
public:
    QList<QByteArray> seen;
    QList<QByteArray> excluded;
    void enter(const UsageWalk::Item &folder, int) override { seen.append(folder.path); }
    void item(const UsageWalk::Item &item, int) override
    {
        seen.append(item.path);
        if (item.excluded == UsageWalk::Excluded::Settings)
            excluded.append(item.path);
    }
    void leave(const UsageWalk::Item &, const UsageWalk::Totals &, int) override {}
};

} // namespace

class tst_Exclusions : public QObject {
    Q_OBJECT
private slots:
    void listReadsBackAnyName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("line feed") << QByteArray("a\nb");
        QTest::newRow("leading dash") << QByteArray("-rf");
        QTest::newRow("quote and percent") << QByteArray("it's %41 \"q\"");
        QTest::newRow("not UTF-8") << QByteArray("\xff\xfe/x");
    }
    void listReadsBackAnyName()
    {
        QFETCH(QByteArray, name);
        TestEnvironment env;
        const QList<QByteArray> paths{"/first", nativePath(env.home()) + '/' + name};
        QVERIFY(Exclusions::write(Exclusions::List::KeepList, paths).isEmpty());
        const Exclusions now = Exclusions::current();
        QVERIFY(now.isReadable());
        QCOMPARE(now.keptPaths(), paths);
        QVERIFY(now.isKept(paths.last() + "/inside"));
        QVERIFY(!now.isKept(paths.last() + "x"));
    }

    void unreadableListClosesRemovals_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("why");
        QTest::newRow("damaged line")
            << QByteArray("# quillmar path list 1\n/ok\n/a b\n") << "line 3 is damaged";
        QTest::newRow("not our file") << QByteArray("/home/x\n") << "it is not a list";
        QTest::newRow("a folder in its place") << QByteArray() << "";
    }
    // A list that cannot be read keeps every removal closed and says which list and why;
    // nothing a list might have kept out is offered meanwhile.
    void unreadableListClosesRemovals()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, why);
        TestEnvironment env;
        const QString list = Exclusions::fileOf(Exclusions::List::ExcludedFolders);
        QDir().mkpath(QFileInfo(list).path());
        if (contents.isEmpty()) {
            QVERIFY(QDir().mkpath(list));
        } else {
            QFile f(list);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size());
        }
        const QString item = write(env.home() + "/Downloads/old.iso", 10);
        write(env.home() + "/.cache/thumbnails/t.png", 10);

        const Exclusions now = Exclusions::current();
        QVERIFY(!now.isReadable());
        QVERIFY2(now.error().contains(list) && now.error().contains(why), qPrintable(now.error()));
        const SafetyHelper::Outcome outcome = SafetyHelper::moveNativeToTrash(nativePath(item));
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.reason, now.error());
        QVERIFY(FileProperties::exists(item));
        QVERIFY(JunkViewModel::freshCategories().isEmpty());
        QVERIFY(!now.offers(nativePath(item)));
        // Adding to it would write over what it held: refused, said, and left as it was.
        ExclusionsViewModel settings;
        settings.addExcluded("/elsewhere");
        settings.waitForTasks();
        QTRY_COMPARE(settings.writeError(), now.error());
        QCOMPARE(settings.blockedReason(), now.error());
        QFile after(list);
        QCOMPARE(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), contents);
    }

    // One folder of each kind the tabs look into is excluded: none of them lists anything
    // inside it, the map shows it as Excluded with no size, and the command line's walk
    // never enters it.
    void excludedFolderIsAbsentFromEveryTab()
    {
        TestEnvironment env;
        const QString home = env.home();
        const QString out = home + "/Downloads/keepout";
        write(out + "/big.bin", 60 << 20);
        write(out + "/setup.deb", 10);
        write(out + "/app/node_modules/x.js", 10);
        write(out + "/dup.bin", 2 << 20, 'd');
        write(home + "/Documents/dup.bin", 2 << 20, 'd');
        write(home + "/Documents/dup2.bin", 2 << 20, 'd');
        write(home + "/AppImages/Tool.AppImage", 10);
        write(home + "/.cache/pip/wheel", 4096);
        write(home + "/.cache/other/keep/secret", 8192);
        write(home + "/.cache/other/loose", 4096);
        write(home + "/.config/someapp/settings", 10);
        const QList<QByteArray> excluded{
            nativePath(out), nativePath(home + "/AppImages"), nativePath(home + "/.cache/pip"),
            nativePath(home + "/.cache/other/keep"), nativePath(home + "/.config/someapp")};
        QVERIFY(Exclusions::write(Exclusions::List::ExcludedFolders, excluded).isEmpty());
        const auto inside = [&](const QString &path) {
            return std::any_of(excluded.begin(), excluded.end(), [&](const QByteArray &e) {
                return nativePath(path) == e || nativePath(path).startsWith(e + '/');
            });
        };

        for (void (AdvancedToolsViewModel::*scan)(AppHost *) :
             {&AdvancedToolsViewModel::scanLargeFiles, &AdvancedToolsViewModel::scanInstallers,
              &AdvancedToolsViewModel::scanDuplicates}) {
            AdvancedToolsViewModel model;
            (model.*scan)(nullptr);
            model.waitForTasks();
            QCoreApplication::processEvents();
            for (const FileItem &item : model.items())
                QVERIFY2(!inside(item.path), qPrintable(item.path));
            if (scan == &AdvancedToolsViewModel::scanDuplicates)
                QCOMPARE(model.items().size(), 2); // the two copies outside
        }
        QVERIFY(DeepCleanViewModel::findTargets(nullptr).isEmpty());
        QVERIFY(DesktopApps::appImagesIn(home + "/AppImages").isEmpty());
        QVERIFY(
            !AppLeftovers::report(QStringLiteral("someapp"), std::nullopt, home + "/gone", {}, {}));
        const QList<JunkCategory> junk = JunkViewModel::measureCategories(nullptr);
        for (const JunkCategory &c : junk) {
            QVERIFY2(!inside(c.path), qPrintable(c.path));
            for (const JunkFileItem &f : c.topFiles)
                QVERIFY2(!inside(f.path), qPrintable(f.path));
            if (c.path == home + "/.cache") // loose and the category folders, not secret
                QVERIFY2(c.sizeMB < 8192.0 / 1048576 + 0.05, qPrintable(QString::number(c.sizeMB)));
        }

        StorageScanner scanner(1);
        const QList<StorageEntry> children = scanner.children(nativePath(home + "/Downloads"));
        QCOMPARE(children.size(), 1);
        QVERIFY(children.at(0).isExcluded);
        QCOMPARE(children.at(0).bytes, qint64(0));
        QCOMPARE(sizeText(children.at(0)), QStringLiteral("Excluded"));
        QVERIFY(scanner.children(nativePath(out)).isEmpty());

        UsageWalk walk;
        Paths paths;
        QVERIFY(walk.run(nativePath(home), paths));
        for (const QByteArray &seen : std::as_const(paths.seen))
            QVERIFY2(!inside(QString::fromLocal8Bit(seen)) || excluded.contains(seen), seen);
        QCOMPARE(paths.excluded.size(), excluded.size());
    }
};

QTEST_GUILESS_MAIN(tst_Exclusions)
#include "tst_Exclusions.moc"
