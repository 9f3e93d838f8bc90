#include "app/widgets/CheckBoxDelegate.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int Side = 16;
}

void CheckBoxDelegate::drawBox(QPainter *painter, const QRect &cell, bool checked,
                               const QPalette &palette)
{
    const QRectF box(cell.center().x() - Side / 2.0 + 0.5, cell.center().y() - Side / 2.0 + 0.5,
                     Side - 1, Side - 1);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(box, 4, 4);
    if (checked) {
        painter->fillPath(path, palette.color(QPalette::Highlight));
        QPen pen(palette.color(QPalette::HighlightedText), 2);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter->setPen(pen);
        const QPointF o = box.topLeft();
        painter->drawPolyline(
            QPolygonF{o + QPointF(3.5, 7.5), o + QPointF(6.5, 10.5), o + QPointF(11.5, 4.5)});
    } else {
        painter->fillPath(path, palette.color(QPalette::Base));
        QColor edge = palette.color(QPalette::Text);
        edge.setAlphaF(0.45);
        painter->setPen(QPen(edge, 1.2));
        painter->drawPath(path);
    }
    painter->restore();
}

void CheckBoxDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QVariant state = index.data(Qt::CheckStateRole);
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    opt.text.clear();
    const QWidget *widget = opt.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
    if (state.isValid())
        drawBox(painter, option.rect, state.toInt() == Qt::Checked, option.palette);
}

QSize CheckBoxDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    return {Side + 12, qMax(Side + 12, option.fontMetrics.height() + 12)};
}

bool CheckBoxDelegate::editorEvent(QEvent *event, QAbstractItemModel *model,
                                   const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (!(index.flags() & Qt::ItemIsUserCheckable) || !index.data(Qt::CheckStateRole).isValid())
        return false;
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
        return option.rect.contains(static_cast<QMouseEvent *>(event)->position().toPoint());
    if (event->type() != QEvent::MouseButtonRelease)
        return false;
    if (!option.rect.contains(static_cast<QMouseEvent *>(event)->position().toPoint()))
        return false;
    const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}
