#pragma once

#include "app/screens/SettingsTab.h"

#include <QDialog>

class AppState;
class QTabWidget;

// The Settings window: one tab per pane, reopening on the pane last used.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    explicit SettingsView(AppState *appState, QWidget *parent = nullptr);

    // The panes this build has, in tab-bar order.
    QList<SettingsTab> panes() const { return m_panes; }
    SettingsTab currentPane() const;
    void selectPane(SettingsTab pane);
    QTabWidget *tabs() const { return m_tabs; }

private:
    QList<SettingsTab> m_panes;
    QTabWidget *m_tabs;
};
