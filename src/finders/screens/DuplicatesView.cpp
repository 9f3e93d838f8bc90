#include "finders/screens/DuplicatesView.h"

#include "app/AppState.h"
#include "app/widgets/CloseGuard.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/ExportButton.h"
#include "app/widgets/KeepMenu.h"
#include "app/widgets/QuickLookPreview.h"
#include "app/widgets/RowActions.h"
#include "app/widgets/RowButtonDelegate.h"
#include "app/widgets/ScanStateStack.h"
#include "app/widgets/Style.h"
#include "app/widgets/TabHeader.h"
#include "exec/Async.h"
#include "exec/Background.h"
#include "exec/ProcessRunner.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/ListExport.h"
#include "finders/screens/FileMetadataPreview.h"
#include "finders/screens/FilePreviewPane.h"
#include "finders/screens/FinderRemoval.h"
#include "finders/screens/StackedTextDelegate.h"
#include "platform/DisplayName.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "platform/Plural.h"

#include <QAbstractTableModel>
#include <QActionGroup>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <utility>

namespace {

QString lastComponent(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString copiesText(int copies)
{
    return Plural::count(copies, QStringLiteral("copy"), QStringLiteral("copies"));
}

// Each name on a line of its own, whatever it holds.
QString shownLines(const QStringList &names)
{
    QStringList lines;
    for (const QString &name : names)
        lines.append(DisplayName::line(name));
    return lines.join(QLatin1Char('\n'));
}

const QString kFreesHelp = QStringLiteral("Space freed by keeping one copy");

// Up to this many items the groups are made at once; past it, on the pool.
constexpr qsizetype kBuiltAtOnce = 2000;

} // namespace

class DuplicatesView::GroupsModel : public QAbstractTableModel {
public:
    explicit GroupsModel(DuplicatesView *view) : QAbstractTableModel(view), m_view(view) {}
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void removeGroup(int at)
    {
        beginRemoveRows({}, at, at);
        m_view->m_groups.remove(at);
        endRemoveRows();
    }
    // The group at `at` becomes `group` and moves to its place in `order`.
    void replaceGroup(int at, const DuplicateGroup &group, const DuplicateSortOrder &order)
    {
        QList<DuplicateGroup> &groups = m_view->m_groups;
        int low = 0, high = int(groups.size()) - 1; // over the others
        while (low < high) {
            const int mid = (low + high) / 2;
            if (duplicateGroupBefore(groups.at(mid < at ? mid : mid + 1), group, order))
                low = mid + 1;
            else
                high = mid;
        }
        if (low == at) {
            groups[at] = group;
            emit dataChanged(index(at, 0), index(at, columnCount() - 1));
            return;
        }
        beginMoveRows({}, at, at, {}, low < at ? low : low + 1);
        groups.move(at, low);
        groups[low] = group;
        endMoveRows();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_view->m_groups.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 4;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal)
            return {};
        if (role == Qt::ToolTipRole && section == FreesColumn)
            return kFreesHelp;
        if (role != Qt::DisplayRole)
            return {};
        static const QStringList titles{QStringLiteral("Duplicate File"), QStringLiteral("Copies"),
                                        QStringLiteral("Each"), QStringLiteral("Frees")};
        return titles.value(section);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_view->m_groups.size())
            return {};
        const DuplicateGroup &g = m_view->m_groups.at(index.row());
        const QString first = g.children.isEmpty() ? QString() : g.children.first().path;
        switch (index.column()) {
        case FileColumn:
            if (role == Qt::DisplayRole)
                return DisplayName::line(lastComponent(first));
            if (role == StackedTextDelegate::SecondaryLinesRole)
                return QStringList{DisplayName::line(folderOf(first)), copiesText(g.copies())};
            if (role == Qt::AccessibleTextRole)
                return DisplayName::line(lastComponent(first)) + QStringLiteral(", ") +
                       copiesText(g.copies()) + QStringLiteral(", frees ") +
                       formatSizeMB(g.wastedMB());
            if (role == Qt::ToolTipRole)
                return first;
            break;
        case CopiesColumn:
            if (role == Qt::DisplayRole)
                return g.copies();
            break;
        case EachColumn:
            if (role == Qt::DisplayRole)
                return g.sizeDesc;
            break;
        case FreesColumn:
            if (role == Qt::DisplayRole)
                return formatSizeMB(g.wastedMB());
            if (role == Qt::ToolTipRole)
                return kFreesHelp;
            break;
        }
        if (role == Qt::TextAlignmentRole && index.column() != FileColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }

private:
    DuplicatesView *m_view;
};

