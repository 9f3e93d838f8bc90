#pragma once

#include "storage/StorageScanner.h"
#include "storage/TreemapLayout.h"

#include <QWidget>

#include <optional>

// The block map: each entry of the folder being looked at as a rectangle whose area
// follows its size, up to 80 blocks, the rest as one grey tile.
class StorageBlockMap : public QWidget {
    Q_OBJECT
public:
    explicit StorageBlockMap(QWidget *parent = nullptr);

    void setEntries(const QList<StorageEntry> &entries);
    void setChosen(const std::optional<StorageEntry> &chosen);

    // What is laid out for the current size (recomputed on every change).
    const TreemapLayout::BlockMapContent &content() const { return m_content; }
    // The block under a point, if any (the rest tile is none).
    std::optional<StorageEntry> entryAt(const QPointF &point) const;
    QString toolTipAt(const QPointF &point) const;

    // No rounding below 24 points on the short side.
    static double cornerRadius(const QRectF &rect);
    // A label's title in at most `maxLines` lines of `width`: broken at spaces, the
    // last line elided.
    static QStringList labelLines(const QString &title, const QFont &font, double width,
                                  int maxLines);

signals:
    void choose(const StorageEntry &entry);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void relayout();
    void drawLabel(QPainter &painter, const QRectF &rect, const QString &title,
                   const QString &size);

    QList<StorageEntry> m_entries;
    std::optional<StorageEntry> m_chosen;
    TreemapLayout::BlockMapContent m_content;
};
