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

    // Only the screen shown is measured: asking every screen, hidden ones too, measured
    // their wrapped texts again on each switch. The minimum never shrinks, so a switch
    // never pulls the window smaller.
    bool hasHeightForWidth() const override { return false; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    void showTab(TabNavigation tab);
    QWidget *createScreen(TabNavigation tab);

    AppState *m_appState;
    QHash<int, QWidget *> m_screens;
    mutable QSize m_minimum;
};
