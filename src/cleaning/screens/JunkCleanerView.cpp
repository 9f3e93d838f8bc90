#include "cleaning/screens/JunkCleanerView.h"

#include "app/AppState.h"
#include "app/widgets/CheckBoxDelegate.h"
#include "app/widgets/CloseGuard.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/KeepMenu.h"
#include "app/widgets/RowActions.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "app/widgets/TabHeader.h"
#include "app/widgets/TickTable.h"
#include "cleaning/JunkViewModel.h"
#include "cleaning/screens/TwoLineDelegate.h"
#include "exec/ExclusionsViewModel.h"
#include "exec/ProcessRunner.h"
#include "platform/DisplayName.h"
#include "storage/StorageScanner.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int IdRole = TickTable::IdRole;

enum Column { CheckColumn = TickTable::TickColumn, NameColumn, PathColumn, SizeColumn };

JunkSortColumn sortColumnOf(int column)
{
    switch (column) {
    case NameColumn:
        return JunkSortColumn::category;
    case PathColumn:
        return JunkSortColumn::path;
    default:
        return JunkSortColumn::size;
    }
}

int columnOf(JunkSortColumn key)
{
    switch (key) {
    case JunkSortColumn::category:
        return NameColumn;
    case JunkSortColumn::path:
        return PathColumn;
    case JunkSortColumn::size:
        break;
    }
    return SizeColumn;
}

QTreeWidgetItem *makeRow(const JunkTableItem &row)
{
    auto *item = new QTreeWidgetItem;
    item->setData(CheckColumn, IdRole, row.id);
    // The tick box has no text: it is read with the row's name.
    item->setData(CheckColumn, Qt::AccessibleTextRole, DisplayName::line(row.name));
    item->setText(NameColumn, DisplayName::line(row.name));
    item->setIcon(NameColumn, Symbols::icon(row.icon));
    item->setText(PathColumn, DisplayName::line(row.path));
    item->setToolTip(PathColumn, DisplayName::line(row.path));
    item->setText(SizeColumn, formatSizeMB(row.sizeMB));
    item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    if (row.isCategory) {
        item->setData(NameColumn, TwoLineDelegate::SecondLineRole, row.description);
        item->setToolTip(NameColumn, row.description);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(CheckColumn, Qt::Unchecked);
    } else {
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    return item;
}

} // namespace

