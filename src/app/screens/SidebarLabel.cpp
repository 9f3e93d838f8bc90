#include "app/screens/SidebarLabel.h"

#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"

#include <QHBoxLayout>
#include <QLabel>

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

    m_spinner = new ActivityIndicator(12, this);
    m_spinner->setObjectName(QStringLiteral("spinner"));
    m_spinner->hide();
    layout->addWidget(m_spinner);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("countBadge"));
    m_count->setFont(Style::font(Style::Text::Caption2));
    m_count->hide();
    layout->addWidget(m_count);
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
    const QString count = QStringLiteral("QLabel { padding: 2px 6px; border-radius: 7px; "
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
    m_spinner->setVisible(spin);
    m_count->setVisible(!spin && count >= 1);
    m_count->setText(count >= 1 ? QString::number(count) : QString());
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
    return !m_spinner->isHidden();
}

QString SidebarLabel::badgeText() const
{
    return m_count->isHidden() ? QString() : m_count->text();
}
