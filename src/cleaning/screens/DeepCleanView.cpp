#include "cleaning/screens/DeepCleanView.h"

#include "app/AppState.h"
#include "app/widgets/CheckBoxDelegate.h"
#include "app/widgets/CloseGuard.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/KeepMenu.h"
#include "app/widgets/RowActions.h"
#include "app/widgets/ScanStateStack.h"
#include "app/widgets/Style.h"
#include "app/widgets/SymbolView.h"
#include "app/widgets/TabHeader.h"
#include "app/widgets/TickTable.h"
#include "cleaning/DeepCleanViewModel.h"
#include "cleaning/screens/TwoLineDelegate.h"
#include "exec/ProcessRunner.h"
#include "platform/DisplayName.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int IdRole = TickTable::IdRole;

// A header whose first section is a checkbox that ticks or clears every row.
class CheckHeader : public QHeaderView {
public:
    CheckHeader(DeepCleanView *view, QWidget *parent)
        : QHeaderView(Qt::Horizontal, parent), m_view(view)
    {
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (logicalIndex != DeepCleanView::CheckColumn)
            return;
        CheckBoxDelegate::drawBox(painter, CheckBoxDelegate::boxIn(rect),
                                  m_view->headerChecked() ? Qt::Checked : Qt::Unchecked, palette());
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (logicalIndexAt(event->position().toPoint()) == DeepCleanView::CheckColumn) {
            m_view->toggleHeaderCheck();
            return;
        }
        QHeaderView::mousePressEvent(event);
    }

private:
    DeepCleanView *m_view;
};

} // namespace

DeepCleanView::DeepCleanView(AppState *appState, DeepCleanViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new TabHeader(TabNavigation::deepClean, this);
    m_header->addRescan([this] { m_model->scan(m_appState); });
    m_delete = new DeleteSelectedButton([this] { confirmClean(); }, this);
    m_header->addAction(m_delete);
    layout->addWidget(m_header);

    auto *warningRow = new QHBoxLayout;
    warningRow->setContentsMargins(20, 10, 20, 10);
    warningRow->setSpacing(8);
    warningRow->addWidget(
        new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 16, Style::orange(), this),
        0, Qt::AlignTop);
    m_warning = new QLabel(
        QStringLiteral("Warning: Deleting node_modules will break local environments for projects "
                       "that depend on them. You may need to run 'npm install' again."),
        this);
    m_warning->setObjectName(QStringLiteral("deepCleanWarning"));
    m_warning->setWordWrap(true);
    Style::apply(m_warning, Style::Text::Subheadline, true);
    warningRow->addWidget(m_warning, 1);
    layout->addLayout(warningRow);

    m_table = new TickTable(
        {QString(), QStringLiteral("Project / Path"), QStringLiteral("Size"),
         QStringLiteral("Last Modified")},
        new CheckHeader(this, nullptr), [this] { fillTable(); },
        [model](const QUuid &id, bool ticked) { model->setSelected(id, ticked); }, this);
    m_table->setObjectName(QStringLiteral("deepCleanTable"));
    m_table->setAccessibleName(QStringLiteral("node_modules folders"));
    m_table->setRootIsDecorated(false);
    // Every row is one line: measuring the first stands for all, where measuring each
    // shaped every row's texts again on each layout pass.
    m_table->setUniformRowHeights(true);
    m_table->setItemDelegate(new TwoLineDelegate(m_table));
    m_table->setItemDelegateForColumn(CheckColumn, new CheckBoxDelegate(m_table));
    m_table->headerItem()->setTextAlignment(PathColumn, Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView *head = m_table->header();
    head->resizeSection(CheckColumn, 36);
    head->setSectionResizeMode(PathColumn, QHeaderView::Stretch);
    m_table->fitToText(SizeColumn);
    m_table->fitToText(ModifiedColumn);
    auto *keys = new RowActions(m_table);
    keys->setTickColumn(CheckColumn);
    // Nothing ticked: the folder the keyboard is on.
    keys->setRemove([this](const QModelIndex &current) {
        if (m_model->selectedCount() == 0 && current.isValid())
            m_model->setSelected(current.siblingAtColumn(CheckColumn).data(IdRole).toUuid(), true);
        confirmClean();
    });
    m_body = new ScanStateStack(
        TabNavigation::deepClean, QStringLiteral("No node_modules folders"),
        QStringLiteral("None of your projects has a node_modules folder to clear."), this);
    m_body->setContent(m_table);
    layout->addWidget(m_body, 1);
    KeepMenu::attach(m_table, appState->exclusionsVM(), [model](const QModelIndex &index) {
        const QUuid id = index.siblingAtColumn(CheckColumn).data(IdRole).toUuid();
        for (const NodeModuleTarget &t : model->targets()) {
            if (t.id == id)
                return t.nativePath;
        }
        return QByteArray();
    });

    connect(head, &QHeaderView::sectionClicked, this, &DeepCleanView::sortBy);
    connect(model, &DeepCleanViewModel::targetsChanged, this, &DeepCleanView::rebuild);
    connect(model, &DeepCleanViewModel::busyChanged, this, &DeepCleanView::rebuild);
    connect(model, &DeepCleanViewModel::cleanFinished, this,
            [this](const DeepCleanViewModel::CleanReport &report) {
                QStringList lines;
                for (const DeepCleanViewModel::Failure &f : report.failures)
                    lines.append(f.path + QStringLiteral(": ") + f.reason);
                showFailures(report.moved, report.ticked, lines);
            });

    m_closeGuard = new CloseGuard(
        this, [model] { return model->isCleaning(); },
        QStringLiteral("Folders are still being moved to the Trash. Quit when the clean has "
                       "finished."));
    rebuild();
}

