#include "app/widgets/ActivityIndicator.h"

#include <QPainter>

ActivityIndicator::ActivityIndicator(int side, QWidget *parent) : QWidget(parent)
{
    setFixedSize(side, side);
    m_timer.setInterval(80);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_step = (m_step + 1) % 8;
        update();
    });
}

void ActivityIndicator::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (active && isVisible())
        m_timer.start();
    else
        m_timer.stop();
    update();
}

void ActivityIndicator::paintEvent(QPaintEvent *)
{
    if (!m_active)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    p.translate(width() / 2.0, height() / 2.0);
    QColor color = palette().color(QPalette::WindowText);
    QPen pen(color, qMax<qreal>(1.5, side / 9.0), Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < 8; ++i) {
        const int age = (m_step - i + 8) % 8;
        color.setAlphaF(1.0 - age * 0.11);
        pen.setColor(color);
        p.setPen(pen);
        p.save();
        p.rotate(i * 45.0);
        p.drawLine(QPointF(0, -side * 0.22), QPointF(0, -side * 0.42));
        p.restore();
    }
}

void ActivityIndicator::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_active)
        m_timer.start();
}

void ActivityIndicator::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_timer.stop();
}
