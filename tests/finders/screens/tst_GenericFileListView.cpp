#include "app/AppState.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/ExportButton.h"
#include "app/widgets/QuickLookPreview.h"
#include "exec/SafetyHelper.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/screens/FileMetadataPreview.h"
#include "finders/screens/GenericFileListView.h"
#include "finders/screens/RuntimeDetailPreview.h"
#include "platform/DisplayName.h"
#include "platform/RemovalHub.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <unistd.h>

class tst_GenericFileListView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    QString home() const { return m_env->home(); }
    QString file(const QString &relative, qint64 size)
    {
        const QString path = home() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(size))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // A listing tool that prints the lines of `listFile` and counts its runs.
    QString lister(const QString &listFile)
    {
        const QString path = m_env->root() + "/list.sh";
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(QStringLiteral("#!/bin/sh\necho run >> '%1/runs'\ncat '%2'\n")
                    .arg(m_env->root(), listFile)
                    .toUtf8());
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }
    void list(const QStringList &lines)
    {
        QFile f(m_env->root() + "/listed");
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write list");
        // One name after another, each ended by a NUL as find -print0 does.
        f.write((lines.join(QChar(0)) + QChar(0)).toUtf8());
    }
    int runs() const
    {
        QFile f(m_env->root() + "/runs");
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
    }

    // The installers tab, listing whatever list() wrote.
    struct Tab {
        AppState state;
        std::unique_ptr<QMainWindow> window = std::make_unique<QMainWindow>();
        GenericFileListView *view = nullptr;
    };
    void open(Tab &tab, TabNavigation which = TabNavigation::installers, bool show = true)
    {
        AdvancedToolsViewModel *vm = which == TabNavigation::runtimes ? tab.state.runtimesVM()
                                     : which == TabNavigation::largeFiles
                                         ? tab.state.largeFilesVM()
                                         : tab.state.installersVM();
        AppState *state = &tab.state;
        std::function<void()> scan = [vm, state, which] {
            if (which == TabNavigation::runtimes)
                vm->scanRuntimes(state);
            else if (which == TabNavigation::largeFiles)
                vm->scanLargeFiles(state);
            else
                vm->scanInstallers(state);
        };
        tab.view = new GenericFileListView(state, vm, which, which != TabNavigation::installers,
                                           scan, tab.window.get());
        tab.window->setCentralWidget(tab.view);
        tab.window->resize(1000, 600);
        if (show)
            tab.window->show();
    }
    static QStringList paths(const QList<FileItem> &rows)
    {
        QStringList out;
        for (const FileItem &r : rows)
            out << r.path;
        return out;
    }
    QString trashed(const QString &name) const
    {
        return Locations::current().trashFiles + '/' + name;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        Dialogs::resetSeams();
        m_env->editLocations([this](Locations &loc) {
            loc.installersFindExpression.clear();
            loc.installersCommand = lister(m_env->root() + "/listed");
            loc.javaListCommand = "echo '   17.0.2 (x86_64) \"Vendor\" - \"JDK 17\" /usr/lib/jvm/'";
            loc.javaFolder.clear(); // the text report, as on macOS
            loc.localBinFolder.clear();
        });
    }
    void cleanup() { m_env.reset(); }

    void scansWhenShownEmptyOnly_data()
    {
        QTest::addColumn<bool>("scannedBefore");
        QTest::addColumn<int>("runsAfterShowingTwice");
        QTest::newRow("empty: one scan") << false << 1;
        QTest::newRow("items present: none") << true << 1;
    }
    void scansWhenShownEmptyOnly()
    {
        QFETCH(bool, scannedBefore);
        QFETCH(int, runsAfterShowingTwice);
        list({file("a.iso", 10)});
        Tab tab;
        if (scannedBefore) {
            tab.state.installersVM()->scanInstallers(&tab.state);
            QTRY_COMPARE(tab.state.installersVM()->items().size(), 1);
        }
        open(tab, TabNavigation::installers, false);
        tab.window->show();
        // Shown again while the first scan may still run: no second scan.
        tab.view->hide();
        tab.view->show();
        QTRY_COMPARE(tab.view->rows().size(), 1);
        tab.view->hide();
        tab.view->show();
        tab.state.installersVM()->waitForTasks();
        QCOMPARE(runs(), runsAfterShowingTwice);
    }

    void searchFiltersEveryListTab_data()
    {
        QTest::addColumn<TabNavigation>("tab");
        QTest::newRow("installers") << TabNavigation(TabNavigation::installers);
        QTest::newRow("large files") << TabNavigation(TabNavigation::largeFiles);
        QTest::newRow("runtimes") << TabNavigation(TabNavigation::runtimes);
    }
    void searchFiltersEveryListTab()
    {
        QFETCH(TabNavigation, tab);
        const QString hit = file("Downloads/Beta-one.iso", 60 * 1048576);
        const QString hit2 = file("Desktop/my-BETA.iso", 60 * 1048576);
        const QString miss = file("Documents/alpha.iso", 60 * 1048576);
        for (const char *v :
             {".pyenv/versions/3.11-beta", ".pyenv/versions/3.12-BETA", ".pyenv/versions/3.10"})
            QDir().mkpath(home() + '/' + v);
        list({hit, hit2, miss});
        Tab t;
        open(t, tab);
        const int all = tab == TabNavigation::runtimes ? 4 : 3; // plus the Java line
        QTRY_COMPARE(t.view->rows().size(), all);
        t.state.setGlobalSearchText("beta");
        QCOMPARE(t.view->rows().size(), 2);
        for (const FileItem &row : t.view->rows())
            QVERIFY2(row.path.contains("beta", Qt::CaseInsensitive), qPrintable(row.path));
        t.state.setGlobalSearchText(QString());
        QCOMPARE(t.view->rows().size(), all);
    }

    void sortsByEachColumn_data()
    {
        QTest::addColumn<int>("column"); // -1: as opened
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("initially size, largest first") << -1 << false << QStringList{"b", "c", "a"};
        QTest::newRow("size ascending")
            << int(GenericFileListView::SizeColumn) << true << QStringList{"a", "c", "b"};
        QTest::newRow("name ascending")
            << int(GenericFileListView::NameColumn) << true << QStringList{"a", "b", "c"};
        QTest::newRow("name descending")
            << int(GenericFileListView::NameColumn) << false << QStringList{"c", "b", "a"};
    }
    void sortsByEachColumn()
    {
        QFETCH(int, column);
        QFETCH(bool, ascending);
        QFETCH(QStringList, order);
        list({file("a", 1 * 1048576), file("b", 3 * 1048576), file("c", 2 * 1048576)});
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->rows().size(), 3);
        if (column >= 0)
            t.view->sortBy(GenericFileListView::Column(column), ascending);
        QStringList names;
        for (const FileItem &row : t.view->rows())
            names << QFileInfo(row.path).fileName();
        QCOMPARE(names, order);
        // What the table shows follows the same order.
        QCOMPARE(
            t.view->table()->model()->index(0, GenericFileListView::NameColumn).data().toString(),
            order.first());
    }

    void ticksOnlyCountWhatIsListedAndShown()
    {
        const QString a = file("keep-a.iso", 10), b = file("hide-b.iso", 10),
                      c = file("gone-c.iso", 10);
        list({a, b, c});
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->rows().size(), 3);
        for (const QString &p : {a, b, c})
            t.view->setChecked(p, true);
        QCOMPARE(t.view->deleteSelectedButton()->count(), 3);

        // c is no longer listed after a rescan, b is hidden by the search.
        list({a, b});
        t.state.installersVM()->scanInstallers(&t.state);
        QTRY_COMPARE(t.view->rows().size(), 2);
        t.state.setGlobalSearchText("-a.iso");
        QCOMPARE(t.view->deleteSelectedButton()->count(), 1);
        QCOMPARE(t.view->checkedPaths(), QStringList{a});
        // c listed again: its old tick must not have survived.
        list({a, b, c});
        t.state.installersVM()->scanInstallers(&t.state);
        t.state.setGlobalSearchText(QString());
        QTRY_COMPARE(t.view->rows().size(), 3);
        QCOMPARE(t.view->checkedPaths(), (QStringList{a, b}));

        t.state.setGlobalSearchText("-a.iso");
        QSignalSpy done(t.view, &GenericFileListView::removalFinished);
        Dialogs::pushConfirmAnswer(true);
        t.view->deleteSelectedButton()->click();
        QCOMPARE(Dialogs::lastConfirmation()->title, QStringLiteral("Move 1 item to Trash?"));
        QCOMPARE(Dialogs::lastConfirmation()->confirmLabel, QStringLiteral("Yes, Delete All"));
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().first().toStringList(), QStringList{a});
        QVERIFY(QFile::exists(trashed("keep-a.iso")));
        QVERIFY(QFile::exists(b));
        QVERIFY(QFile::exists(c));
        QCOMPARE(t.view->deleteSelectedButton()->count(), 0);
    }

    void rowDelete_data()
    {
        QTest::addColumn<QString>("name"); // "" : the home folder itself
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("moved");
        QTest::newRow("confirmed") << "x.iso" << true << true;
        QTest::newRow("cancelled") << "x.iso" << false << false;
        QTest::newRow("hostile name, confirmed") << "-x \"q\" 'r'.iso" << true << true;
        QTest::newRow("line feed in the name") << "two\nlines.iso" << true << true;
        QTest::newRow("protected: refused out loud") << "" << true << false;
    }
    void rowDelete()
    {
        QFETCH(QString, name);
        QFETCH(bool, answer);
        QFETCH(bool, moved);
        const QString path = name.isEmpty() ? home() : file(name, 10);
        Tab t;
        list({path});
        open(t);
        QTRY_COMPARE(t.view->rows().size(), 1);
        const QString shown = DisplayName::line(QFileInfo(path).fileName());
        QCOMPARE(t.view->table()->model()->index(0, GenericFileListView::NameColumn).data(), shown);
        QSignalSpy done(t.view, &GenericFileListView::removalFinished);
        Dialogs::pushConfirmAnswer(answer);
        // The row's own button.
        QTableView *table = t.view->table();
        const QModelIndex cell = table->model()->index(0, GenericFileListView::ActionsColumn);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(cell).center());
        QCOMPARE(Dialogs::lastConfirmation()->title, QStringLiteral("Move to Trash?"));
        QCOMPARE(Dialogs::lastConfirmation()->text,
                 QStringLiteral("Are you sure you want to delete %1?").arg(shown));
        if (answer)
            QTRY_COMPARE(done.count(), 1);
        QCOMPARE(t.view->rows().isEmpty(), moved);
        QCOMPARE(QFile::exists(path), !moved);
        auto *alert = t.view->findChild<QMessageBox *>("trashFailureAlert");
        QCOMPARE(alert != nullptr, answer && !moved);
        if (alert)
            QVERIFY2(alert->text().contains("protected"), qPrintable(alert->text()));
    }

    // One row moved to the Trash from another tab leaves in place: the order, the search
    // and the other ticks stay, and the focus goes to the row that took its place.
    void removalElsewhereKeepsOrderTicksAndFocus_data()
    {
        QTest::addColumn<QString>("goes");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QStringList>("rows"); // largest first, "-c" hidden by the search
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("the focused row: the next one") << "c"
                                                       << "c" << QStringList{"d", "b", "a"} << "b";
        QTest::newRow("the last row, focused: the one above")
            << "a"
            << "a" << QStringList{"d", "c", "b"} << "b";
        QTest::newRow("another row: the focus stays") << "d"
                                                      << "b" << QStringList{"c", "b", "a"} << "b";
    }
    void removalElsewhereKeepsOrderTicksAndFocus()
    {
        QFETCH(QString, goes);
        QFETCH(QString, focused);
        QFETCH(QStringList, rows);
        QFETCH(QString, focusAfter);
        QHash<QString, QString> path;
        for (int i = 0; i < 4; ++i) {
            const QString name = QString(QChar('a' + i));
            path[name] = file(name + ".iso", (i + 1) * 1048576);
        }
        // Hidden by the search; its tick does not count.
        const QString hidden = file("-c\n\"q\".dmg", 5 * 1048576);
        list({path["a"], path["b"], path["c"], path["d"], hidden});
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->rows().size(), 5);
        t.state.setGlobalSearchText(".iso");
        QTRY_COMPARE(t.view->rows().size(), 4);
        for (const QString &p : {path[goes], path["b"], hidden})
            t.view->setChecked(p, true);
        t.view->selectPath(path[focused]);
        {
            const RemovalHub::Batch batch(QStringLiteral("elsewhere"));
            const RemovalHub::Joined joined(batch);
            QVERIFY(SafetyHelper::moveNativeToTrash(QFile::encodeName(path[goes])).ok);
        }
        QTRY_COMPARE(t.view->rows().size(), 3);
        QStringList names;
        for (const FileItem &row : t.view->rows())
            names << QFileInfo(row.path).completeBaseName();
        QCOMPARE(names, rows);
        QCOMPARE(t.view->deleteSelectedButton()->count(), 1);
        QTableView *table = t.view->table();
        const int at = int(rows.indexOf(focusAfter));
        QCOMPARE(table->currentIndex().row(), at);
        QVERIFY(table->selectionModel()->isRowSelected(at));
        QCOMPARE(t.state.installersVM()->selectedItemPath(),
                 std::optional<QString>(path[focusAfter]));
    }

    void windowStaysOpenWhileRemoving()
    {
        QStringList files;
        for (int i = 0; i < 20; ++i)
            files << file(QString("f%1.iso").arg(i), 10);
        list(files);
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->rows().size(), 20);
        for (const QString &p : files)
            t.view->setChecked(p, true);
        Dialogs::pushConfirmAnswer(true);
        t.view->confirmBulkDelete();
        QVERIFY(t.view->isRemoving());
        QVERIFY(!t.window->close());
        QVERIFY(t.window->isVisible());
        QTRY_VERIFY(!t.view->isRemoving());
        QVERIFY(t.view->rows().isEmpty());
        QVERIFY(t.window->close());
    }

    void exportsTheRowsShownAsCsv()
    {
        const QString odd = file("setup, \"final\".dmg", 300);
        const QString plain = file("tool.pkg", 100);
        list({plain, odd});
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->rows().size(), 2);
        const QString out = m_env->filePath("list.csv");
        Dialogs::pushFolderAnswer(out);
        QSignalSpy done(t.view->exportButton(), &ExportButton::exportFinished);
        t.view->exportButton()->formatMenu()->actions().first()->trigger();
        QTRY_COMPARE(done.size(), 1);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray quoted = odd.toUtf8();
        quoted.replace("\"", "\"\"");
        QCOMPARE(f.readAll(), "path,bytes,kind\r\n\"" + quoted + "\",300,Installer\r\n" +
                                  plain.toUtf8() + ",100,Installer\r\n");
    }

    void previewFollowsSelection()
    {
        const QString f = file("Downloads/movie.bin", 60 * 1048576);
        list({f});
        Tab t;
        open(t, TabNavigation::largeFiles);
        QTRY_COMPARE(t.view->rows().size(), 1);
        QVERIFY(t.view->previewPlaceholder()->isVisible());
        QCOMPARE(t.view->previewPlaceholder()->text(), QStringLiteral("Select an item to preview"));
        t.view->selectPath(f);
        QCOMPARE(t.state.largeFilesVM()->selectedItemPath(), std::optional<QString>(f));
        QTRY_COMPARE(t.view->metadataPreview()->values().fileSize, QStringLiteral("60.00 MB"));
        QCOMPARE(t.view->quickLook()->url(), f);
        QVERIFY(t.view->metadataPreview()->isVisible());
        QVERIFY(!t.view->metadataPreview()->hash());
    }

    void metadataOrDashes_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("a file") << true;
        QTest::newRow("a path that cannot be read") << false;
    }
    void metadataOrDashes()
    {
        QFETCH(bool, exists);
        const QString path = exists ? file("doc.txt", 3 * 1048576) : home() + "/missing/doc.txt";
        const FileMetadataPreview::Values v = FileMetadataPreview::load(path);
        if (!exists) {
            QCOMPARE(v, FileMetadataPreview::Values());
            QCOMPARE(v.owner, QStringLiteral("--"));
            return;
        }
        QCOMPARE(v.fileSize, QStringLiteral("3.00 MB"));
        QCOMPARE(v.owner, QFileInfo(path).owner());
        QCOMPARE(v.modifiedDate, FileMetadataPreview::dateText(QFileInfo(path).lastModified()));
        QVERIFY(v.modifiedDate.contains(QString::number(QDate::currentDate().year())));
    }

    void runtimeDetails_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("infoContains");
        QTest::addColumn<int>("listingLines"); // -1: no listing
        QTest::newRow("folder") << "folder"
                                << "directory" << 15;
        QTest::newRow("Java listing line") << "line"
                                           << "cannot open" << -1;
        QTest::newRow("no file tool") << "notool"
                                      << "No such file" << -1;
    }
    void runtimeDetails()
    {
        QFETCH(QString, kind);
        QFETCH(QString, infoContains);
        QFETCH(int, listingLines);
        QString path = "17.0.2 (x86_64) \"Vendor\" - \"JDK 17\" /usr/lib/jvm/";
        if (kind == "folder") {
            path = home() + "/.pyenv/versions/" + kind;
            for (int i = 0; i < 30; ++i)
                file(".pyenv/versions/" + kind + QString("/f%1").arg(i), 1);
        }
        if (kind == "notool")
            m_env->editLocations([](Locations &l) { l.fileTool = "/nonexistent/file"; });
        const RuntimeDetailPreview::Details d = RuntimeDetailPreview::load(path);
        QVERIFY2(d.binaryInfo.contains(infoContains), qPrintable(d.binaryInfo));
        if (listingLines < 0) {
            QVERIFY(d.directoryContents.isEmpty());
            return;
        }
        QCOMPARE(d.directoryContents.split('\n').size(), listingLines);
        QVERIFY(d.directoryContents.startsWith("total"));

        // Through the screen: the runtimes tab shows it for the selected row.
        Tab t;
        open(t, TabNavigation::runtimes);
        QTRY_VERIFY(paths(t.view->rows()).contains(path));
        QCOMPARE(t.view->runtimePreview()->binaryInfo(), QStringLiteral("Loading..."));
        t.view->selectPath(path);
        QTRY_COMPARE(t.view->runtimePreview()->directoryContents(), d.directoryContents);
        QCOMPARE(t.view->runtimePreview()->binaryInfo(), d.binaryInfo);
    }
};

QTEST_MAIN(tst_GenericFileListView)
#include "tst_GenericFileListView.moc"
