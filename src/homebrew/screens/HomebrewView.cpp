#include "homebrew/screens/HomebrewView.h"

#include "app/AppState.h"
#include "app/widgets/DetailRow.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/RowActions.h"
#include "app/widgets/Style.h"
#include "app/widgets/Symbols.h"
#include "app/widgets/TabHeader.h"
#include "exec/ProcessRunner.h"
#include "exec/screens/TerminalSheetView.h"
#include "homebrew/HomebrewViewModel.h"
#include "homebrew/screens/HomebrewExtras.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QVBoxLayout>

using namespace BrewListing;

namespace {

QColor formulaTint()
{
    return QColor(0, 122, 255);
}

QColor caskTint()
{
    return QColor(175, 82, 222);
}

// A small rounded badge: tinted fill, text in the theme's text colour.
QRectF drawBadge(QPainter *p, const QPointF &at, const QString &text, const QColor &tint,
                 const QColor &textColor, const QFont &font)
{
    const QFontMetricsF metrics(font);
    const QRectF box(at.x(), at.y() - metrics.height() / 2 - 1,
                     metrics.horizontalAdvance(text) + 10, metrics.height() + 2);
    QColor fill = tint;
    fill.setAlphaF(0.22);
    p->setPen(Qt::NoPen);
    p->setBrush(fill);
    p->drawRoundedRect(box, 4, 4);
    p->setPen(textColor);
    p->setFont(font);
    p->drawText(box, Qt::AlignCenter, text);
    return box;
}

// An up arrow in a filled circle: the package has a newer version.
void drawUpArrow(QPainter *p, const QRectF &box, const QColor &fill, const QColor &arrow)
{
    p->setPen(Qt::NoPen);
    p->setBrush(fill);
    p->drawEllipse(box);
    QPen pen(arrow, box.width() / 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p->setPen(pen);
    p->setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    const qreal r = box.width() / 4;
    p->drawLine(QPointF(c.x(), c.y() + r), QPointF(c.x(), c.y() - r));
    p->drawPolyline(QPolygonF({QPointF(c.x() - r * 0.8, c.y() - r * 0.1), QPointF(c.x(), c.y() - r),
                               QPointF(c.x() + r * 0.8, c.y() - r * 0.1)}));
}

// One package row, drawn from the palette at paint time so theme switches recolour it.
class PackageDelegate : public QStyledItemDelegate {
public:
    PackageDelegate(const QList<BrewPackage> *shown, QObject *parent)
        : QStyledItemDelegate(parent), m_shown(shown)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        return QSize(200, 34);
    }

    void paint(QPainter *p, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const int row = index.row();
        if (row < 0 || row >= m_shown->size())
            return;
        const BrewPackage &package = m_shown->at(row);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QPalette &pal = option.palette;
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            p->fillRect(option.rect, pal.color(QPalette::Highlight));
        const QColor text = pal.color(selected ? QPalette::HighlightedText : QPalette::Text);
        const QColor secondary = selected ? text : pal.color(QPalette::PlaceholderText);
        const QRect r = option.rect.adjusted(12, 0, -12, 0);

        QFont nameFont = Style::font(Style::Text::Body);
        const QString size = formatSizeMB(package.sizeMB);
        QFont sizeFont = Style::font(Style::Text::Caption);
        sizeFont.setFamilies({QStringLiteral("monospace")});
        const int sizeWidth = QFontMetrics(sizeFont).horizontalAdvance(size) + 4;
        p->setFont(sizeFont);
        p->setPen(secondary);
        p->drawText(QRect(r.right() - sizeWidth, r.top(), sizeWidth, r.height()),
                    Qt::AlignRight | Qt::AlignVCenter, size);

        p->setFont(nameFont);
        p->setPen(text);
        const int nameLimit = r.width() - sizeWidth - 200;
        const QString name =
            QFontMetrics(nameFont).elidedText(package.name, Qt::ElideMiddle, qMax(60, nameLimit));
        const int nameWidth = QFontMetrics(nameFont).horizontalAdvance(name);
        p->drawText(QRect(r.left(), r.top(), nameWidth + 2, r.height()), Qt::AlignVCenter, name);

        qreal x = r.left() + nameWidth + 8;
        const qreal mid = r.center().y() + 0.5;
        const QFont badgeFont = Style::font(Style::Text::Caption2);
        x = drawBadge(p, QPointF(x, mid), package.type,
                      package.isCask() ? caskTint() : formulaTint(), text, badgeFont)
                .right() +
            6;
        const int icon = 14;
        if (package.isOutdated) {
            drawUpArrow(p, QRectF(x, mid - icon / 2.0, icon, icon), selected ? text : formulaTint(),
                        selected ? pal.color(QPalette::Highlight) : QColor(Qt::white));
            x += icon + 6;
        }
        if (package.isPinned) {
            Symbols::icon(QStringLiteral("pin.fill"), Style::orange())
                .paint(p, QRect(int(x), int(mid - icon / 2), icon, icon));
            x += icon + 6;
        }
        if (!package.onRequest)
            drawBadge(p, QPointF(x, mid), QStringLiteral("dependency"), secondary, secondary,
                      badgeFont);
        p->restore();
    }

private:
    const QList<BrewPackage> *m_shown;
};

QString dateText(const std::optional<QDateTime> &date)
{
    return date ? date->toLocalTime().toString(QStringLiteral("MM/dd/yy"))
                : QStringLiteral("Unknown");
}

QLabel *wrapped(const QString &text, QWidget *parent, Style::Text style, bool secondary = false)
{
    auto *label = new QLabel(text, parent);
    Style::apply(label, style, secondary);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

HomebrewView::HomebrewView(AppState *appState, HomebrewViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model),
      m_section(sectionFrom(
          Preferences::stringValue(QString::fromLatin1(sectionKey), QStringLiteral("installed")))),
      m_sort(
          sortFrom(Preferences::stringValue(QString::fromLatin1(sortKey), QStringLiteral("name"))))
{
    setObjectName(QStringLiteral("homebrewView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_header = new TabHeader(TabNavigation::homebrew, this);
    auto *picker = new QWidget(m_header);
    picker->setObjectName(QStringLiteral("sectionPicker"));
    picker->setAccessibleName(QStringLiteral("Section"));
    auto *pickerLayout = new QHBoxLayout(picker);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(0);
    m_sections = new QButtonGroup(this);
    for (BrewSection section : allSections()) {
        auto *button = new QToolButton(picker);
        button->setText(title(section));
        button->setObjectName(QStringLiteral("section_") + rawValue(section));
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setChecked(section == m_section);
        m_sections->addButton(button, int(section));
        pickerLayout->addWidget(button);
    }
    connect(m_sections, &QButtonGroup::idClicked, this,
            [this](int id) { setSection(BrewSection(id)); });
    m_header->addAction(picker);
    m_header->addRescan([this] { m_model->scanHomebrew(m_appState); });
    m_upgradeAll = new QPushButton(Symbols::icon(QStringLiteral("arrow.triangle.2.circlepath")),
                                   QStringLiteral("Upgrade All"), m_header);
    m_upgradeAll->setObjectName(QStringLiteral("upgradeAll"));
    connect(m_upgradeAll, &QPushButton::clicked, m_model, &HomebrewViewModel::upgradeAll);
    m_header->addAction(m_upgradeAll);
    m_maintenance = new QToolButton(m_header);
    m_maintenance->setObjectName(QStringLiteral("maintenance"));
    m_maintenance->setText(QStringLiteral("Maintenance"));
    m_maintenance->setIcon(Symbols::icon(QStringLiteral("wrench.and.screwdriver")));
    m_maintenance->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_maintenance->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(m_maintenance);
    connect(menu->addAction(QStringLiteral("Update Package Lists")), &QAction::triggered, m_model,
            &HomebrewViewModel::updatePackageLists);
    connect(menu->addAction(QStringLiteral("Clean Up Old Versions and Cache")), &QAction::triggered,
            m_model, &HomebrewViewModel::cleanUp);
    connect(menu->addAction(QStringLiteral("Remove Unused Dependencies")), &QAction::triggered,
            m_model, &HomebrewViewModel::removeUnusedDependencies);
    connect(menu->addAction(QStringLiteral("Run Doctor")), &QAction::triggered, m_model,
            &HomebrewViewModel::runDoctor);
    m_maintenance->setMenu(menu);
    m_header->addAction(m_maintenance);
    layout->addWidget(m_header);

    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages, 1);

    // Installed list and details.
    m_installedPage = new QWidget(m_pages);
    auto *installedLayout = new QVBoxLayout(m_installedPage);
    installedLayout->setContentsMargins(0, 0, 0, 0);
    installedLayout->setSpacing(0);
    auto *splitter = new QSplitter(Qt::Horizontal, m_installedPage);
    splitter->setChildrenCollapsible(false);
    installedLayout->addWidget(splitter);
    auto *listSide = new QWidget(splitter);
    auto *listLayout = new QVBoxLayout(listSide);
    listLayout->setContentsMargins(12, 10, 0, 0);
    listLayout->setSpacing(6);
    m_filterPicker = new QComboBox(listSide);
    m_filterPicker->setObjectName(QStringLiteral("brewFilter"));
    for (FilterType filter : allFilters())
        m_filterPicker->addItem(label(filter), int(filter));
    connect(m_filterPicker, &QComboBox::activated, this,
            [this](int index) { setFilter(FilterType(m_filterPicker->itemData(index).toInt())); });
    auto *listHeader = new QHBoxLayout;
    listHeader->setContentsMargins(0, 0, 12, 0);
    auto *column = new QLabel(QStringLiteral("PACKAGE NAME"), listSide);
    Style::apply(column, Style::Text::Caption, true);
    listHeader->addWidget(column);
    listHeader->addStretch(1);
    listHeader->addWidget(m_filterPicker);
    auto *sortLabel = new QLabel(QStringLiteral("Sort"), listSide);
    Style::apply(sortLabel, Style::Text::Caption, true);
    listHeader->addWidget(sortLabel);
    m_sortPicker = new QComboBox(listSide);
    m_sortPicker->setObjectName(QStringLiteral("brewSort"));
    for (PackageSort sort : allSorts())
        m_sortPicker->addItem(title(sort), int(sort));
    m_sortPicker->setCurrentIndex(m_sortPicker->findData(int(m_sort)));
    connect(m_sortPicker, &QComboBox::activated, this,
            [this](int index) { setSort(PackageSort(m_sortPicker->itemData(index).toInt())); });
    listHeader->addWidget(m_sortPicker);
    listLayout->addLayout(listHeader);
    m_list = new QListWidget(listSide);
    m_list->setObjectName(QStringLiteral("packageList"));
    m_list->setAccessibleName(QStringLiteral("Installed packages"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setUniformItemSizes(true);
    m_list->setItemDelegate(new PackageDelegate(&m_shown, m_list));
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        m_selectedID =
            row >= 0 && row < m_shown.size() ? std::optional(m_shown.at(row).id) : std::nullopt;
        refreshDetail();
    });
    (new RowActions(m_list))->setRemove([this](const QModelIndex &) {
        if (const std::optional<BrewPackage> package = selectedPackage())
            requestUninstall(*package);
    });
    listLayout->addWidget(m_list, 1);

    auto *detailScroll = new QScrollArea(splitter);
    detailScroll->setWidgetResizable(true);
    detailScroll->setFrameShape(QFrame::NoFrame);
    detailScroll->setFocusPolicy(Qt::NoFocus);
    detailScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    detailScroll->setMinimumWidth(340);
    listSide->setMinimumWidth(380);
    m_detail = new QWidget(detailScroll);
    m_detail->setObjectName(QStringLiteral("packageDetail"));
    m_detailLayout = new QVBoxLayout(m_detail);
    m_detailLayout->setContentsMargins(16, 14, 16, 14);
    m_detailLayout->setSpacing(8);
    detailScroll->setWidget(m_detail);
    splitter->addWidget(listSide);
    splitter->addWidget(detailScroll);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({620, 380});
    m_pages->addWidget(m_installedPage);

    m_pages->addWidget(new EmptyStateView(
        QStringLiteral("exclamationmark.triangle"), QStringLiteral("Homebrew Not Detected"),
        PlatformTexts::text(
            QStringLiteral("Homebrew wasn't found in /opt/homebrew/bin or /usr/local/bin.")),
        Style::orange(), m_pages));
    m_sectionHost = new QStackedWidget(m_pages);
    m_pages->addWidget(m_sectionHost);

    connect(m_model, &HomebrewViewModel::packagesChanged, this, &HomebrewView::refreshList);
    connect(m_model, &HomebrewViewModel::isBrewInstalledChanged, this,
            &HomebrewView::refreshInstalledState);
    connect(m_model, &HomebrewViewModel::activeStreamChanged, this, &HomebrewView::presentSheet);
    connect(m_appState, &AppState::globalSearchTextChanged, this, &HomebrewView::refreshList);

    setSection(m_section);
    refreshList();
    presentSheet();
}

void HomebrewView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_detailLayout)
        refreshDetail();
}

void HomebrewView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_scannedOnShow && m_model->packages().isEmpty()) {
        m_scannedOnShow = true;
        m_model->scanHomebrew(m_appState);
    }
}

