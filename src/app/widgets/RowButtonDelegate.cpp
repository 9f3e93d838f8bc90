#include "app/widgets/RowButtonDelegate.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

QStyle *styleOf(const QWidget *widget)
{
    return widget ? widget->style() : QApplication::style();
}

QSize buttonSize(const QString &label, const QWidget *widget)
{
    QStyleOptionButton opt;
    opt.text = label;
    const QFontMetrics fm = widget ? widget->fontMetrics() : QFontMetrics(QApplication::font());
    const QSize text(fm.horizontalAdvance(label), fm.height());
    return styleOf(widget)->sizeFromContents(QStyle::CT_PushButton, &opt, text, widget);
}

} // namespace

QRect RowButtonDelegate::buttonRect(const QRect &cell, const QString &label, const QWidget *widget)
{
    QSize size = buttonSize(label, widget).boundedTo(cell.size() - QSize(4, 2));
    QRect r(QPoint(0, 0), size);
    r.moveCenter(cell.center());
    return r;
}

void RowButtonDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget *widget = option.widget;
    styleOf(widget)->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);
    // A row without a label offers no button.
    if (index.data(Qt::DisplayRole).toString().isEmpty())
        return;

    QStyleOptionButton button;
    button.text = index.data(Qt::DisplayRole).toString();
    button.rect = buttonRect(option.rect, button.text, widget);
    button.palette = option.palette;
    button.state = QStyle::State_Raised;
    if (option.state & QStyle::State_Enabled)
        button.state |= QStyle::State_Enabled;
    if (m_pressed == index)
        button.state |= QStyle::State_Sunken;
    // The keyboard's current cell: the button shows the style's focus ring.
    if ((option.state & QStyle::State_HasFocus) && widget && widget->hasFocus())
        button.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
    styleOf(widget)->drawControl(QStyle::CE_PushButton, &button, painter, widget);
}

QSize RowButtonDelegate::sizeHint(const QStyleOptionViewItem &option,
                                  const QModelIndex &index) const
{
    return buttonSize(index.data(Qt::DisplayRole).toString(), option.widget) + QSize(12, 4);
}

bool RowButtonDelegate::editorEvent(QEvent *event, QAbstractItemModel *,
                                    const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease &&
        event->type() != QEvent::MouseButtonDblClick)
        return false;
    auto *mouse = static_cast<QMouseEvent *>(event);
    const bool onButton =
        mouse->button() == Qt::LeftButton &&
        buttonRect(option.rect, index.data(Qt::DisplayRole).toString(), option.widget)
            .contains(mouse->position().toPoint());
    if (event->type() == QEvent::MouseButtonRelease) {
        const bool wasPressed = m_pressed == index;
        m_pressed = QPersistentModelIndex();
        if (wasPressed && onButton)
            emit clicked(index);
        return onButton || wasPressed;
    }
    if (onButton)
        m_pressed = index;
    return onButton;
}
