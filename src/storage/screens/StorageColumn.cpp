#include "storage/screens/StorageColumn.h"

#include "storage/MapHistory.h"

#include "app/widgets/FileIcons.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "platform/DisplayName.h"
#include "storage/TreemapLayout.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QStackedLayout>
#include <QStyledItemDelegate>

namespace {

constexpr int kRowHeight = 34;

class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(StorageColumnModel *model, QObject *parent)
        : QStyledItemDelegate(parent), m_model(model)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(StorageColumn::width, kRowHeight);
    }

    void paint(QPainter *p, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const StorageEntry &entry = m_model->entries().at(index.row());
        const bool chosen = m_model->chosen() && *m_model->chosen() == entry;
        const QPalette &pal = option.palette;
        const QRect r = option.rect.adjusted(4, 1, -4, -1);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        if (chosen) {
            QPainterPath bg;
            bg.addRoundedRect(QRectF(r), 5, 5);
            p->fillPath(bg, pal.color(QPalette::Highlight));
        }
        const QColor primary = chosen ? QColor(Qt::white) : pal.color(QPalette::Text);
        const QColor secondary = chosen ? QColor(Qt::white) : pal.color(QPalette::PlaceholderText);

        int x = r.left() + 6;
        const int midY = r.top() + 12;
        FileIcons::icon(entry.path(), entry.isDirectory).paint(p, QRect(x, midY - 8, 16, 16));
        x += 16 + 6;

        int right = r.right() - 6;
        // An excluded folder does not open.
        if (entry.isDirectory && !entry.isExcluded) {
            const QIcon chevron = Symbols::icon(QStringLiteral("chevron.right"), secondary);
            chevron.paint(p, QRect(right - 10, midY - 5, 10, 10));
            right -= 10 + 4;
        }
        QFont sizeFont = Style::font(Style::Text::Caption);
        sizeFont.setStyleHint(QFont::Monospace);
        sizeFont.setFamilies({QStringLiteral("monospace")});
        const QString size = sizeText(entry);
        const int sizeWidth = QFontMetrics(sizeFont).horizontalAdvance(size);
        p->setFont(sizeFont);
        p->setPen(secondary);
        p->drawText(QRect(right - sizeWidth, r.top(), sizeWidth, 24),
                    Qt::AlignRight | Qt::AlignVCenter, size);
        right -= sizeWidth + 8;
        // What changed since the map measured it on an earlier day.
        const QString change = MapHistory::changeText(entry.changedBytes, entry.changedSince);
        if (!change.isEmpty()) {
            const QFont changeFont = Style::font(Style::Text::Caption);
            const int changeWidth =
                qMin(QFontMetrics(changeFont).horizontalAdvance(change), qMax(0, right - x) / 2);
            p->setFont(changeFont);
            p->drawText(QRect(right - changeWidth, r.top(), changeWidth, 24),
                        Qt::AlignRight | Qt::AlignVCenter,
                        QFontMetrics(changeFont).elidedText(change, Qt::ElideRight, changeWidth));
            right -= changeWidth + 8;
        }

        const QFont nameFont = Style::font(Style::Text::Body);
        p->setFont(nameFont);
        p->setPen(primary);
        const int nameWidth = qMax(0, right - x);
        p->drawText(QRect(x, r.top(), nameWidth, 24), Qt::AlignLeft | Qt::AlignVCenter,
                    QFontMetrics(nameFont).elidedText(DisplayName::line(entry.name()),
                                                      Qt::ElideMiddle, nameWidth));

        const double available = qMax(0, r.right() - 6 - x);
        const double barWidth =
            TreemapLayout::columnBarWidth(entry.bytes, m_model->total(), available);
        QColor bar = chosen ? QColor(255, 255, 255, 178) : pal.color(QPalette::Highlight);
        if (!chosen)
            bar.setAlphaF(0.5);
        p->setPen(Qt::NoPen);
        p->setBrush(bar);
        p->drawRoundedRect(QRectF(x, r.top() + 25, barWidth, TreemapLayout::columnBarHeight), 1.5,
                           1.5);
        p->restore();
    }