void HomebrewView::setSection(BrewSection section)
{
    const bool fresh = section != m_section || !m_sectionScreen;
    m_section = section;
    Preferences::setValue(QString::fromLatin1(sectionKey), rawValue(section));
    if (QAbstractButton *button = m_sections->button(int(section)))
        button->setChecked(true);
    if (section == BrewSection::installed || fresh) {
        // Each section screen starts fresh when it is chosen.
        if (m_sectionScreen) {
            m_sectionHost->removeWidget(m_sectionScreen);
            m_sectionScreen->deleteLater();
            m_sectionScreen = nullptr;
        }
        if (section == BrewSection::discover)
            m_sectionScreen = new BrewDiscoverView(m_model, m_sectionHost);
        else if (section == BrewSection::taps)
            m_sectionScreen = new BrewTapsView(m_model, m_sectionHost);
        else if (section == BrewSection::services)
            m_sectionScreen = new BrewServicesView(m_model, m_sectionHost);
        if (m_sectionScreen) {
            m_sectionHost->addWidget(m_sectionScreen);
            m_sectionHost->setCurrentWidget(m_sectionScreen);
        }
    }
    refreshInstalledState();
}

void HomebrewView::setFilter(FilterType filter)
{
    m_filter = filter;
    m_filterPicker->setCurrentIndex(m_filterPicker->findData(int(filter)));
    refreshList();
}

