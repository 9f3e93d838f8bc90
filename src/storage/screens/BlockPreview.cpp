#include "storage/screens/BlockPreview.h"

#include "app/widgets/FileIcons.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "platform/FileProperties.h"
#include "storage/TreemapLayout.h"

#include <QCache>
#include <QImageReader>
#include <QPainter>
#include <QPointer>
#include <QSet>
#include <QtConcurrent>

struct BlockPreview::Cache {
    // Cost is in kilobytes: at most about 96 MB of thumbnails stay in memory.
    QCache<QString, QImage> images{96 * 1024};
    QSet<QString> pending;
    QSet<QString> none; // files that gave no thumbnail
};

BlockPreview *BlockPreview::instance()
{
    static BlockPreview *preview = [] {
        auto *p = new BlockPreview;
        if (QCoreApplication::instance())
            p->moveToThread(QCoreApplication::instance()->thread());
        return p;
    }();
    return preview;
}

BlockPreview::Cache &BlockPreview::cache()
{
    static Cache c;
    return c;
}

std::optional<QImage> BlockPreview::cached(const QString &path) const
{
    if (const QImage *image = cache().images.object(path))
        return *image;
    return std::nullopt;
}

std::optional<QImage> BlockPreview::thumbnail(const QString &path, double side)
{
    const auto props = FileProperties::read(path);
    if (props && props->isDirectory)
        return std::nullopt;
    if (side <= TreemapLayout::thumbnailMinimumSide)
        return std::nullopt;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead())
        return std::nullopt;
    const QSize box = TreemapLayout::thumbnailPixelSize(side);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatioByExpanding).boundedTo(size));
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

void BlockPreview::request(const StorageEntry &entry, double side)
{
    if (!TreemapLayout::wantsThumbnail(entry, side))
        return;
    const QString path = entry.path();
    Cache &c = cache();
    if (c.images.contains(path) || c.pending.contains(path) || c.none.contains(path))
        return;
    c.pending.insert(path);
    ++m_started;
    // The shared cache hears of every result, even when this map is gone by then, so a
    // path never stays pending for good.
    QPointer<BlockPreview> self(this);
    whenFinished(QCoreApplication::instance(),
                 Background::start([path, side] { return thumbnail(path, side); }),
                 [self, path](const std::optional<QImage> &image) {
                     Cache &c = cache();
                     c.pending.remove(path);
                     if (!image) {
                         c.none.insert(path);
                         return;
                     }
                     c.images.insert(path, new QImage(*image),
                                     qMax<qsizetype>(1, image->sizeInBytes() / 1024));
                     if (self)
                         emit self->ready(path);
                 });
}

QColor BlockPreview::background(const QPalette &palette)
{
    // File icons are mostly white paper: on a light theme the block goes a shade darker
    // so they stand out; a dark theme's button colour already does that.
    const QColor button = palette.color(QPalette::Button);
    return button.lightness() > 160 ? button.darker(122) : button;
}

void BlockPreview::paint(QPainter &painter, const QRectF &rect, const StorageEntry &entry,
                         double side, const QPalette &palette) const
{
    painter.fillRect(rect, background(palette));
    if (const QImage *image = cache().images.object(entry.path())) {
        // Fill the block, cropping the overflow, as a thumbnail background does; but
        // never blow a thumbnail up past its own pixels (it would only blur).
        const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QSizeF own = QSizeF(image->size()) / dpr;
        QSizeF scaled = own.scaled(rect.size(), Qt::KeepAspectRatioByExpanding);
        if (scaled.width() > own.width())
            scaled = own;
        const QRectF target(rect.center().x() - scaled.width() / 2,
                            rect.center().y() - scaled.height() / 2, scaled.width(),
                            scaled.height());
        painter.save();
        painter.setClipRect(rect, Qt::IntersectClip);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *image);
        painter.restore();
        return;
    }
    const double edge = qMin(TreemapLayout::iconSize(side), qMin(rect.width(), rect.height()));
    if (edge < 4)
        return;
    const QIcon icon = FileIcons::icon(entry.path(), entry.isDirectory);
    const QRectF iconRect(rect.center().x() - edge / 2, rect.center().y() - edge / 2, edge, edge);
    icon.paint(&painter, iconRect.toAlignedRect());
}
