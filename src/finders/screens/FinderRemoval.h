#pragma once

#include "app/TabNavigation.h"
#include "platform/RemovalHub.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <optional>

class AdvancedToolsViewModel;
class AppState;
class QWidget;

// Moves a file-finder tab's paths to the Trash one after another, always through its
// model. While it runs, the window holding the screen refuses to close; at the end an
// alert names what could not be moved and why. One start is one removal of the tab's.
class FinderRemoval : public QObject {
    Q_OBJECT
public:
    FinderRemoval(QWidget *screen, AdvancedToolsViewModel *model, AppState *appState,
                  TabNavigation tab);

    bool isRunning() const { return m_running; }
    // Ignored while a removal runs.
    void start(const QStringList &paths);
    // Asks about one row's file and starts its removal when the user agrees.
    void confirmOne(const QString &path);

    struct Failure {
        QString path;
        QString reason;
    };
    // The alert's text for what failed.
    static QString failureText(const QList<Failure> &failures);

signals:
    void runningChanged(bool running);
    void finished(const QStringList &moved);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void next();
    void end();

    QWidget *m_screen;
    AdvancedToolsViewModel *m_model;
    AppState *m_appState;
    TabNavigation m_tab;
    std::optional<RemovalHub::Batch> m_batch;
    QPointer<QWidget> m_window;
    QStringList m_queue;
    QStringList m_moved;
    QList<Failure> m_failures;
    bool m_running = false;
};