class DuplicatesView::CopiesModel : public QAbstractTableModel {
public:
    explicit CopiesModel(DuplicatesView *view) : QAbstractTableModel(view), m_view(view) {}
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    void removeCopy(int at)
    {
        beginRemoveRows({}, at, at);
        m_view->m_copies.remove(at);
        endRemoveRows();
    }
    void refreshTicks()
    {
        if (rowCount() > 0)
            emit dataChanged(index(0, TickColumn), index(rowCount() - 1, TickColumn));
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_view->m_copies.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : 3;
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const QStringList titles{QString(), QStringLiteral("Path"),
                                        QStringLiteral("Action")};
        return titles.value(section);
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        // A copy that frees nothing is never offered as a way to free space.
        if (index.column() == TickColumn && index.row() < m_view->m_copies.size() &&
            !m_view->m_copies.at(index.row()).freesNothing())
            f |= Qt::ItemIsUserCheckable;
        return f;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_view->m_copies.size())
            return {};
        const FileItem &copy = m_view->m_copies.at(index.row());
        const QString &path = copy.path;
        switch (index.column()) {
        case TickColumn:
            if (role == Qt::CheckStateRole && !copy.freesNothing())
                return m_view->m_checked.contains(path) ? Qt::Checked : Qt::Unchecked;
            // The box has no text: it is read with the copy's name.
            if (role == Qt::AccessibleTextRole)
                return DisplayName::line(lastComponent(path));
            break;
        case PathColumn:
            if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
                QString shown = DisplayName::line(path);
                for (const QString &name : copy.hardLinks)
                    shown += QStringLiteral(" = ") + DisplayName::line(name);
                const QString note = copy.sharingNote();
                return note.isEmpty() ? shown : shown + QStringLiteral("  (") + note + ')';
            }
            break;
        case ActionColumn:
            if (role == Qt::DisplayRole && !copy.freesNothing())
                return QStringLiteral("Delete");
            // A copy that frees nothing offers no button; its cell says why.
            if (role == Qt::AccessibleTextRole)
                return copy.freesNothing()
                           ? DisplayName::line(lastComponent(path)) + QStringLiteral(", ") +
                                 copy.sharingNote()
                           : QStringLiteral("Delete ") + DisplayName::line(lastComponent(path));
            break;
        }
        return {};
    }
    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (index.column() != TickColumn || role != Qt::CheckStateRole ||
            index.row() >= m_view->m_copies.size())
            return false;
        m_view->setChecked(m_view->m_copies.at(index.row()).path,
                           value.toInt() == int(Qt::Checked));
        return true;
    }

private:
    DuplicatesView *m_view;
};

