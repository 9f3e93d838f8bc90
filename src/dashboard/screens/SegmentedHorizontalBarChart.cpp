#include "dashboard/screens/SegmentedHorizontalBarChart.h"

#include "app/widgets/Style.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {
constexpr int headingHeight = 56;
constexpr int barHeight = 24;
constexpr int legendRowHeight = 20;
constexpr int legendColumns = 4;

QColor colorOf(DiskCategory::Kind kind)
{
    switch (kind) {
    case DiskCategory::apps:
        return QColor(175, 82, 222);
    case DiskCategory::downloads:
        return QColor(0, 122, 255);
    case DiskCategory::media:
        return QColor(255, 45, 85);
    case DiskCategory::documents:
        return QColor(88, 86, 214);
    case DiskCategory::brew:
        return QColor(255, 149, 0);
    case DiskCategory::docker:
        return QColor(50, 173, 230);
    case DiskCategory::caches:
        return QColor(255, 204, 0);
    case DiskCategory::developer:
        return QColor(52, 199, 89);
    case DiskCategory::trash:
        return QColor(255, 59, 48);
    case DiskCategory::library:
        return QColor(48, 176, 199);
    case DiskCategory::system:
        break;
    }
    return QColor(142, 142, 147);
}

// Colours chosen for a light background, lifted a little on a dark one.
QColor forTheme(const QColor &color, const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? color.lighter(115) : color;
}
} // namespace

SegmentedHorizontalBarChart::SegmentedHorizontalBarChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("diskChart"));
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SegmentedHorizontalBarChart::setValues(const QList<DiskCategory> &categories,
                                            const DiskSpace &space, bool unknown)
{
    m_unknown = unknown && space.totalBytes <= 0;
    m_categories = categories;
    m_totalGB = double(space.totalBytes) / 1e9;
    m_freeGB = double(space.availableBytes) / 1e9;
    m_usedPercent = space.usedPercent();
    updateGeometry();
    update();
}

QString SegmentedHorizontalBarChart::headingText() const
{
    if (m_unknown)
        return QStringLiteral("Unknown");
    return QString::number(m_usedPercent) + QStringLiteral("% Used");
}

QString SegmentedHorizontalBarChart::subheadingText() const
{
    if (m_unknown)
        return QStringLiteral("The disk's size and free space couldn't be read");
    return QString::asprintf("%.1f GB Free of %.1f GB", m_freeGB, m_totalGB);
}

QList<SegmentedHorizontalBarChart::Segment>
SegmentedHorizontalBarChart::segments(double barWidth) const
{
    QColor grey(142, 142, 147);
    grey.setAlphaF(0.2);
    if (m_totalGB <= 0)
        return {{m_unknown ? QStringLiteral("Unknown") : QStringLiteral("Calculating..."), 0,
                 barWidth, grey}};
    QList<Segment> result;
    double x = 0;
    // Categories can add up to more than the disk (a volume mounted inside the home,
    // rounding): the bar stops at its end.
    const auto add = [&](const QString &tip, double width, const QColor &color) {
        const double from = qMin(x, barWidth);
        x = qMin(barWidth, x + qMax(0.0, width));
        result.append({tip, from, x, color});
    };
    // Categories count gigabytes of 1024 MiB, the disk decimal ones: widths in one unit.
    constexpr double binaryToDecimal = 1024.0 * 1024 * 1024 / 1e9;
    for (const DiskCategory &category : m_categories)
        add(category.name + QStringLiteral(" - ") + QString::asprintf("%.1f", category.sizeGB) +
                QStringLiteral(" GB used"),
            barWidth * category.sizeGB * binaryToDecimal / m_totalGB, colorOf(category.kind));
    add(QStringLiteral("Free Space - ") + QString::asprintf("%.1f", m_freeGB) +
            QStringLiteral(" GB"),
        barWidth * m_freeGB / m_totalGB, grey);
    return result;
}

QRectF SegmentedHorizontalBarChart::barRect() const
{
    return QRectF(0, headingHeight, width(), barHeight);
}

QSize SegmentedHorizontalBarChart::sizeHint() const
{
    const int items = m_categories.isEmpty() ? 1 : int(m_categories.size()) + 1;
    const int rows = (items + legendColumns - 1) / legendColumns;
    return QSize(600, headingHeight + barHeight + 14 + rows * legendRowHeight);
}

QSize SegmentedHorizontalBarChart::minimumSizeHint() const
{
    return QSize(300, sizeHint().height());
}

void SegmentedHorizontalBarChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    QFont big = Style::font(Style::Text::Title);
    big.setWeight(QFont::DemiBold);
    p.setFont(big);
    p.setPen(pal.color(QPalette::WindowText));
    p.drawText(QRect(0, 0, width(), 30), Qt::AlignLeft | Qt::AlignVCenter, headingText());
    p.setFont(Style::font(Style::Text::Subheadline));
    p.setPen(pal.color(QPalette::PlaceholderText));
    p.drawText(QRect(0, 30, width(), 20), Qt::AlignLeft | Qt::AlignVCenter, subheadingText());

    const QRectF bar = barRect();
    QPainterPath clip;
    clip.addRoundedRect(bar, 6, 6);
    p.save();
    p.setClipPath(clip);
    for (const Segment &segment : segments(bar.width()))
        p.fillRect(
            QRectF(bar.left() + segment.from, bar.top(), segment.to - segment.from, bar.height()),
            segment.color.alpha() == 255 ? forTheme(segment.color, pal) : segment.color);
    p.restore();

    const int top = int(bar.bottom()) + 14;
    p.setFont(Style::font(Style::Text::Caption));
    if (m_categories.isEmpty()) {
        p.setPen(pal.color(QPalette::PlaceholderText));
        p.drawText(QRect(0, top, width(), legendRowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Analyzing disk..."));
        return;
    }
    QList<QPair<QString, QColor>> items;
    for (const DiskCategory &category : m_categories)
        items.append({category.name, forTheme(colorOf(category.kind), pal)});
    QColor grey(142, 142, 147);
    grey.setAlphaF(0.4);
    items.append({QStringLiteral("Free"), grey});
    const int columnWidth = width() / legendColumns;
    for (int i = 0; i < items.size(); ++i) {
        const int x = (i % legendColumns) * columnWidth;
        const int y = top + (i / legendColumns) * legendRowHeight;
        p.setPen(Qt::NoPen);
        p.setBrush(items.at(i).second);
        p.drawEllipse(QRectF(x, y + (legendRowHeight - 10) / 2.0, 10, 10));
        p.setPen(pal.color(QPalette::WindowText));
        p.drawText(QRect(x + 16, y, columnWidth - 16, legendRowHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, items.at(i).first);
    }
}

bool SegmentedHorizontalBarChart::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QRectF bar = barRect();
        if (bar.contains(help->pos())) {
            const double x = help->pos().x() - bar.left();
            for (const Segment &segment : segments(bar.width())) {
                if (x >= segment.from && x < segment.to) {
                    QToolTip::showText(help->globalPos(), segment.tooltip, this);
                    return true;
                }
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
