#include "app/widgets/ScanStateStack.h"

#include "app/widgets/EmptyStateView.h"

#include <QApplication>

ScanStateStack::ScanStateStack(TabNavigation tab, const QString &nothingTitle,
                               const QString &nothingMessage, QWidget *parent)
    : QStackedWidget(parent)
{
    const QColor tint = QApplication::palette().color(QPalette::Highlight);
    m_scanning = new EmptyStateView(QStringLiteral("magnifyingglass"), QStringLiteral("Scanning…"),
                                    tab.subtitle(), tint, this);
    m_nothing = new EmptyStateView(tab.systemImage(), nothingTitle, nothingMessage, tint, this);
}

void ScanStateStack::setContent(QWidget *content)
{
    addWidget(content);
    addWidget(m_scanning);
    addWidget(m_nothing);
}

void ScanStateStack::showState(bool hasItems, bool scanRunning)
{
    if (hasItems)
        setCurrentIndex(0);
    else
        setCurrentWidget(scanRunning ? m_scanning : m_nothing);
}

EmptyStateView *ScanStateStack::emptyState() const
{
    QWidget *current = currentWidget();
    return current == m_scanning || current == m_nothing ? static_cast<EmptyStateView *>(current)
                                                         : nullptr;
}
