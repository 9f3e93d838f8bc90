#include "app/AppState.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/ExportButton.h"
#include "app/widgets/RevealInFolder.h"
#include "app/widgets/TabHeader.h"
#include "platform/FileProperties.h"
#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"
#include "platform/SystemLog.h"
#include "storage/StorageViewModel.h"
#include "storage/screens/StorageBlockMap.h"
#include "storage/screens/StorageColumn.h"
#include "storage/screens/StorageView.h"

#include "support/TestEnvironment.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QVBoxLayout>

#include <QProcess>
#include <QTest>
#include <QToolButton>

#include <fcntl.h>
#include <unistd.h>

namespace {

void writeFile(const QString &path, qint64 bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    const QByteArray chunk(64 * 1024, 'q');
    for (qint64 left = bytes; left > 0; left -= chunk.size())
        f.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
}

int rowOf(StorageColumn *column, const QString &name)
{
    const QList<StorageEntry> entries = column->entries();
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i).name() == name)
            return i;
    }
    return -1;
}

void clickRow(StorageColumn *column, const QString &name)
{
    const int row = rowOf(column, name);
    QVERIFY2(row >= 0, qPrintable(name));
    column->list()->scrollTo(column->list()->model()->index(row, 0));
    QTest::mouseClick(column->list()->viewport(), Qt::LeftButton, {},
                      column->rowRect(row).center());
}

} // namespace

