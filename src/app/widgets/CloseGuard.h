#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

// Keeps the window of a screen open while the screen's work runs (a move to the Trash
// or a prune stopped halfway leaves the user guessing what happened): a close is
// refused with a note saying why.
class CloseGuard : public QObject {
    Q_OBJECT
public:
    CloseGuard(QWidget *screen, std::function<bool()> busy, QString reason);

    // Whether the last close asked for was refused.
    bool refusedLastClose() const { return m_refused; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_screen;
    QPointer<QWidget> m_window;
    std::function<bool()> m_busy;
    QString m_reason;
    bool m_refused = false;
};
