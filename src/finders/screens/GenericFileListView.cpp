#include "finders/screens/GenericFileListView.h"

#include "app/AppState.h"
#include "app/widgets/CloseGuard.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/ExportButton.h"
#include "app/widgets/FileIcons.h"
#include "app/widgets/KeepMenu.h"
#include "app/widgets/QuickLookPreview.h"
#include "app/widgets/RowActions.h"
#include "app/widgets/RowButtonDelegate.h"
#include "app/widgets/ScanStateStack.h"
#include "app/widgets/TabHeader.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/ListExport.h"
#include "finders/screens/FileMetadataPreview.h"
#include "finders/screens/FilePreviewPane.h"
#include "finders/screens/FinderRemoval.h"
#include "finders/screens/RuntimeDetailPreview.h"
#include "finders/screens/StackedTextDelegate.h"
#include "platform/DisplayName.h"
#include "platform/FileProperties.h"
#include "platform/Plural.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

QString lastComponent(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

bool shownBy(const QString &search, const FileItem &item)
{
    return search.isEmpty() || item.path.contains(search, Qt::CaseInsensitive);
}

// Up to this many items the rows are built at once; past it, on the pool.
constexpr qsizetype kBuiltAtOnce = 2000;

} // namespace

class GenericFileListView::RowsModel : public QAbstractTableModel {
public:
    explicit RowsModel(GenericFileListView *view) : QAbstractTableModel(view), m_view(view) {}

    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void removeRows(int first, int last)
    {
        beginRemoveRows({}, first, last);
        m_view->m_rows.remove(first, last - first + 1);
        m_view->m_keys.erase(m_view->m_keys.begin() + first, m_view->m_keys.begin() + last + 1);
        endRemoveRows();
    }
    void refreshColumn(int column)
    {
        if (rowCount() > 0)
            emit dataChanged(index(0, column), index(rowCount() - 1, column));
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_view->m_rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 5;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        switch (section) {
        case IconColumn:
            return QStringLiteral("Icon");
        case NameColumn:
            return QStringLiteral("Name");
        case SizeColumn:
            return QStringLiteral("Size / Info");
        case ActionsColumn:
            return QStringLiteral("Actions");
        default:
            return QString();
        }
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index.column() == TickColumn)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_view->m_rows.size())
            return {};
        const FileItem &item = m_view->m_rows.at(index.row());
        switch (index.column()) {
        case TickColumn:
            if (role == Qt::CheckStateRole)
                return m_view->m_checked.contains(item.path) ? Qt::Checked : Qt::Unchecked;
            // The box has no text: it is read with the row's name.
            if (role == Qt::AccessibleTextRole)
                return DisplayName::line(lastComponent(item.path));
            break;
        case IconColumn:
            if (role == Qt::DecorationRole)
                return FileIcons::icon(item.path, m_view->m_isFolder.value(item.path));
            if (role == Qt::AccessibleTextRole)
                return m_view->m_isFolder.value(item.path) ? QStringLiteral("Folder")
                                                           : QStringLiteral("File");
            break;
        case NameColumn:
            if (role == Qt::DisplayRole)
                return DisplayName::line(lastComponent(item.path));
            if (role == StackedTextDelegate::SecondaryLinesRole)
                return QStringList{DisplayName::line(item.path)};
            if (role == Qt::ToolTipRole)
                return DisplayName::line(item.path);
            if (role == Qt::AccessibleTextRole)
                return DisplayName::line(lastComponent(item.path)) + QStringLiteral(", ") +
                       (item.sizeMB > 0 ? formatSizeMB(item.sizeMB) : item.sizeDesc);
            if (role == Qt::AccessibleDescriptionRole)
                return DisplayName::line(item.path);
            break;
        case SizeColumn:
            if (role == Qt::DisplayRole)
                return item.sizeMB > 0 ? formatSizeMB(item.sizeMB) : item.sizeDesc;
            if (role == Qt::ToolTipRole)
                return item.sizeDesc;
            if (role == Qt::ForegroundRole && item.sizeMB <= 0)
                return m_view->palette().brush(QPalette::PlaceholderText);
            break;
        case ActionsColumn:
            if (role == Qt::DisplayRole)
                return QStringLiteral("Delete");
            if (role == Qt::AccessibleTextRole)
                return QStringLiteral("Delete ") + DisplayName::line(lastComponent(item.path));
            break;
        }
        return {};
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (index.column() != TickColumn || role != Qt::CheckStateRole ||
            index.row() >= m_view->m_rows.size())
            return false;
        m_view->setChecked(m_view->m_rows.at(index.row()).path, value.toInt() == int(Qt::Checked));
        return true;
    }

