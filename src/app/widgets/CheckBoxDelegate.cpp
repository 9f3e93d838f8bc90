#include "app/widgets/CheckBoxDelegate.h"

#include "app/widgets/Contrast.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int Side = 16;
}

QRectF CheckBoxDelegate::boxIn(const QRect &cell)
{
    return QRectF(cell.center().x() - Side / 2.0 + 0.5, cell.center().y() - Side / 2.0 + 0.5,
                  Side - 1, Side - 1);
}

QColor CheckBoxDelegate::edgeColor(const QPalette &palette)
{
    return Contrast::reaching(palette.color(QPalette::PlaceholderText),
                              {palette.color(QPalette::Base),
                               palette.color(QPalette::AlternateBase),
                               palette.color(QPalette::Window)},
                              Contrast::graphic);
}

void CheckBoxDelegate::drawBox(QPainter *painter, const QRectF &box, Qt::CheckState state,
                               const QPalette &palette, bool focused)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const double radius = qMin(4.0, box.width() / 4);
    QPainterPath path;
    path.addRoundedRect(box, radius, radius);
    const QColor base = palette.color(QPalette::Base);
    if (state != Qt::Unchecked) {
        const QColor fill = palette.color(QPalette::Highlight);
        painter->fillPath(path, fill);
        // The fill alone may not stand out from the row: an edge that does.
        painter->setPen(
            QPen(Contrast::reaching(fill, {base, palette.color(QPalette::AlternateBase)},
                                    Contrast::graphic),
                 1.2));
        painter->drawPath(path);
        QPen pen(palette.color(QPalette::HighlightedText), qMax(1.5, box.width() / 7.5));
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter->setPen(pen);
        auto at = [&box](double x, double y) {
            return box.topLeft() + QPointF(box.width() * x, box.height() * y);
        };
        if (state == Qt::Checked)
            painter->drawPolyline(QPolygonF{at(0.23, 0.5), at(0.43, 0.7), at(0.77, 0.3)});
        else
            painter->drawLine(at(0.27, 0.5), at(0.73, 0.5));
    } else {
        painter->fillPath(path, base);
        painter->setPen(QPen(edgeColor(palette), 1.2));
        painter->drawPath(path);
    }
    if (focused) {
        painter->setPen(QPen(palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(box.adjusted(-2.5, -2.5, 2.5, 2.5), radius + 2, radius + 2);
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
        drawBox(painter, boxIn(option.rect), Qt::CheckState(state.toInt()), option.palette,
                (option.state & QStyle::State_HasFocus) && widget && widget->hasFocus());
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
