#include "app/widgets/DeleteSelectedButton.h"

#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"

DeleteSelectedButton::DeleteSelectedButton(std::function<void()> action, QWidget *parent)
    : QPushButton(parent), m_action(std::move(action))
{
    setObjectName(QStringLiteral("deleteSelected"));
    setIcon(Symbols::icon(QStringLiteral("trash"), Qt::white));
    setStyleSheet(
        QStringLiteral(
            "QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
            " padding: 5px 14px; font-weight: 600; }"
            "QPushButton:pressed { background: %2; }"
            "QPushButton:disabled { background: rgba(255,59,48,90); color: rgba(255,255,255,150); "
            "}")
            .arg(Style::red().name(), Style::red().darker(125).name()));
    connect(this, &QPushButton::clicked, this, [this] {
        if (m_action)
            m_action();
    });
    setCount(0);
}

void DeleteSelectedButton::setCount(int count)
{
    if (count == m_count)
        return;
    m_count = count;
    setText(count == 0 ? QStringLiteral("Delete Selected")
                       : QStringLiteral("Delete Selected (%1)").arg(count));
    setEnabled(count != 0);
}
