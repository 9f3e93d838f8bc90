#include "docker/screens/CategoryRow.h"

#include "app/widgets/Style.h"
#include "platform/Plural.h"

#include <QPainter>
#include <QPainterPath>

CategoryRow::CategoryRow(const QString &title, std::function<void()> action, QWidget *parent)
    : QAbstractButton(parent), m_title(title)
{
    setObjectName(QStringLiteral("category_") + title);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(title + QStringLiteral(", 0 items"));
    // Checked while it is the category on show, so a screen reader says which one is.
    setCheckable(true);
    connect(this, &QAbstractButton::clicked, this, [this, action] {
        if (action)
            action();
        setChecked(m_selected);
    });
}

void CategoryRow::setCount(int count)
{
    if (m_count == count)
        return;
    m_count = count;
    setAccessibleName(m_title + QStringLiteral(", ") +
                      Plural::count(count, QStringLiteral("item"), QStringLiteral("items")));
    update();
}

void CategoryRow::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    setChecked(selected);
    update();
}

QSize CategoryRow::sizeHint() const
{
    return {180, QFontMetrics(Style::font(Style::Text::Body)).height() + 16};
}

void CategoryRow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (m_selected) {
        QPainterPath path;
        path.addRoundedRect(box, 6, 6);
        p.fillPath(path, pal.color(QPalette::Highlight));
    } else if (underMouse() || hasFocus()) {
        QPainterPath path;
        path.addRoundedRect(box, 6, 6);
        QColor hover = pal.color(QPalette::Highlight);
        hover.setAlphaF(0.15);
        p.fillPath(path, hover);
    }
    const QRect inner = rect().adjusted(10, 0, -10, 0);
    p.setFont(Style::font(Style::Text::Body));
    p.setPen(pal.color(m_selected ? QPalette::HighlightedText : QPalette::WindowText));
    p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, m_title);
    p.setFont(Style::font(Style::Text::Subheadline));
    p.setPen(pal.color(m_selected ? QPalette::HighlightedText : QPalette::PlaceholderText));
    p.drawText(inner, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_count));
}