DuplicatesView::DuplicatesView(AppState *appState, AdvancedToolsViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model),
      m_sortOrder(DuplicateSorts::order(DuplicateSort::mostSpace))
{
    setObjectName(QStringLiteral("duplicatesView"));
    m_removal = new FinderRemoval(this, model, appState, TabNavigation::duplicates);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new TabHeader(TabNavigation::duplicates, this);
    m_sortButton = new QToolButton(m_header);
    m_sortButton->setObjectName(QStringLiteral("duplicatesSort"));
    m_sortButton->setText(QStringLiteral("Sort"));
    m_sortButton->setPopupMode(QToolButton::InstantPopup);
    m_sortMenu = new QMenu(m_sortButton);
    auto *sortGroup = new QActionGroup(m_sortMenu);
    for (DuplicateSort sort : DuplicateSorts::allCases()) {
        QAction *action = m_sortMenu->addAction(DuplicateSorts::title(sort));
        action->setCheckable(true);
        sortGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, sort] { chooseSort(sort); });
    }
    // Unchecking every action must stay possible after a column sort.
    sortGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    m_sortButton->setMenu(m_sortMenu);
    m_header->addAction(m_sortButton);
    m_selectButton = new QToolButton(m_header);
    m_selectButton->setObjectName(QStringLiteral("duplicatesSelect"));
    m_selectButton->setText(QStringLiteral("Select"));
    m_selectButton->setAccessibleName(QStringLiteral("Select all but one copy by a rule"));
    m_selectButton->setPopupMode(QToolButton::InstantPopup);
    auto *selectMenu = new QMenu(m_selectButton);
    for (KeepRule rule : KeepRules::allCases()) {
        QAction *action = selectMenu->addAction(KeepRules::title(rule));
        connect(action, &QAction::triggered, this, [this, rule] {
            if (rule != KeepRule::insideFolder) {
                selectByRule(rule);
                return;
            }
            Dialogs::chooseFolder(this, Locations::current().home, QStringLiteral("Keep Here"),
                                  [this](std::optional<QString> folder) {
                                      if (folder)
                                          selectByRule(KeepRule::insideFolder, nativePath(*folder));
                                  });
        });
    }
    m_selectButton->setMenu(selectMenu);
    m_header->addAction(m_selectButton);
    m_header->addRescan([this] { m_model->scanDuplicates(m_appState); });
    m_deleteSelected = new DeleteSelectedButton([this] { confirmBulkDelete(); }, m_header);
    m_header->addAction(m_deleteSelected);
    // The groups as shown: filtered, in their order.
    m_export = new ExportButton(
        ExportButton::csvAndJson([this]() -> std::function<QByteArray(bool)> {
            if (m_groups.isEmpty())
                return {};
            return [groups = m_groups](bool csv) {
                QList<FileItem> copies;
                for (const DuplicateGroup &g : groups)
                    copies += g.children;
                const QList<ListExport::Group> out = ListExport::groups(copies);
                return csv ? ListExport::groupsCsv(out) : ListExport::groupsJson(out);
            };
        }),
        [] { return QStringLiteral("Duplicates"); }, m_header);
    m_export->setAccessibleName(QStringLiteral("Export the duplicates"));
    m_header->addAction(m_export);
    new CloseGuard(
        this, [this] { return m_export->isRunning(); },
        QStringLiteral("The duplicates are still being exported."));
    layout->addWidget(m_header);

    m_body =
        new ScanStateStack(TabNavigation::duplicates, QStringLiteral("No duplicates found"),
                           QStringLiteral("No two files in your home folder are the same."), this);

    auto *content = new QSplitter(Qt::Vertical, m_body);
    content->setChildrenCollapsible(false);
    m_groupsTable = new QTableView(content);
    m_groupsTable->setObjectName(QStringLiteral("groupsTable"));
    m_groupsTable->setAccessibleName(QStringLiteral("Duplicate groups"));
    m_groupsModel = new GroupsModel(this);
    m_groupsTable->setModel(m_groupsModel);
    m_groupsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_groupsTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_groupsTable->setShowGrid(false);
    m_groupsTable->setAlternatingRowColors(true);
    m_groupsTable->verticalHeader()->hide();
    m_groupsTable->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() * 3 + 14);
    m_groupsTable->setItemDelegateForColumn(FileColumn, new StackedTextDelegate(m_groupsTable));
    QHeaderView *head = m_groupsTable->horizontalHeader();
    head->setSectionResizeMode(FileColumn, QHeaderView::Stretch);
    for (int c : {CopiesColumn, EachColumn, FreesColumn})
        head->resizeSection(c, 110);
    head->setSectionsClickable(true);
    connect(head, &QHeaderView::sectionClicked, this, [this](int section) {
        if (section == FileColumn)
            return;
        const DuplicateComparator::Key key =
            section == CopiesColumn ? DuplicateComparator::Key::copies
            : section == EachColumn ? DuplicateComparator::Key::sizeMB
                                    : DuplicateComparator::Key::wastedMB;
        const bool first = !m_sortOrder.isEmpty() && m_sortOrder.first().key == key;
        const bool ascending = first && m_sortOrder.first().descending;
        sortByColumn(GroupColumn(section), ascending);
    });
    connect(m_groupsTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.row() < m_groups.size())
                    selectGroup(m_groups.at(current.row()).md5Hash);
            });
    content->addWidget(m_groupsTable);
    (new RowActions(m_groupsTable))->setRemove([this](const QModelIndex &) {
        confirmBulkDelete();
    });

    auto *lower = new QSplitter(Qt::Horizontal, content);
    lower->setChildrenCollapsible(false);
    m_detailStack = new QStackedWidget(lower);
    m_detailPlaceholder =
        new QLabel(QStringLiteral("Select a duplicate group to review"), m_detailStack);
    m_detailPlaceholder->setAlignment(Qt::AlignCenter);
    m_detailPlaceholder->setForegroundRole(QPalette::PlaceholderText);
    m_detailStack->addWidget(m_detailPlaceholder);
    auto *detail = new QWidget(m_detailStack);
    auto *detailLayout = new QVBoxLayout(detail);
    detailLayout->setContentsMargins(0, 0, 0, 6);
    m_copiesTable = new QTableView(detail);
    m_copiesTable->setObjectName(QStringLiteral("copiesTable"));
    m_copiesTable->setAccessibleName(QStringLiteral("Copies of the chosen file"));
    m_copiesModel = new CopiesModel(this);
    m_copiesTable->setModel(m_copiesModel);
    m_copiesTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_copiesTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_copiesTable->setShowGrid(false);
    m_copiesTable->verticalHeader()->hide();
    m_copiesTable->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 16);
    auto *buttons = new RowButtonDelegate(m_copiesTable);
    m_copiesTable->setItemDelegateForColumn(ActionColumn, buttons);
    connect(buttons, &RowButtonDelegate::clicked, this, [this](const QModelIndex &index) {
        if (index.row() < m_copies.size() && !m_copies.at(index.row()).freesNothing())
            confirmDelete(m_copies.at(index.row()).path);
    });
    auto *keys = new RowActions(m_copiesTable);
    keys->setTickColumn(TickColumn);
    keys->addButtonColumn(ActionColumn,
                          [buttons](const QModelIndex &cell) { emit buttons->clicked(cell); });
    keys->setRemove([this](const QModelIndex &current) {
        if (!checkedPaths().isEmpty())
            confirmBulkDelete();
        else if (current.isValid() && current.row() < m_copies.size() &&
                 !m_copies.at(current.row()).freesNothing())
            confirmDelete(m_copies.at(current.row()).path);
    });
    KeepMenu::attach(m_copiesTable, appState->exclusionsVM(), [this](const QModelIndex &index) {
        if (index.row() >= m_copies.size())
            return QByteArray();
        const FileItem &copy = m_copies.at(index.row());
        return copy.nativePath.isEmpty() ? nativePath(copy.path) : copy.nativePath;
    });
    QHeaderView *copiesHead = m_copiesTable->horizontalHeader();
    copiesHead->resizeSection(TickColumn, 28);
    copiesHead->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    copiesHead->resizeSection(ActionColumn, 90);
    connect(m_copiesTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && current.row() < m_copies.size())
                    selectCopy(m_copies.at(current.row()).path);
            });
    detailLayout->addWidget(m_copiesTable, 1);
    m_summary = new QLabel(detail);
    m_summary->setObjectName(QStringLiteral("selectionSummary"));
    m_summary->setContentsMargins(8, 0, 8, 0);
    detailLayout->addWidget(m_summary);
    Style::followTheme(m_summary, [this] { styleSummary(); });
    m_selectedLabel = new QLabel(detail);
    m_selectedLabel->setObjectName(QStringLiteral("selectedCopy"));
    m_selectedLabel->setContentsMargins(8, 0, 8, 0);
    Style::apply(m_selectedLabel, Style::Text::Caption, true);
    detailLayout->addWidget(m_selectedLabel);
    m_detailStack->addWidget(detail);
    lower->addWidget(m_detailStack);

    m_previewStack = new QStackedWidget(lower);
    m_previewStack->setMinimumWidth(260);
    auto *previewPlaceholder =
        new QLabel(QStringLiteral("Select an item to preview"), m_previewStack);
    previewPlaceholder->setAlignment(Qt::AlignCenter);
    previewPlaceholder->setForegroundRole(QPalette::PlaceholderText);
    m_previewStack->addWidget(previewPlaceholder);
    auto *files = new FilePreviewPane(m_previewStack);
    m_quickLook = files->quickLook();
    m_metadata = files->metadata();
    m_previewStack->addWidget(files);
    lower->addWidget(m_previewStack);
    lower->setStretchFactor(0, 3);
    lower->setStretchFactor(1, 2);
    content->addWidget(lower);
    content->setStretchFactor(0, 1);
    content->setStretchFactor(1, 1);
    content->setSizes({330, 270});

    m_body->setContent(content);
    layout->addWidget(m_body, 1);

    connect(m_model, &AdvancedToolsViewModel::itemsChanged, this, &DuplicatesView::itemsChanged);
    connect(m_model, &AdvancedToolsViewModel::rowsDropped, this, &DuplicatesView::rowsDropped);
    connect(appState, &AppState::globalSearchTextChanged, this, &DuplicatesView::rebuildGroups);
    connect(appState, &AppState::isScanningChanged, this, &DuplicatesView::updateHeader);
    connect(m_removal, &FinderRemoval::runningChanged, this, [this] { updateCount(); });
    connect(m_removal, &FinderRemoval::finished, this, &DuplicatesView::removalFinished);
    itemsChanged();
}

