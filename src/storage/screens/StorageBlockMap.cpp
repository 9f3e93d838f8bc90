#include "storage/screens/StorageBlockMap.h"

#include "app/widgets/Style.h"
#include "platform/DisplayName.h"
#include "storage/screens/BlockPreview.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

StorageBlockMap::StorageBlockMap(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("storageBlockMap"));
    setMinimumSize(100, 80);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    connect(BlockPreview::instance(), &BlockPreview::ready, this, [this](const QString &path) {
        for (const TreemapLayout::Block &block : std::as_const(m_content.blocks)) {
            if (block.entry.path() == path) {
                update(TreemapLayout::blockRect(block.rect).toAlignedRect());
                return;
            }
        }
    });
}

void StorageBlockMap::setEntries(const QList<StorageEntry> &entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    relayout();
}

void StorageBlockMap::setChosen(const std::optional<StorageEntry> &chosen)
{
    if (chosen == m_chosen)
        return;
    m_chosen = chosen;
    update();
}

void StorageBlockMap::relayout()
{
    m_content = TreemapLayout::blockMapContent(m_entries, QSizeF(size()));
    if (isVisible()) {
        for (const TreemapLayout::Block &block : std::as_const(m_content.blocks))
            BlockPreview::instance()->request(block.entry, TreemapLayout::previewSide(block.rect));
    }
    update();
}

void StorageBlockMap::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    relayout();
}

std::optional<StorageEntry> StorageBlockMap::entryAt(const QPointF &point) const
{
    for (const TreemapLayout::Block &block : m_content.blocks) {
        if (TreemapLayout::blockRect(block.rect).contains(point))
            return block.entry;
    }
    return std::nullopt;
}

QString StorageBlockMap::toolTipAt(const QPointF &point) const
{
    if (const auto entry = entryAt(point))
        return TreemapLayout::blockToolTip(*entry);
    return QString();
}

void StorageBlockMap::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        if (const auto entry = entryAt(event->position()))
            emit choose(*entry);
    }
    QWidget::mouseReleaseEvent(event);
}

bool StorageBlockMap::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString tip = toolTipAt(help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    if (event->type() == QEvent::Show)
        relayout();
    return QWidget::event(event);
}

double StorageBlockMap::cornerRadius(const QRectF &rect)
{
    // Rounded corners on a small block turn a field of them into dots.
    return qMin(rect.width(), rect.height()) < 24 ? 0.0 : TreemapLayout::blockCornerRadius;
}

QStringList StorageBlockMap::labelLines(const QString &title, const QFont &font, double width,
                                        int maxLines)
{
    const QFontMetricsF fm(font);
    QStringList lines;
    QString rest = title;
    while (!rest.isEmpty() && lines.size() < maxLines - 1 && fm.horizontalAdvance(rest) > width) {
        // Break after the last space that still fits; a single long word is not broken.
        int cut = -1;
        for (int i = int(rest.size()) - 1; i > 0; --i) {
            if (rest.at(i) == QLatin1Char(' ') && fm.horizontalAdvance(rest.left(i)) <= width) {
                cut = i;
                break;
            }
        }
        if (cut < 0)
            break;
        lines.append(rest.left(cut));
        rest = rest.mid(cut + 1);
    }
    lines.append(fm.elidedText(rest, Qt::ElideRight, width));
    return lines;
}

void StorageBlockMap::drawLabel(QPainter &p, const QRectF &rect, const QString &title,
                                const QString &size)
{
    QFont titleFont = Style::font(Style::Text::Caption);
    titleFont.setBold(true);
    const QFont sizeFont = Style::font(Style::Text::Caption2);
    const QFontMetricsF tm(titleFont), sm(sizeFont);
    const double maxText = qMax(0.0, rect.width() - 6 - 10);
    // A second title line only where the block has the height for it.
    const int maxLines = rect.height() - 6 >= 2 * tm.height() + sm.height() + 6 ? 2 : 1;
    const QStringList titleLines = labelLines(title, titleFont, maxText, maxLines);
    const QString sizeText = sm.elidedText(size, Qt::ElideRight, maxText);
    double textWidth = sm.horizontalAdvance(sizeText);
    for (const QString &line : titleLines)
        textWidth = qMax(textWidth, tm.horizontalAdvance(line));
    const double textHeight = tm.height() * titleLines.size() + sm.height();
    const QRectF bg(rect.left() + 3, rect.bottom() - 3 - textHeight - 6, textWidth + 10,
                    textHeight + 6);
    QPainterPath path;
    path.addRoundedRect(bg, 4, 4);
    p.fillPath(path, QColor(0, 0, 0, 140));
    p.setPen(Qt::white);
    p.setFont(titleFont);
    double y = bg.top() + 3;
    for (const QString &line : titleLines) {
        p.drawText(QPointF(bg.left() + 5, y + tm.ascent()), line);
        y += tm.height();
    }
    p.setFont(sizeFont);
    p.drawText(QPointF(bg.left() + 5, y + sm.ascent()), sizeText);
}

void StorageBlockMap::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (m_content.showsEmptyText) {
        p.setPen(palette().color(QPalette::PlaceholderText));
        p.setFont(Style::font(Style::Text::Body));
        p.drawText(rect(), Qt::AlignCenter, QString::fromLatin1(TreemapLayout::emptyMapText));
        return;
    }
    // The outline follows the theme: a dark line vanishes on dark blocks.
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlpha(40);
    for (const TreemapLayout::Block &block : std::as_const(m_content.blocks)) {
        const QRectF r = TreemapLayout::blockRect(block.rect);
        if (r.width() <= 0 || r.height() <= 0)
            continue;
        const double radius = cornerRadius(r);
        QPainterPath shape;
        shape.addRoundedRect(r, radius, radius);
        p.save();
        p.setClipPath(shape);
        BlockPreview::instance()->paint(p, r, block.entry, TreemapLayout::previewSide(block.rect),
                                        palette());
        p.restore();
        const bool chosen = m_chosen && *m_chosen == block.entry;
        if (chosen) {
            p.setPen(QPen(palette().color(QPalette::Highlight), 3));
            p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius, radius);
        } else {
            p.setPen(QPen(outline, 1));
            p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
        }
        if (TreemapLayout::showsLabel(block.rect))
            drawLabel(p, r, DisplayName::line(block.entry.name()), sizeText(block.entry));
    }
    if (m_content.rest) {
        const TreemapLayout::RestTile &rest = *m_content.rest;
        const QRectF r = TreemapLayout::blockRect(rest.rect);
        if (r.width() > 0 && r.height() > 0) {
            const double radius = cornerRadius(r);
            QPainterPath shape;
            shape.addRoundedRect(r, radius, radius);
            p.fillPath(shape, QColor(128, 128, 128, 128));
            p.setPen(QPen(outline, 1));
            p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
            if (TreemapLayout::showsLabel(rest.rect))
                drawLabel(p, r, rest.title(), formatBytes(rest.bytes));
        }
    }
}
