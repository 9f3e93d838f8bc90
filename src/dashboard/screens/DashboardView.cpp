#include "dashboard/screens/DashboardView.h"

#include "app/AppState.h"
#include "app/widgets/Style.h"
#include "app/widgets/TabHeader.h"
#include "dashboard/DashboardViewModel.h"
#include "dashboard/screens/MetricCard.h"
#include "dashboard/screens/RecommendationCard.h"
#include "dashboard/screens/SegmentedHorizontalBarChart.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/DuplicateGroup.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

QLabel *headline(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont f = Style::font(Style::Text::Title3);
    f.setWeight(QFont::DemiBold);
    label->setFont(f);
    return label;
}

bool hasNoUpdates(const QString &value)
{
    return value.startsWith(QLatin1Char('0')) || value == QLatin1String("Scanning...") ||
           value == QLatin1String("N/A");
}

} // namespace

DashboardView::DashboardView(AppState *appState, DashboardViewModel *model, QWidget *parent)
    : QWidget(parent), m_appState(appState), m_model(model)
{
    setObjectName(QStringLiteral("dashboardView"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *header = new TabHeader(TabNavigation::dashboard, this);
    header->addRescan([this] {
        m_model->fetchDiskUsage(m_appState);
        m_model->fetchMetrics(m_appState);
    });
    outer->addWidget(header);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes to the cards' buttons, and the area scrolls to show them.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *content = new QWidget(scroll);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(20, 16, 20, 20);
    layout->setSpacing(14);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    layout->addWidget(headline(QStringLiteral("System Health Overview"), content));
    struct CardKind {
        QString title;
        QString icon;
        QColor color;
        TabNavigation::Case tab;
    };
    const QList<CardKind> kinds = {
        {QStringLiteral("Disk Used"), QStringLiteral("internaldrive.fill"), QColor(0, 122, 255),
         TabNavigation::largeFiles},
        {QStringLiteral("Cleanable Cache"), QStringLiteral("trash.fill"), QColor(255, 149, 0),
         TabNavigation::junk},
        {QStringLiteral("Outdated Brews"), QStringLiteral("mug.fill"), QColor(175, 82, 222),
         TabNavigation::homebrew},
        {QStringLiteral("Runtimes"), QStringLiteral("terminal.fill"), QColor(52, 199, 89),
         TabNavigation::runtimes},
    };
    auto *cards = new QHBoxLayout;
    cards->setSpacing(12);
    for (const CardKind &kind : kinds) {
        auto *card = new MetricCard(kind.title, kind.icon, kind.color, content);
        const TabNavigation::Case tab = kind.tab;
        connect(card, &MetricCard::actionTriggered, this, [this, tab] {
            // The system's packages have no tab: their card lists them.
            if (tab == TabNavigation::homebrew && !m_model->outdatedPackages().isEmpty())
                showOutdatedPackages();
            else
                m_appState->setSelectedTab(tab);
        });
        cards->addWidget(card, 1);
        m_cards.append(card);
    }
    m_cards[0]->setCtaTitle(QStringLiteral("Manage"));
    m_cards[1]->setCtaTitle(QStringLiteral("Review"));
    m_cards[3]->setCtaTitle(QStringLiteral("Review"));
    layout->addLayout(cards);

    m_chart = new SegmentedHorizontalBarChart(content);
    layout->addWidget(m_chart);
    m_staleNote = new QLabel(QStringLiteral("Something went to the Trash since this breakdown was "
                                            "measured; it updates at the next scan."),
                             content);
    m_staleNote->setObjectName(QStringLiteral("breakdownStale"));
    m_staleNote->setWordWrap(true);
    Style::apply(m_staleNote, Style::Text::Caption, true);
    layout->addWidget(m_staleNote);

    layout->addWidget(headline(QStringLiteral("Weekly Digest"), content));
    m_digest = new RecommendationCard(QString(), QString(), QStringLiteral("Review"), content);
    connect(m_digest, &RecommendationCard::actionTriggered, this,
            [this] { m_appState->setSelectedTab(TabNavigation::junk); });
    layout->addWidget(m_digest);

    m_recommendations = headline(QStringLiteral("Recommendations"), content);
    layout->addWidget(m_recommendations);
    m_duplicates = new RecommendationCard(QStringLiteral("Duplicate Space"), QString(),
                                          QStringLiteral("Clean Now"), content);
    connect(m_duplicates, &RecommendationCard::actionTriggered, this,
            [this] { m_appState->setSelectedTab(TabNavigation::duplicates); });
    layout->addWidget(m_duplicates);
    m_outdated = new RecommendationCard(QStringLiteral("Outdated Packages"),
                                        QStringLiteral("Run brew upgrade."),
                                        QStringLiteral("Update Brew"), content);
    connect(m_outdated, &RecommendationCard::actionTriggered, this, [this] {
        if (!m_model->outdatedPackages().isEmpty())
            showOutdatedPackages();
        else
            m_appState->setSelectedTab(TabNavigation::homebrew);
    });
    layout->addWidget(m_outdated);
    layout->addStretch(1);

    connect(m_model, &DashboardViewModel::changed, this, &DashboardView::refresh);
    connect(m_appState, &AppState::diskFiguresChanged, this, &DashboardView::refresh);
    connect(m_appState->duplicatesVM(), &AdvancedToolsViewModel::itemsChanged, this,
            &DashboardView::refresh);
    connect(m_appState->duplicatesVM(), &AdvancedToolsViewModel::rowsDropped, this,
            &DashboardView::refresh);
    refresh();
}

void DashboardView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_shown) {
        if (m_model->isBreakdownStale())
            m_model->fetchMetrics(m_appState);
        return;
    }
    m_shown = true;
    m_model->fetchDiskUsage(m_appState);
    m_model->fetchMetrics(m_appState);
}

