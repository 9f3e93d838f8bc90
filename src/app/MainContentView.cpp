#include "app/MainContentView.h"

#include "app/AppState.h"
#include "app/EmptyStateView.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/DuplicatesView.h"
#include "finders/GenericFileListView.h"
#include "storage/StorageView.h"

#include <QApplication>

MainContentView::MainContentView(AppState *appState, QWidget *parent)
    : QStackedWidget(parent), m_appState(appState)
{
    setObjectName(QStringLiteral("mainContent"));
    connect(appState, &AppState::selectedTabChanged, this, &MainContentView::showTab);
    showTab(appState->selectedTab());
}

QWidget *MainContentView::screen(TabNavigation tab) const
{
    return m_screens.value(int(TabNavigation::Case(tab)));
}

void MainContentView::showTab(TabNavigation tab)
{
    QWidget *w = screen(tab);
    if (!w) {
        w = createScreen(tab);
        w->setObjectName(QStringLiteral("screen_") + tab.rawValue());
        m_screens.insert(int(TabNavigation::Case(tab)), w);
        addWidget(w);
    }
    setCurrentWidget(w);
}

QWidget *MainContentView::createScreen(TabNavigation tab)
{
    switch (tab) {
    case TabNavigation::storage:
        return new StorageView(m_appState, m_appState->storageVM(), this);
    case TabNavigation::runtimes: {
        AdvancedToolsViewModel *vm = m_appState->runtimesVM();
        return new GenericFileListView(
            m_appState, vm, tab, true, [this, vm] { vm->scanRuntimes(m_appState); }, this);
    }
    case TabNavigation::duplicates:
        return new DuplicatesView(m_appState, m_appState->duplicatesVM(), this);
    case TabNavigation::largeFiles: {
        AdvancedToolsViewModel *vm = m_appState->largeFilesVM();
        return new GenericFileListView(
            m_appState, vm, tab, true, [this, vm] { vm->scanLargeFiles(m_appState); }, this);
    }
    case TabNavigation::installers: {
        AdvancedToolsViewModel *vm = m_appState->installersVM();
        return new GenericFileListView(
            m_appState, vm, tab, false, [this, vm] { vm->scanInstallers(m_appState); }, this);
    }
    default:
        // Screens of tabs still to come show what the tab is for.
        return new EmptyStateView(tab.systemImage(), tab.title(), tab.subtitle(),
                                  QApplication::palette().color(QPalette::Highlight), this);
    }
}
