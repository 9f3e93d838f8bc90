#pragma once

#include "app/TabNavigation.h"

#include <QStackedWidget>

class EmptyStateView;

// A file tab's body: its content, or while it has no items a placeholder that says
// whether the scan is still running or found nothing.
class ScanStateStack : public QStackedWidget {
    Q_OBJECT
public:
    ScanStateStack(TabNavigation tab, const QString &nothingTitle, const QString &nothingMessage,
                   QWidget *parent);

    // The content comes first, before the placeholders.
    void setContent(QWidget *content);
    void showState(bool hasItems, bool scanRunning);
    // The placeholder shown now, if any.
    EmptyStateView *emptyState() const;

private:
    EmptyStateView *m_scanning;
    EmptyStateView *m_nothing;
};
