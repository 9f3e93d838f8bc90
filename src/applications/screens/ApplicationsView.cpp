#include "applications/screens/ApplicationsView.h"

#include "app/AppState.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/FileIcons.h"
#include "app/widgets/OneATurn.h"
#include "app/widgets/RowActions.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "app/widgets/TabHeader.h"
#include "applications/ApplicationsViewModel.h"
#include "exec/ProcessRunner.h"
#include "exec/screens/TerminalSheetView.h"
#include "platform/DisplayName.h"
#include "platform/Locations.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kSortRole = Qt::UserRole + 2;
constexpr int kKeptRole = Qt::UserRole + 3;

} // namespace

class ApplicationsTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setApps(const QList<AppResource> &apps)
    {
        beginResetModel();
        m_apps = apps;
        endResetModel();
    }
    void setIconSize(const QSize &size) { m_iconSize = size; }
    // A theme's icons, or their tint, follow the palette: they are drawn again, the old
    // ones shown meanwhile.
    void redrawIcons()
    {
        for (auto it = m_drawn.cbegin(); it != m_drawn.cend(); ++it)
            orderIcon(it.key());
    }
    const QList<AppResource> &apps() const { return m_apps; }
    // Repaints the action buttons when an uninstall starts or ends.
    void refreshActions()
    {
        if (!m_apps.isEmpty())
            emit dataChanged(index(0, ApplicationsView::ActionsColumn),
                             index(int(m_apps.size()) - 1, ApplicationsView::ActionsColumn));
    }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : int(m_apps.size());
    }
    int columnCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : 6; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return {};
        static const char *const titles[] = {"Icon",        "Name", "Source",
                                             "Last Opened", "Size", "Actions"};
        return QString::fromLatin1(titles[section]);
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        const AppResource &app = m_apps.at(index.row());
        if (role == kPathRole)
            return app.path;
        switch (index.column()) {
        case ApplicationsView::IconColumn:
            if (role == Qt::AccessibleTextRole)
                return DisplayName::line(app.name);
            if (role == Qt::DecorationRole)
                return drawnIcon(app);
            break;
        case ApplicationsView::NameColumn:
            if (role == Qt::DisplayRole)
                return DisplayName::line(app.name);
            if (role == kSortRole)
                return app.name;
            if (role == Qt::ToolTipRole)
                return Locations::current().abbreviateHome(app.path);
            if (role == Qt::AccessibleDescriptionRole)
                return app.source + QStringLiteral(", ") + formatSizeMB(app.sizeMB);
            break;
        case ApplicationsView::SourceColumn:
            if (role == Qt::DisplayRole || role == kSortRole)
                return app.source;
            if (role == Qt::ToolTipRole)
                return app.package.isEmpty() ? app.source
                                             : app.source + QStringLiteral(": ") + app.package;
            break;
        case ApplicationsView::LastOpenedColumn:
            if (role == Qt::DisplayRole || role == kSortRole)
                return app.lastUsed;
            break;
        case ApplicationsView::SizeColumn:
            if (role == Qt::DisplayRole)
                return formatSizeMB(app.sizeMB);
            if (role == kSortRole)
                return app.sizeMB;
            if (role == Qt::TextAlignmentRole)
                return int(Qt::AlignRight | Qt::AlignVCenter);
            break;
        case ApplicationsView::ActionsColumn:
            if (role == kKeptRole)
                return app.keptReason;
            if (role == Qt::ToolTipRole)
                return app.keptReason;
            // What a screen reader says of the button the row draws here.
            if (role == Qt::AccessibleTextRole)
                return app.keptReason.isEmpty()
                           ? QStringLiteral("Uninstall ") + DisplayName::line(app.name)
                           : DisplayName::line(app.name) + QStringLiteral(" is required");
            if (role == Qt::AccessibleDescriptionRole)
                return app.keptReason.isEmpty() ? QStringLiteral("Press Enter; it asks first.")
                                                : app.keptReason;
            break;
        default:
            break;
        }
        return {};
    }

