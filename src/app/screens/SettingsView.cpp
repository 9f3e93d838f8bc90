#include "app/screens/SettingsView.h"

#include "app/AppState.h"
#include "app/screens/AboutSettingsView.h"
#include "app/screens/GeneralSettingsView.h"
#include "app/screens/PrivacySettingsView.h"
#include "app/widgets/Symbols.h"
#include "applications/screens/AppScanSettingsView.h"
#include "exec/screens/ExclusionsSettingsView.h"
#include "homebrew/screens/HomebrewSettingsView.h"
#include "platform/Preferences.h"
#include "storage/screens/StorageSettingsView.h"

#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

SettingsView::SettingsView(AppState *appState, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Quillmar Settings"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    layout->addWidget(m_tabs);

    for (const SettingsTab &pane : SettingsTab::allCases()) {
        QWidget *page = nullptr;
        switch (pane) {
        case SettingsTab::general:
            page = new GeneralSettingsView(m_tabs);
            break;
        case SettingsTab::privacy:
            page = new PrivacySettingsView(appState, m_tabs);
            break;
        case SettingsTab::storage:
            page = new StorageSettingsView(m_tabs);
            break;
        case SettingsTab::exclusions:
            page = new ExclusionsSettingsView(appState->exclusionsVM(), m_tabs);
            break;
        case SettingsTab::applications:
            page = new AppScanSettingsView(m_tabs);
            break;
        case SettingsTab::homebrew:
            page = new HomebrewSettingsView(m_tabs);
            break;
        case SettingsTab::about:
            page = new AboutSettingsView(m_tabs);
            break;
        }
        m_tabs->addTab(page, Symbols::icon(pane.symbol()), pane.title());
        m_panes.append(pane);
    }
    // Wide enough for every tab header: one pushed past the edge takes no click.
    setFixedSize(qMax(560, m_tabs->tabBar()->sizeHint().width()),
                 440 + m_tabs->tabBar()->sizeHint().height() + 8);

    selectPane(SettingsTab::restored(
        Preferences::stringValue(PrefKey::settingsTab, QStringLiteral("general"))));
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && index < m_panes.size())
            Preferences::setValue(PrefKey::settingsTab, m_panes.at(index).rawValue());
    });
    // A focused drop-down keeps Ctrl+Tab to itself; a shortcut is asked first.
    const std::pair<QKeySequence, int> turns[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1}};
    for (const auto &[keys, step] : turns) {
        auto *shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] {
            const int count = m_tabs->count();
            m_tabs->setCurrentIndex((m_tabs->currentIndex() + step + count) % count);
        });
    }
}

SettingsTab SettingsView::currentPane() const
{
    const int index = m_tabs->currentIndex();
    return index >= 0 && index < m_panes.size() ? m_panes.at(index)
                                                : SettingsTab(SettingsTab::general);
}

void SettingsView::selectPane(SettingsTab pane)
{
    const int index = m_panes.indexOf(pane);
    m_tabs->setCurrentIndex(index >= 0 ? index : 0);
}