class TestStorageView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_home = m_env->home();
        m_env->editLocations([this](Locations &loc) {
            // The Trash lies outside the mapped home, so a move really shrinks the map.
            loc.trashFiles = m_env->filePath(QStringLiteral("trash/Trash/files"));
            loc.rootDisplayName = QStringLiteral("Test Disk");
        });
        Dialogs::resetSeams();

        // home/Documents (protected), home/work/{big.bin, sub/inner.bin}, home/medium.bin,
        // home/small.txt, home/empty/, home/zeros/{two empty files}
        QDir home(m_home);
        for (const char *d : {"Documents", "work/sub", "empty", "zeros"})
            QVERIFY(home.mkpath(QString::fromLatin1(d)));
        writeFile(home.filePath(QStringLiteral("Documents/letter.txt")), 20 * 1024);
        writeFile(home.filePath(QStringLiteral("work/big.bin")), 3 * 1024 * 1024);
        // Below the cache threshold, so choosing "work" measures it again.
        writeFile(home.filePath(QStringLiteral("work/sub/inner.bin")), 512 * 1024);
        writeFile(home.filePath(QStringLiteral("medium.bin")), 2 * 1024 * 1024);
        writeFile(home.filePath(QStringLiteral("small.txt")), 10 * 1024);
        writeFile(home.filePath(QStringLiteral("zeros/a")), 0);
        writeFile(home.filePath(QStringLiteral("zeros/b")), 0);
        Preferences::setValue(PrefKey::storageMapRoot, m_home);
    }

    void cleanup() { m_env.reset(); }

    // Measuring starts once the view has been drawn, never before its first frame.
    void opensTheRootWhenFirstShown()
    {
        AppState state;
        StorageView view(&state, state.storageVM());
        QVERIFY(view.columnViews().isEmpty());
        QCOMPARE(view.header()->subtitleText(), TabNavigation(TabNavigation::storage).subtitle());
        view.resize(1000, 700);
        view.show();
        QVERIFY(!state.storageVM()->loadingFolder());
        QTRY_COMPARE(view.columnViews().size(), 1);
        QTRY_VERIFY(view.loadingText().isEmpty());

        StorageColumn *first = view.columnViews().first();
        QStringList names;
        qint64 total = 0;
        qint64 previous = std::numeric_limits<qint64>::max();
        for (const StorageEntry &e : first->entries()) {
            names << e.name();
            QVERIFY(e.bytes <= previous);
            previous = e.bytes;
            total += e.bytes;
        }
        QCOMPARE(names.mid(0, 2), QStringList({"work", "medium.bin"}));
        QVERIFY(names.contains(QStringLiteral("empty")));
        QCOMPARE(view.header()->subtitleText(), TabNavigation(TabNavigation::storage).subtitle() +
                                                    QStringLiteral(" · ") + formatBytes(total) +
                                                    QStringLiteral(" in home"));
        QCOMPARE(view.rootMenuButton()->text(), QStringLiteral("home"));
        QStringList menu;
        // This machine's own disks sit between the separators.
        for (QAction *a : view.rootMenu()->actions())
            if (!view.volumeActions().contains(a))
                menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(menu, QStringList(
                           {"Test Disk (whole disk)", "Home Folder", "-", "-", "Choose Folder…"}));

        // Nothing chosen yet: the hint, no buttons; the map shows the root's children.
        QVERIFY(view.hintLabel()->isVisible());
        QVERIFY(!view.trashButton()->isVisible());
        // Only what takes space gets a block (an empty folder's own block counts).
        const QList<StorageEntry> shown = first->entries();
        const qsizetype taking = std::count_if(shown.cbegin(), shown.cend(),
                                               [](const StorageEntry &e) { return e.bytes > 0; });
        QCOMPARE(view.blockMap()->content().blocks.size(), taking);
        QVERIFY(!view.blockMap()->content().rest);
    }

    void chooseShowsTheLoadingColumnAndScrollsToIt()
    {
        AppState state;
        StorageViewModel *model = state.storageVM();
        StorageView view(&state, model);
        // Two columns do not fit: the browser must scroll. The header's buttons alone need
        // more than that width, so it is put away for this test of the browser.
        view.findChild<TabHeader *>()->hide();
        view.resize(420, 700);
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);
        QTRY_VERIFY(view.loadingText().isEmpty());

        // Hold the measuring of work/sub so the loading column can be looked at.
        QSemaphore gate;
        // A check that fails while the gate is shut must not leave the scan waiting for ever.
        const auto open = qScopeGuard([&gate] { gate.release(1000); });
        const QByteArray sub = nativePath(m_home + QStringLiteral("/work/sub"));
        model->scanner().setReadHook([&gate, sub](const QByteArray &folder) {
            if (folder == sub)
                gate.acquire();
        });
        QStringList shown;
        connect(model, &StorageViewModel::loadingFolderChanged, &view,
                [&] { shown << view.loadingText(); });

        clickRow(view.columnViews().first(), QStringLiteral("work"));
        QCOMPARE(model->selection().size(), 1);
        QCOMPARE(model->selection().first()->name(), QStringLiteral("work"));
        QTRY_COMPARE(view.loadingText(), QStringLiteral("Measuring work › sub…"));
        QCOMPARE(shown.first(), QStringLiteral("Measuring work…"));
        QVERIFY(view.loadingColumn()->isVisible());

        // The browser scrolls until the loading column is in view.
        QScrollBar *bar = view.browser()->horizontalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QTRY_VERIFY(view.loadingColumn()->geometry().right() <
                    bar->value() + view.browser()->viewport()->width());

        gate.release(1000);
        QTRY_COMPARE(view.columnViews().size(), 2);
        QTRY_VERIFY(view.loadingText().isEmpty());
        // Then to the new last column.
        auto lastInView = [&] {
            const QRect last = view.columnViews().last()->geometry();
            return bar->value() > 0 && last.left() >= bar->value() &&
                   last.right() < bar->value() + view.browser()->viewport()->width();
        };
        QTRY_VERIFY(lastInView());
        model->scanner().setReadHook({});
        QCOMPARE(shown.last(), QString());

        // The chosen folder shows in the action bar and its children in the map.
        QCOMPARE(view.columnViews().first()->chosen()->name(), QStringLiteral("work"));
        QVERIFY(view.revealButton()->isVisible());
        QTRY_VERIFY(view.trashButton()->isEnabled());
        QCOMPARE(view.blockMap()->content().blocks.size(), 2);
        QCOMPARE(view.blockMap()->content().blocks.first().entry.name(), QStringLiteral("big.bin"));

        // A block clicked in the map is chosen in the last column.
        const QRectF block = view.blockMap()->content().blocks.first().rect;
        QCOMPARE(view.blockMap()->toolTipAt(block.center()),
                 QStringLiteral("big.bin · ") +
                     sizeText(view.blockMap()->content().blocks.first().entry));
        QTest::mouseClick(view.blockMap(), Qt::LeftButton, {}, block.center().toPoint());
        QCOMPARE(model->chosen()->name(), QStringLiteral("big.bin"));
        QCOMPARE(view.columnViews().at(1)->chosen()->name(), QStringLiteral("big.bin"));
        QCOMPARE(view.columnViews().size(), 2);
    }

    void protectedEntryCannotBeTrashed()
    {
        AppState state;
        StorageView view(&state, state.storageVM());
        view.resize(1000, 700);
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);
        clickRow(view.columnViews().first(), QStringLiteral("Documents"));
        QTRY_COMPARE(view.columnViews().size(), 2);
        QVERIFY(view.revealButton()->isVisible());
        QVERIFY(view.revealButton()->isEnabled());
        // Where no file manager answers, the button says so instead of doing nothing.
        QStringList asked;
        RevealInFolder::setFileManager([&asked](const QString &path) {
            asked << path;
            return false;
        });
        view.revealButton()->click();
        QTRY_VERIFY(Dialogs::lastAlert());
        RevealInFolder::setFileManager({});
        QCOMPARE(asked, QStringList{m_home + QStringLiteral("/Documents")});
        QCOMPARE(Dialogs::lastAlert()->first,
                 QStringLiteral("Couldn't show \u201CDocuments\u201D."));
        Dialogs::openBox()->close();
        QVERIFY(view.trashButton()->isVisible());
        // Give the off-thread safety check every chance to answer.
        QTest::qWait(100);
        QVERIFY(!view.trashButton()->isEnabled());
        QVERIFY(view.trashButton()->toolTip().contains(QStringLiteral("protected")));
        view.confirmTrash();
        QVERIFY(!Dialogs::lastConfirmation());

        // A folder next to it may go.
        clickRow(view.columnViews().first(), QStringLiteral("empty"));
        QTRY_VERIFY(view.trashButton()->isEnabled());
        QVERIFY(view.trashButton()->toolTip().isEmpty());
    }

    void failedMoveSaysWhyAndMoveLeavesNothingOffered()
    {
        AppState state;
        StorageViewModel *model = state.storageVM();
        // A search field ahead of the screen, as in the main window.
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *search = new QLineEdit(&window);
        layout->addWidget(search);
        StorageView &view = *new StorageView(&state, model, &window);
        layout->addWidget(&view);
        window.resize(1000, 760);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_COMPARE(view.columnViews().size(), 1);
        clickRow(view.columnViews().first(), QStringLiteral("work"));
        QTRY_COMPARE(view.columnViews().size(), 2);
        QTRY_VERIFY(view.loadingText().isEmpty());
        clickRow(view.columnViews().at(1), QStringLiteral("big.bin"));
        QTRY_VERIFY(view.trashButton()->isEnabled());

        // A Trash that cannot be made (its parent is a file): the move fails, and the
        // alert names the item and the system's reason.
        const QString goodTrash = Locations::current().trashFiles;
        QFile blocker(m_env->filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        m_env->editLocations([&](Locations &loc) {
            loc.trashFiles = blocker.fileName() + QStringLiteral("/files");
        });
        QSignalSpy finished(&view, &StorageView::trashFinished);
        Dialogs::pushConfirmAnswer(true);
        view.confirmTrash();
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(QFile::exists(m_home + QStringLiteral("/work/big.bin")));
        const auto alert = Dialogs::lastAlert();
        QVERIFY(alert);
        QVERIFY(alert->first.contains(QStringLiteral("big.bin")));
        QVERIFY(!alert->second.isEmpty());
        QMessageBox *box = Dialogs::openBox();
        QVERIFY(box);
        QCOMPARE(box->informativeText(), alert->second);
        box->close();
        // Still chosen, still offered: nothing moved.
        QTRY_VERIFY(view.trashButton()->isEnabled());
        window.activateWindow(); // the offscreen platform does not hand it back by itself
        QVERIFY(QTest::qWaitForWindowActive(&window));

        // Moved: the folder the user was browsing stays chosen, but is not offered.
        m_env->editLocations([&](Locations &loc) { loc.trashFiles = goodTrash; });
        Dialogs::pushConfirmAnswer(true);
        QTest::mouseClick(view.trashButton(), Qt::LeftButton);
        QTRY_COMPARE(finished.count(), 2);
        // The focus stays in the screen, not in the search field.
        QVERIFY(!search->hasFocus());
        QVERIFY2(view.isAncestorOf(QApplication::focusWidget()),
                 QApplication::focusWidget()
                     ? QApplication::focusWidget()->metaObject()->className()
                     : "nothing");
        QCOMPARE(finished.last().first().toBool(), true);
        QCOMPARE(model->chosen()->name(), QStringLiteral("work"));
        QVERIFY(view.trashButton()->isVisible());
        QTest::qWait(50);
        QVERIFY(!view.trashButton()->isEnabled());
        view.confirmTrash();
        QCOMPARE(Dialogs::lastConfirmation()->text.contains(QStringLiteral("work")), false);
        QVERIFY(QFile::exists(m_home + QStringLiteral("/work")));
        // Until the user chooses again.
        clickRow(view.columnViews().first(), QStringLiteral("work"));
        QTRY_VERIFY(view.trashButton()->isEnabled());
    }

    void arrowKeysWalkTheColumns()
    {
        AppState state;
        StorageViewModel *model = state.storageVM();
        StorageView view(&state, model);
        view.resize(1000, 700);
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);
        QTRY_VERIFY(view.loadingText().isEmpty());
        QListView *first = view.columnViews().first()->list();
        first->setFocus();
        // Down chooses the first row (the largest, "work"), which opens it.
        QTest::keyClick(first, Qt::Key_Down);
        QCOMPARE(model->chosen()->name(), QStringLiteral("work"));
        QTest::keyClick(first, Qt::Key_Down);
        QCOMPARE(model->chosen()->name(), QStringLiteral("medium.bin"));
        QCOMPARE(view.columnViews().size(), 1);
        QTest::keyClick(first, Qt::Key_Up);
        QCOMPARE(model->chosen()->name(), QStringLiteral("work"));
        QTest::keyClick(first, Qt::Key_Up); // stays on the first row
        QCOMPARE(model->chosen()->name(), QStringLiteral("work"));
        QTRY_COMPARE(view.columnViews().size(), 2);
        QTRY_VERIFY(view.loadingText().isEmpty());
        // Right goes into the opened folder, choosing its first entry.
        QTest::keyClick(first, Qt::Key_Right);
        QCOMPARE(model->selection().size(), 2);
        QCOMPARE(model->chosen()->name(), QStringLiteral("big.bin"));
        QListView *second = view.columnViews().at(1)->list();
        QVERIFY(second->hasFocus());
        // Left comes back to the folder, which stays open.
        QTest::keyClick(second, Qt::Key_Left);
        QCOMPARE(model->selection().size(), 1);
        QCOMPARE(model->chosen()->name(), QStringLiteral("work"));
        QVERIFY(first->hasFocus());
        QTRY_COMPARE(view.columnViews().size(), 2);
        // Left in the first column, and Right on a file, do nothing.
        QTest::keyClick(first, Qt::Key_Left);
        QCOMPARE(model->selection().size(), 1);
        QTest::keyClick(first, Qt::Key_Down);
        QTest::keyClick(first, Qt::Key_Right);
        QCOMPARE(model->chosen()->name(), QStringLiteral("medium.bin"));
        QCOMPARE(model->selection().size(), 1);
    }

    void confirmedTrashRemovesTheRowAndShrinksTheTotal()
    {
        AppState state;
        StorageViewModel *model = state.storageVM();
        StorageView view(&state, model);
        view.resize(1000, 700);
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);
        QTRY_VERIFY(view.loadingText().isEmpty());
        StorageColumn *first = view.columnViews().first();
        const StorageEntry medium = first->entries().at(rowOf(first, QStringLiteral("medium.bin")));
        qint64 total = 0;
        for (const StorageEntry &e : first->entries())
            total += e.bytes;

        clickRow(first, QStringLiteral("medium.bin"));
        QTRY_VERIFY(view.trashButton()->isEnabled());
        QCOMPARE(view.columnViews().size(), 1); // a file opens no column

        // Cancelled: nothing moves.
        QSignalSpy finished(&view, &StorageView::trashFinished);
        Dialogs::pushConfirmAnswer(false);
        QTest::mouseClick(view.trashButton(), Qt::LeftButton);
        QCOMPARE(Dialogs::lastConfirmation()->title, QStringLiteral("Move to Trash?"));
        QCOMPARE(Dialogs::lastConfirmation()->text,
                 QStringLiteral("medium.bin (") + formatBytes(medium.bytes) +
                     QStringLiteral(") will be moved to the Trash."));
        QCOMPARE(Dialogs::lastConfirmation()->confirmLabel, QStringLiteral("Move to Trash"));
        QCOMPARE(Dialogs::lastConfirmation()->cancelLabel, QStringLiteral("Cancel"));
        QTest::qWait(50);
        QCOMPARE(finished.count(), 0);
        QVERIFY(QFile::exists(m_home + QStringLiteral("/medium.bin")));

        // Confirmed: the file goes to the Trash, its row goes, the total shrinks.
        Dialogs::pushConfirmAnswer(true);
        QTest::mouseClick(view.trashButton(), Qt::LeftButton);
        // While the move runs, the button cannot start a second one.
        QVERIFY(!view.trashButton()->isEnabled() || finished.count() == 1);
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        QVERIFY(!QFile::exists(m_home + QStringLiteral("/medium.bin")));
        QVERIFY(QFile::exists(Locations::current().trashFiles + QStringLiteral("/medium.bin")));
        first = view.columnViews().first();
        QCOMPARE(rowOf(first, QStringLiteral("medium.bin")), -1);
        QCOMPARE(view.header()->subtitleText(),
                 TabNavigation(TabNavigation::storage).subtitle() + QStringLiteral(" · ") +
                     formatBytes(total - medium.bytes) + QStringLiteral(" in home"));
        QVERIFY(!model->chosen());
        QVERIFY(view.hintLabel()->isVisible());
    }

    void emptyFolderAndFolderOfEmptyFiles()
    {
        AppState state;
        StorageView view(&state, state.storageVM());
        view.resize(1000, 700);
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);
        QVERIFY(!view.columnViews().first()->showsEmptyText());

        clickRow(view.columnViews().first(), QStringLiteral("empty"));
        QTRY_COMPARE(view.columnViews().size(), 2);
        QTRY_VERIFY(view.loadingText().isEmpty());
        QVERIFY(view.columnViews().at(1)->showsEmptyText());
        QVERIFY(view.blockMap()->content().showsEmptyText);

        // Children that are all empty: rows, but neither blocks nor the empty text.
        clickRow(view.columnViews().first(), QStringLiteral("zeros"));
        QTRY_VERIFY(view.columnViews().size() == 2 &&
                    view.columnViews().at(1)->entries().size() == 2);
        QVERIFY(!view.columnViews().at(1)->showsEmptyText());
        QVERIFY(!view.blockMap()->content().showsEmptyText);
        QVERIFY(view.blockMap()->content().blocks.isEmpty());
        QVERIFY(!view.blockMap()->content().rest);
    }

    // Every file of the mapped folder, in a file ncdu opens.
    void exportsTheMappedFolderForNcdu()
    {
        AppState state;
        StorageView view(&state, state.storageVM());
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);
        QVERIFY(view.exportButton()->isEnabled());
        const QString out = m_env->filePath(QStringLiteral("map.json"));
        Dialogs::pushFolderAnswer(out);
        QSignalSpy done(view.exportButton(), &ExportButton::exportFinished);
        view.exportButton()->formatMenu()->actions().first()->trigger();
        QTRY_COMPARE(done.size(), 1);
        QCOMPARE(done.first().at(1).toString(), QString());
        QProcess ncdu;
        ncdu.start(QStringLiteral("ncdu"), {"-0", "-f", out, "-o", "-"});
        QVERIFY(ncdu.waitForFinished(30000));
        QCOMPARE(ncdu.exitCode(), 0);
        const QByteArray again = ncdu.readAllStandardOutput();
        QVERIFY(again.contains("[{\"name\":\"" + QFile::encodeName(m_home) + "\""));
        QVERIFY(again.contains("{\"name\":\"inner.bin\",\"asize\":524288,"));
        QVERIFY(again.contains("[{\"name\":\"zeros\",") && again.contains("{\"name\":\"a\"}"));
    }

    void rootMenuAndRescan()
    {
        AppState state;
        StorageViewModel *model = state.storageVM();
        StorageView view(&state, model);
        view.resize(1000, 700);
        view.show();
        QTRY_COMPARE(view.columnViews().size(), 1);

        Dialogs::pushFolderAnswer(m_home + QStringLiteral("/work"));
        view.rootMenu()->actions().last()->trigger();
        QTRY_COMPARE(view.rootMenuButton()->text(), QStringLiteral("work"));
        QTRY_VERIFY(view.columnViews().size() == 1 &&
                    view.columnViews().first()->entries().size() == 2);
        // The picked folder does not become the start folder of the next launch.
        QCOMPARE(Preferences::stringValue(PrefKey::storageMapRoot, QString()), m_home);

        // A new file shows after "Rescan".
        writeFile(m_home + QStringLiteral("/work/new.bin"), 4 * 1024 * 1024);
        QTest::mouseClick(view.rescanButton(), Qt::LeftButton);
        QTRY_VERIFY(view.columnViews().size() == 1 &&
                    view.columnViews().first()->entries().size() == 3);
        QCOMPARE(view.columnViews().first()->entries().first().name(), QStringLiteral("new.bin"));

        view.rootMenu()->actions().at(1)->trigger(); // Home Folder
        QTRY_COMPARE(view.rootMenuButton()->text(), QStringLiteral("home"));
    }

    // The main thread never waits for the disk: while a large folder is measured, a
    // zero-interval timer keeps firing between the progress updates, which come a few
    // times a second however many children there are.
    void eventLoopTurnsWhileMeasuring()
    {
        const QString large = m_home + QStringLiteral("/large");
        // QUILLMAR_FIXTURE_FILES=100000 measures a bigger tree by hand.
        const int wanted = qEnvironmentVariableIsSet("QUILLMAR_FIXTURE_FILES")
                               ? qEnvironmentVariableIntValue("QUILLMAR_FIXTURE_FILES")
                               : 32000;
        constexpr int folders = 40;
        const int filesPerFolder = qMax(1, wanted / folders);
        for (int d = 0; d < folders; ++d) {
            const QByteArray dir = nativePath(large + QStringLiteral("/d%1").arg(d));
            QVERIFY(QDir().mkpath(QString::fromUtf8(dir)));
            for (int f = 0; f < filesPerFolder; ++f) {
                const QByteArray file = dir + "/f" + QByteArray::number(f);
                const int fd = ::open(file.constData(), O_CREAT | O_WRONLY, 0644);
                QVERIFY(fd >= 0);
                ::close(fd);
            }
        }
        Preferences::setValue(PrefKey::storageMapRoot, large);

        AppState state;
        StorageViewModel *model = state.storageVM();
        // Folders start at least 4 ms apart: measured on several threads at once, they
        // would otherwise finish in bursts that a busy machine hands over in one batch.
        model->scanner().setReadHook([](const QByteArray &) { QThread::msleep(4); });
        StorageView view(&state, model);
        int ticks = 0;
        QList<int> ticksAtChange;
        QTimer timer;
        timer.setInterval(0);
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        connect(model, &StorageViewModel::loadingFolderChanged, [&] { ticksAtChange << ticks; });
        QElapsedTimer clock;
        clock.start();
        timer.start();
        view.resize(1000, 700);
        view.show();
        QTRY_VERIFY_WITH_TIMEOUT(view.columnViews().size() == 1, 60000);
        timer.stop();
        const qint64 took = clock.elapsed();

        QCOMPARE(view.columnViews().first()->entries().size(), folders);
        // One change when the load starts, a child's name now and then, one when it
        // publishes: never one per child.
        QVERIFY2(
            ticksAtChange.size() >= 3 && ticksAtChange.size() <= 3 + took / 100,
            qPrintable(QStringLiteral("%1 changes in %2 ms").arg(ticksAtChange.size()).arg(took)));
        const int during = ticksAtChange.last() - ticksAtChange.first();
        qInfo("%d files in %d folders: %d timer ticks across %lld progress updates",
              folders * filesPerFolder, folders, during, qlonglong(ticksAtChange.size()));
        QVERIFY(during > ticksAtChange.size());
        // The timer ran between most pairs of updates, not only before and after.
        int gaps = 0;
        for (int i = 1; i < ticksAtChange.size(); ++i)
            gaps += ticksAtChange.at(i) > ticksAtChange.at(i - 1) ? 1 : 0;
        QVERIFY2(gaps >= ticksAtChange.size() / 2, qPrintable(QString::number(gaps)));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_home;
};

QTEST_MAIN(TestStorageView)
#include "tst_StorageView.moc"
