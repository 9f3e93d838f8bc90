#pragma once

#include "finders/DuplicateGroup.h"

#include <QSet>
#include <QWidget>

#include <optional>

class AdvancedToolsViewModel;
struct DroppedRows;
class AppState;
class DeleteSelectedButton;
class EmptyStateView;
class ExportButton;
class FileMetadataPreview;
class FinderRemoval;
class QLabel;
class QMenu;
class QStackedWidget;
class QTableView;
class QToolButton;
class QuickLookPreview;
class ScanStateStack;
class TabHeader;

// The duplicates tab: the groups of identical files, sortable by the sort menu or a
// column; the copies of the selected group with tick boxes; a preview of the chosen copy.
class DuplicatesView : public QWidget {
    Q_OBJECT
public:
    enum GroupColumn { FileColumn, CopiesColumn, EachColumn, FreesColumn };
    enum CopyColumn { TickColumn, PathColumn, ActionColumn };

    DuplicatesView(AppState *appState, AdvancedToolsViewModel *model, QWidget *parent = nullptr);

    TabHeader *header() const { return m_header; }
    QToolButton *sortButton() const { return m_sortButton; }
    QMenu *sortMenu() const { return m_sortMenu; }
    DeleteSelectedButton *deleteSelectedButton() const { return m_deleteSelected; }
    ExportButton *exportButton() const { return m_export; }
    QTableView *groupsTable() const { return m_groupsTable; }
    QTableView *copiesTable() const { return m_copiesTable; }
    QLabel *detailPlaceholder() const { return m_detailPlaceholder; }
    QLabel *summaryLabel() const { return m_summary; }
    QLabel *selectedLabel() const { return m_selectedLabel; }
    QuickLookPreview *quickLook() const { return m_quickLook; }
    FileMetadataPreview *metadataPreview() const { return m_metadata; }
    EmptyStateView *emptyState() const;

    // The groups as displayed: filtered by the search text, in sort order.
    QList<DuplicateGroup> groups() const { return m_groups; }
    DuplicateSortOrder sortOrder() const { return m_sortOrder; }
    std::optional<QString> selectedHash() const { return m_selectedHash; }
    std::optional<QString> selectedDuplicateId() const { return m_selectedDuplicateId; }
    // Ticked copies that are displayed now: what "Delete Selected" removes.
    QStringList checkedPaths() const;
    void setChecked(const QString &path, bool checked);
    // "Select": ticks every copy but the one the rule keeps, in every group shown.
    void selectByRule(KeepRule rule, const QByteArray &folder = {});
    QToolButton *selectButton() const { return m_selectButton; }
    void selectGroup(const QString &hash);
    void selectCopy(const QString &path);
    void chooseSort(DuplicateSort sort);
    void sortByColumn(GroupColumn column, bool ascending);
    // A row's "Delete" and "Delete Selected": each first looks whether a copy of every
    // group involved would be left, then asks.
    void confirmDelete(const QString &path);
    void confirmBulkDelete();
    bool isRemoving() const;

signals:
    void removalFinished(const QStringList &moved);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Groups {
        QList<DuplicateGroup> groups;
        QString search;
        double totalMB = 0;
    };
    // The groups the search shows, in `order`. Grows with the items: large lists are
    // grouped on the pool.
    static Groups build(const QList<FileItem> &items, const QString &search,
                        const DuplicateSortOrder &order);
    void showGroups(const Groups &built);
    void rowsDropped(const DroppedRows &dropped);
    void updateCopies();
    void itemsChanged();
    void rebuildGroups();
    void updateDetail();
    void showSummary(const DuplicateGroup &group);
    void styleSummary();
    void updateCount();
    void updateHeader();
    void updateSortMenu();
    void updatePreview();
    std::optional<DuplicateGroup> selectedGroup() const;
    void askThenRemove(const QStringList &paths, bool oneRow);

    AppState *m_appState;
    AdvancedToolsViewModel *m_model;
    TabHeader *m_header;
    QToolButton *m_sortButton;
    QToolButton *m_selectButton;
    QMenu *m_sortMenu;
    DeleteSelectedButton *m_deleteSelected;
    ExportButton *m_export;
    ScanStateStack *m_body;
    QTableView *m_groupsTable;
    QTableView *m_copiesTable;
    class GroupsModel;
    class CopiesModel;
    GroupsModel *m_groupsModel;
    CopiesModel *m_copiesModel;
    QStackedWidget *m_detailStack;
    QLabel *m_detailPlaceholder;
    QLabel *m_summary;
    bool m_summaryWarns = false;
    QLabel *m_selectedLabel;
    QStackedWidget *m_previewStack;
    QuickLookPreview *m_quickLook;
    FileMetadataPreview *m_metadata;
    FinderRemoval *m_removal;

    QList<DuplicateGroup> m_groups;
    QString m_shownSearch; // what m_groups were filtered by
    double m_totalMB = 0;  // freed by keeping one copy of each group shown
    quint64 m_build = 0;   // the newest grouping
    bool m_building = false;
    QList<FileItem> m_copies; // of the selected group, as displayed
    DuplicateSortOrder m_sortOrder;
    QSet<QString> m_checked;
    std::optional<QString> m_selectedHash;
    std::optional<QString> m_selectedDuplicateId;
    bool m_checking = false; // looking which copies are left before asking
};