EmptyStateView *DuplicatesView::emptyState() const
{
    return m_body->emptyState();
}

void DuplicatesView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_model->items().isEmpty() && !m_model->isScanRunning())
        m_model->scanDuplicates(m_appState);
    updateHeader();
}

void DuplicatesView::itemsChanged()
{
    // A tick on a path no longer listed must not be removed later.
    m_checked.removeIf([this](const QString &path) { return !m_model->lists(path); });
    if (m_selectedDuplicateId && !m_model->lists(*m_selectedDuplicateId))
        m_selectedDuplicateId.reset();
    rebuildGroups();
}

DuplicatesView::Groups DuplicatesView::build(const QList<FileItem> &items, const QString &search,
                                             const DuplicateSortOrder &order)
{
    Groups built;
    built.search = search;
    built.groups = regroupDuplicates(items, search);
    sortDuplicateGroups(built.groups, order);
    for (const DuplicateGroup &g : std::as_const(built.groups))
        built.totalMB += g.wastedMB();
    return built;
}

void DuplicatesView::rebuildGroups()
{
    const quint64 build = ++m_build;
    const QList<FileItem> items = m_model->items();
    if (items.size() <= kBuiltAtOnce) {
        m_building = false;
        showGroups(DuplicatesView::build(items, m_appState->globalSearchText(), m_sortOrder));
        return;
    }
    // The groups shown stay until the new ones come; rows that go meanwhile start it over.
    m_building = true;
    whenFinished(
        this,
        Background::start([items, search = m_appState->globalSearchText(), order = m_sortOrder] {
            return DuplicatesView::build(items, search, order);
        }),
        [this, build](const Groups &groups) {
            if (build != m_build)
                return;
            m_building = false;
            showGroups(groups);
        });
}