QString DashboardView::duplicateSpaceText(double megabytes)
{
    return megabytes > 1000 ? QString::asprintf("%.1f GB", megabytes / 1024)
                            : QString::asprintf("%.0f MB", megabytes);
}

double DashboardView::duplicateSpaceMB() const
{
    // The copy that is kept frees nothing: the same figure as the Duplicates tab.
    return m_appState->duplicatesVM()->duplicateSpaceMB();
}

void DashboardView::refresh()
{
    m_cards[0]->setValue(m_appState->diskTotalGB() > 0
                             ? QString::asprintf("%.1f GB", m_appState->diskUsedGB())
                         : m_model->isDiskUsageUnknown() ? QStringLiteral("Unknown")
                                                         : QStringLiteral("Scanning..."));
    m_cards[1]->setValue(m_model->cleanableCacheStr());
    const QString outdated = m_model->outdatedBrewsStr();
    m_cards[2]->setValue(outdated);
    m_cards[2]->setTitle(m_model->outdatedTitle());
    m_cards[2]->setCtaTitle(hasNoUpdates(outdated) ? QStringLiteral("Review")
                                                   : QStringLiteral("Update"));
    m_cards[3]->setValue(m_model->runtimesStr());
    m_chart->setValues(m_model->diskCategories(), m_appState->diskSpace(),
                       m_model->isDiskUsageUnknown());
    m_staleNote->setVisible(m_model->isBreakdownStale());
    m_digest->setTexts(m_model->weeklyDigestTitle(), m_model->weeklyDigestDesc());
    const double duplicates = duplicateSpaceMB();
    m_duplicates->setTexts(QStringLiteral("Duplicate Space"),
                           QStringLiteral("You can free up ") + duplicateSpaceText(duplicates) +
                               QStringLiteral(" of duplicate file space."));
    m_duplicates->setVisible(duplicates > 0);
    m_outdated->setVisible(!hasNoUpdates(outdated));
    m_recommendations->setVisible(!m_duplicates->isHidden() || !m_outdated->isHidden());
    if (!m_model->outdatedPackages().isEmpty())
        m_outdated->setTexts(QStringLiteral("Outdated Packages"),
                             QStringLiteral("Update them with your system's software updater."));
}

void DashboardView::showOutdatedPackages()
{
    if (m_packagesSheet)
        return;
    m_packagesSheet = new QDialog(window());
    m_packagesSheet->setObjectName(QStringLiteral("outdatedPackages"));
    m_packagesSheet->setWindowTitle(QStringLiteral("Outdated Packages"));
    m_packagesSheet->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(m_packagesSheet);
    const QStringList packages = m_model->outdatedPackages();
    auto *label = new QLabel(QStringLiteral("%1 packages have newer versions in the package lists "
                                            "as they were last updated.")
                                 .arg(packages.size()),
                             m_packagesSheet);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto *list = new QListWidget(m_packagesSheet);
    list->setAccessibleName(QStringLiteral("Outdated packages"));
    list->addItems(packages);
    layout->addWidget(list, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_packagesSheet);
    connect(buttons, &QDialogButtonBox::rejected, m_packagesSheet, &QDialog::reject);
    layout->addWidget(buttons);
    m_packagesSheet->resize(520, 420);
    m_packagesSheet->setWindowModality(Qt::WindowModal);
    m_packagesSheet->open();
}