void HomebrewView::setSort(PackageSort sort)
{
    m_sort = sort;
    Preferences::setValue(QString::fromLatin1(sortKey), rawValue(sort));
    m_sortPicker->setCurrentIndex(m_sortPicker->findData(int(sort)));
    refreshList();
}

void HomebrewView::refreshInstalledState()
{
    const bool installed = m_model->isBrewInstalled();
    m_header->findChild<QWidget *>(QStringLiteral("sectionPicker"))->setVisible(installed);
    m_upgradeAll->setVisible(installed);
    m_maintenance->setVisible(installed);
    if (!installed)
        m_pages->setCurrentIndex(1);
    else
        m_pages->setCurrentWidget(m_section == BrewSection::installed
                                      ? m_installedPage
                                      : static_cast<QWidget *>(m_sectionHost));
}

std::optional<BrewPackage> HomebrewView::selectedPackage() const
{
    if (!m_selectedID)
        return std::nullopt;
    for (const BrewPackage &package : m_model->packages()) {
        if (package.id == *m_selectedID)
            return package;
    }
    return std::nullopt;
}

void HomebrewView::selectPackage(const QString &name, bool isCask)
{
    for (int row = 0; row < m_shown.size(); ++row) {
        if (m_shown.at(row).name == name && m_shown.at(row).isCask() == isCask) {
            m_list->setCurrentRow(row);
            return;
        }
    }
    m_list->setCurrentRow(-1);
}

