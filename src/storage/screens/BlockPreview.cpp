#include "storage/screens/BlockPreview.h"

#include "app/widgets/FileIcons.h"
#include "app/widgets/OneATurn.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "platform/FileProperties.h"
#include "storage/TreemapLayout.h"

#include <QCache>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QtConcurrent>

struct BlockPreview::Cache {
    // Cost is in kilobytes: at most about 96 MB of thumbnails stay in memory.
    QCache<QString, QImage> images{96 * 1024};
    QSet<QString> pending;
    QSet<QString> none; // files that gave no thumbnail
    // File icons as drawn: (icon, device pixels) to its pixmap.
    QHash<std::pair<qint64, int>, QPixmap> icons;
};

namespace {

// The icon's edge, down to the nearest size it is drawn at; 0 for none.
int iconStep(double edge)
{
    static constexpr int steps[] = {96, 64, 48, 32, 24, 16, 12, 8, 4};
    for (int step : steps) {
        if (edge >= step)
            return step;
    }
    return 0;
}

} // namespace

BlockPreview::BlockPreview() : m_iconMaker(new OneATurn(this))
{
    connect(m_iconMaker, &OneATurn::drained, this, &BlockPreview::iconsMade);
}

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
    // Only a name that says picture is worth a look: starting a job for each block of a
    // folder of documents cost the window's thread more than the rest of the map.
    static const QList<QByteArray> readable = QImageReader::supportedMimeTypes();
    if (!readable.contains(FileIcons::typeOf(path).name().toLatin1()))
        return;
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

bool BlockPreview::paint(QPainter &painter, const QRectF &rect, const StorageEntry &entry,
                         double side, const QPalette &palette, QDeadlineTimer makeIconsBy) const
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
        return true;
    }
    const int edge =
        iconStep(qMin(TreemapLayout::iconSize(side), qMin(rect.width(), rect.height())));
    if (edge == 0)
        return true;
    const QIcon icon = FileIcons::icon(entry.path(), entry.isDirectory);
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const std::pair<qint64, int> key(icon.cacheKey(), qRound(edge * dpr));
    QHash<std::pair<qint64, int>, QPixmap> &icons = cache().icons;
    auto it = icons.constFind(key);
    if (it == icons.constEnd()) {
        if (makeIconsBy.hasExpired()) {
            // Made in a later turn; the map hears when all are.
            m_iconMaker->add(QString::number(key.first) + QLatin1Char(':') +
                                 QString::number(key.second),
                             [key, icon, edge, dpr] {
                                 QHash<std::pair<qint64, int>, QPixmap> &made = cache().icons;
                                 if (!made.contains(key))
                                     made.insert(key, icon.pixmap(QSize(edge, edge), dpr));
                             });
            return false;
        }
        it = icons.insert(key, icon.pixmap(QSize(edge, edge), dpr));
    }
    // A theme may hold a smaller image than asked for; it is drawn at its own size.
    const QSizeF own = it->deviceIndependentSize();
    painter.drawPixmap(QPointF(qRound(rect.center().x() - own.width() / 2),
                               qRound(rect.center().y() - own.height() / 2)),
                       *it);
    return true;
}
