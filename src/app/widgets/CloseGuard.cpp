#include "app/widgets/CloseGuard.h"

#include <QEvent>
#include <QMessageBox>
#include <QWidget>

CloseGuard::CloseGuard(QWidget *screen, std::function<bool()> busy, QString reason)
    : QObject(screen), m_screen(screen), m_busy(std::move(busy)), m_reason(std::move(reason))
{
    // The screen may be placed into its window later; watch it until then.
    screen->installEventFilter(this);
}

bool CloseGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_screen &&
        (event->type() == QEvent::Show || event->type() == QEvent::ParentChange)) {
        QWidget *window = m_screen->window();
        if (window != m_window && window != m_screen) {
            if (m_window)
                m_window->removeEventFilter(this);
            m_window = window;
            m_window->installEventFilter(this);
        }
        return false;
    }
    if (watched == m_window && event->type() == QEvent::Close) {
        m_refused = m_busy && m_busy();
        if (!m_refused)
            return false;
        event->ignore();
        auto *box = new QMessageBox(QMessageBox::Information, m_reason, m_reason, QMessageBox::Ok,
                                    m_window);
        box->setObjectName(QStringLiteral("closeRefused"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
        return true;
    }
    return false;
}
