#include "finders/screens/StackedTextDelegate.h"

#include "app/widgets/Style.h"

#include <QApplication>
#include <QPainter>

namespace {
constexpr int kPadding = 4;
}

void StackedTextDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString main = opt.text;
    opt.text.clear();
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (opt.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    QColor mainColor =
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = mainColor;
    secondary.setAlphaF(0.65);

    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
                           .adjusted(kPadding, kPadding, -kPadding, -kPadding);
    painter->save();
    painter->setClipRect(opt.rect);
    int y = text.top();
    painter->setFont(opt.font);
    painter->setPen(mainColor);
    const QFontMetrics mainMetrics(opt.font);
    painter->drawText(QRect(text.left(), y, text.width(), mainMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      mainMetrics.elidedText(main, Qt::ElideMiddle, text.width()));
    y += mainMetrics.height();
    const QFont small = Style::font(Style::Text::Caption);
    const QFontMetrics smallMetrics(small);
    painter->setFont(small);
    painter->setPen(secondary);
    for (const QString &line : index.data(SecondaryLinesRole).toStringList()) {
        painter->drawText(QRect(text.left(), y, text.width(), smallMetrics.height()),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          smallMetrics.elidedText(line, Qt::ElideMiddle, text.width()));
        y += smallMetrics.height();
    }
    painter->restore();
}

QSize StackedTextDelegate::sizeHint(const QStyleOptionViewItem &option,
                                    const QModelIndex &index) const
{
    const QFontMetrics mainMetrics(option.font);
    const QFontMetrics smallMetrics(Style::font(Style::Text::Caption));
    const QStringList lines = index.data(SecondaryLinesRole).toStringList();
    int width = mainMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
    for (const QString &line : lines)
        width = qMax(width, smallMetrics.horizontalAdvance(line));
    return QSize(qMin(width, 480) + 4 * kPadding,
                 mainMetrics.height() + int(lines.size()) * smallMetrics.height() + 3 * kPadding);
}
