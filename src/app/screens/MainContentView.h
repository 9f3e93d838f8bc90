#pragma once

#include "app/TabNavigation.h"

#include <QHash>
#include <QStackedWidget>

class AppState;

// Shows exactly one screen, the selected tab's; each screen is built the first time
// its tab is selected and then kept.
class MainContentView : public QStackedWidget {
    Q_OBJECT
public:
    explicit MainContentView(AppState *appState, QWidget *parent = nullptr);

    QWidget *screen(TabNavigation tab) const;

private:
    void showTab(TabNavigation tab);
    QWidget *createScreen(TabNavigation tab);

    AppState *m_appState;
    QHash<int, QWidget *> m_screens;
};
