#pragma once

#include "applications/AppResource.h"
#include "exec/screens/TerminalSheetView.h"

#include <QPointer>
#include <QWidget>

class AppState;
class ApplicationsViewModel;
class EmptyStateView;
class QSortFilterProxyModel;
class QStackedWidget;
class QTableView;
class TabHeader;
class TerminalSheetView;

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
    // What the confirmation before a package manager's removal says.
    static QString removalText(const AppResource &app, const QStringList &alsoRemoved);
    // The sheet a confirmed package removal runs in, while it is open.
    TerminalSheetView *sheet() const { return m_sheet; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void showFailure(const QString &name, const QString &reason);
    void confirmRemoval(const QString &path, const QString &command, const QStringList &alsoRemoved,
                        const QString &error);

    AppState *m_appState;
    ApplicationsViewModel *m_model;
    TabHeader *m_header;
    QStackedWidget *m_pages;
    QTableView *m_table;
    EmptyStateView *m_empty;
    QSortFilterProxyModel *m_proxy;
    class ApplicationsTableModel *m_rows;
    QPointer<TerminalSheetView> m_sheet;
    int m_sortColumn;
    Qt::SortOrder m_sortOrder;
};