private:
    GenericFileListView *m_view;
};

GenericFileListView::GenericFileListView(AppState *appState, AdvancedToolsViewModel *model,
                                         TabNavigation tab, bool showPreviewPanel,
                                         std::function<void()> scanAction, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model), m_tab(tab),
      m_showPreviewPanel(showPreviewPanel), m_scanAction(std::move(scanAction))
{
    setObjectName(QStringLiteral("fileListView_") + tab.rawValue());
    m_sortOrder = {{SizeColumn, false}};
    m_removal = new FinderRemoval(this, model, appState, tab);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new TabHeader(tab, this);
    m_header->addRescan([this] {
        if (m_scanAction)
            m_scanAction();
    });
    m_deleteSelected = new DeleteSelectedButton([this] { confirmBulkDelete(); }, m_header);
    m_header->addAction(m_deleteSelected);
    if (tab == TabNavigation::largeFiles || tab == TabNavigation::installers) {
        // The rows as shown: filtered, in their order.
        m_export = new ExportButton(
            ExportButton::csvAndJson([this]() -> std::function<QByteArray(bool)> {
                if (m_rows.isEmpty())
                    return {};
                return [rows = m_rows](bool csv) {
                    const QList<ListExport::File> files = ListExport::files(rows);
                    return csv ? ListExport::filesCsv(files) : ListExport::filesJson(files);
                };
            }),
            [tab] { return TabNavigation(tab).title(); }, m_header);
        m_export->setAccessibleName(QStringLiteral("Export the list"));
        m_header->addAction(m_export);
        new CloseGuard(
            this, [this] { return m_export->isRunning(); },
            QStringLiteral("The list is still being exported."));
    }
    layout->addWidget(m_header);

    m_body = new ScanStateStack(tab, QStringLiteral("Nothing found"),
                                QStringLiteral("Nothing here takes up space right now."), this);

    auto *split = new QSplitter(Qt::Horizontal, m_body);
    split->setChildrenCollapsible(false);
    m_table = new QTableView(split);
    m_table->setObjectName(QStringLiteral("fileTable"));
    m_table->setAccessibleName(tab.title());
    m_rowsModel = new RowsModel(this);
    m_table->setModel(m_rowsModel);
    KeepMenu::attach(m_table, appState->exclusionsVM(), [this](const QModelIndex &index) {
        if (index.row() >= m_rows.size() || !m_rows.at(index.row()).path.startsWith('/'))
            return QByteArray();
        const FileItem &row = m_rows.at(index.row());
        return row.nativePath.isEmpty() ? nativePath(row.path) : row.nativePath;
    });
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() * 2 + 16);
    m_table->setItemDelegateForColumn(NameColumn, new StackedTextDelegate(m_table));
    auto *buttons = new RowButtonDelegate(m_table);
    m_table->setItemDelegateForColumn(ActionsColumn, buttons);
    connect(buttons, &RowButtonDelegate::clicked, this, [this](const QModelIndex &index) {
        if (index.row() < m_rows.size())
            confirmDelete(m_rows.at(index.row()).path);
    });
    auto *keys = new RowActions(m_table);
    keys->setTickColumn(TickColumn);
    keys->addButtonColumn(ActionsColumn,
                          [buttons](const QModelIndex &cell) { emit buttons->clicked(cell); });
    // The ticked rows when there are any, else the row the keyboard is on.
    keys->setRemove([this](const QModelIndex &current) {
        if (!checkedPaths().isEmpty())
            confirmBulkDelete();
        else if (current.isValid() && current.row() < m_rows.size())
            confirmDelete(m_rows.at(current.row()).path);
    });
    QHeaderView *head = m_table->horizontalHeader();
    head->setSectionResizeMode(QHeaderView::Interactive);
    head->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    head->resizeSection(TickColumn, 28);
    head->resizeSection(IconColumn, 40);
    head->resizeSection(SizeColumn, 130);
    head->resizeSection(ActionsColumn, 90);
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(true);
    connect(head, &QHeaderView::sectionClicked, this, [this](int section) {
        if (section != NameColumn && section != SizeColumn)
            return;
        const Column column = Column(section);
        const bool ascending = !m_sortOrder.isEmpty() && m_sortOrder.first().first == column
                                   ? !m_sortOrder.first().second
                                   : column == NameColumn;
        sortBy(column, ascending);
    });
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.row() < m_rows.size())
                    m_model->setSelectedItemPath(m_rows.at(current.row()).path);
            });
    split->addWidget(m_table);

    if (showPreviewPanel) {
        m_preview = new QWidget(split);
        m_preview->setObjectName(QStringLiteral("previewPanel"));
        m_preview->setMinimumWidth(260);
        auto *previewLayout = new QVBoxLayout(m_preview);
        previewLayout->setContentsMargins(0, 0, 0, 0);
        m_previewStack = new QStackedWidget(m_preview);
        m_placeholder = new QLabel(QStringLiteral("Select an item to preview"), m_previewStack);
        m_placeholder->setAlignment(Qt::AlignCenter);
        m_placeholder->setForegroundRole(QPalette::PlaceholderText);
        m_previewStack->addWidget(m_placeholder);
        if (tab == TabNavigation::runtimes) {
            m_runtimePreview = new RuntimeDetailPreview(m_previewStack);
            m_previewStack->addWidget(m_runtimePreview);
        } else {
            auto *files = new FilePreviewPane(m_previewStack);
            m_quickLook = files->quickLook();
            m_metadata = files->metadata();
            m_previewStack->addWidget(files);
        }
        previewLayout->addWidget(m_previewStack);
        split->addWidget(m_preview);
        split->setStretchFactor(0, 3);
        split->setStretchFactor(1, 2);
        split->setSizes({650, 350});
    }

    m_body->setContent(split);
    layout->addWidget(m_body, 1);

    connect(m_model, &AdvancedToolsViewModel::itemsChanged, this,
            &GenericFileListView::itemsChanged);
    connect(m_model, &AdvancedToolsViewModel::rowsDropped, this, &GenericFileListView::rowsDropped);
    connect(m_model, &AdvancedToolsViewModel::selectedItemPathChanged, this,
            &GenericFileListView::updatePreview);
    connect(appState, &AppState::globalSearchTextChanged, this, &GenericFileListView::rebuildRows);
    connect(appState, &AppState::isScanningChanged, this, &GenericFileListView::updateEmptyState);
    connect(m_removal, &FinderRemoval::runningChanged, this, [this] { updateCount(); });
    connect(m_removal, &FinderRemoval::finished, this, &GenericFileListView::removalFinished);
    itemsChanged();
    updatePreview();
}

