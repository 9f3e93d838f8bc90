#include "app/widgets/DetailRow.h"

#include "app/widgets/Style.h"

#include <QHBoxLayout>
#include <QLabel>

DetailRow::DetailRow(const QString &label, const QString &value, QWidget *parent) : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 1);
    layout->setSpacing(6);
    auto *name = new QLabel(label, this);
    Style::apply(name, Style::Text::Body, true);
    name->setFixedWidth(88);
    name->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_value = new QLabel(value, this);
    m_value->setFont(Style::font(Style::Text::Body));
    m_value->setWordWrap(true);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(name, 0, Qt::AlignTop);
    layout->addWidget(m_value, 1, Qt::AlignTop);
}

void DetailRow::setValue(const QString &value)
{
    m_value->setText(value);
}

QString DetailRow::value() const
{
    return m_value->text();
}
