#pragma once

#include "storage/StorageScanner.h"

#include <QList>
#include <QRectF>
#include <QSize>
#include <QString>

#include <optional>

// Layout rules of the storage map: the squarified treemap, what the block map lays
// out, when a block shows a label or a thumbnail, and the width of a column row's
// size bar. Pure functions over sizes and entries; the drawing is the screen's.
namespace TreemapLayout {

// One rectangle per value, in the same order, filling `rect` (values largest first
// give the best shapes). Negative values get no area; a non-positive sum or an empty
// rectangle gives zero rectangles.
QList<QRectF> squarify(const QList<double> &values, const QRectF &rect);

// ---- Block map -------------------------------------------------------------------

inline constexpr int largestBlockCount = 80;
inline constexpr double blockInset = 1;
inline constexpr double blockCornerRadius = 4;
inline constexpr double labelMinimumWidth = 64;  // a label needs a width above this
inline constexpr double labelMinimumHeight = 30; // and a height above this
inline constexpr double thumbnailMinimumSide = 40;
inline constexpr double thumbnailMaximumSide = 400;
inline constexpr double thumbnailScale = 2;
inline constexpr double iconMaximumSize = 96;

inline constexpr const char emptyMapText[] = "Nothing to show yet";

struct Block {
    StorageEntry entry;
    QRectF rect; // as laid out; draw inside blockRect(rect)
};

// The tile that stands for every entry too small to get a block of its own.
struct RestTile {
    int count = 0;    // entries without a block
    qint64 bytes = 0; // their total
    QRectF rect;
    QString title() const; // "<count> smaller items"
};

struct BlockMapContent {
    bool showsEmptyText = false; // no entries at all: show emptyMapText instead
    QList<Block> blocks;
    std::optional<RestTile> rest;
};

// What the block map shows for a column's entries (largest first) in an area of the
// given size: the first 80 entries with bytes above 0 get blocks, the rest one tile.
BlockMapContent blockMapContent(const QList<StorageEntry> &entries, const QSizeF &size);

// The rectangle a block or the rest tile is drawn in: 1 point in on every side.
QRectF blockRect(const QRectF &rect);
// Whether a block (or the rest tile) laid out in `rect` shows its name and size.
bool showsLabel(const QRectF &rect);
// "name · size" and, for a folder, " · click to open".
QString blockToolTip(const StorageEntry &entry);

// ---- Block preview ---------------------------------------------------------------

// The preview's side for a block laid out in `rect`: the larger of width and height.
double previewSide(const QRectF &rect);
// Folders never get thumbnails, nor blocks of 40 points or less.
bool wantsThumbnail(const StorageEntry &entry, double side);
// The thumbnail to ask for, in pixels: min(side, 400) points at scale 2, square.
QSize thumbnailPixelSize(double side);
// The file icon's edge: half the side, at most 96 points.
double iconSize(double side);

// ---- Column rows -----------------------------------------------------------------

inline constexpr double columnBarMinimumWidth = 2;
inline constexpr double columnBarHeight = 3;
inline constexpr const char emptyColumnText[] = "Empty";

// The sum of the column's bytes, 1 when below 2 (so bars never divide by zero).
qint64 columnTotal(const QList<StorageEntry> &entries);
// A row's bar: its share of the available width, at least 2 points.
double columnBarWidth(qint64 bytes, qint64 columnTotal, double availableWidth);

} // namespace TreemapLayout
