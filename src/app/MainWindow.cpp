#include "app/MainWindow.h"

#include "app/AppState.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>

MainWindow::MainWindow(AppState *appState, QWidget *parent)
    : QMainWindow(parent), m_appState(appState)
{
    auto *central = new QWidget(this);
    auto *layout = new QHBoxLayout(central);
    m_sidebar = new QListWidget(central);
    m_sidebar->setFixedWidth(220);
    for (const TabNavigation &tab : TabNavigation::allCases())
        m_sidebar->addItem(tab.title());
    m_placeholder = new QLabel(central);
    m_placeholder->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_sidebar);
    layout->addWidget(m_placeholder, 1);
    setCentralWidget(central);
    setMinimumSize(1000, 700);
    setWindowTitle(QStringLiteral("Quillmar"));

    m_sidebar->setCurrentRow(int(m_appState->selectedTab()));
    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            m_appState->setSelectedTab(TabNavigation(TabNavigation::Case(row)));
    });
    connect(m_appState, &AppState::selectedTabChanged, this, &MainWindow::showTab);
    showTab();
}

void MainWindow::showTab()
{
    const TabNavigation tab = m_appState->selectedTab();
    m_placeholder->setText(tab.title() + QStringLiteral("\n") + tab.subtitle());
}