private:
    // The entry's icon: a file, or a name the icon theme resolves.
    static QIcon iconOf(const AppResource &app)
    {
        if (app.icon.startsWith(QLatin1Char('/')) && QFileInfo(app.icon).isFile())
            return QIcon(app.icon);
        if (!app.icon.isEmpty() && QIcon::hasThemeIcon(app.icon))
            return QIcon::fromTheme(app.icon);
        if (app.kind == AppResource::Kind::AppImage)
            return FileIcons::icon(app.path, false);
        // A Flatpak app's exported icon, when the icon theme reaches it.
        if (app.kind == AppResource::Kind::Flatpak && QIcon::hasThemeIcon(app.flatpakID))
            return QIcon::fromTheme(app.flatpakID);
        return Symbols::icon(QStringLiteral("app.badge"));
    }
    static QString iconKey(const AppResource &app)
    {
        return app.path + QLatin1Char('\n') + app.icon;
    }

    // Each icon is drawn once: a new icon on every paint read its file again, and
    // rendered a drawing again. One not drawn yet is drawn in a later turn of the event
    // loop, one a turn, and its row told; until then the row shows none.
    QVariant drawnIcon(const AppResource &app) const
    {
        const QString key = iconKey(app);
        const auto it = m_drawn.constFind(key);
        if (it != m_drawn.constEnd())
            return *it;
        orderIcon(key);
        return {};
    }
    void orderIcon(const QString &key) const
    {
        m_iconMaker->add(key, [this, key] {
            for (int row = 0; row < m_apps.size(); ++row) {
                if (iconKey(m_apps.at(row)) != key)
                    continue;
                m_drawn.insert(key,
                               iconOf(m_apps.at(row)).pixmap(m_iconSize, qApp->devicePixelRatio()));
                const QModelIndex cell = index(row, ApplicationsView::IconColumn);
                emit const_cast<ApplicationsTableModel *>(this)->dataChanged(cell, cell,
                                                                             {Qt::DecorationRole});
                return;
            }
        });
    }

    QList<AppResource> m_apps;
    QSize m_iconSize{24, 24};
    mutable QHash<QString, QPixmap> m_drawn; // by app and icon
    OneATurn *m_iconMaker = new OneATurn(this);
};

namespace {

QColor mixed(const QColor &a, const QColor &b, double t)
{
    return QColor::fromRgbF(a.redF() * (1 - t) + b.redF() * t,
                            a.greenF() * (1 - t) + b.greenF() * t,
                            a.blueF() * (1 - t) + b.blueF() * t);
}

// The origin as a badge: a symbol on a tinted badge for store-like sources, the text on
// a gray one otherwise. Colours come from the palette at paint time.
class SourceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.text.clear();
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &base, painter, base.widget);

        const QString source = index.data(kSortRole).toString();
        const QPalette &pal = option.palette;
        const bool store = source == QLatin1String("App Store");
        const bool managed = source == QLatin1String("Flatpak") ||
                             source == QLatin1String("Snap") ||
                             source.endsWith(QLatin1String(" package"));
        const QString symbol = store     ? QStringLiteral("applelogo")
                               : managed ? QStringLiteral("shippingbox")
                                         : QString();
        QFont font = Style::font(Style::Text::Caption);
        const QFontMetrics fm(font);
        const int height = fm.height() + 4;
        // App Store: the logo alone; Flatpak: the package symbol before the word.
        const bool withText = !store;
        const int symbolWidth = symbol.isEmpty() ? 0 : height - 4;
        const int width = (withText ? fm.horizontalAdvance(source) + 12 : 10) + symbolWidth +
                          (withText && symbolWidth ? 4 : 0);
        const QRect badge(option.rect.left() + 4, option.rect.center().y() - height / 2, width,
                          height);
        const QColor accent =
            symbol.isEmpty() ? pal.color(QPalette::WindowText) : pal.color(QPalette::Highlight);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(mixed(pal.color(QPalette::Base), accent, 0.16));
        painter->drawRoundedRect(badge, 4, 4);
        QRect textRect = badge;
        if (!symbol.isEmpty()) {
            const QRect iconRect(withText ? badge.left() + 6 : badge.left() + 5, badge.top() + 2,
                                 symbolWidth, symbolWidth);
            Symbols::icon(symbol, accent).paint(painter, iconRect);
            textRect.setLeft(iconRect.right() + 1);
        }
        if (withText) {
            painter->setFont(font);
            painter->setPen(symbol.isEmpty() ? pal.color(QPalette::WindowText) : accent);
            painter->drawText(textRect, Qt::AlignCenter, source);
        }
        painter->restore();
    }
};