void HomebrewView::refreshList()
{
    // A rescan makes new identities: keep the same package chosen by name and kind.
    std::optional<std::pair<QString, bool>> chosen;
    if (m_selectedID) {
        for (const BrewPackage &package : m_shown) {
            if (package.id == *m_selectedID)
                chosen = std::make_pair(package.name, package.isCask());
        }
    }
    m_shown = listing(m_model->packages(), m_filter, m_appState->globalSearchText(), m_sort);
    const QSignalBlocker block(m_list);
    m_list->clear();
    int selectedRow = -1;
    for (int row = 0; row < m_shown.size(); ++row) {
        const BrewPackage &package = m_shown.at(row);
        auto *item = new QListWidgetItem(package.name, m_list);
        if (package.isPinned)
            item->setToolTip(QStringLiteral("Pinned: Upgrade All skips it"));
        // What the row draws besides the name, in words.
        QStringList said{package.name, package.type, formatSizeMB(package.sizeMB)};
        if (package.isOutdated)
            said << QStringLiteral("update available");
        if (package.isPinned)
            said << QStringLiteral("pinned");
        if (!package.onRequest)
            said << QStringLiteral("dependency");
        item->setData(Qt::AccessibleTextRole, said.join(QStringLiteral(", ")));
        if (chosen && package.name == chosen->first && package.isCask() == chosen->second)
            selectedRow = row;
    }
    m_list->setCurrentRow(selectedRow);
    m_selectedID = selectedRow >= 0 ? std::optional(m_shown.at(selectedRow).id) : std::nullopt;
    refreshDetail();
}

