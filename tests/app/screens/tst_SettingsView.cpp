#include "app/AppState.h"
#include "app/screens/GeneralSettingsView.h"
#include "app/screens/PrivacySettingsView.h"
#include "app/screens/SettingsView.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/Theme.h"
#include "platform/Exclusions.h"
#include "platform/FileProperties.h"
#include "platform/FullDiskAccess.h"
#include "platform/Locations.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/SystemLog.h"
#include "storage/screens/StorageSettingsView.h"

#include "support/KeyboardWalk.h"
#include "support/TestEnvironment.h"
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {
// A picture of the widget for a person to look at, next to the test binary when that
// folder is writable.
void saveShot(QWidget &widget, const QString &path)
{
    const QPixmap shot = widget.grab();
    QVERIFY(!shot.isNull());
    shot.save(path);
}
} // namespace

class TestSettingsView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        Preferences::registerDefaults();
        m_env->editLocations(
            [](Locations &loc) { loc.rootDisplayName = QStringLiteral("Test Disk"); });
        Dialogs::resetSeams();
    }

    void cleanup() { m_env.reset(); }

    void opensOnTheRememberedPane_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("title");
        QTest::newRow("nothing stored") << QVariant() << QStringLiteral("General");
        QTest::newRow("storage") << QVariant(QStringLiteral("storage"))
                                 << QStringLiteral("Storage Map");
        QTest::newRow("about") << QVariant(QStringLiteral("about")) << QStringLiteral("About");
        QTest::newRow("names no pane")
            << QVariant(QStringLiteral("settings")) << QStringLiteral("General");
    }

    void opensOnTheRememberedPane()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, title);
        if (stored.isValid())
            Preferences::setValue(PrefKey::settingsTab, stored);
        AppState state;
        SettingsView view(&state);
        QCOMPARE(view.tabs()->tabText(view.tabs()->currentIndex()), title);
    }

    void switchingPanesIsRemembered()
    {
        AppState state;
        SettingsView view(&state);
        QStringList titles;
        for (int i = 0; i < view.tabs()->count(); ++i)
            titles << view.tabs()->tabText(i);
        QCOMPARE(titles, QStringList({"General", "Privacy", "Storage Map", "Exclusions", "Homebrew",
                                      "Applications", "About"}));
        view.show();
        saveShot(view, QDir::current().filePath(QStringLiteral("settings-general.png")));
        view.tabs()->setCurrentIndex(1);
        QCOMPARE(Preferences::stringValue(PrefKey::settingsTab, QString()),
                 QStringLiteral("privacy"));
        saveShot(view, QDir::current().filePath(QStringLiteral("settings-privacy.png")));
        // The panes get at least 560 by 440, wider when the tab headers need it.
        QVERIFY(view.width() >= 560);
        QCOMPARE(view.tabs()->currentWidget()->size(), QSize(view.width(), 440));
    }

    void eachTabShowsItsOwnPaneUncovered_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("pane");
        QTest::newRow("general") << "General"
                                 << "GeneralSettingsView";
        QTest::newRow("privacy") << "Privacy"
                                 << "PrivacySettingsView";
        QTest::newRow("storage") << "Storage Map"
                                 << "StorageSettingsView";
        QTest::newRow("exclusions") << "Exclusions"
                                    << "ExclusionsSettingsView";
        QTest::newRow("homebrew") << "Homebrew"
                                  << "HomebrewSettingsView";
        QTest::newRow("applications") << "Applications"
                                      << "AppScanSettingsView";
        QTest::newRow("about") << "About"
                               << "AboutSettingsView";
    }

    void eachTabShowsItsOwnPaneUncovered()
    {
        QFETCH(QString, title);
        QFETCH(QString, pane);
        AppState state;
        SettingsView view(&state);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTabBar *bar = view.tabs()->tabBar();
        int index = -1;
        for (int i = 0; i < view.tabs()->count(); ++i) {
            // Every tab header takes a click: nothing is drawn over it.
            QCOMPARE(view.childAt(bar->mapTo(&view, bar->tabRect(i).center())), bar);
            if (view.tabs()->tabText(i) == title)
                index = i;
        }
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        QCOMPARE(view.tabs()->currentIndex(), index);
        QCOMPARE(view.tabs()->currentWidget()->metaObject()->className(), pane);
        for (QWidget *child : view.tabs()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QVERIFY2(child->isHidden() || child == bar ||
                         child == view.tabs()->currentWidget()->parentWidget(),
                     child->metaObject()->className());
        // Each control is named for a screen reader and reached by Tab in reading order.
        QVERIFY(QTest::qWaitForWindowActive(&view));
        const QStringList faults = keyboardFaults(view.tabs()->currentWidget(), bar);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    }

    // A kept name with a line feed shows on one line, as in every other list.
    void keptNamesShowOnOneLine()
    {
        QVERIFY(Exclusions::write(Exclusions::List::KeepList,
                                  {nativePath(m_env->home()) + "/two\nlines"})
                    .isEmpty());
        AppState state;
        SettingsView view(&state);
        auto *kept = view.findChild<QListWidget *>(QStringLiteral("keptPaths"));
        QTRY_COMPARE(kept->count(), 1);
        QCOMPARE(kept->item(0)->text(), QStringLiteral("~/two\u23CElines"));
    }

    void noPaneScrollsAtItsSize_data()
    {
        QTest::addColumn<int>("os");
        QTest::newRow("Linux") << int(Locations::Os::Linux);
        QTest::newRow("macOS") << int(Locations::Os::MacOS);
    }

    void noPaneScrollsAtItsSize()
    {
        QFETCH(int, os);
        m_env->editLocations([&](Locations &loc) {
            loc = Locations::forOs(Locations::Os(os), loc.home);
            loc.rootDisplayName = QStringLiteral("Test Disk");
        });
        AppState state;
        SettingsView view(&state);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < view.tabs()->count(); ++i) {
            view.tabs()->setCurrentIndex(i);
            QApplication::processEvents();
            if (auto *form = qobject_cast<QScrollArea *>(view.tabs()->widget(i)))
                QVERIFY2(form->verticalScrollBar()->maximum() == 0 &&
                             !form->verticalScrollBar()->isVisible(),
                         qPrintable(view.tabs()->tabText(i)));
        }
    }

    // Ctrl+Tab turns the pages wherever the focus is, the theme drop-down included.
    void ctrlTabTurnsPagesFromAnyControl_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("expected");
        QTest::newRow("Ctrl+Tab") << int(Qt::ControlModifier) << 1;
        QTest::newRow("Ctrl+Shift+Tab") << int(Qt::ControlModifier | Qt::ShiftModifier) << 6;
    }
    void ctrlTabTurnsPagesFromAnyControl()
    {
        QFETCH(int, modifiers);
        QFETCH(int, expected);
        AppState state;
        SettingsView view(&state);
        view.tabs()->setCurrentIndex(0);
        view.show();
        QApplication::setActiveWindow(&view);
        QVERIFY(QTest::qWaitForWindowActive(&view));
        auto *general = qobject_cast<GeneralSettingsView *>(view.tabs()->currentWidget());
        QVERIFY(general);
        general->themePicker()->setFocus();
        QTRY_VERIFY(general->themePicker()->hasFocus());
        const int key = modifiers & Qt::ShiftModifier ? Qt::Key_Backtab : Qt::Key_Tab;
        QTest::keyClick(general->themePicker(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(view.tabs()->currentIndex(), expected);
    }

    void themePickerSwitchesAtOnce()
    {
        Theme theme;
        const QString systemStyle = Theme::styleName();
        GeneralSettingsView pane;
        QCOMPARE(pane.themePicker()->currentText(), QStringLiteral("Match System"));
        pane.themePicker()->setCurrentIndex(2);
        QCOMPARE(Preferences::intValue(PrefKey::themePreference, -1), 2);
        QCOMPARE(theme.current(), Theme::Dark);
        QCOMPARE(Theme::styleName(), QStringLiteral("fusion"));
        QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() < 80);
        pane.themePicker()->setCurrentIndex(1);
        QCOMPARE(theme.current(), Theme::Light);
        QVERIFY(QApplication::palette().color(QPalette::Window).lightness() > 180);
        pane.themePicker()->setCurrentIndex(0);
        QCOMPARE(theme.current(), Theme::System);
        QCOMPARE(Theme::styleName(), systemStyle);
    }

    void unknownThemeValuesFollowTheSystem_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("appearance");
        QTest::newRow("0") << 0 << int(Theme::System);
        QTest::newRow("1") << 1 << int(Theme::Light);
        QTest::newRow("2") << 2 << int(Theme::Dark);
        QTest::newRow("3") << 3 << int(Theme::System);
        QTest::newRow("-1") << -1 << int(Theme::System);
    }

    void unknownThemeValuesFollowTheSystem()
    {
        QFETCH(int, value);
        QFETCH(int, appearance);
        QCOMPARE(int(Theme::fromPreference(value)), appearance);
    }

    void switchesWriteTheirKeys()
    {
        Preferences::setValue(PrefKey::checkForUpdatesAutomatically, QStringLiteral("yes"));
        GeneralSettingsView pane;
        // Absent, or not a boolean, reads as on.
        QVERIFY(pane.autoScanSwitch()->isChecked());
        QVERIFY(pane.updatesSwitch()->isChecked());
        QVERIFY(pane.watchTrashSwitch()->isChecked());
        pane.autoScanSwitch()->click();
        QCOMPARE(Preferences::boolValue(PrefKey::autoScanOnLaunch, true), false);
        pane.updatesSwitch()->click();
        QCOMPARE(Preferences::boolValue(PrefKey::checkForUpdatesAutomatically, true), false);
    }

    void trashSwitchPostsTheNotification()
    {
        GeneralSettingsView pane;
        QSignalSpy spy(NotificationCenter::instance(), &NotificationCenter::notified);
        pane.watchTrashSwitch()->click();
        QCOMPARE(Preferences::boolValue(PrefKey::watchTrashForApps, true), false);
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("watchTrashChanged"));
        pane.watchTrashSwitch()->click();
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(Preferences::boolValue(PrefKey::watchTrashForApps, false), true);
    }

    void privacyCheckAgainChangesOnlyThePane()
    {
        bool granted = false;
        FullDiskAccess::setProbe([&granted] { return granted; });
        AppState state;
        PrivacySettingsView pane(&state);
        QCOMPARE(pane.statusText(), QStringLiteral("Not granted"));
        granted = true;
        QTest::mouseClick(pane.findChild<QPushButton *>(QStringLiteral("privacyCheckAgain")),
                          Qt::LeftButton);
        QCOMPARE(pane.statusText(), QStringLiteral("Granted"));
        QVERIFY(!state.hasFullDiskAccess());
    }

    void storageStartFolderChoices()
    {
        const QString home = Locations::current().home;
        StorageSettingsView pane;
        QComboBox *picker = pane.locationPicker();
        QCOMPARE(picker->count(), 2);
        QCOMPARE(picker->itemText(0), QStringLiteral("Test Disk (whole disk)"));
        QCOMPARE(picker->itemText(1), QStringLiteral("Home Folder"));
        QCOMPARE(picker->currentIndex(), 0);

        // A picked folder below the home shows abbreviated, and is what is stored.
        Dialogs::pushFolderAnswer(home + QStringLiteral("/Projects"));
        QTest::mouseClick(pane.findChild<QPushButton *>(QStringLiteral("chooseStartFolder")),
                          Qt::LeftButton);
        QCOMPARE(Preferences::stringValue(PrefKey::storageMapRoot, QString()),
                 home + QStringLiteral("/Projects"));
        QCOMPARE(picker->count(), 3);
        QCOMPARE(picker->currentText(), QStringLiteral("~/Projects"));

        // Cancelling the picker keeps the stored folder.
        Dialogs::pushFolderAnswer(std::nullopt);
        QTest::mouseClick(pane.findChild<QPushButton *>(QStringLiteral("chooseStartFolder")),
                          Qt::LeftButton);
        QCOMPARE(Preferences::stringValue(PrefKey::storageMapRoot, QString()),
                 home + QStringLiteral("/Projects"));

        // Choosing the home folder drops the custom entry.
        picker->setCurrentIndex(1);
        emit picker->activated(1);
        QCOMPARE(Preferences::stringValue(PrefKey::storageMapRoot, QString()), home);
        StorageSettingsView again;
        QCOMPARE(again.locationPicker()->count(), 2);
        QCOMPARE(again.locationPicker()->currentText(), QStringLiteral("Home Folder"));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestSettingsView)
#include "tst_SettingsView.moc"
