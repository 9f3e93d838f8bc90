#pragma once

#include "app/widgets/TickTable.h"
#include "cleaning/JunkTableItem.h"
#include "cleaning/JunkViewModel.h"

#include "exec/screens/TerminalSheetView.h"

#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QWidget>

class AppState;
class CloseGuard;
class DeleteSelectedButton;
class JunkViewModel;
class TabHeader;

// The Junk Cleaner tab: the categories in a sortable table whose rows open to show each
// category's largest files; ticked categories are emptied into the Trash. Below, the caches
// only system tools clear, each cleared by its tool in the terminal after a confirmation.
class JunkCleanerView : public QWidget {
    Q_OBJECT
public:
    JunkCleanerView(AppState *appState, JunkViewModel *model, QWidget *parent = nullptr);

    TabHeader *header() const { return m_header; }
    DeleteSelectedButton *deleteButton() const { return m_delete; }
    QTreeWidget *table() const { return m_table; }
    QSet<QUuid> expanded() const { return m_expanded; }
    JunkTableItem::Order order() const { return m_order; }

    // Asks "Final Confirmation" and, when confirmed, empties the ticked categories.
    void confirmClean();
    // What the confirmation says for the ticked categories; emptying the Trash is named as
    // permanent, with its number of items.
    static QString confirmationText(const QList<JunkCategory> &categories);
    // Asks with the cache's own confirmation and, when confirmed, runs its tool in the
    // terminal sheet.
    void confirmSystemClean(const SystemCache &cache);
    QWidget *systemCachesPanel() const { return m_systemPanel; }
    TerminalSheetView *sheet() const { return m_sheet; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void fillTable();
    void sortBy(int column);
    void showCleanReport(const JunkViewModel::CleanReport &report);
    void rebuildSystemCaches();

    AppState *m_appState;
    JunkViewModel *m_model;
    TabHeader *m_header;
    DeleteSelectedButton *m_delete;
    TickTable *m_table;
    CloseGuard *m_closeGuard;
    QSet<QUuid> m_expanded;
    JunkTableItem::Order m_order;
    bool m_confirming = false;
    QWidget *m_systemPanel;
    QPointer<TerminalSheetView> m_sheet;
};
