#pragma once

#include "app/widgets/TickTable.h"

#include <QWidget>

class AppState;
class CloseGuard;
class DeepCleanViewModel;
class DeleteSelectedButton;
class EmptyStateView;
class QLabel;
class ScanStateStack;
class TabHeader;

// The Deep Clean tab: the node_modules folders below the home in a sortable table with
// a checkbox per row and one in the header; ticked folders go to the Trash after two
// confirmations.
class DeepCleanView : public QWidget {
    Q_OBJECT
public:
    enum Column { CheckColumn = TickTable::TickColumn, PathColumn, SizeColumn, ModifiedColumn };

    DeepCleanView(AppState *appState, DeepCleanViewModel *model, QWidget *parent = nullptr);

    TabHeader *header() const { return m_header; }
    DeleteSelectedButton *deleteButton() const { return m_delete; }
    QTreeWidget *table() const { return m_table; }
    QLabel *warning() const { return m_warning; }
    // The placeholder shown instead of the table while there is nothing to list.
    EmptyStateView *emptyState() const;
    // The header checkbox as it reads.
    bool headerChecked() const;
    // What a click on the header checkbox does.
    void toggleHeaderCheck();

    // The two questions; when both are answered yes, the ticked folders are moved.
    void confirmClean();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    void fillTable();
    void sortBy(int column);
    void showFailures(int moved, int ticked, const QStringList &lines);
    void endConfirmation();

    AppState *m_appState;
    DeepCleanViewModel *m_model;
    TabHeader *m_header;
    DeleteSelectedButton *m_delete;
    QLabel *m_warning;
    TickTable *m_table;
    ScanStateStack *m_body;
    CloseGuard *m_closeGuard;
    int m_sortColumn = SizeColumn;
    bool m_ascending = false;
    bool m_confirming = false;
};
