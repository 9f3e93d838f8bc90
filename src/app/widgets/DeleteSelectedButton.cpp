#include "app/widgets/DeleteSelectedButton.h"

#include "app/widgets/Dialogs.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"

#include <QApplication>

DeleteSelectedButton::DeleteSelectedButton(std::function<void()> action, QWidget *parent)
    : QPushButton(parent), m_action(std::move(action))
{
    setObjectName(QStringLiteral("deleteSelected"));
    setIcon(Symbols::icon(QStringLiteral("trash"), Qt::white));
    Style::followTheme(this, [this] {
        // The application's palette: a parent's may not have followed the switch yet.
        const QString sheet = Dialogs::destructiveButtonStyleSheet(QApplication::palette()) +
                              QStringLiteral("QPushButton { font-weight: 600; }");
        if (styleSheet() != sheet)
            setStyleSheet(sheet);
    });
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