EmptyStateView *DeepCleanView::emptyState() const
{
    return m_body->emptyState();
}

bool DeepCleanView::headerChecked() const
{
    return m_model->allSelected();
}

void DeepCleanView::toggleHeaderCheck()
{
    if (m_model->isCleaning())
        return;
    m_model->setAllSelected(!headerChecked());
}

void DeepCleanView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_model->targets().isEmpty() && !m_model->isScanning() && !m_model->isCleaning())
        m_model->scan(m_appState);
}

void DeepCleanView::sortBy(int column)
{
    if (column == CheckColumn)
        return;
    if (column == m_sortColumn) {
        m_ascending = !m_ascending;
    } else {
        m_sortColumn = column;
        m_ascending = column == PathColumn;
    }
    rebuild();
}

void DeepCleanView::rebuild()
{
    m_table->rebuild();
    m_body->showState(!m_model->targets().isEmpty(), m_model->isScanning());
    m_header->setIncomplete(m_model->isIncomplete());
    m_delete->setCount(m_model->selectedCount());
    // One clean at a time; the button comes back with the re-scan's list.
    m_delete->setEnabled(m_model->selectedCount() > 0 && !m_model->isCleaning());
}

void DeepCleanView::fillTable()
{
    QList<NodeModuleTarget> rows = m_model->targets();
    auto less = [this](const NodeModuleTarget &a, const NodeModuleTarget &b) {
        switch (m_sortColumn) {
        case PathColumn:
            return a.path < b.path;
        case ModifiedColumn:
            return a.lastModified < b.lastModified;
        default:
            return a.sizeMB < b.sizeMB;
        }
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const NodeModuleTarget &a, const NodeModuleTarget &b) {
                         return m_ascending ? less(a, b) : less(b, a);
                     });
    for (const NodeModuleTarget &t : rows) {
        auto *item = new QTreeWidgetItem;
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(CheckColumn, IdRole, t.id);
        // The tick box has no text: it is read with the folder it ticks.
        item->setData(CheckColumn, Qt::AccessibleTextRole, DisplayName::line(t.path));
        item->setCheckState(CheckColumn, t.isSelected ? Qt::Checked : Qt::Unchecked);
        item->setText(PathColumn, DisplayName::line(t.path));
        item->setToolTip(PathColumn, DisplayName::line(t.path));
        item->setText(SizeColumn, formatSizeMB(t.sizeMB));
        item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(ModifiedColumn, t.lastModified);
        m_table->addTopLevelItem(item);
    }
    m_table->header()->setSortIndicator(m_sortColumn,
                                        m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_table->header()->viewport()->update();
}

void DeepCleanView::endConfirmation()
{
    m_confirming = false;
    m_model->holdSelection(false);
}

void DeepCleanView::confirmClean()
{
    if (m_model->selectedCount() == 0 || m_model->isCleaning() || m_confirming)
        return;
    // A scan ending while a question is open must not drop the ticks.
    m_confirming = true;
    m_model->holdSelection(true);
    Dialogs::confirm(
        this,
        {QStringLiteral("Move to Trash?"),
         QStringLiteral("Are you sure you want to delete the selected items?"),
         QStringLiteral("Yes"), QStringLiteral("Cancel")},
        [this](bool yes) {
            if (!yes) {
                endConfirmation();
                return;
            }
            Dialogs::confirm(
                this,
                {QStringLiteral("Final Confirmation"),
                 QStringLiteral("This will move all selected items to the Trash. Proceed?"),
                 QStringLiteral("Absolutely Delete"), QStringLiteral("Cancel")},
                [this](bool confirmed) {
                    if (confirmed)
                        m_model->cleanSelected(m_appState);
                    endConfirmation();
                });
        });
}

void DeepCleanView::showFailures(int moved, int ticked, const QStringList &lines)
{
    if (lines.isEmpty())
        return;
    const QString text = QStringLiteral("%1 of %2 folders could not be moved to the Trash.")
                             .arg(ticked - moved)
                             .arg(ticked);
    auto *box = new QMessageBox(QMessageBox::Warning, text, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("cleanReport"));
    box->setInformativeText(lines.mid(0, 8).join(QLatin1Char('\n')) +
                            (lines.size() > 8 ? QStringLiteral("\n…") : QString()));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}
