#pragma once

#include "app/TabNavigation.h"
#include "finders/FileItem.h"

#include <QCollator>
#include <QHash>
#include <QList>
#include <QSet>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class AdvancedToolsViewModel;
struct DroppedRows;
class AppState;
class DeleteSelectedButton;
class EmptyStateView;
class ExportButton;
class FileMetadataPreview;
class FinderRemoval;
class QLabel;
class QStackedWidget;
class QTableView;
class QuickLookPreview;
class ScanStateStack;
class RuntimeDetailPreview;
class TabHeader;

// The large-files, installers and runtimes tabs: a sortable table of the tab model's
// items with tick boxes, removal of one row or of every ticked row, and an optional
// preview of the selected row.
class GenericFileListView : public QWidget {
    Q_OBJECT
public:
    enum Column { TickColumn, IconColumn, NameColumn, SizeColumn, ActionsColumn };

    GenericFileListView(AppState *appState, AdvancedToolsViewModel *model, TabNavigation tab,
                        bool showPreviewPanel, std::function<void()> scanAction,
                        QWidget *parent = nullptr);

    // The screen of the runtimes, large-files or installers tab on its model and scan.
    static GenericFileListView *forTab(AppState *appState, TabNavigation tab, QWidget *parent);

    TabHeader *header() const { return m_header; }
    QTableView *table() const { return m_table; }
    DeleteSelectedButton *deleteSelectedButton() const { return m_deleteSelected; }
    // Large files and installers only.
    ExportButton *exportButton() const { return m_export; }
    QWidget *previewPanel() const { return m_preview; }
    QLabel *previewPlaceholder() const { return m_placeholder; }
    RuntimeDetailPreview *runtimePreview() const { return m_runtimePreview; }
    QuickLookPreview *quickLook() const { return m_quickLook; }
    FileMetadataPreview *metadataPreview() const { return m_metadata; }
    // The placeholder shown instead of the table while there are no items.
    EmptyStateView *emptyState() const;

    // The rows as displayed: filtered by the search text, in sort order.
    QList<FileItem> rows() const { return m_rows; }
    // Ticked paths that are displayed now, in row order: what "Delete Selected" removes.
    QStringList checkedPaths() const;
    void setChecked(const QString &path, bool checked);
    // Makes the column the first sort key; `ascending` false sorts it descending.
    void sortBy(Column column, bool ascending);
    void selectPath(const QString &path);
    // What a row's "Delete" and the delete-selected button do (each confirms first).
    void confirmDelete(const QString &path);
    void confirmBulkDelete();
    bool isRemoving() const;

signals:
    // A confirmed removal has ended; `moved` holds what went to the Trash.
    void removalFinished(const QStringList &moved);

protected:
    void showEvent(QShowEvent *event) override;

private:
    using SortOrder = QList<QPair<Column, bool>>; // (column, ascending), first key first
    // What a row is sorted by, worked out once per row.
    struct RowKey {
        double sizeMB = 0;
        std::optional<QCollatorSortKey> name; // while the order has the name column
    };
    struct Rows {
        QList<FileItem> rows;
        std::vector<RowKey> keys;
        QString search;
        int selected = -1;
    };
    // The items the search shows, in `order`. Grows with the items: large lists are
    // built on the pool.
    static Rows build(const QList<FileItem> &items, const QString &search, const SortOrder &order,
                      const std::optional<QString> &selected);
    static RowKey keyOf(const FileItem &item, const SortOrder &order, const QCollator &collator);
    static bool before(const RowKey &a, const RowKey &b, const SortOrder &order);
    void showRows(Rows rows);
    void rowsDropped(const DroppedRows &gone);
    void itemsChanged();
    void rebuildRows();
    void updateCount();
    void updateEmptyState();
    void updatePreview();
    void learnFolders();
    void applySortIndicator();

    AppState *m_appState;
    AdvancedToolsViewModel *m_model;
    TabNavigation m_tab;
    bool m_showPreviewPanel;
    std::function<void()> m_scanAction;
    TabHeader *m_header;
    DeleteSelectedButton *m_deleteSelected;
    ExportButton *m_export = nullptr;
    ScanStateStack *m_body;
    QTableView *m_table;
    class RowsModel;
    RowsModel *m_rowsModel;
    QWidget *m_preview = nullptr;
    QStackedWidget *m_previewStack = nullptr;
    QLabel *m_placeholder = nullptr;
    RuntimeDetailPreview *m_runtimePreview = nullptr;
    QuickLookPreview *m_quickLook = nullptr;
    FileMetadataPreview *m_metadata = nullptr;
    FinderRemoval *m_removal;

    QList<FileItem> m_rows;
    std::vector<RowKey> m_keys; // of m_rows
    QString m_shownSearch;      // what m_rows were filtered by
    QCollator m_collator;
    quint64 m_build = 0; // the newest build of the rows
    bool m_building = false;
    QList<FileItem> m_goneWhileBuilding;
    QSet<QString> m_checked;
    QHash<QString, bool> m_isFolder;
    SortOrder m_sortOrder;
};
