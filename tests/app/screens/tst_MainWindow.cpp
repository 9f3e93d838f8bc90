#include "app/AppState.h"
#include "app/screens/AboutSettingsView.h"
#include "app/screens/FullDiskAccessBanner.h"
#include "app/screens/FullDiskAccessRequestView.h"
#include "app/screens/MainContentView.h"
#include "app/screens/MainWindow.h"
#include "app/screens/ProgressBannerView.h"
#include "app/screens/SettingsView.h"
#include "app/screens/SidebarLabel.h"
#include "app/screens/SidebarView.h"
#include "app/screens/TabCounts.h"
#include "app/widgets/ActivityIndicator.h"
#include "app/widgets/DeleteSelectedButton.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/Theme.h"
#include "applications/screens/ApplicationsView.h"
#include "cleaning/DeepCleanViewModel.h"
#include "exec/RecentlyRemovedViewModel.h"
#include "exec/SafetyHelper.h"
#include "exec/ScanProgress.h"
#include "exec/screens/RecentlyRemovedSheet.h"
#include "exec/screens/UndoNotice.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/screens/DuplicatesView.h"
#include "finders/screens/GenericFileListView.h"
#include "platform/RemovalHub.h"
#include "platform/desktop/AppInfo.h"
#include "storage/screens/StorageColumn.h"
#include "storage/screens/StorageView.h"

#include "platform/FileIdentity.h"
#include "platform/FileProperties.h"
#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"
#include "platform/SystemLog.h"
#include "update/Updater.h"

#include <QAccessible>
#include <QApplication>
#include <QRegularExpression>
#include <QTabWidget>
#include <cmath>

#include "support/KeyboardWalk.h"
#include "support/TestEnvironment.h"
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <QTest>
#include <QToolButton>
#include <QTreeView>

namespace {

// A picture of the widget for a person to look at, next to the test binary when that
// folder is writable.
void saveShot(QWidget &widget, const QString &path)
{
    const QPixmap shot = widget.grab();
    QVERIFY(!shot.isNull());
    shot.save(path);
}
struct StubCounts : TabCounts {
    QHash<int, int> counts;
    int count(TabNavigation tab) const override
    {
        return counts.value(int(TabNavigation::Case(tab)));
    }
};
// Whether some pixel is within a small distance of `color` (text drawn in it).
bool hasPixelNear(const QImage &image, const QColor &color)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - color.red()) + qAbs(c.green() - color.green()) +
                    qAbs(c.blue() - color.blue()) <
                40)
                return true;
        }
    }
    return false;
}

// `top` (with its alpha) laid over an opaque `bottom`.
QColor over(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + bottom.redF() * (1 - a),
                            top.greenF() * a + bottom.greenF() * (1 - a),
                            top.blueF() * a + bottom.blueF() * (1 - a));
}