void DuplicatesView::showGroups(const Groups &built)
{
    Background::release(std::exchange(m_groups, built.groups));
    m_shownSearch = built.search;
    m_totalMB = built.totalMB;
    m_groupsModel->reset();
    bool stillShown = false;
    for (int i = 0; m_selectedHash && i < m_groups.size(); ++i) {
        if (m_groups.at(i).md5Hash == *m_selectedHash) {
            m_groupsTable->selectRow(i);
            stillShown = true;
            break;
        }
    }
    if (!stillShown)
        m_selectedHash.reset();
    updateSortMenu();
    updateDetail();
    updateHeader();
}

void DuplicatesView::rowsDropped(const DroppedRows &dropped)
{
    if (m_building) {
        rebuildGroups();
        return;
    }
    QHash<QString, QList<FileItem>> goneByGroup;
    for (const FileItem &item : dropped.rows) {
        m_checked.remove(item.path);
        if (m_selectedDuplicateId == item.path)
            m_selectedDuplicateId.reset();
        if (item.path.contains(m_shownSearch, Qt::CaseInsensitive))
            goneByGroup[item.md5Hash].append(item);
    }
    const int currentGroup = m_groupsTable->currentIndex().row();
    const std::optional<QString> selectedHash = m_selectedHash;
    int selectedGroupGoneAt = -1;
    for (auto it = goneByGroup.cbegin(); it != goneByGroup.cend(); ++it) {
        const auto found =
            std::find_if(m_groups.cbegin(), m_groups.cend(),
                         [&](const DuplicateGroup &g) { return g.md5Hash == it.key(); });
        if (found == m_groups.cend())
            continue;
        const int at = int(found - m_groups.cbegin());
        DuplicateGroup group = *found;
        m_totalMB -= group.wastedMB();
        group.children.removeIf([&](const FileItem &copy) {
            return std::any_of(it->cbegin(), it->cend(), [&](const FileItem &gone) {
                return gone.path == copy.path && gone.nativePath == copy.nativePath;
            });
        });
        if (group.children.isEmpty()) {
            if (at == currentGroup)
                selectedGroupGoneAt = at;
            m_groupsModel->removeGroup(at);
            continue;
        }
        m_totalMB += group.wastedMB();
        m_groupsModel->replaceGroup(at, group, m_sortOrder);
    }
    // The focus goes to the group that took the place of the one that went.
    if (selectedGroupGoneAt >= 0 && !m_groups.isEmpty())
        m_groupsTable->selectRow(std::min(selectedGroupGoneAt, int(m_groups.size()) - 1));
    else if (selectedHash && selectedHash == m_selectedHash && goneByGroup.contains(*selectedHash))
        updateCopies();
    updateHeader();
    updateCount();
}

