#include "app/widgets/DeleteSelectedButton.h"

#include "app/widgets/Dialogs.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"

#include <QApplication>
#include <QPointer>

namespace {

bool gBlocked = false;
// Every button alive, so a closed gate reaches each at once.
QList<QPointer<DeleteSelectedButton>> &buttons()
{
    static QList<QPointer<DeleteSelectedButton>> all;
    return all;
}

} // namespace

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
    buttons().removeAll(nullptr);
    buttons().append(this);
    setCount(0);
}

void DeleteSelectedButton::setRemovalsBlocked(bool blocked)
{
    gBlocked = blocked;
    buttons().removeAll(nullptr);
    for (DeleteSelectedButton *button : std::as_const(buttons()))
        button->updateEnabled();
}

bool DeleteSelectedButton::removalsBlocked()
{
    return gBlocked;
}

void DeleteSelectedButton::updateEnabled()
{
    setEnabled(m_count != 0 && !gBlocked);
}

void DeleteSelectedButton::setCount(int count)
{
    if (count == m_count)
        return;
    m_count = count;
    setText(count == 0 ? QStringLiteral("Delete Selected")
                       : QStringLiteral("Delete Selected (%1)").arg(count));
    updateEnabled();
}
