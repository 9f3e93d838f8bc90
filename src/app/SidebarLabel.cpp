#include "app/SidebarLabel.h"

#include "app/ActivityIndicator.h"
#include "app/Style.h"
#include "app/SymbolView.h"

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
        beta->setStyleSheet(QStringLiteral("QLabel { padding: 2px; border-radius: 3px; background: "
                                           "rgba(255,149,0,50); color: rgb(230,120,0); }"));
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
    m_count->setStyleSheet(QStringLiteral(
        "QLabel { padding: 2px 6px; border-radius: 7px; background: rgba(128,128,128,51); }"));
    m_count->hide();
    layout->addWidget(m_count);
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
