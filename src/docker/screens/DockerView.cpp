#include "docker/screens/DockerView.h"

#include "app/AppState.h"
#include "app/widgets/CloseGuard.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/Style.h"
#include "app/widgets/TabHeader.h"
#include "docker/screens/CategoryRow.h"
#include "platform/PlatformTexts.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

enum Column { NameColumn, StatusColumn, SizeColumn };
constexpr int DescriptionRole = Qt::UserRole + 1;

const QStringList &categoryTitles()
{
    static const QStringList titles{QStringLiteral("Images"), QStringLiteral("Containers"),
                                    QStringLiteral("Volumes")};
    return titles;
}

// Name over description, and the status as a badge; colours from the palette at paint
// time (the badge's own tint aside), so theme switches apply.
class ResourceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget *widget = opt.widget;
        QStyle *style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        const QRect r = opt.rect.adjusted(8, 4, -8, -4);
        const QPalette &pal = opt.palette;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (index.column() == StatusColumn) {
            const QColor tint =
                (text == QLatin1String("dangling") || text == QLatin1String("exited"))
                    ? QColor(255, 204, 0)
                    : Style::green();
            const QFont font = Style::font(Style::Text::Caption);
            const QFontMetrics fm(font);
            const QRect pill(r.left(), r.center().y() - fm.height() / 2 - 3,
                             fm.horizontalAdvance(text) + 16, fm.height() + 6);
            QColor fill = tint;
            fill.setAlphaF(0.22);
            QPainterPath path;
            path.addRoundedRect(pill, pill.height() / 2.0, pill.height() / 2.0);
            painter->fillPath(path, fill);
            painter->setFont(font);
            painter->setPen(pal.color(QPalette::Text));
            painter->drawText(pill, Qt::AlignCenter, text);
        } else if (index.column() == NameColumn) {
            const QString second = index.data(DescriptionRole).toString();
            const QFontMetrics fm(opt.font);
            const QFont small = Style::font(Style::Text::Caption);
            const QFontMetrics sm(small);
            const QRect top(r.left(), r.top(), r.width(), fm.height());
            painter->setFont(opt.font);
            painter->setPen(pal.color(QPalette::Text));
            painter->drawText(top, Qt::AlignLeft | Qt::AlignVCenter,
                              fm.elidedText(text, Qt::ElideMiddle, r.width()));
            painter->setFont(small);
            painter->setPen(pal.color(QPalette::PlaceholderText));
            painter->drawText(QRect(r.left(), top.bottom() + 2, r.width(), sm.height()),
                              Qt::AlignLeft | Qt::AlignVCenter,
                              sm.elidedText(second, Qt::ElideRight, r.width()));
        } else {
            painter->setFont(opt.font);
            painter->setPen(pal.color(QPalette::PlaceholderText));
            painter->drawText(r, Qt::AlignRight | Qt::AlignVCenter, text);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(QFontMetrics(option.font).height() +
                       QFontMetrics(Style::font(Style::Text::Caption)).height() + 12);
        return size;
    }
};

} // namespace

DockerView::DockerView(AppState *appState, DockerViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new TabHeader(TabNavigation::docker, this);
    m_header->addRescan([this] { m_model->scanDocker(m_appState); });
    layout->addWidget(m_header);

    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages, 1);

    m_notDetected = new EmptyStateView(
        QStringLiteral("shippingbox"), QStringLiteral("Docker Not Detected"),
        PlatformTexts::text(QStringLiteral(
            "Docker isn't installed or isn't running. Start Docker Desktop to use this tab.")),
        Style::orange(), m_pages);
    m_pages->addWidget(m_notDetected);

    m_content = new QWidget(m_pages);
    auto *row = new QHBoxLayout(m_content);
    row->setContentsMargins(16, 16, 16, 16);
    row->setSpacing(16);

    auto *side = new QVBoxLayout;
    side->setSpacing(4);
    auto *sideTitle = new QLabel(QStringLiteral("Categories"), m_content);
    Style::apply(sideTitle, Style::Text::Caption, true);
    QFont sideFont = sideTitle->font();
    sideFont.setWeight(QFont::DemiBold);
    sideTitle->setFont(sideFont);
    side->addWidget(sideTitle);
    for (const QString &title : categoryTitles()) {
        auto *r = new CategoryRow(
            title, [this, title] { setSelectedCategory(title); }, m_content);
        m_rows.append(r);
        side->addWidget(r);
    }
    side->addStretch(1);
    auto *sideBox = new QWidget(m_content);
    sideBox->setLayout(side);
    sideBox->setFixedWidth(200);
    row->addWidget(sideBox);

    auto *main = new QVBoxLayout;
    main->setSpacing(8);
    auto *bar = new QHBoxLayout;
    m_listTitle = new QLabel(m_content);
    Style::apply(m_listTitle, Style::Text::Title3);
    bar->addWidget(m_listTitle);
    bar->addStretch(1);
    m_prune = new QPushButton(m_content);
    m_prune->setObjectName(QStringLiteral("pruneButton"));
    connect(m_prune, &QPushButton::clicked, this, &DockerView::confirmPrune);
    bar->addWidget(m_prune);
    main->addLayout(bar);

    m_listPages = new QStackedWidget(m_content);
    m_list = new QTreeWidget(m_listPages);
    m_list->setObjectName(QStringLiteral("dockerList"));
    m_list->setAccessibleName(QStringLiteral("Docker resources"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Status"), QStringLiteral("Size")});
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setAlternatingRowColors(true);
    m_list->setItemDelegate(new ResourceDelegate(m_list));
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_list->header()->setSectionResizeMode(StatusColumn, QHeaderView::Fixed);
    m_list->header()->resizeSection(StatusColumn, 100);
    m_list->header()->setSectionResizeMode(SizeColumn, QHeaderView::Fixed);
    m_list->header()->resizeSection(SizeColumn, 100);
    m_listPages->addWidget(m_list);
    m_empty = new QLabel(QStringLiteral("No items found."), m_listPages);
    m_empty->setObjectName(QStringLiteral("dockerEmpty"));
    m_empty->setAlignment(Qt::AlignCenter);
    Style::apply(m_empty, Style::Text::Body, true);
    m_listPages->addWidget(m_empty);
    main->addWidget(m_listPages, 1);
    row->addLayout(main, 1);
    m_pages->addWidget(m_content);

    // Docker removes only by its own prune, which asks first.
    for (const QKeySequence &key :
         {QKeySequence(Qt::Key_Delete), QKeySequence(Qt::SHIFT | Qt::Key_Delete)}) {
        auto *prune = new QShortcut(key, m_content, this, &DockerView::confirmPrune);
        prune->setContext(Qt::WidgetWithChildrenShortcut);
    }
    connect(model, &DockerViewModel::changed, this, &DockerView::refresh);
    connect(model, &DockerViewModel::errorMessageChanged, this, &DockerView::tell);
    connect(model, &DockerViewModel::pruned, this, &DockerView::tellReclaimed);
    m_closeGuard = new CloseGuard(
        this, [model] { return model->isPruning(); },
        QStringLiteral("Docker is still pruning. Quit when the prune has finished."));
    refresh();
}

void DockerView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_untoldError.isEmpty())
        tell(std::exchange(m_untoldError, QString()));
    // The model starts nothing while a scan or a prune runs.
    m_model->scanDocker(m_appState);
}