// A prominent "Uninstall" button drawn in the cell; a click on it reports the row's path.
class UninstallDelegate : public QStyledItemDelegate {
public:
    UninstallDelegate(ApplicationsViewModel *model, std::function<void(const QString &)> pressed,
                      QObject *parent)
        : QStyledItemDelegate(parent), m_model(model), m_pressed(std::move(pressed))
    {
    }

    static QRect buttonRect(const QRect &cell)
    {
        const QFontMetrics fm(Style::font(Style::Text::Body));
        const int w = fm.horizontalAdvance(QStringLiteral("Uninstall")) + 24;
        const int h = fm.height() + 8;
        return QRect(cell.left() + 6, cell.center().y() - h / 2, w, h);
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        QApplication::style()->drawControl(QStyle::CE_ItemViewItem, &base, painter, base.widget);
        const bool busy = m_model->isUninstalling(index.data(kPathRole).toString());
        const QPalette &pal = option.palette;
        // A package the system needs is not offered: the reason stands in for the button.
        if (!index.data(kKeptRole).toString().isEmpty()) {
            painter->save();
            painter->setPen(pal.color(QPalette::PlaceholderText));
            painter->setFont(Style::font(Style::Text::Caption));
            painter->drawText(option.rect.adjusted(6, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft,
                              QStringLiteral("Required"));
            painter->restore();
            return;
        }
        const QRect r = buttonRect(option.rect);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        QColor fill = pal.color(QPalette::Highlight);
        QColor text = pal.color(QPalette::HighlightedText);
        if (busy) {
            fill = mixed(pal.color(QPalette::Base), fill, 0.35);
            text = pal.color(QPalette::PlaceholderText);
        }
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(r, 6, 6);
        // The keyboard is on this button: a ring in the text colour around it.
        if ((option.state & QStyle::State_HasFocus) && option.widget && option.widget->hasFocus()) {
            painter->setPen(QPen(pal.color(QPalette::Text), 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(r).adjusted(-2.5, -2.5, 2.5, 2.5), 8, 8);
        }
        painter->setPen(text);
        painter->setFont(Style::font(Style::Text::Body));
        painter->drawText(r, Qt::AlignCenter,
                          busy ? QStringLiteral("Uninstalling…") : QStringLiteral("Uninstall"));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        return s.expandedTo(buttonRect(QRect(0, 0, 200, 36)).size() + QSize(16, 10));
    }

    bool editorEvent(QEvent *event, QAbstractItemModel *, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override
    {
        if (event->type() != QEvent::MouseButtonRelease)
            return false;
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton ||
            !buttonRect(option.rect).contains(mouse->position().toPoint()))
            return false;
        const QString path = index.data(kPathRole).toString();
        if (!index.data(kKeptRole).toString().isEmpty())
            return true;
        if (!m_model->isUninstalling(path))
            m_pressed(path);
        return true;
    }

private:
    ApplicationsViewModel *m_model;
    std::function<void(const QString &)> m_pressed;
};

} // namespace

ApplicationsView::ApplicationsView(AppState *appState, ApplicationsViewModel *model,
                                   QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model), m_sortColumn(SizeColumn),
      m_sortOrder(Qt::DescendingOrder)
{
    setObjectName(QStringLiteral("applicationsView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_header = new TabHeader(TabNavigation::applications, this);
    m_header->addRescan([this] { m_model->scan(m_appState); });
    layout->addWidget(m_header);

    m_pages = new QStackedWidget(this);
    m_rows = new ApplicationsTableModel(this);
    m_proxy = new QSortFilterProxyModel(this);
    m_proxy->setSourceModel(m_rows);
    m_proxy->setSortRole(kSortRole);
    m_proxy->setSortLocaleAware(true);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(NameColumn);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    m_table = new QTableView(m_pages);
    m_table->setObjectName(QStringLiteral("applicationsTable"));
    m_table->setAccessibleName(QStringLiteral("Applications"));
    m_table->setModel(m_proxy);
    m_table->setFrameShape(QFrame::NoFrame);
    m_table->setShowGrid(false);
    m_table->setAlternatingRowColors(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setIconSize(QSize(24, 24));
    m_rows->setIconSize(m_table->iconSize());
    m_table->setWordWrap(false);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(40);
    QHeaderView *columns = m_table->horizontalHeader();
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    columns->resizeSection(IconColumn, 48);
    columns->resizeSection(SourceColumn, 160);
    columns->resizeSection(LastOpenedColumn, 120);
    columns->resizeSection(SizeColumn, 100);
    columns->resizeSection(ActionsColumn, 130);
    m_table->setItemDelegateForColumn(SourceColumn, new SourceDelegate(m_table));
    m_table->setItemDelegateForColumn(
        ActionsColumn,
        new UninstallDelegate(
            m_model, [this](const QString &path) { confirmUninstall(path); }, m_table));
    auto *keys = new RowActions(m_table);
    keys->addButtonColumn(ActionsColumn, [this](const QModelIndex &cell) {
        confirmUninstall(cell.data(kPathRole).toString());
    });
    keys->setRemove([this](const QModelIndex &current) {
        if (current.isValid())
            confirmUninstall(current.data(kPathRole).toString());
    });
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(m_sortColumn, m_sortOrder);
    // The icon and the button are not orders; a click on them keeps the current one.
    connect(columns, &QHeaderView::sortIndicatorChanged, this,
            [this, columns](int column, Qt::SortOrder order) {
                if (column == IconColumn || column == ActionsColumn) {
                    QSignalBlocker block(columns);
                    columns->setSortIndicator(m_sortColumn, m_sortOrder);
                    m_proxy->sort(m_sortColumn, m_sortOrder);
                    return;
                }
                m_sortColumn = column;
                m_sortOrder = order;
            });
    m_pages->addWidget(m_table);

    m_empty = new EmptyStateView(
        QStringLiteral("app.badge"), QStringLiteral("No Applications Found"),
        QStringLiteral("Nothing to list in the folders this tab looks at. Choose them in "
                       "Settings → Applications."),
        QColor(), m_pages);
    m_pages->addWidget(m_empty);
    layout->addWidget(m_pages, 1);

    connect(m_model, &ApplicationsViewModel::applicationsChanged, this, &ApplicationsView::refresh);
    connect(m_model, &ApplicationsViewModel::busyChanged, this, [this] {
        m_rows->refreshActions();
        refresh();
    });
    connect(m_model, &ApplicationsViewModel::uninstallFailed, this, &ApplicationsView::showFailure);
    connect(m_model, &ApplicationsViewModel::removalPlanned, this,
            &ApplicationsView::confirmRemoval);
    connect(m_appState, &AppState::globalSearchTextChanged, this,
            [this](const QString &text) { m_proxy->setFilterFixedString(text); });
    m_proxy->setFilterFixedString(m_appState->globalSearchText());
    refresh();
}

void ApplicationsView::refresh()
{
    const QList<AppResource> apps = m_model->applications();
    if (apps.size() != m_rows->apps().size() ||
        !std::equal(apps.cbegin(), apps.cend(), m_rows->apps().cbegin(),
                    [](const AppResource &a, const AppResource &b) { return a.id == b.id; }))
        m_rows->setApps(apps);
    m_header->setDetail(QString::number(apps.size()) + QStringLiteral(" installed"));
    const bool empty = apps.isEmpty() && !m_model->isScanning();
    m_pages->setCurrentWidget(empty ? static_cast<QWidget *>(m_empty) : m_table);
}

QStringList ApplicationsView::shownNames() const
{
    QStringList names;
    for (int row = 0; row < m_proxy->rowCount(); ++row)
        names.append(m_proxy->index(row, NameColumn).data().toString());
    return names;
}

void ApplicationsView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::StyleChange)
        m_rows->redrawIcons();
}

void ApplicationsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_model->applications().isEmpty() && !m_model->isScanning())
        m_model->scan(m_appState);
}

