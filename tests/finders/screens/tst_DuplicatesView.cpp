#include "app/AppState.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/ExportButton.h"
#include "app/widgets/TabHeader.h"
#include "app/widgets/Theme.h"
#include "exec/ProcessRunner.h"
#include "exec/SafetyHelper.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/screens/DuplicatesView.h"
#include "finders/screens/FileMetadataPreview.h"
#include "platform/RemovalHub.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

// Group "photo": three copies of 1.5 MiB; group "clip": two copies of 2 MiB.
class tst_DuplicatesView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QStringList m_photos, m_clips;

    QString home() const { return m_env->home(); }
    QString file(const QString &relative, char fill, qint64 size)
    {
        const QString path = home() + '/' + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(size, fill)) != size)
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    struct Tab {
        AppState state;
        QMainWindow window;
        DuplicatesView *view = nullptr;
    };
    void open(Tab &t)
    {
        t.view = new DuplicatesView(&t.state, t.state.duplicatesVM(), &t.window);
        t.window.setCentralWidget(t.view);
        t.window.resize(1000, 700);
        t.window.show();
    }
    static QStringList firstNames(const QList<DuplicateGroup> &groups)
    {
        QStringList names;
        for (const DuplicateGroup &g : groups)
            names << QFileInfo(g.children.first().path).fileName();
        return names;
    }
    static QString keyOf(const Tab &t, const QString &sizePrefix)
    {
        for (const FileItem &item : const_cast<Tab &>(t).state.duplicatesVM()->items())
            if (item.md5Hash.startsWith(sizePrefix + '-'))
                return item.md5Hash;
        return QString();
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
        m_photos = QStringList{file("Pictures/photo.jpg", 'p', 1572864),
                               file("Desktop/photo.jpg", 'p', 1572864),
                               file("work/photo copy.jpg", 'p', 1572864)};
        m_clips =
            QStringList{file("Movies/clip.mov", 'c', 2097152), file("work/clip.mov", 'c', 2097152)};
        m_photos.sort();
        m_clips.sort();
    }
    void cleanup() { m_env.reset(); }

    void headerDetail_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("detail");
        QTest::newRow("nothing found") << true << ""
                                       << "none found yet";
        QTest::newRow("two groups") << false << ""
                                    << "2 groups · " + formatSizeMB(1.5 * 2 + 2) + " can be freed";
        QTest::newRow("search keeps one copy of a group")
            << false << "movies/"
            << "1 group · " + formatSizeMB(0) + " can be freed";
    }
    void headerDetail()
    {
        QFETCH(bool, empty);
        QFETCH(QString, search);
        QFETCH(QString, detail);
        if (empty)
            QDir(home()).removeRecursively(); // the test's own fixture
        QDir().mkpath(home());
        Tab t;
        open(t);
        t.state.duplicatesVM()->waitForTasks();
        QTRY_VERIFY(!t.state.duplicatesVM()->isScanRunning());
        t.state.setGlobalSearchText(search);
        QCOMPARE(t.view->header()->subtitleText(),
                 TabNavigation(TabNavigation::duplicates).subtitle() + " · " + detail);
        QCOMPARE(t.view->emptyState() != nullptr, empty);
    }

    void exportsTheGroupsShown_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("written");
        QTest::newRow("CSV") << 0 << true;
        QTest::newRow("JSON") << 1 << true;
        QTest::newRow("into a folder that is not there") << 0 << false;
    }
    void exportsTheGroupsShown()
    {
        QFETCH(int, format);
        QFETCH(bool, written);
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->groups().size(), 2);
        const QString out = m_env->filePath(written ? "export" : "gone/export");
        Dialogs::pushFolderAnswer(out);
        QSignalSpy done(t.view->exportButton(), &ExportButton::exportFinished);
        t.view->exportButton()->formatMenu()->actions().at(format)->trigger();
        QTRY_COMPARE(done.size(), 1);
        if (!written) {
            // Said out loud, with the system's reason.
            QVERIFY(Dialogs::lastAlert().has_value());
            QVERIFY(Dialogs::lastAlert()->first.startsWith("Couldn't export"));
            QCOMPARE(Dialogs::lastAlert()->second, done.first().at(1).toString());
            QVERIFY(!Dialogs::lastAlert()->second.isEmpty());
            return;
        }
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // Most space freed first: the photos, then the clips.
        QByteArray expected;
        if (format == 0) {
            expected = "group,bytes,path\r\n";
            for (const QString &p : m_photos)
                expected += "1,1572864," + p.toUtf8() + "\r\n";
            for (const QString &p : m_clips)
                expected += "2,2097152," + p.toUtf8() + "\r\n";
        } else {
            expected = "[\n{\"bytes\":1572864,\"paths\":[\"" + m_photos.join("\",\"").toUtf8() +
                       "\"]},\n{\"bytes\":2097152,\"paths\":[\"" + m_clips.join("\",\"").toUtf8() +
                       "\"]}\n]\n";
        }
        QCOMPARE(f.readAll(), expected);
    }

    void bulkDeleteWarnsForEveryGroupLosingAllCopies_data()
    {
        QTest::addColumn<int>("photosTicked");
        QTest::addColumn<bool>("hideOne");
        QTest::addColumn<QString>("lastCopy"); // what became of the unticked copy
        QTest::addColumn<QString>("confirmLabel");
        QTest::addColumn<int>("photosMoved");
        QTest::newRow("every copy of a group not on view") << 3 << false << ""
                                                           << "Delete All Copies" << 3;
        QTest::newRow("one copy kept") << 2 << false << ""
                                       << "Yes, Delete" << 2;
        QTest::newRow("a ticked copy hidden by the search stays") << 3 << true << ""
                                                                  << "Yes, Delete" << 2;
        // Gone behind the program's back: the listing still shows it.
        QTest::newRow("the copy left is gone") << 2 << false << "gone"
                                               << "Delete All Copies" << 2;
        QTest::newRow("the copy left was replaced") << 2 << false << "replaced"
                                                    << "Delete All Copies" << 2;
    }
    void bulkDeleteWarnsForEveryGroupLosingAllCopies()
    {
        QFETCH(int, photosTicked);
        QFETCH(bool, hideOne);
        QFETCH(QString, lastCopy);
        QFETCH(QString, confirmLabel);
        QFETCH(int, photosMoved);
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->groups().size(), 2);
        if (!lastCopy.isEmpty()) {
            QVERIFY(QFile::rename(m_photos.last(), home() + "/elsewhere.jpg"));
            if (lastCopy == "replaced")
                file(m_photos.last().mid(home().size() + 1), 'p', 1572864);
        }
        for (int i = 0; i < photosTicked; ++i)
            t.view->setChecked(m_photos.at(i), true);
        if (!hideOne) {
            t.view->setChecked(m_clips.first(), true);
            t.view->selectGroup(keyOf(t, "2097152"));
            // The selected group is the clips: its own line says nothing of the photos.
            QCOMPARE(t.view->summaryLabel()->text(),
                     "Space to free: 1x " + formatSizeMB(2) + " = " + formatSizeMB(2));
        } else {
            // Hides "work/photo copy.jpg", which stays ticked but not on view.
            t.state.setGlobalSearchText("o.JPG");
        }
        const QStringList going = t.view->checkedPaths();
        QCOMPARE(t.view->deleteSelectedButton()->count(), going.size());
        QSignalSpy done(t.view, &DuplicatesView::removalFinished);
        Dialogs::pushConfirmAnswer(true);
        t.view->deleteSelectedButton()->click();
        QTRY_VERIFY(Dialogs::lastConfirmation());
        const Dialogs::Confirmation asked = *Dialogs::lastConfirmation();
        QCOMPARE(asked.title, QString("Move %1 duplicates to Trash?").arg(going.size()));
        QVERIFY(asked.text.startsWith("Are you sure you want to delete the selected duplicates?"));
        QCOMPARE(asked.confirmLabel, confirmLabel);
        QCOMPARE(asked.text.contains("photo.jpg (3 copies)"), confirmLabel == "Delete All Copies");
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(done.first().first().toStringList(), going);
        int photosGone = 0;
        for (const QString &p : m_photos.first(photosTicked))
            photosGone += QFile::exists(p) ? 0 : 1;
        QCOMPARE(photosGone, photosMoved);
        if (lastCopy.isEmpty())
            QVERIFY(QFile::exists(m_photos.last()) == (photosMoved < 3));
        QCOMPARE(QFile::exists(m_clips.first()), hideOne);
        QVERIFY(QFile::exists(m_clips.last()));
        QCOMPARE(t.view->deleteSelectedButton()->count(), 0);
    }

    void allCopiesTickedShowsTheWarning()
    {
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->groups().size(), 2);
        QVERIFY(t.view->detailPlaceholder()->isVisible());
        t.view->selectGroup(keyOf(t, "1572864"));
        QCOMPARE(t.view->copiesTable()->model()->rowCount(), 3);
        QCOMPARE(t.view->summaryLabel()->text(), QStringLiteral("Select items to free up space"));
        for (const QString &p : m_photos)
            t.view->setChecked(p, true);
        QCOMPARE(t.view->summaryLabel()->text(),
                 QStringLiteral(
                     "⚠️ Warning: All duplicates selected. This will delete all copies!"));
        QVERIFY(t.view->summaryLabel()->font().bold());
        // Its red stays readable on the window through a switch either way.
        for (auto appearance : {Theme::Dark, Theme::Light}) {
            Theme().apply(appearance);
            QApplication::processEvents();
            QVERIFY(Contrast::ratio(t.view->summaryLabel()->palette().color(QPalette::WindowText),
                                    QApplication::palette().color(QPalette::Window)) >=
                    Contrast::text);
        }
        Theme().apply(Theme::System);

        // A copy's own "Delete", confirmed, moves just that copy.
        QSignalSpy done(t.view, &DuplicatesView::removalFinished);
        Dialogs::pushConfirmAnswer(true);
        QTableView *copies = t.view->copiesTable();
        const QModelIndex cell = copies->model()->index(1, DuplicatesView::ActionColumn);
        QTest::mouseClick(copies->viewport(), Qt::LeftButton, {},
                          copies->visualRect(cell).center());
        QTRY_VERIFY(Dialogs::lastConfirmation());
        QCOMPARE(Dialogs::lastConfirmation()->title, QStringLiteral("Move to Trash?"));
        QCOMPARE(Dialogs::lastConfirmation()->confirmLabel, QStringLiteral("Yes, Delete"));
        QTRY_COMPARE(done.count(), 1);
        QVERIFY(!QFile::exists(m_photos.at(1)));
        QVERIFY(QFile::exists(trashed("photo.jpg")));
        QCOMPARE(copies->model()->rowCount(), 2);
        // The two remaining copies are still ticked: the warning stays true.
        QCOMPARE(t.view->summaryLabel()->text(),
                 QStringLiteral(
                     "⚠️ Warning: All duplicates selected. This will delete all copies!"));
    }

    // A row's own "Delete" of the one copy still there asks the all-copies question.
    void rowDeleteOfTheLastCopyWarns()
    {
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->groups().size(), 2);
        QVERIFY(QFile::rename(m_clips.first(), home() + "/elsewhere.mov"));
        Dialogs::pushConfirmAnswer(false);
        t.view->confirmDelete(m_clips.last());
        QTRY_VERIFY(Dialogs::lastConfirmation());
        QCOMPARE(Dialogs::lastConfirmation()->confirmLabel, QStringLiteral("Delete All Copies"));
        QVERIFY(Dialogs::lastConfirmation()->text.endsWith(
            "No copy will be kept of:\nclip.mov (2 copies)"));
        QVERIFY(QFile::exists(m_clips.last()));
    }

    // A copy moved to the Trash from another tab: its group is recounted and resorted, or
    // leaves with its last copy; the figures follow, and the focus goes to what took the
    // place of what went.
    void removalElsewhereKeepsGroupsAndFocus_data()
    {
        QTest::addColumn<bool>("photo"); // else a clip copy goes
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("detail");
        QTest::newRow("a photo copy: its group falls below the clips")
            << true << QStringList{"clip.mov", "photo.jpg"}
            << "2 groups · " + formatSizeMB(1.5 + 2) + " can be freed";
        QTest::newRow("a clip copy: the group leaves")
            << false << QStringList{"photo.jpg"}
            << "1 group · " + formatSizeMB(1.5 * 2) + " can be freed";
    }
    void removalElsewhereKeepsGroupsAndFocus()
    {
        QFETCH(bool, photo);
        QFETCH(QStringList, order);
        QFETCH(QString, detail);
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->groups().size(), 2);
        const int group = photo ? 0 : 1;
        t.view->groupsTable()->selectRow(group);
        const QList<FileItem> copies = t.view->groups().at(group).children;
        t.view->copiesTable()->selectRow(0);
        QCOMPARE(t.view->selectedDuplicateId(), std::optional<QString>(copies.first().path));
        {
            const RemovalHub::Batch batch(QStringLiteral("elsewhere"));
            const RemovalHub::Joined joined(batch);
            QVERIFY(SafetyHelper::moveNativeToTrash(QFile::encodeName(copies.first().path)).ok);
        }
        QTRY_COMPARE(firstNames(t.view->groups()), order);
        QCOMPARE(t.view->header()->subtitleText(),
                 TabNavigation(TabNavigation::duplicates).subtitle() + " · " + detail);
        QTableView *groups = t.view->groupsTable();
        QCOMPARE(groups->model()->rowCount(), order.size());
        const int focused = groups->currentIndex().row();
        QVERIFY(groups->selectionModel()->isRowSelected(focused));
        QCOMPARE(t.view->selectedHash(), t.view->groups().at(focused).md5Hash);
        if (photo) {
            // Still the photo group, on the copy after the one that went.
            QCOMPARE(firstNames({t.view->groups().at(focused)}), QStringList{"photo.jpg"});
            QCOMPARE(t.view->copiesTable()->model()->rowCount(), 2);
            QCOMPARE(t.view->selectedDuplicateId(), std::optional<QString>(copies.at(1).path));
            QCOMPARE(t.view->copiesTable()->currentIndex().row(), 0);
        }
    }

    void sorting_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("menuChecked");
        QTest::newRow("as opened")
            << "" << QStringList{"photo.jpg", "clip.mov"} << "Most space freed";
        QTest::newRow("menu: largest file")
            << "largestFile" << QStringList{"clip.mov", "photo.jpg"} << "Largest file";
        QTest::newRow("menu: most copies")
            << "mostCopies" << QStringList{"photo.jpg", "clip.mov"} << "Most copies";
        QTest::newRow("column: each, ascending")
            << "each" << QStringList{"photo.jpg", "clip.mov"} << "";
        QTest::newRow("column: copies, ascending")
            << "copies" << QStringList{"clip.mov", "photo.jpg"} << "";
    }
    void sorting()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, order);
        QFETCH(QString, menuChecked);
        Tab t;
        open(t);
        QTRY_COMPARE(t.view->groups().size(), 2);
        if (how == "largestFile")
            t.view->chooseSort(DuplicateSort::largestFile);
        else if (how == "mostCopies")
            t.view->chooseSort(DuplicateSort::mostCopies);
        else if (how == "each")
            t.view->sortByColumn(DuplicatesView::EachColumn, true);
        else if (how == "copies")
            t.view->sortByColumn(DuplicatesView::CopiesColumn, true);
        QCOMPARE(firstNames(t.view->groups()), order);
        QString checked;
        for (QAction *a : t.view->sortMenu()->actions())
            if (a->isChecked())
                checked = a->text();
        QCOMPARE(checked, menuChecked);
        QCOMPARE(t.view->groupsTable()->model()->index(0, 0).data().toString(), order.first());
    }
};

QTEST_MAIN(tst_DuplicatesView)
#include "tst_DuplicatesView.moc"
