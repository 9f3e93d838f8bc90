#include "app/AppState.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/Theme.h"
#include "cleaning/DeepCleanViewModel.h"
#include "cleaning/screens/DeepCleanView.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTreeWidget>

class tst_DeepCleanView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;

    QString home() const { return m_env->home(); }
    static void settle(DeepCleanViewModel *model)
    {
        model->waitForTasks();
        QCoreApplication::processEvents();
    }
    void project(const QString &name, qint64 bytes)
    {
        QVERIFY(QDir().mkpath(home() + '/' + name + "/node_modules/pkg"));
        QFile f(home() + '/' + name + "/node_modules/pkg/index.js");
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.write(QByteArray(bytes, 'x')) == bytes);
    }
    bool inHome(const QString &name) const
    {
        return QFileInfo(home() + '/' + name + "/node_modules").isDir();
    }
    // Presses a button of the open message box whose text is `label`.
    static bool answer(const QString &label)
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (!box || !box->isVisible())
                continue;
            for (QAbstractButton *b : box->buttons()) {
                if (b->text() == label) {
                    b->click();
                    return true;
                }
            }
        }
        return false;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        project("big", 3 << 20);
        project("small", 1 << 20);
        Dialogs::resetSeams();
    }
    void cleanup()
    {
        Dialogs::resetSeams();
        m_env.reset();
    }

    void nothingFoundShowsItsEmptyState()
    {
        QVERIFY(QDir().mkpath(m_env->root() + "/empty"));
        m_env->editLocations([&](Locations &loc) { loc.home = m_env->root() + "/empty"; });
        AppState state;
        DeepCleanView view(&state, state.deepCleanVM());
        view.show();
        QTRY_VERIFY(!state.deepCleanVM()->isScanning());
        settle(state.deepCleanVM());
        QVERIFY(view.emptyState());
        QCOMPARE(view.emptyState()->title(), QStringLiteral("No node_modules folders"));
        QVERIFY(!view.table()->isVisible());
    }

    // The size and date columns are sized to their texts once per fill; they must still
    // show every text whole, also after the font grows.
    void sizeAndDateColumnsShowTheirTextWhole()
    {
        AppState state;
        DeepCleanView view(&state, state.deepCleanVM());
        view.resize(900, 500);
        view.show();
        settle(state.deepCleanVM());
        QTreeWidget *table = view.table();
        QCOMPARE(table->topLevelItemCount(), 2);
        auto clipped = [table] {
            QStringList out;
            const QFontMetrics fm(table->font());
            for (int column :
                 {int(DeepCleanView::SizeColumn), int(DeepCleanView::ModifiedColumn)}) {
                for (int row = 0; row < table->topLevelItemCount(); ++row) {
                    const QString text = table->topLevelItem(row)->text(column);
                    if (text.isEmpty() ||
                        table->header()->sectionSize(column) < fm.horizontalAdvance(text))
                        out << text;
                }
            }
            return out;
        };
        QCOMPARE(clipped(), QStringList());
        QFont big = table->font();
        big.setPointSizeF(big.pointSizeF() * 3);
        table->setFont(big);
        QCOMPARE(clipped(), QStringList());
    }

    void headerCheckbox()
    {
        AppState state;
        DeepCleanView view(&state, state.deepCleanVM());
        view.resize(900, 500);
        // No targets: the box reads unticked and ticking it changes nothing.
        view.toggleHeaderCheck();
        QVERIFY(!view.headerChecked());
        QCOMPARE(view.deleteButton()->count(), 0);

        view.show();
        settle(state.deepCleanVM());
        QTreeWidget *table = view.table();
        QCOMPARE(table->topLevelItemCount(), 2);
        QVERIFY(
            table->topLevelItem(0)->text(DeepCleanView::PathColumn).endsWith("/big/node_modules"));
        view.toggleHeaderCheck();
        QVERIFY(view.headerChecked());
        QCOMPARE(view.deleteButton()->count(), 2);
        // Unticking one row unticks the header.
        table->topLevelItem(1)->setCheckState(DeepCleanView::CheckColumn, Qt::Unchecked);
        QVERIFY(!view.headerChecked());
        QCOMPARE(view.deleteButton()->count(), 1);
        view.toggleHeaderCheck();
        QCOMPARE(view.deleteButton()->count(), 2);
        view.toggleHeaderCheck();
        QCOMPARE(view.deleteButton()->count(), 0);

        Theme theme;
        for (auto [appearance, name] : {std::pair{Theme::Light, "deepclean-light.png"},
                                        std::pair{Theme::Dark, "deepclean-dark.png"}}) {
            theme.apply(appearance);
            table->topLevelItem(0)->setCheckState(DeepCleanView::CheckColumn, Qt::Checked);
            QCoreApplication::processEvents();
            view.grab().save(QDir::current().filePath(name));
        }
        theme.apply(Theme::Light);
    }

    void twoConfirmations_data()
    {
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<int>("questions");
        QTest::addColumn<bool>("moved");
        QTest::newRow("cancel at the first") << QList<bool>{false} << 1 << false;
        QTest::newRow("cancel at the second") << QList<bool>{true, false} << 2 << false;
        QTest::newRow("both yes") << QList<bool>{true, true} << 2 << true;
    }
    void twoConfirmations()
    {
        QFETCH(QList<bool>, answers);
        QFETCH(int, questions);
        QFETCH(bool, moved);
        AppState state;
        DeepCleanView view(&state, state.deepCleanVM());
        view.show();
        settle(state.deepCleanVM());
        view.toggleHeaderCheck();
        for (bool a : answers)
            Dialogs::pushConfirmAnswer(a);
        QTest::mouseClick(view.deleteButton(), Qt::LeftButton);
        settle(state.deepCleanVM());
        const auto last = Dialogs::lastConfirmation();
        QVERIFY(last);
        if (questions == 1) {
            QCOMPARE(last->title, QStringLiteral("Move to Trash?"));
            QCOMPARE(last->text,
                     QStringLiteral("Are you sure you want to delete the selected items?"));
            QCOMPARE(last->confirmLabel, QStringLiteral("Yes"));
        } else {
            QCOMPARE(last->title, QStringLiteral("Final Confirmation"));
            QCOMPARE(last->text,
                     QStringLiteral("This will move all selected items to the Trash. Proceed?"));
            QCOMPARE(last->confirmLabel, QStringLiteral("Absolutely Delete"));
        }
        QCOMPARE(inHome("big"), !moved);
        QCOMPARE(inHome("small"), !moved);
        QCOMPARE(view.table()->topLevelItemCount(), moved ? 0 : 2);
    }

    // The launch load ending while the questions are open must not cost the ticks, and a
    // folder that could not be moved is said out loud.
    void scanDuringTheQuestionsAndAFailure()
    {
        AppState state;
        DeepCleanViewModel *model = state.deepCleanVM();
        DeepCleanView view(&state, model);
        view.show();
        settle(model);
        view.toggleHeaderCheck();
        view.confirmClean(); // real dialogs this time
        model->scan(&state);
        settle(model);
        QCOMPARE(model->selectedCount(), 2);
        QVERIFY(QDir(home() + "/small/node_modules").removeRecursively());
        QVERIFY(answer("Yes"));
        QVERIFY(answer("Absolutely Delete"));
        settle(model);
        QVERIFY(!inHome("big"));
        QTRY_VERIFY(view.findChild<QMessageBox *>("cleanReport"));
        QMessageBox *report = view.findChild<QMessageBox *>("cleanReport");
        QCOMPARE(report->text(), QStringLiteral("1 of 2 folders could not be moved to the Trash."));
        QVERIFY(report->informativeText().contains("/small/node_modules: "));
        report->close();
    }
};

QTEST_MAIN(tst_DeepCleanView)
#include "tst_DeepCleanView.moc"
