#include "app/screens/SidebarView.h"

#include "app/AppState.h"
#include "app/screens/SidebarLabel.h"
#include "app/screens/TabCounts.h"
#include "app/widgets/Contrast.h"
#include "app/widgets/Style.h"
#include "platform/Plural.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

namespace {
constexpr int kTabRole = Qt::UserRole + 1;
} // namespace

QList<QPair<QString, QList<TabNavigation>>> SidebarView::sections()
{
    using T = TabNavigation;
    return {
        {QStringLiteral("OVERVIEW"), {T::dashboard, T::storage, T::applications}},
        {QStringLiteral("DEVELOPER TOOLS"), {T::docker, T::runtimes, T::homebrew}},
        {QStringLiteral("CLEANING TOOLS"), {T::junk, T::deepClean}},
        {QStringLiteral("ADVANCED"), {T::duplicates, T::largeFiles, T::installers}},
    };
}

SidebarView::SidebarView(AppState *appState, QWidget *parent)
    : QListWidget(parent), m_appState(appState),
      m_counts(std::make_unique<AppStateTabCounts>(appState))
{
    setObjectName(QStringLiteral("sidebar"));
    setAccessibleName(QStringLiteral("Tabs"));
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setBackgroundRole(QPalette::Window);
    viewport()->setBackgroundRole(QPalette::Window);
    setStyleSheet(QStringLiteral("QListWidget { outline: 0; }"));

    bool first = true;
    for (const auto &[title, tabs] : sections()) {
        auto *header = new QListWidgetItem(this);
        header->setFlags(Qt::NoItemFlags);
        header->setData(Qt::AccessibleTextRole, title);
        auto *headerWidget = new QWidget;
        auto *headerLayout = new QHBoxLayout(headerWidget);
        headerLayout->setContentsMargins(8, first ? 6 : 14, 8, 2);
        headerLayout->setSpacing(5);
        auto *headerLabel = new QLabel(title, headerWidget);
        QFont f = Style::font(Style::Text::Caption2);
        f.setBold(true);
        headerLabel->setFont(f);
        Style::makeSecondary(headerLabel);
        headerLayout->addWidget(headerLabel);
        if (title == QLatin1String("ADVANCED")) {
            auto *pro = new QLabel(QStringLiteral("PRO"), headerWidget);
            pro->setObjectName(QStringLiteral("proBadge"));
            QFont pf = f;
            pf.setPixelSize(8);
            pro->setFont(pf);
            Style::followTheme(pro, [pro] {
                const QColor window = QApplication::palette().color(QPalette::Window);
                const QColor back(10, 132, 255, 45);
                // Blue, as dark or light as the window leaves it readable.
                const QColor text = Contrast::reaching(
                    QColor(10, 132, 255), {Contrast::over(back, window)}, Contrast::text);
                const QString sheet =
                    QStringLiteral("QLabel { padding: 1px 3px; border-radius: 3px; background: "
                                   "%1; color: %2; }")
                        .arg(Style::css(back), text.name());
                if (pro->styleSheet() != sheet)
                    pro->setStyleSheet(sheet);
            });
            headerLayout->addWidget(pro);
        }
        headerLayout->addStretch(1);
        header->setSizeHint(headerWidget->sizeHint());
        setItemWidget(header, headerWidget);
        m_sectionTitles.append(title);
        first = false;

        for (const TabNavigation &tab : tabs) {
            auto *item = new QListWidgetItem(this);
            item->setData(kTabRole, int(TabNavigation::Case(tab)));
            item->setToolTip(tab.subtitle());
            item->setData(Qt::AccessibleDescriptionRole, tab.subtitle());
            auto *label = new SidebarLabel(tab);
            item->setSizeHint(QSize(0, 28));
            setItemWidget(item, label);
            m_labels.insert(int(TabNavigation::Case(tab)), label);
            m_rows.insert(int(TabNavigation::Case(tab)), row(item));
        }
    }

    selectTab(m_appState->selectedTab());
    connect(this, &QListWidget::currentRowChanged, this, [this](int r) {
        const QListWidgetItem *it = item(r);
        if (!it || !it->data(kTabRole).isValid())
            return;
        m_appState->setSelectedTab(TabNavigation(TabNavigation::Case(it->data(kTabRole).toInt())));
        updateSelectionLook();
    });
    connect(m_appState, &AppState::selectedTabChanged, this, &SidebarView::selectTab);
    connect(m_appState, &AppState::changed, this, &SidebarView::refresh);
    refresh();
}

SidebarView::~SidebarView() = default;

void SidebarView::setCounts(std::unique_ptr<TabCounts> counts)
{
    m_counts = std::move(counts);
    refresh();
}

void SidebarView::refresh()
{
    const bool scanning = m_appState->isScanning();
    for (SidebarLabel *label : std::as_const(m_labels)) {
        const int count = m_counts ? m_counts->count(label->tab()) : 0;
        label->update(scanning, count);
        // The row as a screen reader says it: the tab, then what its badge shows.
        QString said = label->tab().title();
        if (label->showsSpinner())
            said += QStringLiteral(", scanning");
        else if (count >= 1)
            said += QStringLiteral(", ") +
                    Plural::count(count, QStringLiteral("item"), QStringLiteral("items"));
        item(rowOf(label->tab()))->setData(Qt::AccessibleTextRole, said);
    }
}

SidebarLabel *SidebarView::label(TabNavigation tab) const
{
    return m_labels.value(int(TabNavigation::Case(tab)));
}

int SidebarView::rowOf(TabNavigation tab) const
{
    return m_rows.value(int(TabNavigation::Case(tab)), -1);
}

QStringList SidebarView::sectionTitles() const
{
    return m_sectionTitles;
}

void SidebarView::selectTab(TabNavigation tab)
{
    const int r = rowOf(tab);
    if (r >= 0 && currentRow() != r)
        setCurrentRow(r);
    updateSelectionLook();
}

void SidebarView::updateSelectionLook()
{
    for (SidebarLabel *label : std::as_const(m_labels))
        label->setSelected(rowOf(label->tab()) == currentRow());
}
