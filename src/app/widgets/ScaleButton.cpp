#include "app/widgets/ScaleButton.h"

#include "app/widgets/Style.h"

#include <QPainter>
#include <QPainterPath>

ScaleButton::ScaleButton(const QString &text, const QColor &background, const QColor &foreground,
                         QWidget *parent)
    : QPushButton(text, parent), m_background(background), m_foreground(foreground)
{
    setFont(Style::font(Style::Text::Headline));
    setCursor(Qt::PointingHandCursor);
    connect(this, &QPushButton::pressed, this, qOverload<>(&QWidget::update));
    connect(this, &QPushButton::released, this, qOverload<>(&QWidget::update));
}

QSize ScaleButton::sizeHint() const
{
    const QSize text = fontMetrics().size(Qt::TextSingleLine, this->text());
    return QSize(text.width() + 28, text.height() + 14);
}

void ScaleButton::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool down = isDown();
    if (down) {
        p.setOpacity(0.8);
        p.translate(width() * 0.025, height() * 0.025);
        p.scale(0.95, 0.95);
    }
    if (!isEnabled())
        p.setOpacity(0.5);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    p.fillPath(shape, m_background);
    p.setPen(m_foreground);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
}