void HomebrewView::refreshDetail()
{
    while (QLayoutItem *item = m_detailLayout->takeAt(0)) {
        if (item->widget()) {
            item->widget()->hide();
            item->widget()->deleteLater();
        } else if (QLayout *inner = item->layout()) {
            while (QLayoutItem *child = inner->takeAt(0)) {
                if (child->widget()) {
                    child->widget()->hide();
                    child->widget()->deleteLater();
                }
                delete child;
            }
        }
        delete item;
    }
    const std::optional<BrewPackage> selected = selectedPackage();
    if (!selected) {
        auto *none = new QLabel(QStringLiteral("Select a package to view details"), m_detail);
        Style::apply(none, Style::Text::Body, true);
        none->setAlignment(Qt::AlignCenter);
        m_detailLayout->addStretch(1);
        m_detailLayout->addWidget(none);
        m_detailLayout->addStretch(1);
        return;
    }
    const BrewPackage package = *selected;
    auto *heading = new QLabel(QStringLiteral("Package Details"), m_detail);
    Style::apply(heading, Style::Text::Title3);
    m_detailLayout->addWidget(heading);

    auto *descriptionTitle = new QLabel(QStringLiteral("Description"), m_detail);
    Style::apply(descriptionTitle, Style::Text::Headline);
    m_detailLayout->addWidget(descriptionTitle);
    m_detailLayout->addWidget(wrapped(package.description.isEmpty()
                                          ? QStringLiteral("No description provided.")
                                          : package.description,
                                      m_detail, Style::Text::Body, package.description.isEmpty()));

    const QList<QPair<QString, QString>> rows = {
        {QStringLiteral("Name"), package.name},
        {QStringLiteral("Version"), package.version},
        {QStringLiteral("Type"), package.type},
        {QStringLiteral("Size"), formatSizeMB(package.sizeMB)},
        {QStringLiteral("Installed"), dateText(package.installedDate)},
        {QStringLiteral("Modified"), package.modifiedDate},
        {QStringLiteral("Path"), package.path},
    };
    for (const auto &[label, value] : rows)
        m_detailLayout->addWidget(new DetailRow(label, value, m_detail));
    if (package.isOutdated) {
        auto *status =
            new DetailRow(QStringLiteral("Status:"), QStringLiteral("Update Available"), m_detail);
        status->setObjectName(QStringLiteral("statusRow"));
        m_detailLayout->addWidget(status);
    }
    if (!package.homepage.isEmpty()) {
        auto *row = new QWidget(m_detail);
        auto *rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 1, 0, 1);
        rowLayout->setSpacing(6);
        auto *name = new QLabel(QStringLiteral("Homepage:"), row);
        Style::apply(name, Style::Text::Body, true);
        name->setFixedWidth(88);
        rowLayout->addWidget(name);
        auto *link = new QLabel(row);
        link->setTextFormat(Qt::RichText);
        link->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                          .arg(package.homepage.toHtmlEscaped(), package.homepage.toHtmlEscaped()));
        link->setOpenExternalLinks(true);
        // Links take the selection colour, which every theme keeps readable.
        QPalette linkPalette = link->palette();
        linkPalette.setColor(QPalette::Link, palette().color(QPalette::Highlight));
        link->setPalette(linkPalette);
        link->setWordWrap(true);
        rowLayout->addWidget(link, 1);
        m_detailLayout->addWidget(row);
    }

    const auto listBlock = [this](const QString &title, const QStringList &names,
                                  const QString &objectName) {
        auto *heading = new QLabel(title.arg(names.size()), m_detail);
        Style::apply(heading, Style::Text::Headline);
        m_detailLayout->addWidget(heading);
        if (!names.isEmpty()) {
            QLabel *list =
                wrapped(names.join(QStringLiteral(", ")), m_detail, Style::Text::Body, true);
            list->setObjectName(objectName);
            m_detailLayout->addWidget(list);
        }
    };
    listBlock(QStringLiteral("Dependencies (%1)"), package.dependencies,
              QStringLiteral("dependencyList"));
    QStringList usedBy;
    for (const BrewPackage &other : m_model->packages()) {
        for (const QString &dependency : other.dependencies) {
            if (package.isNamedBy(dependency)) {
                usedBy.append(other.name);
                break;
            }
        }
    }
    listBlock(QStringLiteral("Used by (%1)"), usedBy, QStringLiteral("usedByList"));

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto *moreButtons = new QHBoxLayout;
    moreButtons->setSpacing(8);
    if (package.isOutdated) {
        auto *update = new QPushButton(QStringLiteral("Update Package"), m_detail);
        update->setObjectName(QStringLiteral("updatePackage"));
        connect(update, &QPushButton::clicked, this, [this, package] { requestUpdate(package); });
        buttons->addWidget(update);
    }
    auto *reinstall = new QPushButton(QStringLiteral("Reinstall"), m_detail);
    reinstall->setObjectName(QStringLiteral("reinstallPackage"));
    connect(reinstall, &QPushButton::clicked, this,
            [this, package] { m_model->reinstall(package); });
    buttons->addWidget(reinstall);
    auto *uninstall = new QPushButton(QStringLiteral("Uninstall Package"), m_detail);
    uninstall->setObjectName(QStringLiteral("uninstallPackage"));
    connect(uninstall, &QPushButton::clicked, this, [this, package] { requestUninstall(package); });
    moreButtons->addWidget(uninstall);
    if (!package.isCask()) {
        auto *pin = new QPushButton(
            Symbols::icon(QStringLiteral("pin.fill"), Style::orange()),
            package.isPinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"), m_detail);
        pin->setObjectName(QStringLiteral("pinPackage"));
        pin->setToolTip(
            QStringLiteral("A pinned formula stays at its version when you upgrade everything"));
        connect(pin, &QPushButton::clicked, this, [this, package] { m_model->togglePin(package); });
        moreButtons->addWidget(pin);
    }
    buttons->addStretch(1);
    moreButtons->addStretch(1);
    m_detailLayout->addSpacing(6);
    m_detailLayout->addLayout(buttons);
    m_detailLayout->addLayout(moreButtons);
    m_detailLayout->addStretch(1);
}

