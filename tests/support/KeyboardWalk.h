#pragma once

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QWidget>

// What a keyboard and screen reader user would stumble on in the window of `root`, going
// round it once with Tab from `start`: a control without an accessible name or role, a
// cell of a list the keyboard reaches without a name, a control under `root` that Tab never
// reaches, and a step back up the screen (other than into the next column) or leftwards
// along a band.
inline QStringList keyboardFaults(QWidget *root, QWidget *start)
{
    auto nameOf = [](const QWidget *w) {
        return QString::fromLatin1(w->metaObject()->className()) + '/' + w->objectName();
    };
    auto focusable = [](const QWidget *w) {
        return w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
               !w->focusProxy();
    };
    // Round once first: a list the keyboard enters may show more (a group's copies).
    start->setFocus(Qt::TabFocusReason);
    QList<QWidget *> inside;
    if (root->isAncestorOf(start))
        inside << start;
    for (int i = 0; i < 400; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        if (now == start)
            break;
        if (now && root->isAncestorOf(now) && !inside.contains(now))
            inside << now;
    }
    QStringList faults;
    for (QWidget *w : root->window()->findChildren<QWidget *>()) {
        if (!focusable(w))
            continue;
        if (root->isAncestorOf(w) && !inside.contains(w))
            faults << "never reached: " + nameOf(w);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        if (!iface || iface->text(QAccessible::Name).trimmed().isEmpty() ||
            iface->role() == QAccessible::NoRole || iface->role() == QAccessible::Client)
            faults << "unnamed: " + nameOf(w);
        else if (QAccessibleTableInterface *table = iface->tableInterface())
            for (int row = 0; row < qMin(table->rowCount(), 6); ++row)
                for (int column = 0; column < table->columnCount(); ++column)
                    if (QAccessibleInterface *cell = table->cellAt(row, column);
                        cell && cell->state().focusable &&
                        cell->text(QAccessible::Name).trimmed().isEmpty())
                        faults << QStringLiteral("unnamed: %1 %2:%3")
                                      .arg(nameOf(w))
                                      .arg(row)
                                      .arg(column);
    }
    for (int i = 1; i < inside.size(); ++i) {
        const QRect a(inside.at(i - 1)->mapTo(root->window(), QPoint()), inside.at(i - 1)->size());
        const QRect b(inside.at(i)->mapTo(root->window(), QPoint()), inside.at(i)->size());
        const bool above = b.bottom() < a.top() && b.left() < a.right();
        const bool sameBand = b.top() <= a.bottom() && a.top() <= b.bottom();
        if (above || (sameBand && b.right() < a.left()))
            faults << nameOf(inside.at(i - 1)) + " before " + nameOf(inside.at(i));
    }
    return faults;
}
