#include "cleaning/screens/TwoLineDelegate.h"

#include "app/widgets/Style.h"

#include <QApplication>
#include <QPainter>

void TwoLineDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    const QString second = index.data(SecondLineRole).toString();
    if (second.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString first = opt.text;
    opt.text.clear();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect text =
        style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(2, 3, -2, -3);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette &pal = opt.palette;
    painter->save();
    QFont firstFont = opt.font;
    painter->setFont(firstFont);
    painter->setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QFontMetrics fm(firstFont);
    const QRect top(text.left(), text.top(), text.width(), fm.height());
    painter->drawText(top, Qt::AlignLeft | Qt::AlignVCenter,
                      fm.elidedText(first, Qt::ElideRight, top.width()));
    const QFont secondFont = Style::font(Style::Text::Caption);
    painter->setFont(secondFont);
    painter->setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    const QFontMetrics sm(secondFont);
    const QRect bottom(text.left(), top.bottom() + 2, text.width(), sm.height());
    painter->drawText(bottom, Qt::AlignLeft | Qt::AlignVCenter,
                      sm.elidedText(second, Qt::ElideRight, bottom.width()));
    painter->restore();
}

QSize TwoLineDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // Room to breathe, and the same height as a checkbox cell.
    size.setHeight(qMax(size.height() + 8, 28));
    if (!index.data(SecondLineRole).toString().isEmpty()) {
        const int lines = QFontMetrics(option.font).height() +
                          QFontMetrics(Style::font(Style::Text::Caption)).height() + 10;
        size.setHeight(qMax(size.height(), lines));
    }
    return size;
}
