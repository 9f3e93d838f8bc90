#include "app/AppState.h"
#include "app/widgets/Theme.h"
#include "dashboard/DashboardViewModel.h"
#include "dashboard/screens/DashboardView.h"
#include "dashboard/screens/MetricCard.h"
#include "dashboard/screens/RecommendationCard.h"
#include "dashboard/screens/SegmentedHorizontalBarChart.h"
#include "finders/AdvancedToolsViewModel.h"

#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include <memory>

class TestDashboardView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        // Nothing outside the throw-away home is measured.
        m_env->editLocations([](Locations &loc) {
            loc.cachesCommand = "echo 1200";
            loc.brewCandidates = {"/nonexistent/brew"};
            loc.groupApps = loc.groupBrew = {};
            loc.javaCountCommand = loc.localBinLinksCountCommand = "echo 0";
        });
    }
    void cleanup() { m_env.reset(); }

    void duplicateSpace_data()
    {
        QTest::addColumn<double>("megabytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << 0.0 << "0 MB";
        QTest::newRow("1000") << 1000.0 << "1000 MB";
        QTest::newRow("1024") << 1024.0 << "1.0 GB";
    }
    void duplicateSpace()
    {
        QFETCH(double, megabytes);
        QFETCH(QString, text);
        QCOMPARE(DashboardView::duplicateSpaceText(megabytes), text);
    }

    void chart_segments_data()
    {
        QTest::addColumn<double>("total");
        QTest::addColumn<QList<double>>("sizes");
        QTest::addColumn<double>("free");
        QTest::addColumn<bool>("unknown"); // the disk's figures could not be read
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("tips");
        QTest::addColumn<double>("end");
        QTest::newRow("before the capacities")
            << 0.0 << QList<double>{} << 0.0 << false << "0% Used" << QStringList{"Calculating..."}
            << 500.0;
        QTest::newRow("capacities unreadable") << 0.0 << QList<double>{} << 0.0 << true << "Unknown"
                                               << QStringList{"Unknown"} << 500.0;
        QTest::newRow("half used")
            << 100.0 << QList<double>{30, 20} << 50.0 << false << "50% Used"
            << QStringList{"A - 30.0 GB used", "B - 20.0 GB used", "Free Space - 50.0 GB"} << 500.0;
        // More than the disk: clamped to the bar.
        QTest::newRow("overflow") << 100.0 << QList<double>{90, 40} << 10.0 << false << "90% Used"
                                  << QStringList{"A - 90.0 GB used", "B - 40.0 GB used",
                                                 "Free Space - 10.0 GB"}
                                  << 500.0;
    }
    void chart_segments()
    {
        QFETCH(double, total);
        QFETCH(QList<double>, sizes);
        QFETCH(double, free);
        QFETCH(bool, unknown);
        QFETCH(QString, heading);
        QFETCH(QStringList, tips);
        QFETCH(double, end);
        QList<DiskCategory> categories;
        for (int i = 0; i < sizes.size(); ++i)
            categories.append(
                {QUuid::createUuid(), QString(QChar('A' + i)), sizes.at(i), DiskCategory::apps});
        SegmentedHorizontalBarChart chart;
        chart.setValues(categories,
                        {qint64(total * 1e9), qint64((total - free) * 1e9), qint64(free * 1e9)},
                        unknown);
        QCOMPARE(chart.headingText(), heading);
        QCOMPARE(chart.subheadingText().contains("Free of 0.0 GB"), total <= 0 && !unknown);
        QStringList shown;
        double last = 0;
        for (const auto &segment : chart.segments(500)) {
            shown.append(segment.tooltip);
            QVERIFY(segment.from >= last - 1e-9 && segment.to <= 500);
            last = segment.to;
        }
        QCOMPARE(shown, tips);
        QCOMPARE(last, end);
    }

    void cards_openTheirTabs()
    {
        AppState appState;
        DashboardView view(&appState, appState.dashboardVM());
        view.resize(1000, 720);
        view.show();
        const QList<TabNavigation::Case> tabs = {TabNavigation::largeFiles, TabNavigation::junk,
                                                 TabNavigation::homebrew, TabNavigation::runtimes};
        for (int i = 0; i < tabs.size(); ++i) {
            QTest::mouseClick(view.card(i)->button(), Qt::LeftButton);
            QCOMPARE(appState.selectedTab(), TabNavigation(tabs.at(i)));
        }
        // Nothing to free before a duplicate is found: no recommendation to free it.
        QVERIFY(view.duplicatesCard()->isHidden());
        for (const char *name : {"/a.bin", "/b.bin"}) {
            QFile copy(m_env->home() + name);
            QVERIFY(copy.open(QIODevice::WriteOnly));
            copy.write(QByteArray(3 << 20, 'd'));
        }
        appState.duplicatesVM()->scanDuplicates(&appState);
        appState.duplicatesVM()->waitForTasks();
        QTRY_VERIFY(!view.duplicatesCard()->isHidden());
        QTest::mouseClick(view.duplicatesCard()->button(), Qt::LeftButton);
        QCOMPARE(appState.selectedTab(), TabNavigation(TabNavigation::duplicates));
        QCOMPARE(view.card(2)->button()->text(), QString("Review")); // "Scanning..."
        QVERIFY(!view.outdatedCard()->isVisible());
        appState.dashboardVM()->waitForTasks();
        QTRY_VERIFY(!appState.dashboardVM()->isFetching());
        Theme theme;
        for (Theme::Appearance appearance : {Theme::Light, Theme::Dark}) {
            theme.apply(appearance);
            QApplication::processEvents();
            view.grab().save(
                QCoreApplication::applicationDirPath() +
                (appearance == Theme::Dark ? "/dashboard-dark.png" : "/dashboard-light.png"));
        }
        theme.apply(Theme::System);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestDashboardView)
#include "tst_DashboardView.moc"