void DuplicatesView::updateCopies()
{
    // The copies of the selected group lose the rows that went, the focus kept on the copy
    // that took the place of the one it was on.
    const std::optional<DuplicateGroup> group = selectedGroup();
    if (!group) {
        updateDetail();
        return;
    }
    const int current = m_copiesTable->currentIndex().row();
    int focus = -1;
    for (int i = int(m_copies.size()) - 1; i >= 0; --i) {
        const bool kept =
            std::any_of(group->children.cbegin(), group->children.cend(), [&](const FileItem &c) {
                return c.path == m_copies.at(i).path && c.nativePath == m_copies.at(i).nativePath;
            });
        if (kept)
            continue;
        if (i == current)
            focus = i;
        else if (i < current && focus >= 0)
            --focus;
        m_copiesModel->removeCopy(i);
    }
    if (focus >= 0 && !m_copies.isEmpty())
        m_copiesTable->selectRow(std::min(focus, int(m_copies.size()) - 1));
    showSummary(*group);
    m_selectedLabel->setVisible(bool(m_selectedDuplicateId));
    updatePreview();
}

std::optional<DuplicateGroup> DuplicatesView::selectedGroup() const
{
    if (!m_selectedHash)
        return std::nullopt;
    for (const DuplicateGroup &g : m_groups) {
        if (g.md5Hash == *m_selectedHash)
            return g;
    }
    return std::nullopt;
}

void DuplicatesView::updateDetail()
{
    const std::optional<DuplicateGroup> group = selectedGroup();
    m_copies = group ? group->children : QList<FileItem>();
    m_copiesModel->reset();
    if (!group) {
        m_detailStack->setCurrentWidget(m_detailPlaceholder);
    } else {
        m_detailStack->setCurrentIndex(1);
        showSummary(*group);
        for (int i = 0; i < m_copies.size(); ++i) {
            if (m_selectedDuplicateId && m_copies.at(i).path == *m_selectedDuplicateId)
                m_copiesTable->selectRow(i);
        }
    }
    m_selectedLabel->setVisible(bool(group) && bool(m_selectedDuplicateId));
    if (m_selectedDuplicateId)
        m_selectedLabel->setText(QStringLiteral("Selected: ") +
                                 DisplayName::line(*m_selectedDuplicateId));
    updatePreview();
    updateCount();
}