// The contrast ratio of two colours as accessibility guidelines define it (1 to 21).
double contrast(const QColor &a, const QColor &b)
{
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        Preferences::registerDefaults();
        // The tab models' real scans would report through the banner the tests read.
        Preferences::setValue(PrefKey::autoScanOnLaunch, false);
        Dialogs::resetSeams();
    }

    void cleanup() { m_env.reset(); }

    void initialFrameIsCentredThreeQuartersByFourFifths_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("frame");
        QTest::newRow("origin") << QRect(0, 0, 1600, 1000) << QRect(200, 100, 1200, 800);
        QTest::newRow("menu bar and dock") << QRect(0, 25, 1440, 875) << QRect(180, 112, 1080, 700);
        QTest::newRow("second screen")
            << QRect(1920, 0, 2560, 1440) << QRect(2240, 144, 1920, 1152);
    }

    void initialFrameIsCentredThreeQuartersByFourFifths()
    {
        QFETCH(QRect, area);
        QFETCH(QRect, frame);
        QCOMPARE(MainWindow::initialFrame(area), frame);
    }

    void sidebarHasFourSectionsAndBadges()
    {
        AppState state;
        MainWindow window(&state);
        QCOMPARE(window.sidebar()->sectionTitles(),
                 QStringList({"OVERVIEW", "DEVELOPER TOOLS", "CLEANING TOOLS", "ADVANCED"}));
        // Rows follow their section headers, in the sidebar's own order.
        QList<TabNavigation> order;
        for (const auto &section : SidebarView::sections())
            order += section.second;
        for (int i = 1; i < order.size(); ++i)
            QVERIFY(window.sidebar()->rowOf(order.at(i - 1)) <
                    window.sidebar()->rowOf(order.at(i)));
        QCOMPARE(order.size(), TabNavigation::allCases().size());
        QVERIFY(window.sidebar()->findChild<QLabel *>(QStringLiteral("proBadge")));
        const QList<QLabel *> beta =
            window.sidebar()->findChildren<QLabel *>(QStringLiteral("betaBadge"));
        QCOMPARE(beta.size(), 1);
        QCOMPARE(beta.first()->text(), QStringLiteral("BETA"));
        QVERIFY(window.sidebar()->label(TabNavigation::docker)->isAncestorOf(beta.first()));
    }

    void sidebarSelectionStoresTabAndClearsSearch()
    {
        Preferences::setValue(PrefKey::selectedTab, QStringLiteral("storage"));
        AppState state;
        MainWindow window(&state);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.sidebar()->currentRow(), window.sidebar()->rowOf(TabNavigation::storage));

        QTest::keyClicks(window.searchField(), QStringLiteral("cache"));
        QCOMPARE(state.globalSearchText(), QStringLiteral("cache"));

        SidebarView *sidebar = window.sidebar();
        QListWidgetItem *junkItem = sidebar->item(sidebar->rowOf(TabNavigation::junk));
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->visualItemRect(junkItem).center());
        QCOMPARE(state.selectedTab(), TabNavigation(TabNavigation::junk));
        QCOMPARE(Preferences::stringValue(PrefKey::selectedTab, QString()), QStringLiteral("junk"));
        QCOMPARE(state.globalSearchText(), QString());
        QCOMPARE(window.searchField()->text(), QString());
        QCOMPARE(window.content()->currentWidget(), window.content()->screen(TabNavigation::junk));

        // A section header is not a tab: clicking it changes nothing.
        QListWidgetItem *header = sidebar->item(0);
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->visualItemRect(header).center());
        QCOMPARE(state.selectedTab(), TabNavigation(TabNavigation::junk));

        // The state object selecting a tab moves the sidebar too.
        state.setSelectedTab(TabNavigation::installers);
        QCOMPARE(sidebar->currentRow(), sidebar->rowOf(TabNavigation::installers));
    }

    void junkRowShowsCountOrSpinner()
    {
        AppState state;
        MainWindow window(&state);
        auto counts = std::make_unique<StubCounts>();
        StubCounts *stub = counts.get();
        stub->counts.insert(TabNavigation::junk, 6);
        window.sidebar()->setCounts(std::move(counts));
        window.show();
        SidebarLabel *junk = window.sidebar()->label(TabNavigation::junk);
        SidebarLabel *docker = window.sidebar()->label(TabNavigation::docker);

        QCOMPARE(junk->badgeText(), QStringLiteral("6"));
        QVERIFY(!junk->showsSpinner());
        QCOMPARE(docker->badgeText(), QString());
        QVERIFY(!docker->showsSpinner());

        state.setScanProgress(true, QStringLiteral("Scanning caches..."), 0);
        QTRY_VERIFY(state.isScanning());
        QCOMPARE(junk->badgeText(), QStringLiteral("6"));
        QVERIFY(!junk->showsSpinner());
        QVERIFY(docker->showsSpinner());
        QVERIFY(window.sidebar()->label(TabNavigation::dashboard)->showsSpinner());

        // A count arriving while the scan runs replaces the spinner with the capsule.
        stub->counts.insert(TabNavigation::docker, 1);
        window.sidebar()->refresh();
        QVERIFY(!docker->showsSpinner());
        QCOMPARE(docker->badgeText(), QStringLiteral("1"));

        state.setScanProgress(false, QString(), 0);
        QTRY_VERIFY(!state.isScanning());
        QVERIFY(!window.sidebar()->label(TabNavigation::dashboard)->showsSpinner());
    }

    void sidebarRowSwitchesWithoutShowingWidgets_data()
    {
        QTest::addColumn<bool>("scanningBefore");
        QTest::addColumn<int>("countBefore");
        QTest::addColumn<bool>("scanning");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("badge");
        QTest::newRow("spinner to capsule") << true << 0 << true << 3 << "3";
        QTest::newRow("capsule to spinner") << false << 5 << true << 0 << "";
        QTest::newRow("spinner to nothing") << true << 0 << false << 0 << "";
        QTest::newRow("nothing to capsule") << false << 0 << false << 12 << "12";
    }

    // On X11 every widget shown over a window the pointer is in costs a round trip to
    // the server; a busy server held the window for up to 180 ms per row at launch.
    void sidebarRowSwitchesWithoutShowingWidgets()
    {
        QFETCH(bool, scanningBefore);
        QFETCH(int, countBefore);
        QFETCH(bool, scanning);
        QFETCH(int, count);
        QFETCH(QString, badge);
        QWidget host;
        auto *row = new SidebarLabel(TabNavigation::junk, &host);
        row->update(scanningBefore, countBefore);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        struct ShowHideCounter : QObject {
            int events = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                events += e->type() == QEvent::Show || e->type() == QEvent::Hide;
                return false;
            }
        } counter;
        for (QWidget *w : row->findChildren<QWidget *>())
            w->installEventFilter(&counter);
        row->update(scanning, count);
        QApplication::processEvents();

        QCOMPARE(counter.events, 0);
        const bool spins = scanning && count == 0;
        QCOMPARE(row->showsSpinner(), spins);
        QCOMPARE(row->findChild<ActivityIndicator *>()->isAnimating(), spins);
        QCOMPARE(row->badgeText(), badge);
        // An empty capsule takes no room beside the spinner's.
        QCOMPARE(row->countBadge()->sizeHint().width() > 12, !badge.isEmpty());
    }

    void gateWaitingThenWithoutAccessThenGranted()
    {
        bool granted = false;
        FullDiskAccess::setProbe([&granted] { return granted; });
        AppState state;
        QSignalSpy scans(&state, &AppState::loadAllTabsStarted);
        MainWindow window(&state);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // Waiting: the request screen, no banner, the timer polls, nothing scans.
        QVERIFY(state.isPollingForAccess());
        QVERIFY(!window.showsTabs());
        QVERIFY(window.accessRequest()->isVisible());
        QVERIFY(!window.accessBanner()->isVisible());
        QVERIFY(window.sidebar()->isEnabled());
        QCOMPARE(scans.count(), 0);

        // "Rescan All" does nothing while scanning is not allowed.
        QTest::mouseClick(window.rescanButton(), Qt::LeftButton);
        QCOMPARE(scans.count(), 0);

        saveShot(window, QDir::current().filePath(QStringLiteral("gate-request.png")));
        auto *skip = window.accessRequest()->findChild<QPushButton *>(
            QStringLiteral("continueWithoutAccess"));
        QVERIFY(skip);
        QCOMPARE(skip->text(), QStringLiteral("Continue without Full Disk Access"));
        QTest::mouseClick(skip, Qt::LeftButton);

        // Without access: banner and tabs, still polling, the gate itself scans nothing.
        QVERIFY(window.showsTabs());
        QVERIFY(window.accessBanner()->isVisible());
        QVERIFY(state.isPollingForAccess());
        QCOMPARE(scans.count(), 0);

        saveShot(window, QDir::current().filePath(QStringLiteral("gate-banner.png")));
        // "Check Again" while access is still missing changes nothing visible.
        auto *check = window.accessBanner()->findChild<QPushButton *>(QStringLiteral("checkAgain"));
        QTest::mouseClick(check, Qt::LeftButton);
        QVERIFY(window.accessBanner()->isVisible());
        QCOMPARE(scans.count(), 0);

        // The 2-second poll notices the grant: banner gone, a full scan, no timer.
        granted = true;
        QTRY_VERIFY_WITH_TIMEOUT(state.hasFullDiskAccess(), 5000);
        QVERIFY(!state.isPollingForAccess());
        QCOMPARE(scans.count(), 1);
        QVERIFY(!window.accessBanner()->isVisible());
        QVERIFY(window.showsTabs());

        // Now "Rescan All" scans.
        QTest::mouseClick(window.rescanButton(), Qt::LeftButton);
        QCOMPARE(scans.count(), 2);
    }

    void grantedAtLaunchNeedsNoTimer()
    {
        AppState state;
        MainWindow window(&state);
        window.show();
        QVERIFY(!state.isPollingForAccess());
        QVERIFY(window.showsTabs());
        QVERIFY(!window.accessBanner()->isVisible());
    }

    void firstShowHonoursAutoScan_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("scans");
        QTest::newRow("absent: the registered default is on") << QVariant() << 1;
        QTest::newRow("on") << QVariant(true) << 1;
        QTest::newRow("off") << QVariant(false) << 0;
    }

    void firstShowHonoursAutoScan()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, scans);
        if (stored.isValid())
            Preferences::setValue(PrefKey::autoScanOnLaunch, stored);
        else
            Preferences::remove(PrefKey::autoScanOnLaunch);
        AppState state;
        QSignalSpy spy(&state, &AppState::loadAllTabsStarted);
        MainWindow window(&state);
        QSignalSpy frames(&window, &MainWindow::firstFrameShown);
        // The scans start once the first frame is on the screen, never before.
        connect(&state, &AppState::loadAllTabsStarted, this, [&] { QCOMPARE(frames.count(), 1); });
        window.show();
        QCOMPARE(spy.count(), 0);
        QTRY_COMPARE(frames.count(), 1);
        window.hide();
        window.show();
        QTest::qWait(50);
        QCOMPARE(spy.count(), scans);
        QCOMPARE(frames.count(), 1);
    }

    void progressBanner_data()
    {
        QTest::addColumn<double>("percentage");
        QTest::addColumn<bool>("bar");
        QTest::addColumn<QString>("text");
        QTest::newRow("0: spinner and message only") << 0.0 << false << QString();
        QTest::newRow("42.7 shows a bar and 42%") << 42.7 << true << QStringLiteral("42%");
        QTest::newRow("100") << 100.0 << true << QStringLiteral("100%");
    }

    void progressBanner()
    {
        QFETCH(double, percentage);
        QFETCH(bool, bar);
        QFETCH(QString, text);
        AppState state;
        MainWindow window(&state);
        window.show();
        QVERIFY(!window.progressBanner()->isVisible());
        state.setScanProgress(true, QStringLiteral("Scanning for files >50MB..."), percentage);
        QTRY_VERIFY(window.progressBanner()->isVisible());
        QCOMPARE(window.progressBanner()->message(), QStringLiteral("Scanning for files >50MB..."));
        QCOMPARE(window.progressBanner()->showsBar(), bar);
        QCOMPARE(window.progressBanner()->percentageText(), text);
        state.setScanProgress(false, QString(), 0);
        QTRY_VERIFY(!window.progressBanner()->isVisible());
    }

    // A scan that can be stopped shows "Stop", which stops that scan; a total still growing
    // shows a busy bar.
    void progressBannerStopsTheScanItShows()
    {
        AppState state;
        MainWindow window(&state);
        window.show();
        const CancelToken token;
        {
            ScanProgress progress(&state, "Measuring data", token);
            QTest::qWait(ScanProgress::frameMs + 4);
            progress.setCounted(3, 10, false);
            ProgressBannerView *banner = window.progressBanner();
            QTRY_COMPARE(banner->message(), QString("Measuring data · 3 of 10 folders"));
            QVERIFY(banner->stopButton()->isVisible());
            QCOMPARE(banner->stopButton()->accessibleName(), QString("Stop scan"));
            QVERIFY(banner->showsBar());
            QCOMPARE(banner->percentageText(), QString());
            QTest::mouseClick(banner->stopButton(), Qt::LeftButton);
            QVERIFY(token.isCancelled());
        }
        QTRY_VERIFY(!window.progressBanner()->isVisible());
    }

    // A switch measures the screen it shows, not the hidden ones: measuring them all
    // wrapped their texts again each time. Nor does a switch pull the window smaller.
    void aSwitchMeasuresOnlyTheScreenShown()
    {
        struct CountingLabel : QLabel {
            using QLabel::QLabel;
            mutable int asked = 0;
            int heightForWidth(int width) const override
            {
                ++asked;
                return QLabel::heightForWidth(width);
            }
        };
        AppState state;
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *content = new MainContentView(&state);
        layout->addWidget(content);
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        state.setSelectedTab(TabNavigation::junk);
        QWidget *hidden = content->screen(TabNavigation::junk);
        auto *probe = new CountingLabel(QStringLiteral("wwwwwww ").repeated(60));
        probe->setWordWrap(true);
        hidden->layout()->addWidget(probe);
        QCoreApplication::processEvents();
        QVERIFY(probe->asked > 0); // measured while shown
        const QSize least = content->minimumSizeHint();
        for (TabNavigation tab : {TabNavigation::dashboard, TabNavigation::storage,
                                  TabNavigation::deepClean, TabNavigation::dashboard}) {
            state.setSelectedTab(TabNavigation::Case(tab));
            probe->asked = 0;
            probe->setText(probe->text() + " w"); // a hidden screen changes meanwhile
            QCoreApplication::processEvents();
            QTest::qWait(20);
            QCOMPARE(probe->asked, 0);
            QVERIFY(content->minimumSizeHint().width() >= least.width());
            QVERIFY(content->minimumSizeHint().height() >= least.height());
        }
    }

    // Each tab's own rescan runs that tab's scan alone, once.
    void tabRescanRunsOnlyItsOwnScan_data()
    {
        QTest::addColumn<int>("tab");
        for (TabNavigation tab :
             {TabNavigation::runtimes, TabNavigation::duplicates, TabNavigation::largeFiles,
              TabNavigation::installers, TabNavigation::deepClean})
            QTest::newRow(qPrintable(tab.rawValue())) << int(TabNavigation::Case(tab));
    }
    void tabRescanRunsOnlyItsOwnScan()
    {
        QFETCH(int, tab);
        AppState state;
        MainContentView content(&state);
        content.show();
        // How many lists each of these tabs published.
        QHash<int, int> published;
        const auto count = [&](TabNavigation t, auto *model, auto signal) {
            connect(model, signal, &content,
                    [&published, t] { ++published[int(TabNavigation::Case(t))]; });
        };
        count(TabNavigation::runtimes, state.runtimesVM(), &AdvancedToolsViewModel::itemsChanged);
        count(TabNavigation::duplicates, state.duplicatesVM(),
              &AdvancedToolsViewModel::itemsChanged);
        count(TabNavigation::largeFiles, state.largeFilesVM(),
              &AdvancedToolsViewModel::itemsChanged);
        count(TabNavigation::installers, state.installersVM(),
              &AdvancedToolsViewModel::itemsChanged);
        count(TabNavigation::deepClean, state.deepCleanVM(), &DeepCleanViewModel::targetsChanged);
        state.setSelectedTab(TabNavigation::Case(tab)); // its first showing scans
        QTRY_VERIFY_WITH_TIMEOUT(published.value(tab) == 1 && !state.isScanning(), 20000);
        auto *rescan =
            content.screen(TabNavigation::Case(tab))->findChild<QPushButton *>("tabRescan");
        QVERIFY(rescan && (rescan->focusPolicy() & Qt::TabFocus));
        QVERIFY(rescan->accessibleName().startsWith("Rescan "));
        rescan->click();
        QTRY_VERIFY_WITH_TIMEOUT(published.value(tab) == 2 && !state.isScanning(), 20000);
        QTest::qWait(100);
        QCOMPARE(published.value(tab), 2);
        QCOMPARE(published.size(), 1); // no other tab scanned
    }

    void deleteSelectedButton_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("none") << 0 << QStringLiteral("Delete Selected") << false;
        QTest::newRow("three") << 3 << QStringLiteral("Delete Selected (3)") << true;
    }

    void deleteSelectedButton()
    {
        QFETCH(int, count);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        int pressed = 0;
        DeleteSelectedButton button([&pressed] { ++pressed; });
        button.setCount(5);
        button.setCount(count);
        button.show();
        QCOMPARE(button.text(), text);
        QCOMPARE(button.isEnabled(), enabled);
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(pressed, enabled ? 1 : 0);
    }

    // Settings open on Ctrl+, where the platform has no key of its own for them (X11), and
    // Escape empties the search field.
    void windowKeys()
    {
        AppState state;
        MainWindow window(&state);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keyClick(&window, Qt::Key_Comma, Qt::ControlModifier);
        auto *settings = window.findChild<SettingsView *>();
        QVERIFY(settings && settings->isVisible());
        settings->close();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.searchField()->setFocus();
        QTest::keyClicks(window.searchField(), QStringLiteral("node"));
        QCOMPARE(state.globalSearchText(), QStringLiteral("node"));
        QTest::keyClick(window.searchField(), Qt::Key_Escape);
        QCOMPARE(state.globalSearchText(), QString());
    }

    void menusHaveTheCommandsWithoutShortcuts()
    {
        AppState state;
        MainWindow window(&state);
        QStringList appItems, helpItems;
        const QList<QAction *> menus = window.menuBar()->actions();
        QCOMPARE(menus.size(), 2);
        for (QAction *a : menus.at(0)->menu()->actions()) {
            if (!a->isSeparator())
                appItems << a->text();
            if (a->text() == QLatin1String("About Quillmar") ||
                a->text() == QLatin1String("Check for Updates..."))
                QVERIFY(a->shortcut().isEmpty());
        }
        for (QAction *a : menus.at(1)->menu()->actions()) {
            helpItems << a->text();
            QVERIFY(a->shortcut().isEmpty());
        }
        QCOMPARE(appItems.mid(0, 2), QStringList({"About Quillmar", "Check for Updates..."}));
        QCOMPARE(helpItems,
                 QStringList({"Quillmar Help / FAQ", "Privacy Policy", "Terms and Conditions"}));
        QCOMPARE(menus.at(1)->text(), QStringLiteral("Help"));
    }

    void toolbarAndSplitter()
    {
        AppState state;
        MainWindow window(&state);
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.searchField()->placeholderText(), QStringLiteral("Search..."));
        QCOMPARE(window.rescanButton()->text(), QStringLiteral("Rescan All"));
        QCOMPARE(window.rescanButton()->toolTip(), QStringLiteral("Rescan all system areas"));
        QCOMPARE(window.findChild<QToolButton *>(QStringLiteral("helpLink"))->toolTip(),
                 QStringLiteral("Help / FAQ"));
        QCOMPARE(window.findChild<QToolButton *>(QStringLiteral("feedbackLink"))->toolTip(),
                 QStringLiteral("Send Feedback"));
        QCOMPARE(window.sidebar()->width(), 240);
        QVERIFY(window.minimumSize() == QSize(1000, 700));
        // The search text set elsewhere shows in the field.
        state.setGlobalSearchText(QStringLiteral("node"));
        QCOMPARE(window.searchField()->text(), QStringLiteral("node"));

        const QString shot = QDir::current().filePath(QStringLiteral("mainwindow.png"));
        saveShot(window, shot);
    }

    void everyWidgetFollowsAThemeSwitch_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("light to dark") << int(Theme::Light) << int(Theme::Dark);
        QTest::newRow("dark to light") << int(Theme::Dark) << int(Theme::Light);
    }

    void everyWidgetFollowsAThemeSwitch()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        QVERIFY(QDir(m_env->home()).mkpath(QStringLiteral("folder/inner")));
        Preferences::setValue(PrefKey::storageMapRoot, m_env->home());
        Theme theme;
        theme.apply(Theme::Appearance(from));
        AppState state;
        state.setSelectedTab(TabNavigation::storage);
        MainWindow window(&state);
        window.resize(1200, 800);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *storage = window.findChild<StorageView *>();
        QVERIFY(storage);
        QTRY_VERIFY(!storage->columnViews().isEmpty() && storage->loadingText().isEmpty());
        AboutSettingsView about;
        about.show();

        // Switched the way the settings switch it.
        Preferences::setValue(PrefKey::themePreference, to);
        QCOMPARE(theme.current(), Theme::Appearance(to));
        QApplication::processEvents();
        const QPalette app = QApplication::palette();

        SidebarView *sidebar = window.sidebar();
        QCOMPARE(sidebar->palette().color(QPalette::Window), app.color(QPalette::Window));
        const QImage side = sidebar->viewport()->grab().toImage();
        QCOMPARE(side.pixelColor(10, side.height() - 5).rgb(), app.color(QPalette::Window).rgb());
        // An unselected row's title is drawn in the text colour.
        const QRect row =
            sidebar->visualItemRect(sidebar->item(sidebar->rowOf(TabNavigation::docker)));
        const QWidget *title = sidebar->label(TabNavigation::docker)->findChild<QLabel *>();
        QVERIFY(hasPixelNear(
            side.copy(QRect(row.topLeft() + title->geometry().topLeft(), title->size())),
            app.color(QPalette::WindowText)));

        StorageColumn *column = storage->columnViews().first();
        QCOMPARE(column->list()->palette().color(QPalette::Text), app.color(QPalette::Text));
        const QImage rows = column->list()->viewport()->grab().toImage();
        // The name, between the icon and the size.
        QVERIFY(hasPixelNear(rows.copy(column->rowRect(0).adjusted(28, 0, -120, -10)),
                             app.color(QPalette::Text)));

        auto *link = about.findChild<QPushButton *>();
        QVERIFY(link);
        QCOMPARE(link->palette().color(QPalette::ButtonText), app.color(QPalette::Link));
        theme.apply(Theme::System);
    }

    void sidebarBadgesStayReadable_data()
    {
        QTest::addColumn<int>("appearance");
        QTest::addColumn<bool>("selected");
        for (int appearance : {int(Theme::Light), int(Theme::Dark)}) {
            for (bool selected : {false, true}) {
                QTest::newRow(qPrintable(
                    QStringLiteral("%1 %2").arg(appearance == Theme::Light ? "light" : "dark",
                                                selected ? "selected" : "not selected")))
                    << appearance << selected;
            }
        }
    }

    void sidebarBadgesStayReadable()
    {
        QFETCH(int, appearance);
        QFETCH(bool, selected);
        Theme theme;
        theme.apply(Theme::Dark == appearance ? Theme::Light : Theme::Dark);
        AppState state;
        state.setSelectedTab(selected ? TabNavigation::docker : TabNavigation::dashboard);
        SidebarView sidebar(&state);
        auto counts = std::make_unique<StubCounts>();
        counts->counts.insert(int(TabNavigation::docker), 6);
        sidebar.setCounts(std::move(counts));
        sidebar.resize(240, 600);
        sidebar.show();
        theme.apply(Theme::Appearance(appearance)); // at run time, not at start
        QApplication::processEvents();
        const QPalette app = QApplication::palette();
        const QColor rowBack = app.color(selected ? QPalette::Highlight : QPalette::Window);
        SidebarLabel *docker = sidebar.label(TabNavigation::docker);
        QCOMPARE(docker->badgeText(), QStringLiteral("6"));
        for (QLabel *badge : {docker->countBadge(), docker->betaBadge()}) {
            const QPalette p = badge->palette();
            const double ratio =
                contrast(p.color(QPalette::WindowText), over(p.color(QPalette::Window), rowBack));
            QVERIFY2(ratio >= 4.5, qPrintable(badge->text() + QStringLiteral(": %1").arg(ratio)));
        }
        theme.apply(Theme::System);
    }

    // Every tab with something in its lists: each control the keyboard reaches is named for a
    // screen reader, the buttons drawn in rows included, Tab visits every control in reading
    // order, and Delete in the tab's list asks before anything goes.
    void everyTabByKeyboardAndScreenReader_data()
    {
        QTest::addColumn<int>("tab");
        // What a screen reader says of one thing there: a widget, a cell of its table
        // (row, column) or an item of its list (row, -1); a pattern.
        QTest::addColumn<QString>("widget");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("list"); // where Delete is pressed
        QTest::addColumn<QString>("asks");
        using T = TabNavigation;
        const QString trash = "Move to Trash?";
        for (T tab : {T::docker, T::runtimes, T::homebrew})
            QTest::newRow(qPrintable(tab.rawValue())) << int(T::Case(tab)) << "" << 0 << 0 << ""
                                                      << ""
                                                      << "";
        QTest::newRow("dashboard")
            << int(T::dashboard) << "metricAction" << -1 << -1 << "^Manage Disk Used$"
            << ""
            << "";
        QTest::newRow("storage") << int(T::storage) << "storageBlockMap" << 0 << -1
                                 << ", [0-9.]+ [KMG]?B$"
                                 << "columnList" << trash;
        QTest::newRow("applications")
            << int(T::applications) << "applicationsTable" << 0
            << int(ApplicationsView::ActionsColumn) << "^Uninstall Krita.AppImage$"
            << "applicationsTable"
            << "Are you sure?";
        QTest::newRow("deepClean")
            << int(T::deepClean) << "deepCleanTable" << 0 << 0 << "/proj/node_modules$"
            << "deepCleanTable" << trash;
        QTest::newRow("junk") << int(T::junk) << "junkTable" << 0 << 0 << "."
                              << "junkTable"
                              << "Final Confirmation";
        QTest::newRow("duplicates") << int(T::duplicates) << "copiesTable" << 0
                                    << int(DuplicatesView::ActionColumn) << "^Delete copy.bin$"
                                    << "copiesTable" << trash;
        QTest::newRow("largeFiles")
            << int(T::largeFiles) << "sidebar" << 13 << 0 << "^Large Files, 1 item$"
            << "fileTable" << trash;
        QTest::newRow("installers") << int(T::installers) << "fileTable" << 0
                                    << int(GenericFileListView::ActionsColumn) << "^Delete big.iso$"
                                    << "fileTable" << trash;
    }

    void everyTabByKeyboardAndScreenReader()
    {
        QFETCH(int, tab);
        QFETCH(QString, widget);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, said);
        QFETCH(QString, list);
        QFETCH(QString, asks);
        const QString home = m_env->home();
        for (const auto &[name, size] : {std::pair{"Downloads/Krita.AppImage", 4096},
                                         {"a/copy.bin", 3 << 20},
                                         {"b/copy.bin", 3 << 20},
                                         {"proj/node_modules/x/index.js", 4096},
                                         {".cache/app/blob", 1 << 20},
                                         {"Downloads/big.iso", 0}}) {
            QFile file(home + '/' + name);
            QVERIFY(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
            QVERIFY(size ? file.write(QByteArray(size, 'd')) == size : file.resize(60 << 20));
        }
        Preferences::setValue(PrefKey::storageMapRoot, home);
        m_env->editLocations([](Locations &loc) { loc.installersFindExpression.clear(); });
        AppState state;
        state.setSelectedTab(TabNavigation(TabNavigation::Case(tab)));
        MainWindow window(&state);
        window.resize(1280, 860);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_VERIFY_WITH_TIMEOUT(!state.isScanning(), 30000);
        QTest::qWait(300); // a scan that starts when another ends
        QTRY_VERIFY_WITH_TIMEOUT(!state.isScanning(), 30000);
        const QStringList faults =
            keyboardFaults(window.content()->screen(TabNavigation(TabNavigation::Case(tab))),
                           window.searchField());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        if (widget.isEmpty())
            return;
        QAccessibleInterface *iface =
            QAccessible::queryAccessibleInterface(window.findChild<QWidget *>(widget));
        if (row >= 0)
            iface = column >= 0 ? iface->tableInterface()->cellAt(row, column) : iface->child(row);
        const QString name = iface->text(QAccessible::Name);
        QVERIFY2(QRegularExpression(said).match(name).hasMatch(), qPrintable(name));
        if (list.isEmpty())
            return;
        auto *focused = window.findChild<QWidget *>(list);
        focused->setFocus(Qt::TabFocusReason);
        if (tab == TabNavigation::storage) {
            QTest::keyClick(focused, Qt::Key_Down);
            QTRY_VERIFY(window.findChild<QWidget *>("moveToTrash")->isEnabled());
        }
        Dialogs::pushConfirmAnswer(false);
        QTest::keyClick(focused, Qt::Key_Delete);
        QTRY_VERIFY(Dialogs::lastConfirmation());
        QCOMPARE(Dialogs::lastConfirmation()->title, asks);
    }

    // After a removal: the notice's buttons and the Recently Removed sheet they open are
    // reached by Tab and named, and the sheet shows a name with a line feed on one line.
    void removalNoticeAndSheetByKeyboard()
    {
        const QByteArray path = nativePath(m_env->home()) + "/two\nlines";
        QFile file(QString::fromUtf8(path));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        AppState state;
        MainWindow window(&state);
        window.resize(1280, 860);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        {
            const RemovalHub::Batch batch(QStringLiteral("largeFiles"));
            const RemovalHub::Joined joined(batch);
            QVERIFY(SafetyHelper::moveNativeToTrash(path, *FileIdentity::read(path)).ok);
        }
        UndoNotice *notice = window.undoNotice();
        QTRY_VERIFY(notice->isVisible());
        QStringList faults = keyboardFaults(notice, window.searchField());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        // It waits for a keyboard user on it past its time.
        notice->undoButton()->setFocus(Qt::TabFocusReason);
        QTest::qWait(RecentlyRemovedViewModel::noticeSeconds * 1000 + 300);
        QVERIFY(notice->isVisible());

        QPushButton *list = notice->listButton();
        list->setFocus(Qt::TabFocusReason);
        QTest::keyClick(list, Qt::Key_Space);
        auto *sheet = window.findChild<RecentlyRemovedSheet *>();
        QTRY_VERIFY(sheet && sheet->isVisible() && sheet->list()->model()->rowCount() == 1);
        QVERIFY(QTest::qWaitForWindowActive(sheet));
        sheet->list()->setFocus(Qt::TabFocusReason);
        sheet->list()->setCurrentIndex(sheet->list()->model()->index(0, 0));
        QTest::keyClick(sheet->list(), Qt::Key_Right); // opens the removal's items
        const QModelIndex item = sheet->list()->model()->index(0, 0, sheet->list()->currentIndex());
        QCOMPARE(item.data().toString(), QStringLiteral("~/two\u23CElines"));
        faults = keyboardFaults(sheet, sheet->list());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }

    void platformWordsComeFromTheTable_data()
    {
        QTest::addColumn<int>("os");
        QTest::newRow("Linux") << int(Locations::Os::Linux);
        QTest::newRow("macOS") << int(Locations::Os::MacOS);
    }

    void platformWordsComeFromTheTable()
    {
        QFETCH(int, os);
        const bool mac = os == int(Locations::Os::MacOS);
        Locations loc = Locations::forOs(Locations::Os(os), m_env->home());
        Locations::setCurrent(loc);
        Preferences::setValue(PrefKey::storageMapRoot, m_env->home());
        AppState state;
        state.setSelectedTab(TabNavigation::storage);
        MainWindow window(&state);
        window.resize(1200, 800);
        window.show();
        SettingsView *settings = window.openSettings();
        for (int i = 0; i < settings->tabs()->count(); ++i)
            settings->tabs()->setCurrentIndex(i); // every pane built and shown
        // No network here: the dialog's check is refused at once by a closed local port.
        Updater::setBase(QStringLiteral("http://127.0.0.1:9"));
        window.openUpdateWindow();
        QStringList texts;
        for (QWidget *w : window.findChildren<QWidget *>()) {
            if (auto *label = qobject_cast<QLabel *>(w))
                texts << label->text();
            if (auto *button = qobject_cast<QAbstractButton *>(w))
                texts << button->text();
            texts << w->toolTip();
        }
        for (int row = 0; row < window.sidebar()->count(); ++row)
            texts << window.sidebar()->item(row)->toolTip();
        const QRegularExpression macWords(
            QStringLiteral("\\b(Mac|macOS|Finder)\\b|/Volumes|your Library|Leftover \\.dmg"));
        QVERIFY2(texts.filter(macWords).isEmpty() == !mac,
                 qPrintable(texts.filter(macWords).join(" / ")));
        QCOMPARE(texts.contains(QStringLiteral("Reveal in Finder")), mac);
        // The access settings button only where the system has such a grant.
        QCOMPARE(bool(window.findChild<QPushButton *>(QStringLiteral("openAccessSettings"))), mac);
        if (!mac)
            QVERIFY(texts.contains(QStringLiteral("Show in Folder")));
        Updater::resetSeams();
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
