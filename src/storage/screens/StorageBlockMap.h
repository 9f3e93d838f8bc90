#pragma once

#include "storage/StorageScanner.h"
#include "storage/TreemapLayout.h"

#include <QRegion>
#include <QWidget>

#include <optional>

// The block map: each entry of the folder being looked at as a rectangle whose area
// follows its size, up to 80 blocks, the rest as one grey tile. The arrow keys move a
// focus ring between the blocks, Enter or Space chooses the one it is on (a folder
// opens), Delete asks to move the chosen entry to the Trash. To a screen reader the map
// is a list whose items are the blocks, each named with its size.
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
    std::optional<StorageEntry> chosen() const { return m_chosen; }
    // The block the keyboard is on (an index into content().blocks), or -1.
    int currentBlock() const { return m_current; }
    void setCurrentBlock(int index);
    // What Enter does with a block.
    void chooseBlock(int index);
    // What a screen reader calls a block, or the rest tile after the last block.
    QString accessibleText(int index) const;

    // No rounding below 24 points on the short side.
    static double cornerRadius(const QRectF &rect);
    // A label's title in at most `maxLines` lines of `width`: broken at spaces, the
    // last line elided.
    static QStringList labelLines(const QString &title, const QFont &font, double width,
                                  int maxLines);

signals:
    void choose(const StorageEntry &entry);
    // Delete or Shift+Delete.
    void removeChosen();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool event(QEvent *event) override;

private:
    void relayout();
    // The block nearest the current one in a direction (dx, dy), or -1.
    int neighbour(int dx, int dy) const;
    void drawLabel(QPainter &painter, const QRectF &rect, const QString &title,
                   const QString &size);

    QList<StorageEntry> m_entries;
    std::optional<StorageEntry> m_chosen;
    TreemapLayout::BlockMapContent m_content;
    int m_current = -1;
    QRegion m_iconsLeft; // blocks painted without their icon
};
