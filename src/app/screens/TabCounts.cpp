#include "app/screens/TabCounts.h"

#include "app/AppState.h"
#include "applications/ApplicationsViewModel.h"
#include "cleaning/DeepCleanViewModel.h"
#include "cleaning/JunkViewModel.h"
#include "docker/DockerViewModel.h"
#include "finders/AdvancedToolsViewModel.h"

int AppStateTabCounts::count(TabNavigation tab) const
{
    switch (tab) {
    case TabNavigation::applications:
        return int(m_appState->applicationsVM()->applications().size());
    case TabNavigation::docker: {
        const DockerViewModel *docker = m_appState->dockerVM();
        return int(docker->images().size() + docker->containers().size() +
                   docker->volumes().size());
    }
    case TabNavigation::deepClean:
        return int(m_appState->deepCleanVM()->targets().size());
    case TabNavigation::junk:
        return int(m_appState->junkVM()->categories().size());
    case TabNavigation::runtimes:
        return int(m_appState->runtimesVM()->items().size());
    case TabNavigation::duplicates:
        return int(m_appState->duplicatesVM()->items().size());
    case TabNavigation::largeFiles:
        return int(m_appState->largeFilesVM()->items().size());
    case TabNavigation::installers:
        return int(m_appState->installersVM()->items().size());
    default:
        // Dashboard and Storage Map count nothing; the other tabs count their models'
        // items once those models exist.
        return 0;
    }
}
