#include "app/screens/SidebarLabel.h"

#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QStackedLayout>

SidebarLabel::SidebarLabel(TabNavigation tab, QWidget *parent) : QWidget(parent), m_tab(tab)
{
    setObjectName(QStringLiteral("sidebarLabel_") + tab.rawValue());
    setAttribute(Qt::WA_TranslucentBackground);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 3, 8, 3);
    layout->setSpacing(7);

    // Docker's own application icon is a macOS lookup; the symbol serves everywhere.
    m_icon = new SymbolView(tab.systemImage(), 16, QColor(), this);
    layout->addWidget(m_icon);

    m_title = new QLabel(tab.title(), this);
    m_title->setFont(Style::font(Style::Text::Body));
    layout->addWidget(m_title);

    if (tab == TabNavigation::docker) {
        auto *beta = new QLabel(QStringLiteral("BETA"), this);
        beta->setObjectName(QStringLiteral("betaBadge"));
        QFont f = Style::font(Style::Text::Caption2);
        f.setPixelSize(8);
        f.setBold(true);
        beta->setFont(f);
        m_beta = beta;
        layout->addWidget(beta);
    }
    layout->addStretch(1);

    // The spinner and the capsule share one place and both stay shown: the one not in use
    // draws nothing. Showing a widget while the pointer is over the window costs a round
    // trip to the X server, and every tab's scan switching them at launch kept the window
    // waiting for a busy server for up to 180 ms.
    auto *trailing = new QWidget(this);
    auto *stack = new QStackedLayout(trailing);
    stack->setStackingMode(QStackedLayout::StackAll);
    auto *spinnerPlace = new QWidget(trailing);
    auto *spinnerLayout = new QHBoxLayout(spinnerPlace);
    spinnerLayout->setContentsMargins(0, 0, 0, 0);
    m_spinner = new ActivityIndicator(12, spinnerPlace);
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_spinner->setActive(false);
    spinnerLayout->addWidget(m_spinner, 0, Qt::AlignCenter);
    stack->addWidget(spinnerPlace);
    m_count = new QLabel(trailing);
    m_count->setObjectName(QStringLiteral("countBadge"));
    m_count->setFont(Style::font(Style::Text::Caption2));
    m_count->setAlignment(Qt::AlignCenter);
    stack->addWidget(m_count);
    layout->addWidget(trailing);
    Style::followTheme(this, [this] { restyleBadges(); });
}

void SidebarLabel::restyleBadges()
{
    // On the selection's colour the badges turn to its text colour; elsewhere they keep
    // enough contrast in either theme.
    const QPalette pal = palette();
    const bool dark = pal.color(QPalette::Window).lightness() < 128;
    QColor countText =
        m_selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText);
    // On the selection a darker capsule, so its white text keeps its contrast.
    QColor countBack = m_selected ? QColor(0, 0, 0) : pal.color(QPalette::PlaceholderText);
    countBack.setAlpha(m_selected ? 64 : 51);
    // Without a count the capsule takes no room and draws nothing.
    const QString count = m_count->text().isEmpty()
                              ? QStringLiteral("QLabel { padding: 0px; background: transparent; }")
                              : QStringLiteral("QLabel { padding: 2px 6px; border-radius: 7px; "
                                               "background: %1; color: %2; }")
                                    .arg(Style::css(countBack), Style::css(countText));
    if (m_count->styleSheet() != count)
        m_count->setStyleSheet(count);
    if (!m_beta)
        return;
    const QColor betaText = m_selected ? pal.color(QPalette::HighlightedText)
                            : dark     ? QColor(255, 176, 72)
                                       : QColor(150, 64, 0);
    const QColor betaBack = m_selected ? QColor(0, 0, 0, 64) : QColor(255, 149, 0, 56);
    const QString beta = QStringLiteral("QLabel { padding: 2px; border-radius: 3px; "
                                        "background: %1; color: %2; }")
                             .arg(Style::css(betaBack), Style::css(betaText));
    if (m_beta->styleSheet() != beta)
        m_beta->setStyleSheet(beta);
}

void SidebarLabel::update(bool isScanning, int count)
{
    const bool spin = isScanning && count == 0;
    m_spinner->setActive(spin);
    const QString text = !spin && count >= 1 ? QString::number(count) : QString();
    if (text == m_count->text())
        return;
    const bool restyle = text.isEmpty() != m_count->text().isEmpty();
    m_count->setText(text);
    if (restyle)
        restyleBadges();
}

void SidebarLabel::setSelected(bool selected)
{
    const bool changed = selected != m_selected;
    m_selected = selected;
    if (changed)
        restyleBadges();
    m_title->setForegroundRole(selected ? QPalette::HighlightedText : QPalette::WindowText);
    m_icon->setSelected(selected);
}

bool SidebarLabel::showsSpinner() const
{
    return m_spinner->isActive();
}

QString SidebarLabel::badgeText() const
{
    return m_count->text();
}
