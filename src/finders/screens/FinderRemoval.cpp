#include "finders/screens/FinderRemoval.h"

#include "app/AppState.h"
#include "app/widgets/Dialogs.h"
#include "exec/Async.h"
#include "finders/AdvancedToolsViewModel.h"
#include "platform/DisplayName.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

FinderRemoval::FinderRemoval(QWidget *screen, AdvancedToolsViewModel *model, AppState *appState,
                             TabNavigation tab)
    : QObject(screen), m_screen(screen), m_model(model), m_appState(appState), m_tab(tab)
{
}

void FinderRemoval::confirmOne(const QString &path)
{
    if (m_running)
        return;
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    Dialogs::confirm(
        m_screen,
        {QStringLiteral("Move to Trash?"),
         QStringLiteral("Are you sure you want to delete %1?").arg(DisplayName::line(name)),
         QStringLiteral("Yes, Delete"), QStringLiteral("Cancel")},
        [this, path](bool confirmed) {
            if (confirmed)
                start({path});
        });
}

void FinderRemoval::start(const QStringList &paths)
{
    if (m_running || paths.isEmpty())
        return;
    m_queue = paths;
    m_moved.clear();
    m_failures.clear();
    m_batch.emplace(m_tab.rawValue());
    m_running = true;
    m_window = m_screen->window();
    m_window->installEventFilter(this);
    emit runningChanged(true);
    next();
}

void FinderRemoval::next()
{
    if (m_queue.isEmpty()) {
        end();
        return;
    }
    const QString path = m_queue.takeFirst();
    whenFinished(this, m_model->trash(path, m_appState, *m_batch),
                 [this, path](const SafetyHelper::Outcome &outcome) {
                     if (outcome.ok)
                         m_moved.append(path);
                     else
                         m_failures.append({path, outcome.reason});
                     next();
                 });
}

void FinderRemoval::end()
{
    m_batch.reset();
    m_running = false;
    if (m_window)
        m_window->removeEventFilter(this);
    emit runningChanged(false);
    emit finished(m_moved);
    if (m_failures.isEmpty())
        return;
    auto *alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Couldn't Move to Trash"),
                                  failureText(m_failures), QMessageBox::Ok, m_screen);
    alert->setObjectName(QStringLiteral("trashFailureAlert"));
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
}

QString FinderRemoval::failureText(const QList<Failure> &failures)
{
    QStringList lines;
    for (const Failure &f : failures) {
        const QString name =
            QFileInfo(f.path).fileName().isEmpty() ? f.path : QFileInfo(f.path).fileName();
        // A reason that names the item already says whose it is.
        const bool named = f.reason.startsWith(name + QLatin1Char(' '));
        lines << DisplayName::line(f.reason.isEmpty() ? name
                                   : named            ? f.reason
                                                      : name + QStringLiteral(": ") + f.reason);
    }
    const QString head =
        failures.size() == 1
            ? QStringLiteral("This item could not be moved to the Trash.")
            : QStringLiteral("%1 items could not be moved to the Trash.").arg(failures.size());
    return head + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
}

bool FinderRemoval::eventFilter(QObject *watched, QEvent *event)
{
    // Closing now would leave items half moved and the list out of step.
    if (m_running && watched == m_window && event->type() == QEvent::Close) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
