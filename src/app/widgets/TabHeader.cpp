#include "app/widgets/TabHeader.h"

#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

TabHeader::TabHeader(TabNavigation tab, QWidget *parent) : QWidget(parent), m_tab(tab)
{
    setObjectName(QStringLiteral("tabHeader"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(20, 14, 20, 14);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *title = new QLabel(tab.title(), this);
    title->setObjectName(QStringLiteral("tabTitle"));
    QFont titleFont = Style::font(Style::Text::Body);
    titleFont.setPixelSize(28);
    titleFont.setWeight(QFont::Light);
    title->setFont(titleFont);
    m_subtitle = new QLabel(tab.subtitle(), this);
    m_subtitle->setObjectName(QStringLiteral("tabSubtitle"));
    Style::apply(m_subtitle, Style::Text::Caption, true);
    // A long detail is clipped rather than widening the window.
    m_subtitle->setMinimumWidth(120);
    texts->addWidget(title);
    texts->addWidget(m_subtitle);
    row->addLayout(texts);
    row->addStretch(1);
    m_actions = new QHBoxLayout;
    m_actions->setSpacing(8);
    row->addLayout(m_actions);
    outer->addLayout(row);

    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    outer->addWidget(divider);
}

void TabHeader::setDetail(const std::optional<QString> &detail)
{
    m_detail = detail;
    showSubtitle();
}

void TabHeader::setIncomplete(bool incomplete)
{
    m_incomplete = incomplete;
    showSubtitle();
}

QString TabHeader::incompleteMark()
{
    return QStringLiteral("Scan stopped: incomplete");
}

void TabHeader::showSubtitle()
{
    QString text = m_tab.subtitle();
    if (m_detail)
        text += QStringLiteral(" · ") + *m_detail;
    if (m_incomplete)
        text += QStringLiteral(" · ") + incompleteMark();
    m_subtitle->setText(text);
}

QString TabHeader::subtitleText() const
{
    return m_subtitle->text();
}

void TabHeader::addAction(QWidget *widget)
{
    m_actions->addWidget(widget);
}

QPushButton *TabHeader::addRescan(const std::function<void()> &rescan, const QString &label)
{
    auto *button = new QPushButton(Symbols::icon(QStringLiteral("arrow.clockwise")), label, this);
    button->setObjectName(QStringLiteral("tabRescan"));
    button->setAccessibleName(label + QStringLiteral(" ") + m_tab.title());
    button->setToolTip(QStringLiteral("Scan only this tab again"));
    connect(button, &QPushButton::clicked, this, rescan);
    addAction(button);
    return button;
}

void TabHeader::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    QColor bg = palette().color(QPalette::Window);
    bg.setAlphaF(0.8);
    p.fillRect(rect(), bg);
}
