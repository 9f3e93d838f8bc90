#include "app/AppState.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/Theme.h"
#include "cleaning/JunkViewModel.h"
#include "cleaning/screens/JunkCleanerView.h"
#include "support/FakeTools.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

class tst_JunkCleanerView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    static void settle(JunkViewModel *model)
    {
        model->waitForTasks();
        QCoreApplication::processEvents();
    }
    void file(const QString &relative, qint64 bytes)
    {
        const QString path = m_env->home() + '/' + relative;
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(QByteArray(bytes, 'c')) == bytes);
    }
    static QTreeWidgetItem *category(QTreeWidget *table, const QString &name)
    {
        for (int i = 0; i < table->topLevelItemCount(); ++i)
            if (table->topLevelItem(i)->text(1) == name)
                return table->topLevelItem(i);
        return nullptr;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        file(".cache/gimp/large.png", 2 << 20);
        file(".cache/fontconfig/cache-1", 1 << 20);
        file(".npm/_cacache/index", 6 << 20);
        Dialogs::resetSeams();
    }
    void cleanup()
    {
        Dialogs::resetSeams();
        m_env.reset();
    }

    void tableExpandSortAndClean()
    {
        AppState state;
        JunkViewModel *model = state.junkVM();
        JunkCleanerView view(&state, model);
        view.resize(1000, 520);
        view.show();
        settle(model);
        QTreeWidget *table = view.table();
        QCOMPARE(table->topLevelItemCount(), 13); // no logs or Xcode folders here
        QCOMPARE(table->topLevelItem(0)->text(1), QStringLiteral("NPM Global Cache"));

        // Opening a category shows its files; a header click reorders by name.
        QTreeWidgetItem *caches = category(table, "Application Caches");
        caches->setExpanded(true);
        QCOMPARE(view.expanded().size(), 1);
        QCOMPARE(caches->childCount(), 2);
        QCOMPARE(caches->child(0)->text(1), QStringLiteral("large.png"));
        table->header()->sectionClicked(1);
        QCOMPARE(table->topLevelItem(0)->text(1), QStringLiteral("Application Caches"));
        QVERIFY(table->topLevelItem(0)->isExpanded());
        QCOMPARE(table->topLevelItem(0)->child(0)->text(1), QStringLiteral("cache-1"));

        category(table, "Application Caches")->setCheckState(0, Qt::Checked);
        QCOMPARE(view.deleteButton()->count(), 1);
        Theme theme;
        for (auto [appearance, name] :
             {std::pair{Theme::Light, "junk-light.png"}, std::pair{Theme::Dark, "junk-dark.png"}}) {
            theme.apply(appearance);
            QCoreApplication::processEvents();
            view.grab().save(QDir::current().filePath(name));
        }
        theme.apply(Theme::Light);

        Dialogs::pushConfirmAnswer(true);
        QTest::mouseClick(view.deleteButton(), Qt::LeftButton);
        const auto asked = Dialogs::lastConfirmation();
        QVERIFY(asked);
        QCOMPARE(asked->title, QStringLiteral("Final Confirmation"));
        QCOMPARE(asked->text, QStringLiteral("Are you sure you want to delete the selected items? "
                                             "They will be moved to Trash."));
        QCOMPARE(asked->confirmLabel, QStringLiteral("Delete"));
        QVERIFY(!view.deleteButton()->isEnabled());
        settle(model);
        QVERIFY(
            QDir(m_env->home() + "/.cache")
                .isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System));
        // The re-scan made new categories: nothing ticked, every category closed.
        QCOMPARE(view.deleteButton()->count(), 0);
        QVERIFY(!category(table, "Application Caches")->isExpanded());
        QCOMPARE(category(table, "Application Caches")->checkState(0), Qt::Unchecked);
    }

    // Emptying the Trash is permanent: the question says so with its count, and nothing
    // goes before the answer is yes.
    void emptyingTheTrashAsksFirst()
    {
        file(".local/share/Trash/files/a", 10);
        file(".local/share/Trash/files/b", 10);
        AppState state;
        JunkViewModel *model = state.junkVM();
        JunkCleanerView view(&state, model);
        view.show();
        settle(model);
        category(view.table(), "Empty Trash")->setCheckState(0, Qt::Checked);
        category(view.table(), "Application Caches")->setCheckState(0, Qt::Checked);
        Dialogs::pushConfirmAnswer(false);
        QTest::mouseClick(view.deleteButton(), Qt::LeftButton);
        const QString text = Dialogs::lastConfirmation()->text;
        QVERIFY2(text.startsWith("Emptying the Trash permanently deletes 2 items ("),
                 qPrintable(text));
        QVERIFY(text.contains("cannot be undone"));
        QVERIFY(text.contains("other selected items will be moved to the Trash"));
        settle(model);
        QVERIFY(QFile::exists(m_env->home() + "/.local/share/Trash/files/a"));
        QVERIFY(QFile::exists(m_env->home() + "/.cache/fontconfig/cache-1"));
    }

    // A system cache is cleared by its own tool, in the terminal, only after the question.
    void systemCacheRunsItsToolAfterAsking()
    {
        FakeTools tools(m_env->root() + "/tools");
        m_env->editLocations([&](Locations &l) {
            l.aptGet = tools.tool("apt-get");
            l.pkexec = tools.tool("pkexec");
        });
        AppState state;
        JunkViewModel *model = state.junkVM();
        JunkCleanerView view(&state, model);
        view.show();
        settle(model);
        QCoreApplication::processEvents();
        QPushButton *clean = nullptr;
        for (QPushButton *b : view.systemCachesPanel()->findChildren<QPushButton *>())
            if (b->accessibleName() == "Clean Package Cache")
                clean = b;
        QVERIFY(clean);
        Dialogs::pushConfirmAnswer(false);
        clean->click();
        QVERIFY(Dialogs::lastConfirmation()->text.contains("permanently deletes"));
        QVERIFY(!view.sheet());
        Dialogs::pushConfirmAnswer(true);
        clean->click();
        QVERIFY(view.sheet());
        QTRY_VERIFY(!view.sheet()->isRunning());
        QCOMPARE(tools.calls().value(0),
                 QStringList({"pkexec", Locations::current().aptGet, "clean"}));
        // Done closes it, and the next Clean may open another.
        view.sheet()->doneButton()->click();
        QTRY_VERIFY(!view.sheet());
    }

    // A cache folder replaced since it was measured is left alone, and the alert says why.
    void aReplacedFolderIsNamedInTheAlert()
    {
        AppState state;
        JunkViewModel *model = state.junkVM();
        JunkCleanerView view(&state, model);
        view.show();
        settle(model);
        category(view.table(), "Application Caches")->setCheckState(0, Qt::Checked);
        const QString cache = m_env->home() + "/.cache";
        QVERIFY(QDir().rename(cache, cache + ".measured"));
        file(".cache/new", 10);

        Dialogs::pushConfirmAnswer(true);
        QTest::mouseClick(view.deleteButton(), Qt::LeftButton);
        settle(model);
        auto *alert = view.findChild<QMessageBox *>("cleanReport");
        QVERIFY(alert);
        QVERIFY(alert->isVisible());
        QCOMPARE(alert->informativeText(),
                 ".cache changed since it was listed. Rescan and try again.");
        QVERIFY(QFile::exists(cache + "/new"));
        QVERIFY(QFile::exists(cache + ".measured/gimp/large.png"));
    }
};

QTEST_MAIN(tst_JunkCleanerView)
#include "tst_JunkCleanerView.moc"
