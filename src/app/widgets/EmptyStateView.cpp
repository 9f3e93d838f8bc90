#include "app/widgets/EmptyStateView.h"

#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

EmptyStateView::EmptyStateView(const QString &symbol, const QString &title, const QString &message,
                               const QColor &tint, QWidget *parent)
    : QWidget(parent), m_symbol(symbol)
{
    setObjectName(QStringLiteral("emptyState"));
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addStretch(1);

    auto *icon = new SymbolView(symbol, 48, tint, this);
    icon->setObjectName(QStringLiteral("emptyStateIcon"));
    layout->addWidget(icon, 0, Qt::AlignHCenter);

    m_title = new QLabel(title, this);
    Style::apply(m_title, Style::Text::Title2);
    m_title->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_title, 0, Qt::AlignHCenter);

    m_message = new QLabel(message, this);
    Style::apply(m_message, Style::Text::Body, true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_message->setMaximumWidth(420);
    auto *messageRow = new QHBoxLayout;
    messageRow->addStretch(1);
    messageRow->addWidget(m_message, 100);
    messageRow->addStretch(1);
    layout->addLayout(messageRow);
    layout->addStretch(1);
}

QString EmptyStateView::title() const
{
    return m_title->text();
}

QString EmptyStateView::message() const
{
    return m_message->text();
}
