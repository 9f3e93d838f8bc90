#include "dashboard/screens/RecommendationCard.h"

#include "app/widgets/Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

RecommendationCard::RecommendationCard(const QString &title, const QString &description,
                                       const QString &buttonTitle, QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("recommendationCard"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 10, 14, 10);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = new QLabel(title, this);
    Style::apply(m_title, Style::Text::Headline);
    m_description = new QLabel(description, this);
    Style::apply(m_description, Style::Text::Body, true);
    m_description->setWordWrap(true);
    texts->addWidget(m_title);
    texts->addWidget(m_description);
    layout->addLayout(texts, 1);
    m_button = new QPushButton(buttonTitle, this);
    connect(m_button, &QPushButton::clicked, this, &RecommendationCard::actionTriggered);
    layout->addWidget(m_button, 0, Qt::AlignVCenter);
    describe();
}

void RecommendationCard::describe()
{
    setAccessibleName(m_title->text());
    setAccessibleDescription(m_description->text());
    m_button->setAccessibleName(m_button->text() + QStringLiteral(": ") + m_title->text());
    m_button->setAccessibleDescription(m_description->text());
}

void RecommendationCard::setTexts(const QString &title, const QString &description)
{
    m_title->setText(title);
    m_description->setText(description);
    describe();
}

QString RecommendationCard::title() const
{
    return m_title->text();
}

QString RecommendationCard::description() const
{
    return m_description->text();
}

void RecommendationCard::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(palette().color(QPalette::Mid));
    p.setBrush(palette().color(QPalette::Base));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}
