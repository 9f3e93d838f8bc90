#pragma once

#include <QStyledItemDelegate>

// A checkbox drawn centred in its cell from palette roles; a click inside the cell toggles
// the item's check state. The style draws every other tick box the same way, so none
// vanishes on a dark palette.
class CheckBoxDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // A box of `box`'s size: its edge reaches 3:1 against the row, window and box
    // colours; `focused` adds the keyboard's ring around it.
    static void drawBox(QPainter *painter, const QRectF &box, Qt::CheckState state,
                        const QPalette &palette, bool focused = false);
    // Where the box sits in a cell.
    static QRectF boxIn(const QRect &cell);
    static QColor edgeColor(const QPalette &palette);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
};
