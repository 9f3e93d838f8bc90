#include "exec/screens/RecentlyRemovedSheet.h"

#include "app/TabNavigation.h"
#include "app/widgets/Dialogs.h"
#include "exec/RecentlyRemovedViewModel.h"
#include "platform/DisplayName.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"
#include "storage/StorageScanner.h"

#include <QAbstractItemModel>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QString shownPath(const QByteArray &path)
{
    return DisplayName::line(
        Locations::current().abbreviateHome(decodeNativePath(path.constData(), path.size())));
}

QString stateText(JournalItem::State state)
{
    switch (state) {
    case JournalItem::State::InTrash:
        return QStringLiteral("In the Trash");
    case JournalItem::State::PutBack:
        return QStringLiteral("Put back");
    case JournalItem::State::Emptied:
        return QStringLiteral("Emptied");
    }
    return {};
}

// The state all of a removal's items share, or how many are still in the Trash.
QString summaryState(const JournalEntry &entry)
{
    qsizetype inTrash = 0;
    for (const JournalItem &item : entry.items)
        inTrash += item.state == JournalItem::State::InTrash;
    for (const JournalItem &item : entry.items)
        if (item.state != entry.items.first().state)
            return QStringLiteral("%1 of %2 in the Trash").arg(inTrash).arg(entry.items.size());
    return entry.items.isEmpty() ? QString() : stateText(entry.items.first().state);
}

QString originText(const QString &origin)
{
    if (const auto tab = TabNavigation::fromRawValue(origin))
        return tab->title();
    if (origin == QLatin1String("leftovers"))
        return QStringLiteral("Leftovers");
    return origin.isEmpty() ? QStringLiteral("Quillmar") : origin;
}

} // namespace

// The journal as a two-level tree: removals, then their items. Nothing is built per row:
// the view asks for the rows it shows.
class RecentlyRemovedSheet::Rows : public QAbstractItemModel {
public:
    using QAbstractItemModel::QAbstractItemModel;

    // The view lays out every top-level row it is told of: it is told of a page at a
    // time, the next when it scrolls to the end.
    static constexpr int pageSize = 200;

    void reset(const QList<JournalEntry> &entries)
    {
        beginResetModel();
        m_entries = entries;
        m_shown = int(qMin<qsizetype>(entries.size(), pageSize));
        endResetModel();
    }
    bool canFetchMore(const QModelIndex &parent) const override
    {
        return !parent.isValid() && m_shown < m_entries.size();
    }
    void fetchMore(const QModelIndex &parent) override
    {
        if (parent.isValid())
            return;
        const int more = int(qMin<qsizetype>(m_entries.size() - m_shown, pageSize));
        beginInsertRows({}, m_shown, m_shown + more - 1);
        m_shown += more;
        endInsertRows();
    }
    const QList<JournalEntry> &entries() const { return m_entries; }

    // A removal's index carries no id; an item's carries its removal's row + 1.
    QModelIndex index(int row, int column, const QModelIndex &parent) const override
    {
        if (!hasIndex(row, column, parent))
            return {};
        return createIndex(row, column, parent.isValid() ? quintptr(parent.row() + 1) : 0);
    }
    QModelIndex parent(const QModelIndex &child) const override
    {
        if (!child.isValid() || child.internalId() == 0)
            return {};
        return createIndex(int(child.internalId() - 1), 0, quintptr(0));
    }
    int rowCount(const QModelIndex &parent) const override
    {
        if (!parent.isValid())
            return m_shown;
        if (parent.internalId() != 0 || parent.column() != 0)
            return 0;
        return int(m_entries.at(parent.row()).items.size());
    }
    int columnCount(const QModelIndex &) const override { return 4; }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char *titles[] = {"Removed", "Size", "From", "Now"};
        return QString::fromLatin1(titles[section]);
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
            return {};
        if (index.internalId() == 0) {
            const JournalEntry &e = m_entries.at(index.row());
            switch (index.column()) {
            case 0:
                return QLocale().toString(e.when, QLocale::ShortFormat) +
                       QStringLiteral(" · %1 %2")
                           .arg(e.items.size())
                           .arg(e.items.size() == 1 ? QStringLiteral("item")
                                                    : QStringLiteral("items"));
            case 1:
                return formatBytes(e.bytes());
            case 2:
                return originText(e.origin);
            case 3:
                return summaryState(e);
            default:
                return {};
            }
        }
        const JournalEntry &e = m_entries.at(int(index.internalId() - 1));
        const JournalItem &item = e.items.at(index.row());
        switch (index.column()) {
        case 0:
            return shownPath(item.path);
        case 1:
            return item.bytes < 0 ? QStringLiteral("—") : formatBytes(item.bytes);
        case 2:
            // Shown once on the removal's line; a screen reader on an item's line hears it.
            return role == Qt::AccessibleTextRole ? originText(e.origin) : QVariant();
        case 3:
            return stateText(item.state);
        default:
            return {};
        }
    }

