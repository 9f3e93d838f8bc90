#include "app/screens/MainContentView.h"

#include "app/AppState.h"
#include "app/widgets/EmptyStateView.h"
#include "applications/screens/ApplicationsView.h"
#include "cleaning/screens/DeepCleanView.h"
#include "cleaning/screens/JunkCleanerView.h"
#include "dashboard/screens/DashboardView.h"
#include "docker/screens/DockerView.h"
#include "finders/screens/DuplicatesView.h"
#include "finders/screens/GenericFileListView.h"
#include "homebrew/screens/HomebrewView.h"
#include "storage/screens/StorageView.h"

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
    updateGeometry();
}

QSize MainContentView::sizeHint() const
{
    const QWidget *shown = currentWidget();
    return shown ? shown->sizeHint().expandedTo(minimumSizeHint()) : QStackedWidget::sizeHint();
}

QSize MainContentView::minimumSizeHint() const
{
    if (const QWidget *shown = currentWidget()) {
        // A minimum the screen sets itself wins over its layout's.
        QSize least = shown->minimumSize();
        const QSize hint = shown->minimumSizeHint();
        if (least.width() <= 0)
            least.setWidth(hint.width());
        if (least.height() <= 0)
            least.setHeight(hint.height());
        m_minimum = m_minimum.expandedTo(least);
    }
    return m_minimum;
}

QWidget *MainContentView::createScreen(TabNavigation tab)
{
    switch (tab) {
    case TabNavigation::storage:
        return new StorageView(m_appState, m_appState->storageVM(), this);
    case TabNavigation::applications:
        return new ApplicationsView(m_appState, m_appState->applicationsVM(), this);
    case TabNavigation::duplicates:
        return new DuplicatesView(m_appState, m_appState->duplicatesVM(), this);
    case TabNavigation::runtimes:
    case TabNavigation::largeFiles:
    case TabNavigation::installers:
        return GenericFileListView::forTab(m_appState, tab, this);
    case TabNavigation::junk:
        return new JunkCleanerView(m_appState, m_appState->junkVM(), this);
    case TabNavigation::deepClean:
        return new DeepCleanView(m_appState, m_appState->deepCleanVM(), this);
    case TabNavigation::docker:
        return new DockerView(m_appState, m_appState->dockerVM(), this);
    case TabNavigation::dashboard:
        return new DashboardView(m_appState, m_appState->dashboardVM(), this);
    case TabNavigation::homebrew:
        return new HomebrewView(m_appState, m_appState->homebrewVM(), this);
    default:
        // Screens of tabs still to come show what the tab is for.
        return new EmptyStateView(tab.systemImage(), tab.title(), tab.subtitle(),
                                  QApplication::palette().color(QPalette::Highlight), this);
    }
}