QString ApplicationsView::removalText(const AppResource &app, const QStringList &alsoRemoved)
{
    const bool snap = app.kind == AppResource::Kind::Snap;
    QString text =
        QStringLiteral("This will remove the %1 %2 (%3).")
            .arg(snap ? QStringLiteral("snap") : QStringLiteral("package"), app.package, app.name);
    if (!alsoRemoved.isEmpty())
        text += QStringLiteral(" It also removes: ") + alsoRemoved.join(QStringLiteral(", ")) +
                QLatin1Char('.');
    text += QStringLiteral(" The package manager removes it permanently; it does not go to the "
                           "Trash.");
    return text;
}

void ApplicationsView::confirmRemoval(const QString &path, const QString &command,
                                      const QStringList &alsoRemoved, const QString &error)
{
    const QList<AppResource> apps = m_model->applications();
    const auto it = std::find_if(apps.cbegin(), apps.cend(),
                                 [&](const AppResource &a) { return a.path == path; });
    if (it == apps.cend())
        return;
    const AppResource app = *it;
    if (command.isEmpty()) {
        showFailure(app.name, error);
        return;
    }
    Dialogs::confirm(this,
                     {QStringLiteral("Remove %1 permanently?").arg(app.package),
                      removalText(app, alsoRemoved), QStringLiteral("Remove ") + app.package,
                      QStringLiteral("Cancel")},
                     [this, app, command](bool confirmed) {
                         if (confirmed)
                             TerminalSheetView::openOnce(
                                 m_sheet, QStringLiteral("Removing ") + app.package, command,
                                 [this] { m_model->scan(m_appState); }, window());
                     });
}