void DockerView::tell(const QString &error)
{
    if (error.isEmpty())
        return;
    if (!isVisible()) {
        m_untoldError = error;
        return;
    }
    Dialogs::alert(this, QStringLiteral("Docker stopped responding."), error);
}

void DockerView::tellReclaimed(const QString &reclaimed)
{
    Dialogs::inform(this, QStringLiteral("The prune has finished."),
                    reclaimed.isEmpty()
                        ? QStringLiteral("Docker did not say how much space it reclaimed.")
                        : QStringLiteral("Docker reports %1 reclaimed.").arg(reclaimed));
}

void DockerView::setSelectedCategory(const QString &category)
{
    if (m_selectedCategory == category)
        return;
    m_selectedCategory = category;
    refresh();
}

QList<DockerResource> DockerView::itemsForCategory(const QString &category) const
{
    if (category == QLatin1String("Images"))
        return m_model->images();
    if (category == QLatin1String("Containers"))
        return m_model->containers();
    if (category == QLatin1String("Volumes"))
        return m_model->volumes();
    return {};
}

QString DockerView::confirmationTitle(const QString &category)
{
    return QStringLiteral("Prune Docker ") + category.toLower() + QLatin1Char('?');
}

QString DockerView::confirmationDetail(const QString &category, const QString &host)
{
    QString detail =
        category == QLatin1String("Images")
            ? QStringLiteral("Every image no container uses is removed, tagged images included, "
                             "not only the untagged ones.")
        : category == QLatin1String("Containers")
            ? QStringLiteral("Every stopped container is removed.")
            : QStringLiteral("Every volume no container uses is removed, with the data in it.");
    detail += QStringLiteral(" Docker removes them permanently; they do not go to the Trash.");
    if (!host.isEmpty())
        detail += QStringLiteral("\n\nThe Docker client talks to %1: the prune runs on that "
                                 "machine.")
                      .arg(host);
    return detail;
}

void DockerView::confirmPrune()
{
    if (m_model->isBusy() || m_confirmingPrune)
        return;
    m_confirmingPrune = true;
    const QString category = m_selectedCategory;
    Dialogs::confirm(this,
                     {confirmationTitle(category),
                      confirmationDetail(category, m_model->remoteHost()), QStringLiteral("Prune"),
                      QStringLiteral("Cancel")},
                     [this, category](bool confirmed) {
                         m_confirmingPrune = false;
                         if (confirmed)
                             m_model->prune(category.toLower(), m_appState);
                         refresh();
                     });
}

void DockerView::refresh()
{
    m_pages->setCurrentWidget(m_model->isDockerRunning() ? m_content
                                                         : static_cast<QWidget *>(m_notDetected));
    const QList<int> counts{int(m_model->images().size()), int(m_model->containers().size()),
                            int(m_model->volumes().size())};
    for (int i = 0; i < m_rows.size(); ++i) {
        m_rows[i]->setCount(counts.at(i));
        m_rows[i]->setSelected(m_rows[i]->title() == m_selectedCategory);
    }
    m_listTitle->setText(m_selectedCategory);
    m_prune->setText(QStringLiteral("Prune ") + m_selectedCategory);
    // Never twice at once, nor against lists that are being read.
    m_prune->setEnabled(!m_model->isBusy() && !m_confirmingPrune);

    const QList<DockerResource> items = itemsForCategory(m_selectedCategory);
    m_list->clear();
    for (const DockerResource &r : items) {
        auto *item = new QTreeWidgetItem;
        item->setText(NameColumn, r.name);
        item->setData(NameColumn, DescriptionRole, r.description);
        item->setToolTip(NameColumn, r.name + QLatin1Char('\n') + r.description);
        item->setData(NameColumn, Qt::AccessibleDescriptionRole, r.description);
        item->setText(StatusColumn, r.status);
        item->setText(SizeColumn, r.size);
        m_list->addTopLevelItem(item);
    }
    m_listPages->setCurrentWidget(items.isEmpty() ? static_cast<QWidget *>(m_empty) : m_list);
}