void DuplicatesView::showSummary(const DuplicateGroup &group)
{
    const SelectionSummary summary = selectionSummary(group, m_checked);
    m_summary->setText(summary.text);
    m_summaryWarns = summary.isWarning;
    styleSummary();
}

void DuplicatesView::styleSummary()
{
    QFont font = Style::font(Style::Text::Body);
    font.setBold(m_summaryWarns);
    m_summary->setFont(font);
    // The application's palette, the warning in a red that reads on its window.
    QPalette p = QApplication::palette();
    if (m_summaryWarns)
        p.setColor(QPalette::WindowText,
                   Contrast::reaching(Style::red(), {p.color(QPalette::Window)}, Contrast::text));
    if (m_summary->palette().color(QPalette::WindowText) != p.color(QPalette::WindowText) ||
        m_summary->palette().color(QPalette::Window) != p.color(QPalette::Window))
        m_summary->setPalette(p);
}

void DuplicatesView::updatePreview()
{
    if (!m_selectedDuplicateId) {
        m_previewStack->setCurrentIndex(0);
        return;
    }
    m_previewStack->setCurrentIndex(1);
    m_quickLook->setUrl(*m_selectedDuplicateId);
    QString hash;
    for (const FileItem &copy : std::as_const(m_copies)) {
        if (copy.path == *m_selectedDuplicateId)
            hash = copy.md5Hash;
    }
    m_metadata->setPath(*m_selectedDuplicateId, hash);
}

void DuplicatesView::updateHeader()
{
    const double total = m_totalMB;
    m_header->setDetail(m_groups.isEmpty()
                            ? QStringLiteral("none found yet")
                            : QStringLiteral("%1 · %2 can be freed")
                                  .arg(Plural::count(m_groups.size(), QStringLiteral("group"),
                                                     QStringLiteral("groups")),
                                       formatSizeMB(total)));
    m_body->showState(!m_model->items().isEmpty(), m_model->isScanRunning());
    m_header->setIncomplete(m_model->isIncomplete());
}

void DuplicatesView::updateSortMenu()
{
    const std::optional<DuplicateSort> selected = DuplicateSorts::selected(m_sortOrder);
    const QList<DuplicateSort> cases = DuplicateSorts::allCases();
    const QList<QAction *> actions = m_sortMenu->actions();
    for (int i = 0; i < actions.size() && i < cases.size(); ++i)
        actions[i]->setChecked(selected == cases.at(i));
}

void DuplicatesView::updateCount()
{
    // Every tick is on a listed copy: those the search shows are the ones counted.
    int shown = 0;
    for (const QString &path : std::as_const(m_checked))
        shown += path.contains(m_shownSearch, Qt::CaseInsensitive);
    m_deleteSelected->setCount(shown);
    if (m_removal->isRunning() || m_checking)
        m_deleteSelected->setEnabled(false);
}

QStringList DuplicatesView::checkedPaths() const
{
    QStringList paths;
    for (const DuplicateGroup &g : m_groups) {
        for (const FileItem &copy : g.children) {
            if (m_checked.contains(copy.path))
                paths.append(copy.path);
        }
    }
    return paths;
}

void DuplicatesView::selectByRule(KeepRule rule, const QByteArray &folder)
{
    m_checked = ticksByRule(m_groups, rule, folder);
    m_copiesModel->refreshTicks();
    if (const std::optional<DuplicateGroup> group = selectedGroup())
        showSummary(*group);
    updateCount();
}

void DuplicatesView::setChecked(const QString &path, bool checked)
{
    if (checked && m_model->lists(path))
        m_checked.insert(path);
    else
        m_checked.remove(path);
    m_copiesModel->refreshTicks();
    const std::optional<DuplicateGroup> group = selectedGroup();
    if (group)
        showSummary(*group);
    updateCount();
}