void HomebrewView::requestUpdate(const BrewPackage &package)
{
    Dialogs::confirm(this,
                     {QStringLiteral("Update Package?"),
                      QStringLiteral("This will download and install the latest version of %1.")
                          .arg(package.name),
                      QStringLiteral("Update %1").arg(package.name), QStringLiteral("Cancel")},
                     [this, package](bool confirmed) {
                         if (confirmed)
                             m_model->upgrade(package);
                     });
}

void HomebrewView::requestUninstall(const BrewPackage &package)
{
    Dialogs::confirm(
        this,
        {QStringLiteral("Uninstall Package?"),
         QStringLiteral(
             "Are you sure you want to completely uninstall %1? This might bring adverse "
             "effects if it is related to the OS, is a permanent change, and you might "
             "have to re-download.")
             .arg(package.name),
         QStringLiteral("Uninstall %1").arg(package.name), QStringLiteral("Cancel")},
        [this, package](bool confirmed) {
            if (confirmed)
                m_model->uninstall(package);
        });
}

void HomebrewView::presentSheet()
{
    const std::optional<QString> command = m_model->activeStreamCommand();
    if (m_sheet || !command)
        return;
    m_sheet = new TerminalSheetView(
        m_model->activeStreamTitle().value_or(QString()), *command, [this] { closeSheet(); },
        window());
    m_sheet->setAttribute(Qt::WA_DeleteOnClose);
    m_sheet->open();
}

void HomebrewView::closeSheet()
{
    // Whatever the outcome, the list is read again.
    TerminalSheetView *sheet = m_sheet;
    m_sheet = nullptr;
    m_model->clearStream();
    m_model->scanHomebrew(m_appState);
    if (sheet)
        sheet->close();
}
