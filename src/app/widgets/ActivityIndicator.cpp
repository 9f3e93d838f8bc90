#include "app/widgets/ActivityIndicator.h"

#include <QPainter>
#include <QSet>
#include <QTimer>

namespace {

class SpinClock {
public:
    static SpinClock &instance()
    {
        static SpinClock clock;
        return clock;
    }
    int step() const { return m_step; }
    bool drives(ActivityIndicator *indicator) const { return m_turning.contains(indicator); }
    void follow(ActivityIndicator *indicator, bool turning)
    {
        if (turning)
            m_turning.insert(indicator);
        else
            m_turning.remove(indicator);
        if (m_turning.isEmpty())
            m_timer.stop();
        else if (!m_timer.isActive())
            m_timer.start();
    }

private:
    SpinClock()
    {
        m_timer.setInterval(80);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_step = (m_step + 1) % 8;
            for (ActivityIndicator *indicator : std::as_const(m_turning))
                indicator->update();
        });
    }
    QTimer m_timer;
    QSet<ActivityIndicator *> m_turning;
    int m_step = 0;
};

} // namespace

ActivityIndicator::ActivityIndicator(int side, QWidget *parent) : QWidget(parent)
{
    setFixedSize(side, side);
}

ActivityIndicator::~ActivityIndicator()
{
    follow(false);
}

bool ActivityIndicator::isAnimating() const
{
    return SpinClock::instance().drives(const_cast<ActivityIndicator *>(this));
}

void ActivityIndicator::follow(bool turning)
{
    SpinClock::instance().follow(this, turning);
}

void ActivityIndicator::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    follow(active && isVisible());
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
        const int age = (SpinClock::instance().step() - i + 8) % 8;
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
    follow(m_active);
}

void ActivityIndicator::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    follow(false);
}
