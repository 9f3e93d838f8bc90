#include "app/widgets/SettingsForm.h"

#include "app/widgets/Style.h"

#include <QVBoxLayout>

SettingsForm::SettingsForm(QWidget *parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    // Tab goes to the controls, and the form scrolls to show them.
    setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *inner = new QWidget(this);
    m_layout = new QVBoxLayout(inner);
    // Tight enough that every pane fits its window without scrolling.
    m_layout->setContentsMargins(20, 12, 20, 12);
    m_layout->setSpacing(6);
    setWidget(inner);
}

QVBoxLayout *SettingsForm::addSection(const QString &title, const QString &footer)
{
    auto *heading = new QLabel(title, widget());
    heading->setObjectName(QStringLiteral("sectionTitle"));
    Style::apply(heading, Style::Text::Headline);
    m_layout->addWidget(heading);
    auto *box = new QFrame(widget());
    box->setFrameShape(QFrame::StyledPanel);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(10, 6, 10, 6);
    layout->setSpacing(4);
    m_layout->addWidget(box);
    if (!footer.isEmpty())
        m_layout->addWidget(new Note(footer, widget()));
    return layout;
}

void SettingsForm::addStretch()
{
    m_layout->addStretch(1);
}

Note::Note(const QString &text, QWidget *parent) : QLabel(text, parent)
{
    Style::apply(this, Style::Text::Caption, true);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
}
