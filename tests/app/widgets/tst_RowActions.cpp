#include "app/widgets/RowActions.h"

#include <QApplication>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

class TestRowActions : public QObject {
    Q_OBJECT

private slots:
    // Three rows of a tick box, a name and a button; the middle row has no tick box, the
    // last no button.
    void keyboardReachesEveryControl_data()
    {
        QTest::addColumn<QString>("start"); // the widget that has the focus first
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("trail"); // the current cell, or the widget, after each
        QTest::addColumn<QStringList>("done");
        QTest::newRow("Tab: each control, row by row, then out")
            << "before" << QStringList(5, "Tab") << QStringList{"0:0", "0:2", "1:2", "2:0", "after"}
            << QStringList();
        QTest::newRow("Shift+Tab: the same way back")
            << "after" << QStringList(5, "Backtab")
            << QStringList{"2:0", "1:2", "0:2", "0:0", "before"} << QStringList();
        QTest::newRow("Space ticks, Space and Enter press")
            << "before" << QStringList{"Tab", "Space", "Space", "Tab", "Space", "Enter"}
            << QStringList{"0:0", "0:0", "0:0", "0:2", "0:2", "0:2"}
            << QStringList{"tick 0 on", "tick 0 off", "press 0", "press 0"};
        QTest::newRow("Delete and Shift+Delete ask through the table's removal")
            << "before" << QStringList{"Tab", "Tab", "Tab", "Delete", "Shift+Delete"}
            << QStringList{"0:0", "0:2", "1:2", "1:2", "1:2"}
            << QStringList{"remove 1", "remove 1"};
    }

    void keyboardReachesEveryControl()
    {
        QFETCH(QString, start);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, trail);
        QFETCH(QStringList, done);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        QTableView *table = nullptr;
        for (const char *name : {"before", "", "after"}) {
            QWidget *w = *name ? static_cast<QWidget *>(new QLineEdit(&window))
                               : (table = new QTableView(&window));
            w->setObjectName(name);
            layout->addWidget(w);
        }
        QStandardItemModel model(3, 3);
        QStringList log;
        for (int row = 0; row < 3; ++row) {
            auto *tick = new QStandardItem;
            tick->setCheckable(row != 1);
            if (row != 1)
                tick->setCheckState(Qt::Unchecked);
            model.setItem(row, 0, tick);
            model.setItem(row, 1, new QStandardItem(QStringLiteral("name %1").arg(row)));
            model.setItem(row, 2, new QStandardItem(row != 2 ? QStringLiteral("Delete") : ""));
        }
        connect(&model, &QStandardItemModel::itemChanged, this, [&log](QStandardItem *item) {
            log << QStringLiteral("tick %1 %2")
                       .arg(item->row())
                       .arg(item->checkState() == Qt::Checked ? "on" : "off");
        });
        table->setModel(&model);
        auto *actions = new RowActions(table);
        actions->setTickColumn(0);
        actions->addButtonColumn(2, [&log](const QModelIndex &cell) {
            log << QStringLiteral("press %1").arg(cell.row());
        });
        actions->setRemove([&log](const QModelIndex &current) {
            log << QStringLiteral("remove %1").arg(current.row());
        });
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.findChild<QWidget *>(start)->setFocus();
        QStringList seen;
        for (const QString &key : keys) {
            const QKeyCombination pressed = QKeySequence(key)[0];
            QTest::keyClick(QApplication::focusWidget(), pressed.key(),
                            pressed.keyboardModifiers());
            const QModelIndex at = table->currentIndex();
            seen << (table->hasFocus() ? QStringLiteral("%1:%2").arg(at.row()).arg(at.column())
                                       : QApplication::focusWidget()->objectName());
        }
        QCOMPARE(seen, trail);
        QCOMPARE(log, done);
    }
};

QTEST_MAIN(TestRowActions)
#include "tst_RowActions.moc"
