#include "platform/desktop/AppInfo.h"

#include "QuillmarBuild.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace AppInfo {

QString name()
{
    return QStringLiteral("Quillmar");
}

QString shortVersion()
{
#ifdef QUILLMAR_VERSION
    const QString v = QStringLiteral(QUILLMAR_VERSION);
    return v.isEmpty() ? QStringLiteral("?") : v;
#else
    return QStringLiteral("?");
#endif
}

QString buildNumber()
{
#ifdef QUILLMAR_BUILD
    const QString v = QStringLiteral(QUILLMAR_BUILD);
    return v.isEmpty() ? QStringLiteral("?") : v;
#else
    return QStringLiteral("?");
#endif
}

QString versionLine()
{
    return QStringLiteral("Version ") + shortVersion() + QStringLiteral(" (") + buildNumber() +
           QStringLiteral(")");
}

QIcon icon()
{
    static const QIcon drawn = [] {
        QIcon result;
        for (int side : {16, 32, 64, 128, 256}) {
            QPixmap pm(side, side);
            pm.fill(Qt::transparent);
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            const qreal s = side;
            QPainterPath tile;
            tile.addRoundedRect(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92), s * 0.2, s * 0.2);
            QLinearGradient bg(0, 0, 0, s);
            bg.setColorAt(0, QColor(58, 123, 213));
            bg.setColorAt(1, QColor(36, 76, 160));
            p.fillPath(tile, bg);
            // A small squarified map: one large block, then smaller ones.
            const qreal m = s * 0.16, w = s - 2 * m, g = qMax<qreal>(1, s * 0.03);
            const QColor blocks[] = {QColor(255, 204, 0), QColor(255, 149, 0), QColor(52, 199, 89),
                                     QColor(90, 200, 250), QColor(255, 255, 255, 200)};
            const QRectF rects[] = {
                QRectF(m, m, w * 0.58 - g, w),
                QRectF(m + w * 0.58, m, w * 0.42, w * 0.5 - g),
                QRectF(m + w * 0.58, m + w * 0.5, w * 0.21 - g, w * 0.5),
                QRectF(m + w * 0.79, m + w * 0.5, w * 0.21, w * 0.25 - g),
                QRectF(m + w * 0.79, m + w * 0.75, w * 0.21, w * 0.25),
            };
            for (int i = 0; i < 5; ++i) {
                QPainterPath block;
                block.addRoundedRect(rects[i], s * 0.03, s * 0.03);
                p.fillPath(block, blocks[i]);
            }
            p.end();
            result.addPixmap(pm);
        }
        return result;
    }();
    return drawn;
}

} // namespace AppInfo
