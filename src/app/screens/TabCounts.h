#pragma once

#include "app/TabNavigation.h"

class AppState;

// Where the sidebar gets each tab's item count. The real source reads the tab models
// on the state object; tests stub it.
class TabCounts {
public:
    virtual ~TabCounts() = default;
    virtual int count(TabNavigation tab) const = 0;
};

class AppStateTabCounts : public TabCounts {
public:
    explicit AppStateTabCounts(AppState *appState) : m_appState(appState) {}
    int count(TabNavigation tab) const override;

private:
    AppState *m_appState;
};