JunkCleanerView::JunkCleanerView(AppState *appState, JunkViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new TabHeader(TabNavigation::junk, this);
    m_header->addRescan([this] { m_model->scan(m_appState); });
    m_delete = new DeleteSelectedButton([this] { confirmClean(); }, this);
    m_header->addAction(m_delete);
    layout->addWidget(m_header);

    m_table = new TickTable(
        {QString(), QStringLiteral("Category"), QStringLiteral("Path"), QStringLiteral("Size")},
        nullptr, [this] { fillTable(); },
        [model](const QUuid &id, bool ticked) { model->setSelected(id, ticked); }, this);
    m_table->setObjectName(QStringLiteral("junkTable"));
    m_table->setAccessibleName(QStringLiteral("Junk categories"));
    m_table->setItemDelegate(new TwoLineDelegate(m_table));
    m_table->setItemDelegateForColumn(CheckColumn, new CheckBoxDelegate(m_table));
    m_table->setIconSize(QSize(18, 18));
    QHeaderView *head = m_table->header();
    head->resizeSection(CheckColumn, 56);
    head->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    head->setSectionResizeMode(PathColumn, QHeaderView::Interactive);
    head->resizeSection(PathColumn, 300);
    m_table->fitToText(SizeColumn);
    auto *keys = new RowActions(m_table);
    keys->setTickColumn(CheckColumn);
    // Nothing ticked: the category the keyboard is on.
    keys->setRemove([this](const QModelIndex &current) {
        const QModelIndex category = current.parent().isValid() ? current.parent() : current;
        if (m_model->selectedCount() == 0 && category.isValid())
            m_model->setSelected(category.siblingAtColumn(CheckColumn).data(IdRole).toUuid(), true);
        confirmClean();
    });
    layout->addWidget(m_table, 1);
    KeepMenu::attach(m_table, appState->exclusionsVM(), [model](const QModelIndex &index) {
        const QUuid id = index.siblingAtColumn(CheckColumn).data(IdRole).toUuid();
        for (const JunkCategory &c : model->categories()) {
            if (c.id == id && !c.permanent)
                return nativePath(c.path);
            for (const JunkFileItem &f : c.topFiles) {
                if (f.id == id)
                    return f.nativePath;
            }
        }
        return QByteArray();
    });

    m_systemPanel = new QWidget(this);
    m_systemPanel->setObjectName(QStringLiteral("systemCaches"));
    m_systemPanel->setAccessibleName(QStringLiteral("System caches"));
    new QGridLayout(m_systemPanel);
    layout->addWidget(m_systemPanel);
    connect(model, &JunkViewModel::systemCachesChanged, this,
            &JunkCleanerView::rebuildSystemCaches);
    connect(appState->exclusionsVM(), &ExclusionsViewModel::blockedReasonChanged, this,
            &JunkCleanerView::rebuildSystemCaches);

    connect(head, &QHeaderView::sectionClicked, this, &JunkCleanerView::sortBy);
    connect(m_table, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem *item) {
        if (!m_table->isRebuilding())
            m_expanded.insert(item->data(CheckColumn, IdRole).toUuid());
    });
    connect(m_table, &QTreeWidget::itemCollapsed, this, [this](QTreeWidgetItem *item) {
        if (!m_table->isRebuilding())
            m_expanded.remove(item->data(CheckColumn, IdRole).toUuid());
    });
    connect(model, &JunkViewModel::categoriesChanged, this, &JunkCleanerView::rebuild);
    connect(model, &JunkViewModel::busyChanged, this, &JunkCleanerView::rebuild);
    connect(model, &JunkViewModel::cleanFinished, this,
            [this](const JunkViewModel::CleanReport &report) { showCleanReport(report); });

    m_closeGuard = new CloseGuard(
        this, [model] { return model->isCleaning(); },
        QStringLiteral("Items are still being moved to the Trash. Quit when the clean has "
                       "finished."));
    rebuild();
}

void JunkCleanerView::rebuildSystemCaches()
{
    auto *grid = static_cast<QGridLayout *>(m_systemPanel->layout());
    while (QLayoutItem *item = grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<SystemCache> caches = m_model->systemCaches();
    m_systemPanel->setVisible(!caches.isEmpty());
    if (caches.isEmpty())
        return;
    auto *title = new QLabel(QStringLiteral("System Caches"), m_systemPanel);
    title->setFont(Style::font(Style::Text::Headline));
    grid->addWidget(title, 0, 0, 1, 3);
    int row = 1;
    for (const SystemCache &cache : caches) {
        auto *name =
            new QLabel(QStringLiteral("<b>%1</b><br>%2")
                           .arg(cache.name.toHtmlEscaped(), cache.description.toHtmlEscaped()),
                       m_systemPanel);
        auto *size =
            new QLabel(cache.bytes >= 0 ? formatBytes(cache.bytes) : QString(), m_systemPanel);
        size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *clean = new QPushButton(QStringLiteral("Clean…"), m_systemPanel);
        clean->setAccessibleName(QStringLiteral("Clean ") + cache.name);
        clean->setObjectName(QStringLiteral("cleanSystemCache"));
        // No removal anywhere while a list of Settings cannot be read.
        clean->setEnabled(m_appState->exclusionsVM()->blockedReason().isEmpty());
        connect(clean, &QPushButton::clicked, this, [this, cache] { confirmSystemClean(cache); });
        grid->addWidget(name, row, 0);
        grid->addWidget(size, row, 1);
        grid->addWidget(clean, row, 2);
        ++row;
    }
    grid->setColumnStretch(0, 1);
}

void JunkCleanerView::confirmSystemClean(const SystemCache &cache)
{
    if (m_sheet)
        return;
    Dialogs::confirm(this,
                     {QStringLiteral("Clean %1 for good?").arg(cache.name), cache.confirmation,
                      QStringLiteral("Clean"), QStringLiteral("Cancel")},
                     [this, cache](bool confirmed) {
                         if (confirmed)
                             TerminalSheetView::openOnce(
                                 m_sheet, cache.name, cache.command,
                                 [this] { m_model->scan(m_appState); }, window());
                     });
}

void JunkCleanerView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_model->categories().isEmpty() && !m_model->isScanning() && !m_model->isCleaning())
        m_model->scan(m_appState);
}

