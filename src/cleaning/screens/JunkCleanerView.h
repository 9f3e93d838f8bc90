#pragma once

#include "app/widgets/TickTable.h"
#include "cleaning/JunkTableItem.h"
#include "cleaning/JunkViewModel.h"

#include <QSet>
#include <QUuid>
#include <QWidget>

class AppState;
class CloseGuard;
class DeleteSelectedButton;
class JunkViewModel;
class TabHeader;

// The Junk Cleaner tab: the six categories in a sortable table whose rows open to show
// each category's largest files; ticked categories are emptied into the Trash.
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

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void fillTable();
    void sortBy(int column);
    void showCleanReport(const JunkViewModel::CleanReport &report);

    AppState *m_appState;
    JunkViewModel *m_model;
    TabHeader *m_header;
    DeleteSelectedButton *m_delete;
    TickTable *m_table;
    CloseGuard *m_closeGuard;
    QSet<QUuid> m_expanded;
    JunkTableItem::Order m_order;
    bool m_confirming = false;
};