private:
    QList<JournalEntry> m_entries;
    int m_shown = 0;
};

RecentlyRemovedSheet::RecentlyRemovedSheet(RecentlyRemovedViewModel *model, QWidget *parent)
    : QDialog(parent), m_model(model), m_rows(new Rows(this))
{
    setObjectName(QStringLiteral("recentlyRemoved"));
    setWindowTitle(QStringLiteral("Recently Removed"));
    setWindowModality(Qt::WindowModal);
    resize(720, 460);
    auto *layout = new QVBoxLayout(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("removals"));
    m_list->setAccessibleName(QStringLiteral("Removals, newest first"));
    m_list->setModel(m_rows);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_list->header()->setStretchLastSection(false);
    layout->addWidget(m_list, 1);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("recentlyRemovedStatus"));
    m_status->setWordWrap(true);
    layout->addWidget(m_status);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_putBack = new QPushButton(QStringLiteral("Put Back"), this);
    m_putBack->setObjectName(QStringLiteral("putBack"));
    m_putBack->setAccessibleName(QStringLiteral("Put back the selected item or removal"));
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeRecentlyRemoved"));
    buttons->addWidget(m_putBack);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_putBack, &QPushButton::clicked, this, &RecentlyRemovedSheet::putBackSelected);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecentlyRemovedSheet::refresh);
    connect(m_model, &RecentlyRemovedViewModel::entriesChanged, this, [this] {
        m_rows->reset(m_model->entries());
        refresh();
    });
    for (auto signal :
         {&RecentlyRemovedViewModel::loadingChanged, &RecentlyRemovedViewModel::puttingBackChanged,
          &RecentlyRemovedViewModel::journalErrorChanged,
          &RecentlyRemovedViewModel::damagedLinesChanged})
        connect(m_model, signal, this, &RecentlyRemovedSheet::refresh);
    // The journal could not be read or written: said out loud, not only in the status.
    connect(m_model, &RecentlyRemovedViewModel::journalErrorChanged, this, [this] {
        if (isVisible() && !m_model->journalError().isEmpty())
            Dialogs::alert(this, QStringLiteral("The record of removals has a problem"),
                           m_model->journalError());
    });
    m_rows->reset(m_model->entries());
    refresh();
}

void RecentlyRemovedSheet::open()
{
    m_model->load();
    QDialog::open();
}

void RecentlyRemovedSheet::refresh()
{
    QStringList status;
    if (m_model->isLoading())
        status << QStringLiteral("Reading the record of removals…");
    if (!m_model->journalError().isEmpty())
        status << m_model->journalError();
    if (m_model->damagedLines() > 0)
        status << QStringLiteral("%1 damaged lines of the record were skipped.")
                      .arg(m_model->damagedLines());
    m_status->setText(status.join(QLatin1Char(' ')));
    m_status->setVisible(!status.isEmpty());

    bool canPutBack = false;
    const QModelIndex current = m_list->selectionModel()->currentIndex();
    if (current.isValid() && !m_model->isPuttingBack()) {
        const QModelIndex row = current.siblingAtColumn(0);
        const bool isItem = row.internalId() != 0;
        const JournalEntry &e =
            m_rows->entries().at(isItem ? int(row.internalId() - 1) : row.row());
        for (qsizetype i = 0; i < e.items.size(); ++i) {
            if ((!isItem || i == row.row()) && e.items[i].state == JournalItem::State::InTrash)
                canPutBack = true;
        }
    }
    m_putBack->setEnabled(canPutBack);
}

void RecentlyRemovedSheet::putBackSelected()
{
    const QModelIndex row = m_list->selectionModel()->currentIndex().siblingAtColumn(0);
    if (!row.isValid())
        return;
    const bool isItem = row.internalId() != 0;
    const JournalEntry &e = m_rows->entries().at(isItem ? int(row.internalId() - 1) : row.row());
    m_model->putBack(e.key,
                     isItem ? QList<QByteArray>{e.items.at(row.row()).path} : QList<QByteArray>{});
}