void JunkCleanerView::sortBy(int column)
{
    if (column == CheckColumn)
        return;
    const JunkSortColumn key = sortColumnOf(column);
    if (key == m_order.column)
        m_order.ascending = !m_order.ascending;
    else
        m_order = {key, key != JunkSortColumn::size};
    rebuild();
}

void JunkCleanerView::rebuild()
{
    m_table->rebuild();
    m_header->setIncomplete(m_model->isIncomplete());
    m_delete->setCount(m_model->selectedCount());
    // One clean at a time; the button comes back with the re-scan's list.
    m_delete->setEnabled(m_model->selectedCount() > 0 && !m_model->isCleaning());
}

void JunkCleanerView::fillTable()
{
    const QList<JunkTableItem> rows = JunkTableItem::tableItems(m_model->categories(), m_order);
    const QList<JunkCategory> categories = m_model->categories();
    for (const JunkTableItem &row : rows) {
        QTreeWidgetItem *item = makeRow(row);
        for (const JunkCategory &c : categories) {
            if (c.id == row.id)
                item->setCheckState(CheckColumn, c.isSelected ? Qt::Checked : Qt::Unchecked);
        }
        if (row.children) {
            for (const JunkTableItem &file : *row.children)
                item->addChild(makeRow(file));
        }
        m_table->addTopLevelItem(item);
        item->setExpanded(m_expanded.contains(row.id));
    }
    m_table->header()->setSortIndicator(
        columnOf(m_order.column), m_order.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QString JunkCleanerView::confirmationText(const QList<JunkCategory> &categories)
{
    int others = 0;
    const JunkCategory *trash = nullptr;
    for (const JunkCategory &c : categories) {
        if (!c.isSelected)
            continue;
        if (c.permanent)
            trash = &c;
        else
            ++others;
    }
    const QString moved = QStringLiteral(
        "Are you sure you want to delete the selected items? They will be moved to Trash.");
    if (!trash)
        return moved;
    QString text =
        QStringLiteral("Emptying the Trash permanently deletes %1 (%2). This cannot "
                       "be undone.")
            .arg(trash->itemCount == 1 ? QStringLiteral("1 item")
                                       : QStringLiteral("%1 items").arg(trash->itemCount),
                 formatSizeMB(trash->sizeMB));
    if (others > 0)
        text += QStringLiteral(" The other selected items will be moved to the Trash afterwards.");
    return text;
}

void JunkCleanerView::confirmClean()
{
    if (m_model->selectedCount() == 0 || m_model->isCleaning() || m_confirming)
        return;
    // A scan ending while the question is open must not drop the ticks.
    m_confirming = true;
    m_model->holdSelection(true);
    Dialogs::confirm(this,
                     {QStringLiteral("Final Confirmation"), confirmationText(m_model->categories()),
                      QStringLiteral("Delete"), QStringLiteral("Cancel")},
                     [this](bool confirmed) {
                         m_confirming = false;
                         if (confirmed)
                             m_model->cleanSelected(m_appState);
                         m_model->holdSelection(false);
                     });
}

void JunkCleanerView::showCleanReport(const JunkViewModel::CleanReport &report)
{
    const int notMoved = report.notMoved;
    if (notMoved <= 0 && report.refusals.isEmpty())
        return;
    const QString text =
        notMoved == 1  ? QStringLiteral("1 item could not be moved to the Trash.")
        : notMoved > 1 ? QStringLiteral("%1 items could not be moved to the Trash.").arg(notMoved)
                       : QStringLiteral("Some items could not be moved to the Trash.");
    QStringList reasons = report.refusals;
    if (notMoved > 0)
        reasons << QStringLiteral("Protected items and items the system refused to move were "
                                  "left where they are.");
    auto *box = new QMessageBox(QMessageBox::Warning, text, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("cleanReport"));
    box->setInformativeText(reasons.join(QLatin1Char('\n')));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}
