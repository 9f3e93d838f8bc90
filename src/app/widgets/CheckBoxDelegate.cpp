#include "app/widgets/CheckBoxDelegate.h"

#include "app/widgets/Contrast.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>

#include <cmath>

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

namespace {

void drawBoxNow(QPainter *painter, const QRectF &box, Qt::CheckState state, const QPalette &palette,
                bool focused);

} // namespace

void CheckBoxDelegate::drawBox(QPainter *painter, const QRectF &box, Qt::CheckState state,
                               const QPalette &palette, bool focused)
{
    // A list draws the same few boxes on every row: each look is drawn once and then
    // copied, where the copy lands on whole pixels.
    const QTransform &to = painter->deviceTransform();
    const QPointF origin(std::floor(box.left()) - 4, std::floor(box.top()) - 4);
    if (to.type() > QTransform::TxTranslate || to.dx() != std::round(to.dx()) ||
        to.dy() != std::round(to.dy())) {
        drawBoxNow(painter, box, state, palette, focused);
        return;
    }
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QRectF inside = box.translated(-origin);
    const QString key = QStringLiteral("quillmar-box-%1-%2-%3-%4-%5-%6-%7-%8")
                            .arg(int(state))
                            .arg(focused)
                            .arg(inside.x())
                            .arg(inside.y())
                            .arg(inside.width())
                            .arg(inside.height())
                            .arg(dpr)
                            .arg(palette.cacheKey());
    QPixmap copy;
    if (!QPixmapCache::find(key, &copy)) {
        const QSizeF logical(std::ceil(inside.right()) + 4, std::ceil(inside.bottom()) + 4);
        copy = QPixmap((logical * dpr).toSize());
        copy.setDevicePixelRatio(dpr);
        copy.fill(Qt::transparent);
        QPainter p(&copy);
        drawBoxNow(&p, inside, state, palette, focused);
        p.end();
        QPixmapCache::insert(key, copy);
    }
    painter->drawPixmap(origin, copy);
}

namespace {

void drawBoxNow(QPainter *painter, const QRectF &box, Qt::CheckState state, const QPalette &palette,
                bool focused)
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
        painter->setPen(QPen(CheckBoxDelegate::edgeColor(palette), 1.2));
        painter->drawPath(path);
    }
    if (focused) {
        painter->setPen(QPen(palette.color(QPalette::Highlight), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(box.adjusted(-2.5, -2.5, 2.5, 2.5), radius + 2, radius + 2);
    }
    painter->restore();
}

} // namespace

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
