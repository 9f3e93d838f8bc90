#include "app/AppState.h"
#include "app/widgets/KeepMenu.h"
#include "exec/ExclusionsViewModel.h"
#include "finders/AdvancedToolsViewModel.h"
#include "platform/Exclusions.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

class tst_KeepMenu : public QObject {
    Q_OBJECT
private slots:
    // "Keep" from the menu key on a row: the item joins the keep list, the finders drop it
    // at once and a later scan does not offer it again.
    void keptItemIsNeverOfferedAgain()
    {
        TestEnvironment env;
        const QByteArray name = "-big\n\xff.bin";
        const QByteArray path = nativePath(env.home()) + "/Downloads/" + name;
        QDir().mkpath(env.home() + "/Downloads");
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0 && ::ftruncate(fd, 60 << 20) == 0 && ::close(fd) == 0);
        AppState state;
        AdvancedToolsViewModel *large = state.largeFilesVM();
        large->scanLargeFiles(nullptr);
        QTRY_COMPARE(large->items().size(), 1);

        QStandardItemModel rows(1, 1);
        QTableView view;
        view.setModel(&rows);
        view.setCurrentIndex(rows.index(0, 0));
        KeepMenu::attach(&view, state.exclusionsVM(), [&](const QModelIndex &) { return path; });
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        emit view.customContextMenuRequested(QPoint(-1, -1));
        QMenu *menu = view.findChild<QMenu *>();
        QVERIFY(menu);
        QAction *keep = menu->findChild<QAction *>(QStringLiteral("keepAction"));
        QVERIFY(keep);
        keep->trigger();

        QTRY_COMPARE(state.exclusionsVM()->keptPaths(), QList<QByteArray>{path});
        QCOMPARE(Exclusions::current().keptPaths(), QList<QByteArray>{path});
        QTRY_VERIFY(large->items().isEmpty());
        large->scanLargeFiles(nullptr);
        large->waitForTasks();
        QCoreApplication::processEvents();
        QVERIFY(large->items().isEmpty());
    }
};

QTEST_MAIN(tst_KeepMenu)
#include "tst_KeepMenu.moc"