private:
    StorageColumnModel *m_model;
};

} // namespace

void StorageColumnModel::setEntries(const QList<StorageEntry> &entries)
{
    beginResetModel();
    m_entries = entries;
    m_total = TreemapLayout::columnTotal(entries);
    endResetModel();
}

void StorageColumnModel::setChosen(const std::optional<StorageEntry> &chosen)
{
    if (chosen == m_chosen)
        return;
    m_chosen = chosen;
    if (!m_entries.isEmpty())
        emit dataChanged(index(0), index(int(m_entries.size()) - 1));
}

int StorageColumnModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant StorageColumnModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const StorageEntry &entry = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return DisplayName::line(entry.name());
    case Qt::ToolTipRole:
        return DisplayName::line(entry.name()) + QStringLiteral(" · ") + sizeText(entry);
    case Qt::AccessibleTextRole: {
        const QString change = MapHistory::changeText(entry.changedBytes, entry.changedSince);
        return DisplayName::line(entry.name()) + QStringLiteral(", ") + sizeText(entry) +
               (entry.isDirectory ? QStringLiteral(", folder") : QString()) +
               (change.isEmpty() ? QString() : QStringLiteral(", ") + change);
    }
    default:
        return {};
    }
}

StorageColumn::StorageColumn(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("storageColumn"));
    setFixedWidth(width);
    m_model = new StorageColumnModel(this);
    auto *stack = new QStackedLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("columnList"));
    m_list->setModel(m_model);
    m_list->setItemDelegate(new RowDelegate(m_model, m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setMouseTracking(false);
    m_list->setFocusPolicy(Qt::StrongFocus);
    m_list->installEventFilter(this);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    stack->addWidget(m_list);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid() && index.row() < m_model->entries().size())
            emit choose(m_model->entries().at(index.row()));
    });

    m_empty = new QLabel(QString::fromLatin1(TreemapLayout::emptyColumnText), this);
    m_empty->setAlignment(Qt::AlignCenter);
    Style::apply(m_empty, Style::Text::Caption, true);
    stack->addWidget(m_empty);
}

void StorageColumn::setEntries(const QList<StorageEntry> &entries)
{
    m_list->setAccessibleName(entries.isEmpty() ? QStringLiteral("Empty folder")
                                                : QStringLiteral("Folder contents"));
    if (entries != m_model->entries())
        m_model->setEntries(entries);
    static_cast<QStackedLayout *>(layout())->setCurrentWidget(
        entries.isEmpty() ? static_cast<QWidget *>(m_empty) : m_list);
}

void StorageColumn::setChosen(const std::optional<StorageEntry> &chosen)
{
    m_model->setChosen(chosen);
    if (chosen) {
        const qsizetype row = m_model->entries().indexOf(*chosen);
        // The current row is what a screen reader announces as the keys move.
        if (row >= 0)
            m_list->setCurrentIndex(m_model->index(int(row)));
    }
    m_list->viewport()->update();
}

bool StorageColumn::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_list || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Delete &&
        !(key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier))) {
        emit removeChosen();
        return true;
    }
    if (key->modifiers() & ~Qt::KeypadModifier)
        return false;
    const QList<StorageEntry> &entries = m_model->entries();
    const qsizetype at = m_model->chosen() ? entries.indexOf(*m_model->chosen()) : -1;
    switch (key->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down: {
        if (entries.isEmpty())
            return true;
        qsizetype next = at < 0 ? 0 : at + (key->key() == Qt::Key_Up ? -1 : 1);
        next = qBound<qsizetype>(0, next, entries.size() - 1);
        if (next != at)
            emit choose(entries.at(next));
        return true;
    }
    case Qt::Key_Right:
        emit forward();
        return true;
    case Qt::Key_Left:
        emit back();
        return true;
    default:
        return false;
    }
}

bool StorageColumn::showsEmptyText() const
{
    return static_cast<QStackedLayout *>(layout())->currentWidget() == m_empty;
}

QRect StorageColumn::rowRect(int row) const
{
    return m_list->visualRect(m_model->index(row));
}