void DuplicatesView::selectGroup(const QString &hash)
{
    if (m_selectedHash == hash)
        return;
    m_selectedHash = hash;
    for (int i = 0; i < m_groups.size(); ++i) {
        if (m_groups.at(i).md5Hash == hash && m_groupsTable->currentIndex().row() != i)
            m_groupsTable->selectRow(i);
    }
    updateDetail();
}

void DuplicatesView::selectCopy(const QString &path)
{
    if (m_selectedDuplicateId == path)
        return;
    m_selectedDuplicateId = path;
    m_model->setSelectedItemPath(path);
    m_selectedLabel->setText(QStringLiteral("Selected: ") + DisplayName::line(path));
    m_selectedLabel->setVisible(true);
    for (int i = 0; i < m_copies.size(); ++i) {
        if (m_copies.at(i).path == path && m_copiesTable->currentIndex().row() != i)
            m_copiesTable->selectRow(i);
    }
    updatePreview();
}

void DuplicatesView::chooseSort(DuplicateSort sort)
{
    m_sortOrder = DuplicateSorts::order(sort);
    m_groupsTable->horizontalHeader()->setSortIndicatorShown(false);
    rebuildGroups();
}

void DuplicatesView::sortByColumn(GroupColumn column, bool ascending)
{
    if (column == FileColumn)
        return;
    const DuplicateComparator::Key key = column == CopiesColumn ? DuplicateComparator::Key::copies
                                         : column == EachColumn
                                             ? DuplicateComparator::Key::sizeMB
                                             : DuplicateComparator::Key::wastedMB;
    m_sortOrder.removeIf([key](const DuplicateComparator &c) { return c.key == key; });
    m_sortOrder.prepend({key, !ascending});
    QHeaderView *head = m_groupsTable->horizontalHeader();
    head->setSortIndicatorShown(true);
    head->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    rebuildGroups();
}

bool DuplicatesView::isRemoving() const
{
    return m_removal->isRunning();
}

void DuplicatesView::confirmDelete(const QString &path)
{
    askThenRemove({path}, true);
}

void DuplicatesView::confirmBulkDelete()
{
    askThenRemove(checkedPaths(), false);
}

void DuplicatesView::askThenRemove(const QStringList &paths, bool oneRow)
{
    if (paths.isEmpty() || m_removal->isRunning() || m_checking)
        return;
    m_checking = true;
    updateCount();
    const QList<FileItem> items = m_model->items();
    whenFinished(
        this, Background::start([items, paths] { return groupsLosingEveryCopy(items, paths); }),
        [this, paths, oneRow](const QStringList &losing) {
            m_checking = false;
            updateCount();
            Dialogs::Confirmation question =
                oneRow
                    ? Dialogs::Confirmation{QStringLiteral("Move to Trash?"),
                                            QStringLiteral("Are you sure you want to delete %1?")
                                                .arg(DisplayName::line(
                                                    lastComponent(paths.first()))),
                                            QStringLiteral("Yes, Delete"), QStringLiteral("Cancel")}
                    : Dialogs::Confirmation{
                          QStringLiteral("Move %1 to Trash?")
                              .arg(Plural::count(paths.size(), QStringLiteral("duplicate"),
                                                 QStringLiteral("duplicates"))),
                          QStringLiteral(
                              "Are you sure you want to delete the selected duplicates?"),
                          QStringLiteral("Yes, Delete"), QStringLiteral("Cancel")};
            if (!losing.isEmpty()) {
                question.text +=
                    QStringLiteral("\n\nNo copy will be kept of:\n") + shownLines(losing);
                question.confirmLabel = QStringLiteral("Delete All Copies");
            }
            Dialogs::confirm(this, question, [this, asked = paths, oneRow](bool confirmed) {
                if (!confirmed)
                    return;
                if (oneRow) {
                    m_removal->start(asked);
                    return;
                }
                // Only what is still ticked and listed once the answer comes.
                QStringList ticked = checkedPaths();
                ticked.removeIf([&](const QString &p) { return !asked.contains(p); });
                m_checked.clear();
                m_copiesModel->refreshTicks();
                m_removal->start(ticked);
                updateDetail();
            });
        });
}
