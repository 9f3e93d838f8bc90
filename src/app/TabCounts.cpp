#include "app/TabCounts.h"

#include "app/AppState.h"

int AppStateTabCounts::count(TabNavigation tab) const
{
    Q_UNUSED(m_appState);
    switch (tab) {
    case TabNavigation::dashboard:
    case TabNavigation::storage:
        return 0;
    default:
        // The other tabs count their model's items once their models exist.
        return 0;
    }
}
