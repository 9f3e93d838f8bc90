#pragma once

#include <QMainWindow>

class AppState;
class QListWidget;
class QLabel;

// The main window: the sidebar of tabs and the selected tab's screen.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(AppState *appState, QWidget *parent = nullptr);

private:
    void showTab();

    AppState *m_appState;
    QListWidget *m_sidebar;
    QLabel *m_placeholder;
};
