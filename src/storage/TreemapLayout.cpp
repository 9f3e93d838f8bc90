#include "storage/TreemapLayout.h"

#include "platform/DisplayName.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace TreemapLayout {

namespace {

// The worst aspect ratio of a row with total area `total`, largest area `largest`
// and smallest area `smallest`, laid along a side of length `side`.
double worstRatio(double total, double largest, double smallest, double side)
{
    if (!(total > 0) || !(smallest > 0))
        return std::numeric_limits<double>::infinity();
    const double s2 = side * side;
    const double t2 = total * total;
    return std::max(s2 * largest / t2, t2 / (s2 * smallest));
}

} // namespace

QList<QRectF> squarify(const QList<double> &values, const QRectF &rect)
{
    const qsizetype n = values.size();
    QList<QRectF> result(n, QRectF());
    if (n == 0)
        return result;

    // Negative values get no area, so they must not shrink the sum either: the other
    // rectangles would outgrow `rect`.
    double sum = 0;
    for (double v : values)
        sum += std::max(v, 0.0);
    if (!(sum > 0) || !(rect.width() > 0) || !(rect.height() > 0))
        return result;

    const double scale = rect.width() * rect.height() / sum;
    QList<double> areas(n);
    for (qsizetype k = 0; k < n; ++k)
        areas[k] = scale * std::max(values[k], 0.0);

    double fx = rect.x(), fy = rect.y(), fw = rect.width(), fh = rect.height();
    qsizetype i = 0;
    while (i < n) {
        const double side = std::min(fw, fh);
        if (!(side > 0))
            break;

        qsizetype end = i + 1;
        double total = areas[i], largest = areas[i], smallest = areas[i];
        if (i + 1 < n) {
            double current = worstRatio(total, largest, smallest, side);
            while (end < n) {
                const double a = areas[end];
                const double t = total + a;
                const double l = std::max(largest, a);
                const double m = std::min(smallest, a);
                const double with = worstRatio(t, l, m, side);
                if (!(with <= current))
                    break;
                total = t;
                largest = l;
                smallest = m;
                current = with;
                ++end;
            }
        }

        const double thickness = total / side;
        const bool alongLeft = fw >= fh;
        double offset = 0;
        for (qsizetype k = i; k < end; ++k) {
            const double length = thickness > 0 ? areas[k] / thickness : 0;
            if (alongLeft)
                result[k] = QRectF(fx, fy + offset, thickness, length);
            else
                result[k] = QRectF(fx + offset, fy, length, thickness);
            offset += length;
        }
        if (alongLeft) {
            fx += thickness;
            fw = std::max(0.0, fw - thickness);
        } else {
            fy += thickness;
            fh = std::max(0.0, fh - thickness);
        }
        i = end;
    }
    return result;
}

QString RestTile::title() const
{
    return QString::number(count) + QStringLiteral(" smaller items");
}

BlockMapContent blockMapContent(const QList<StorageEntry> &entries, const QSizeF &size)
{
    BlockMapContent content;
    if (entries.isEmpty()) {
        content.showsEmptyText = true;
        return content;
    }
    QList<StorageEntry> shown;
    for (const StorageEntry &e : entries) {
        if (e.bytes > 0)
            shown.append(e);
        if (shown.size() == largestBlockCount)
            break;
    }
    // With entries sorted largest first, the ones past the shown count are the ones
    // too small for a block.
    qint64 rest = 0;
    for (qsizetype k = shown.size(); k < entries.size(); ++k)
        rest += entries[k].bytes;

    QList<double> values;
    values.reserve(shown.size() + 1);
    for (const StorageEntry &e : shown)
        values.append(double(e.bytes));
    if (rest >= 1)
        values.append(double(rest));

    const QList<QRectF> rects = squarify(values, QRectF(QPointF(0, 0), size));
    for (qsizetype k = 0; k < shown.size(); ++k)
        content.blocks.append(Block{shown[k], rects[k]});
    if (rest >= 1)
        content.rest = RestTile{int(entries.size() - shown.size()), rest, rects.last()};
    return content;
}

QRectF blockRect(const QRectF &rect)
{
    return QRectF(rect.x() + blockInset, rect.y() + blockInset,
                  std::max(0.0, rect.width() - 2 * blockInset),
                  std::max(0.0, rect.height() - 2 * blockInset));
}

bool showsLabel(const QRectF &rect)
{
    return rect.width() > labelMinimumWidth && rect.height() > labelMinimumHeight;
}

QString blockToolTip(const StorageEntry &entry)
{
    QString text = DisplayName::line(entry.name()) + QStringLiteral(" · ") + sizeText(entry);
    if (entry.isDirectory)
        text += QStringLiteral(" · click to open");
    return text;
}

double previewSide(const QRectF &rect)
{
    return std::max(rect.width(), rect.height());
}

bool wantsThumbnail(const StorageEntry &entry, double side)
{
    return !entry.isDirectory && side > thumbnailMinimumSide;
}

QSize thumbnailPixelSize(double side)
{
    const int px = int(std::lround(std::min(side, thumbnailMaximumSide) * thumbnailScale));
    return QSize(px, px);
}

double iconSize(double side)
{
    return std::min(side / 2, iconMaximumSize);
}

qint64 columnTotal(const QList<StorageEntry> &entries)
{
    qint64 total = 0;
    for (const StorageEntry &e : entries)
        total += e.bytes;
    return total < 2 ? 1 : total;
}

double columnBarWidth(qint64 bytes, qint64 columnTotal, double availableWidth)
{
    const double share = columnTotal > 0 ? availableWidth * double(bytes) / double(columnTotal) : 0;
    return std::max(share, columnBarMinimumWidth);
}

} // namespace TreemapLayout