QString ApplicationsView::confirmationText(const AppResource &app)
{
    if (app.kind == AppResource::Kind::Flatpak)
        return QStringLiteral("This will uninstall ") + app.name + QStringLiteral(" with Flatpak.");
    if (app.kind == AppResource::Kind::UserEntry)
        return QStringLiteral("This will move the menu entry of ") + app.name +
               QStringLiteral(" to the Trash; the program it starts stays.");
    return QStringLiteral("This will move ") + app.name + QStringLiteral(" to the Trash.");
}

void ApplicationsView::confirmUninstall(const QString &path)
{
    const QList<AppResource> apps = m_model->applications();
    const auto it = std::find_if(apps.cbegin(), apps.cend(),
                                 [&](const AppResource &a) { return a.path == path; });
    if (it == apps.cend() || m_model->isUninstalling(path))
        return;
    const AppResource app = *it;
    if (app.kind == AppResource::Kind::Package || app.kind == AppResource::Kind::Snap) {
        if (app.keptReason.isEmpty())
            m_model->planRemoval(path, m_appState);
        return;
    }
    Dialogs::confirm(this,
                     {QStringLiteral("Are you sure?"), confirmationText(app),
                      QStringLiteral("Uninstall ") + app.name, QStringLiteral("Cancel")},
                     [this, path](bool confirmed) {
                         if (confirmed)
                             m_model->trashApp(path, m_appState);
                     });
}

void ApplicationsView::showFailure(const QString &name, const QString &reason)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Couldn't uninstall ") + name,
                                reason, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("uninstallFailure"));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
