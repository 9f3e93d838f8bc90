#pragma once

#include "applications/AppResource.h"

#include <QWidget>

class AppState;
class ApplicationsViewModel;
class EmptyStateView;
class QSortFilterProxyModel;
class QStackedWidget;
class QTableView;
class TabHeader;

// The Applications tab: the installed applications in a sortable table, filtered by the
// search field, each with an "Uninstall" button that asks first.
class ApplicationsView : public QWidget {
    Q_OBJECT
public:
    enum Column {
        IconColumn,
        NameColumn,
        SourceColumn,
        LastOpenedColumn,
        SizeColumn,
        ActionsColumn
    };

    ApplicationsView(AppState *appState, ApplicationsViewModel *model, QWidget *parent = nullptr);

    TabHeader *header() const { return m_header; }
    QTableView *table() const { return m_table; }
    EmptyStateView *emptyState() const { return m_empty; }
    // The names in the rows, top to bottom, as shown.
    QStringList shownNames() const;

    // What pressing a row's "Uninstall" does: asks, then uninstalls.
    void confirmUninstall(const QString &path);
    static QString confirmationText(const AppResource &app);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refresh();
    void showFailure(const QString &name, const QString &reason);

    AppState *m_appState;
    ApplicationsViewModel *m_model;
    TabHeader *m_header;
    QStackedWidget *m_pages;
    QTableView *m_table;
    EmptyStateView *m_empty;
    QSortFilterProxyModel *m_proxy;
    class ApplicationsTableModel *m_rows;
    int m_sortColumn;
    Qt::SortOrder m_sortOrder;
};