GenericFileListView *GenericFileListView::forTab(AppState *appState, TabNavigation tab,
                                                 QWidget *parent)
{
    AdvancedToolsViewModel *vm = tab == TabNavigation::runtimes     ? appState->runtimesVM()
                                 : tab == TabNavigation::largeFiles ? appState->largeFilesVM()
                                                                    : appState->installersVM();
    void (AdvancedToolsViewModel::*scan)(AppHost *) =
        tab == TabNavigation::runtimes     ? &AdvancedToolsViewModel::scanRuntimes
        : tab == TabNavigation::largeFiles ? &AdvancedToolsViewModel::scanLargeFiles
                                           : &AdvancedToolsViewModel::scanInstallers;
    // The installers tab has no preview.
    return new GenericFileListView(
        appState, vm, tab, tab != TabNavigation::installers,
        [appState, vm, scan] { (vm->*scan)(appState); }, parent);
}

EmptyStateView *GenericFileListView::emptyState() const
{
    return m_body->emptyState();
}

void GenericFileListView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A scan already under way (the start-up scan of every tab) is left to finish.
    if (m_model->items().isEmpty() && !m_model->isScanRunning() && m_scanAction)
        m_scanAction();
    updateEmptyState();
}

void GenericFileListView::itemsChanged()
{
    // A tick on a path no longer listed must not be removed later.
    m_checked.removeIf([this](const QString &path) { return !m_model->lists(path); });
    rebuildRows();
    learnFolders();
}

GenericFileListView::RowKey GenericFileListView::keyOf(const FileItem &item, const SortOrder &order,
                                                       const QCollator &collator)
{
    RowKey key;
    key.sizeMB = item.sizeMB;
    if (std::any_of(order.begin(), order.end(),
                    [](const auto &k) { return k.first == NameColumn; }))
        key.name = collator.sortKey(item.path);
    return key;
}

bool GenericFileListView::before(const RowKey &a, const RowKey &b, const SortOrder &order)
{
    for (const auto &[column, ascending] : order) {
        int c = 0;
        if (column == NameColumn && a.name && b.name)
            c = a.name->compare(*b.name);
        else if (column == SizeColumn)
            c = a.sizeMB < b.sizeMB ? -1 : (a.sizeMB > b.sizeMB ? 1 : 0);
        if (c != 0)
            return ascending ? c < 0 : c > 0;
    }
    return false;
}

