#pragma once

#include "app/TabNavigation.h"

#include <QListWidget>

#include <memory>

class AppState;
class SidebarLabel;
class TabCounts;

// The sidebar: four titled sections of tabs, bound both ways to the selected tab.
class SidebarView : public QListWidget {
    Q_OBJECT
public:
    explicit SidebarView(AppState *appState, QWidget *parent = nullptr);
    ~SidebarView() override;

    // The sections in order, each with its tabs.
    static QList<QPair<QString, QList<TabNavigation>>> sections();

    // Replaces where the counts come from (tests stub it).
    void setCounts(std::unique_ptr<TabCounts> counts);
    // Re-reads the scan flag and every count.
    void refresh();

    SidebarLabel *label(TabNavigation tab) const;
    // The list row that shows a tab.
    int rowOf(TabNavigation tab) const;
    QStringList sectionTitles() const;

private:
    void selectTab(TabNavigation tab);
    void updateSelectionLook();

    AppState *m_appState;
    std::unique_ptr<TabCounts> m_counts;
    QHash<int, SidebarLabel *> m_labels; // by TabNavigation::Case
    QHash<int, int> m_rows;              // Case -> row
    QStringList m_sectionTitles;
};
