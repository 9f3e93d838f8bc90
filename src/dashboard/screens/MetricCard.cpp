#include "dashboard/screens/MetricCard.h"

#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

MetricCard::MetricCard(const QString &title, const QString &icon, const QColor &color,
                       QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("metricCard"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(6);
    auto *top = new QHBoxLayout;
    top->addWidget(new SymbolView(icon, 20, color, this));
    top->addStretch(1);
    m_button = new QPushButton(this);
    m_button->setObjectName(QStringLiteral("metricAction"));
    m_button->hide();
    connect(m_button, &QPushButton::clicked, this, &MetricCard::actionTriggered);
    top->addWidget(m_button);
    layout->addLayout(top);
    m_title = new QLabel(title, this);
    Style::apply(m_title, Style::Text::Subheadline, true);
    layout->addWidget(m_title);
    m_value = new QLabel(this);
    m_value->setObjectName(QStringLiteral("metricValue"));
    QFont valueFont = Style::font(Style::Text::Title2);
    valueFont.setWeight(QFont::DemiBold);
    m_value->setFont(valueFont);
    layout->addWidget(m_value);
}

void MetricCard::setValue(const QString &value)
{
    m_value->setText(value);
    describe();
}

void MetricCard::describe()
{
    // Read as one: the figure with its title, and the button with what it acts on.
    const QString figure = m_title->text() + QStringLiteral(": ") + m_value->text();
    setAccessibleName(figure);
    m_button->setAccessibleName(m_button->text() + QLatin1Char(' ') + m_title->text());
    m_button->setAccessibleDescription(figure);
}

QString MetricCard::value() const
{
    return m_value->text();
}

void MetricCard::setTitle(const QString &title)
{
    m_title->setText(title);
    describe();
}

QString MetricCard::title() const
{
    return m_title->text();
}

void MetricCard::setCtaTitle(const QString &title)
{
    m_button->setText(title);
    m_button->setVisible(!title.isEmpty());
    describe();
}

void MetricCard::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}