GenericFileListView::Rows GenericFileListView::build(const QList<FileItem> &items,
                                                     const QString &search, const SortOrder &order,
                                                     const std::optional<QString> &selected)
{
    const QCollator collator;
    std::vector<qsizetype> shown;
    std::vector<RowKey> keys;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (shownBy(search, items.at(i))) {
            shown.push_back(i);
            keys.push_back(keyOf(items.at(i), order, collator));
        }
    }
    std::vector<size_t> at(shown.size());
    for (size_t i = 0; i < at.size(); ++i)
        at[i] = i;
    // Rows that tie keep the list's order.
    std::stable_sort(at.begin(), at.end(),
                     [&](size_t a, size_t b) { return before(keys[a], keys[b], order); });
    Rows rows;
    rows.search = search;
    rows.rows.reserve(qsizetype(at.size()));
    rows.keys.reserve(at.size());
    for (const size_t i : at) {
        rows.rows.append(items.at(shown[i]));
        rows.keys.push_back(std::move(keys[i]));
        if (selected && rows.selected < 0 && rows.rows.last().path == *selected)
            rows.selected = int(rows.rows.size() - 1);
    }
    return rows;
}

void GenericFileListView::rebuildRows()
{
    const quint64 build = ++m_build;
    m_goneWhileBuilding.clear();
    const QList<FileItem> items = m_model->items();
    if (items.size() <= kBuiltAtOnce) {
        m_building = false;
        showRows(GenericFileListView::build(items, m_appState->globalSearchText(), m_sortOrder,
                                            m_model->selectedItemPath()));
        return;
    }
    // Until they come, the rows shown stay, less those that go meanwhile.
    m_building = true;
    whenFinished(this,
                 Background::start([items, search = m_appState->globalSearchText(),
                                    order = m_sortOrder, selected = m_model->selectedItemPath()] {
                     // Shared: the rows' keys are not copied on the main thread.
                     return std::make_shared<Rows>(
                         GenericFileListView::build(items, search, order, selected));
                 }),
                 [this, build](const std::shared_ptr<Rows> &built) {
                     if (build != m_build)
                         return;
                     Rows rows = std::move(*built);
                     m_building = false;
                     for (const FileItem &item : std::as_const(m_goneWhileBuilding)) {
                         const qsizetype at = rows.rows.indexOf(item);
                         if (at >= 0) {
                             rows.rows.remove(at);
                             rows.keys.erase(rows.keys.begin() + at);
                             rows.selected = at == rows.selected  ? -1
                                             : at < rows.selected ? rows.selected - 1
                                                                  : rows.selected;
                         }
                     }
                     m_goneWhileBuilding.clear();
                     showRows(std::move(rows));
                 });
}

void GenericFileListView::showRows(Rows rows)
{
    Background::release(std::pair(std::exchange(m_rows, std::move(rows.rows)),
                                  std::exchange(m_keys, std::move(rows.keys))));
    m_shownSearch = rows.search;
    m_rowsModel->reset();
    applySortIndicator();
    if (rows.selected >= 0)
        m_table->selectRow(rows.selected);
    updateCount();
    updateEmptyState();
}

void GenericFileListView::rowsDropped(const DroppedRows &dropped)
{
    const QList<FileItem> &gone = dropped.rows;
    if (m_building)
        m_goneWhileBuilding.append(gone);
    // Each row that went is found by its sort key, among the rows that tie with it.
    std::vector<int> at;
    for (const FileItem &item : gone) {
        m_checked.remove(item.path);
        if (!shownBy(m_shownSearch, item))
            continue;
        const RowKey key = keyOf(item, m_sortOrder, m_collator);
        const auto less = [this](const RowKey &a, const RowKey &b) {
            return before(a, b, m_sortOrder);
        };
        const auto [from, to] = std::equal_range(m_keys.begin(), m_keys.end(), key, less);
        for (auto it = from; it != to; ++it) {
            const FileItem &row = m_rows.at(it - m_keys.begin());
            if (row.path == item.path && row.nativePath == item.nativePath)
                at.push_back(int(it - m_keys.begin()));
        }
    }
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    const int current = m_table->currentIndex().row();
    const bool currentGone = std::binary_search(at.begin(), at.end(), current);
    // Back to front, a run of neighbours at a time.
    for (auto last = at.rbegin(); last != at.rend();) {
        auto first = last;
        while (std::next(first) != at.rend() && *std::next(first) == *first - 1)
            ++first;
        m_rowsModel->removeRows(*first, *last);
        last = std::next(first);
    }
    // The focus goes to the row that took the place of the one that went.
    if (currentGone && !m_rows.isEmpty()) {
        const int above = int(std::lower_bound(at.begin(), at.end(), current) - at.begin());
        m_table->selectRow(std::min(current - above, int(m_rows.size()) - 1));
    }
    updateCount();
    updateEmptyState();
}

void GenericFileListView::learnFolders()
{
    // Whether a row is a folder picks its icon; asking the disk waits for no one.
    whenFinished(this, Background::start([items = m_model->items(), known = m_isFolder] {
                     QHash<QString, bool> found;
                     for (const FileItem &item : items) {
                         if (known.contains(item.path) || found.contains(item.path))
                             continue;
                         const auto props = FileProperties::read(item.path);
                         found.insert(item.path, props && props->isDirectory);
                     }
                     return found;
                 }),
                 [this](const QHash<QString, bool> &found) {
                     if (found.isEmpty())
                         return;
                     m_isFolder.insert(found);
                     m_rowsModel->refreshColumn(IconColumn);
                 });
}

QStringList GenericFileListView::checkedPaths() const
{
    QStringList paths;
    for (const FileItem &item : m_rows) {
        if (m_checked.contains(item.path))
            paths.append(item.path);
    }
    return paths;
}

void GenericFileListView::setChecked(const QString &path, bool checked)
{
    if (checked && m_model->lists(path))
        m_checked.insert(path);
    else
        m_checked.remove(path);
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).path == path) {
            const QModelIndex index = m_rowsModel->index(i, TickColumn);
            emit m_rowsModel->dataChanged(index, index, {Qt::CheckStateRole});
        }
    }
    updateCount();
}

void GenericFileListView::sortBy(Column column, bool ascending)
{
    m_sortOrder.removeIf([column](const QPair<Column, bool> &key) { return key.first == column; });
    m_sortOrder.prepend({column, ascending});
    rebuildRows();
}

void GenericFileListView::applySortIndicator()
{
    if (m_sortOrder.isEmpty())
        return;
    m_table->horizontalHeader()->setSortIndicator(m_sortOrder.first().first,
                                                  m_sortOrder.first().second ? Qt::AscendingOrder
                                                                             : Qt::DescendingOrder);
}

void GenericFileListView::selectPath(const QString &path)
{
    for (int i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).path == path) {
            m_table->selectRow(i);
            m_model->setSelectedItemPath(path);
            return;
        }
    }
}

void GenericFileListView::updateCount()
{
    // Every tick is on a listed row: those the search shows are the ones counted.
    int shown = 0;
    for (const QString &path : std::as_const(m_checked))
        shown += m_shownSearch.isEmpty() || path.contains(m_shownSearch, Qt::CaseInsensitive);
    m_deleteSelected->setCount(shown);
    if (m_removal->isRunning())
        m_deleteSelected->setEnabled(false);
}

void GenericFileListView::updateEmptyState()
{
    m_body->showState(!m_model->items().isEmpty(), m_model->isScanRunning());
    m_header->setIncomplete(m_model->isIncomplete());
}

void GenericFileListView::updatePreview()
{
    if (!m_showPreviewPanel)
        return;
    const std::optional<QString> path = m_model->selectedItemPath();
    if (!path) {
        m_table->clearSelection();
        m_previewStack->setCurrentWidget(m_placeholder);
        return;
    }
    m_previewStack->setCurrentIndex(1);
    if (m_runtimePreview) {
        m_runtimePreview->setPath(*path);
    } else {
        m_quickLook->setUrl(*path);
        m_metadata->setPath(*path);
    }
}

bool GenericFileListView::isRemoving() const
{
    return m_removal->isRunning();
}

void GenericFileListView::confirmDelete(const QString &path)
{
    m_removal->confirmOne(path);
}

void GenericFileListView::confirmBulkDelete()
{
    const QStringList paths = checkedPaths();
    if (paths.isEmpty() || m_removal->isRunning())
        return;
    Dialogs::confirm(
        this,
        {QStringLiteral("Move %1 to Trash?")
             .arg(Plural::count(paths.size(), QStringLiteral("item"), QStringLiteral("items"))),
         QStringLiteral("Are you sure you want to delete these selected items?"),
         QStringLiteral("Yes, Delete All"), QStringLiteral("Cancel")},
        [this, asked = paths](bool confirmed) {
            if (!confirmed)
                return;
            // Only what is still ticked and listed once the answer comes.
            QStringList paths = checkedPaths();
            paths.removeIf([&](const QString &p) { return !asked.contains(p); });
            // Ticks are let go at once: the rows they name are on their way.
            m_checked.clear();
            m_rowsModel->refreshColumn(TickColumn);
            m_removal->start(paths);
            updateCount();
        });
}
