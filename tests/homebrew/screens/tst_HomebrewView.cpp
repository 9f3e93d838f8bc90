#include "app/AppState.h"
#include "app/screens/MainWindow.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/Theme.h"
#include "homebrew/Brew.h"
#include "homebrew/BrewAnswers.h"
#include "homebrew/HomebrewViewModel.h"
#include "homebrew/screens/HomebrewExtras.h"
#include "homebrew/screens/HomebrewSettingsView.h"
#include "homebrew/screens/HomebrewView.h"
#include "platform/PlatformTexts.h"
#include "platform/Preferences.h"

#include "support/FakeBrew.h"
#include "support/KeyboardWalk.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// A picture for a person to look at, next to the test binary.
void saveShot(QWidget &widget, const QString &name)
{
    const QPixmap shot = widget.grab();
    QVERIFY(!shot.isNull());
    shot.save(QCoreApplication::applicationDirPath() + "/" + name + ".png");
}

int countCalls(const FakeBrew &brew, const QStringList &arguments)
{
    int n = 0;
    for (const FakeBrew::Call &call : brew.calls())
        n += call.arguments == arguments;
    return n;
}

} // namespace

class TestHomebrewView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_brew = std::make_unique<FakeBrew>(m_env->filePath("brew"));
        QDir().mkpath(m_brew->prefix() + "/Cellar/wget/1.2");
        m_env->editLocations([this](Locations &loc) { loc.brewCandidates = {m_brew->path()}; });
        m_brew->answer("outdated", outdatedJson);
        m_brew->answer("installed", installedJson);
        Dialogs::resetSeams();
        m_appState = std::make_unique<AppState>();
    }
    void cleanup()
    {
        m_appState.reset();
        m_brew.reset();
        m_env.reset();
    }

    void sheet_closingRescansOnce_data()
    {
        QTest::addColumn<int>("exitCode");
        QTest::newRow("success") << 0;
        QTest::newRow("failure") << 5;
    }
    void sheet_closingRescansOnce()
    {
        QFETCH(int, exitCode);
        HomebrewViewModel *model = m_appState->homebrewVM();
        HomebrewView view(m_appState.get(), model);
        QSignalSpy published(model, &HomebrewViewModel::packagesChanged);
        view.resize(1000, 640);
        view.show();
        QVERIFY(published.wait(10000)); // shown empty: scans once
        view.selectPackage("wget", false);
        QVERIFY(view.selectedPackage());

        m_brew->answer("other", "did it\n", exitCode);
        m_brew->clearCalls();
        model->stream("Doing it…", {"other", "it's"});
        QVERIFY(view.sheet());
        QSignalSpy finished(view.sheet(), &TerminalSheetView::runFinished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(view.sheet()->exitStatus(), std::optional<int>(exitCode));
        if (exitCode == 0)
            saveShot(*view.sheet(), "homebrew-sheet");
        QTest::mouseClick(view.sheet()->doneButton(), Qt::LeftButton);
        QVERIFY(!model->activeStreamCommand());
        QTRY_VERIFY(!view.sheet());
        QVERIFY(published.wait(10000));
        QTest::qWait(100);
        QCOMPARE(countCalls(*m_brew, {"--version"}), 1);
        // The change itself may update brew; only reads are kept from doing so.
        QCOMPARE(m_brew->calls().first().arguments, QStringList({"other", "it's"}));
        QCOMPARE(m_brew->calls().first().noAutoUpdate, QString());
        QCOMPARE(view.selectedPackage()->name, QString("wget")); // kept across the rescan
    }

    void quit_asksWhileSheetRuns()
    {
        Preferences::setValue(PrefKey::autoScanOnLaunch, false);
        MainWindow window(m_appState.get());
        window.show();
        auto *sheet = new TerminalSheetView("Upgrading…", "sleep 20", {}, &window);
        sheet->open();
        QTRY_VERIFY(sheet->isRunning() && TerminalSheetView::anyRunning());

        Dialogs::pushConfirmAnswer(false);
        QVERIFY(!window.close());
        QCOMPARE(Dialogs::lastConfirmation()->title, QString("Quit while brew is running?"));
        QTest::qWait(50);
        QVERIFY(window.isVisible());
        QVERIFY(sheet->isRunning());

        Dialogs::pushConfirmAnswer(true);
        window.close();
        QVERIFY(!sheet->isRunning()); // stopped, not left behind
        QTRY_VERIFY(!window.isVisible());
    }

    void screen_drawsInBothThemes()
    {
        HomebrewViewModel *model = m_appState->homebrewVM();
        HomebrewView view(m_appState.get(), model);
        QSignalSpy published(model, &HomebrewViewModel::packagesChanged);
        view.resize(1100, 640);
        view.show();
        QVERIFY(published.wait(10000));
        view.selectPackage("libidn2", false);
        // "Used by" also finds a dependency written with its tap.
        QLabel *usedBy = view.detailPanel()->findChild<QLabel *>("usedByList");
        QVERIFY(usedBy);
        QCOMPARE(usedBy->text(), QString("wget"));
        // Named for a screen reader, reached by Tab; Delete asks to uninstall the package.
        QVERIFY(QTest::qWaitForWindowActive(&view));
        const QStringList faults =
            keyboardFaults(&view, view.findChild<QWidget *>("section_installed"));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        Dialogs::pushConfirmAnswer(false);
        QTest::keyClick(view.packageList(), Qt::Key_Delete);
        QCOMPARE(Dialogs::lastConfirmation()->title, QStringLiteral("Uninstall Package?"));
        Theme theme;
        for (Theme::Appearance appearance : {Theme::Light, Theme::Dark}) {
            theme.apply(appearance);
            QApplication::processEvents();
            view.selectPackage("wget", false);
            QApplication::processEvents();
            saveShot(view, appearance == Theme::Dark ? "homebrew-dark" : "homebrew-light");
        }
        theme.apply(Theme::System);

        m_brew->answer("version", "", 1);
        QSignalSpy gone(model, &HomebrewViewModel::isBrewInstalledChanged);
        model->scanHomebrew(m_appState.get());
        QVERIFY(gone.wait(10000));
        QVERIFY(!view.findChild<QWidget *>("sectionPicker")->isVisible());
        saveShot(view, "homebrew-missing");
    }

    void discover_marksInstalledByKind()
    {
        HomebrewViewModel *model = m_appState->homebrewVM();
        QSignalSpy published(model, &HomebrewViewModel::packagesChanged);
        model->scanHomebrew(m_appState.get());
        QVERIFY(published.wait(10000));
        BrewDiscoverView discover(model);
        m_brew->answer("search--formula",
                       "==> Formulae\nwget\nwget2\nWarning: a notice here\n\n  \n");
        m_brew->answer("search--cask", "docker\nwget\n");
        m_brew->clearCalls();

        discover.setQuery("-v");
        discover.search();
        QVERIFY(!discover.isSearching());
        discover.setQuery(" \t wget\t");
        QSignalSpy searched(&discover, &BrewDiscoverView::searchFinished);
        discover.search();
        QVERIFY(searched.wait(10000));
        QCOMPARE(countCalls(*m_brew, {"search", "--formula", "wget"}), 1);
        QCOMPARE(m_brew->calls().size(), 2); // "-v" ran nothing
        QCOMPARE(discover.formulae(), QStringList({"wget", "wget2"}));
        QCOMPARE(discover.casks(), QStringList({"docker", "wget"}));
        QVERIFY(discover.isInstalled("wget", false));
        QVERIFY(!discover.isInstalled("wget", true));
        QVERIFY(discover.isInstalled("docker", true));

        m_brew->answer("info", "", 1, "Error: No available cask with the name \"wget\".\n");
        QSignalSpy info(&discover, &BrewDiscoverView::infoChanged);
        discover.setChosen("cask:wget");
        QVERIFY(info.wait(10000));
        QVERIFY(discover.info().startsWith("Error: No available cask"));
        discover.resize(900, 560);
        discover.show();
        QApplication::processEvents();
        saveShot(discover, "homebrew-discover");
        QCOMPARE(m_brew->calls().last().arguments, QStringList({"info", "--cask", "wget"}));
    }

    void discover_parsesChoices_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("cask");
        QTest::newRow("formula") << "formula:wget" << true << "wget" << false;
        QTest::newRow("cask") << "cask:docker" << true << "docker" << true;
        QTest::newRow("colon in name") << "formula:a:b" << true << "a:b" << false;
        QTest::newRow("no colon") << "wget" << false << "" << false;
    }
    void discover_parsesChoices()
    {
        QFETCH(QString, chosen);
        QFETCH(bool, valid);
        QFETCH(QString, name);
        QFETCH(bool, cask);
        const auto parsed = BrewDiscoverView::parse(chosen);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QCOMPARE(parsed->first, name);
            QCOMPARE(parsed->second, cask);
        }
    }

    void taps_addTrimsAndReloadsAfterTheCommand()
    {
        HomebrewViewModel *model = m_appState->homebrewVM();
        m_brew->answer("tap", "homebrew/core\nacme/tools\n");
        BrewTapsView taps(model);
        QSignalSpy loaded(&taps, &BrewTapsView::loaded);
        QVERIFY(loaded.wait(10000));
        QCOMPARE(taps.taps(), QStringList({"homebrew/core", "acme/tools"}));

        taps.setNewTap("acme");
        QVERIFY(!taps.addButton()->isEnabled());
        taps.setNewTap("  acme/more \t");
        QVERIFY(taps.addButton()->isEnabled());
        QTest::mouseClick(taps.addButton(), Qt::LeftButton);
        QVERIFY(model->activeStreamCommand()->endsWith("'tap' 'acme/more'"));
        QCOMPARE(*model->activeStreamTitle(), QString("Adding acme/more…"));
        QVERIFY(taps.newTap().isEmpty());
        QTest::qWait(300);
        QCOMPARE(loaded.size(), 1); // not while the command runs
        model->clearStream();
        QVERIFY(loaded.wait(10000));

        Dialogs::pushConfirmAnswer(true);
        taps.remove("acme/tools");
        QCOMPARE(Dialogs::lastConfirmation()->title, QString("Remove acme/tools?"));
        QVERIFY(model->activeStreamCommand()->endsWith("'untap' 'acme/tools'"));
    }

    void services_parseAndOfferActions()
    {
        const QList<BrewServicesView::Service> services = BrewServicesView::parse(servicesJson);
        QCOMPARE(services.size(), 3);
        QCOMPARE(services.at(1).status, QString("none"));
        QCOMPARE(services.at(2).name, QString("?"));
        QCOMPARE(BrewServicesView::actions(services.at(0)), QStringList({"Restart", "Stop"}));
        QCOMPARE(BrewServicesView::actions(services.at(1)), QStringList({"Start"}));
        QVERIFY(BrewServicesView::parse(QByteArray("{\"name\":\"x\"}")).isEmpty());

        m_brew->answer("services", oneServiceJson);
        BrewServicesView view(m_appState->homebrewVM());
        QSignalSpy loaded(&view, &BrewServicesView::loaded);
        QVERIFY(loaded.wait(10000));
        view.resize(700, 300);
        view.show();
        saveShot(view, "homebrew-services");
        auto *start = view.findChild<QPushButton *>("serviceStart");
        QVERIFY(start);
        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(m_appState->homebrewVM()->activeStreamCommand()->endsWith(
            "'services' 'start' 'redis'"));
    }

    void settings_detectsVersionAndExplains_data()
    {
        QTest::addColumn<int>("versionExit");
        QTest::addColumn<QString>("custom");
        QTest::addColumn<QString>("version");
        QTest::addColumn<bool>("refusedNote");
        QTest::newRow("found") << 0 << ""
                               << "4.3.1" << false;
        QTest::newRow("failing") << 1 << ""
                                 << "Not found" << false;
        QTest::newRow("custom not runnable") << 0 << "/nowhere/brew"
                                             << "4.3.1" << true;
    }
    void settings_detectsVersionAndExplains()
    {
        QFETCH(int, versionExit);
        QFETCH(QString, custom);
        QFETCH(QString, version);
        QFETCH(bool, refusedNote);
        if (versionExit != 0)
            m_brew->answer("version", "", versionExit);
        Preferences::setValue(Brew::customPathKey, custom);
        m_brew->delay("version", 0.3);
        HomebrewSettingsView pane;
        QSignalSpy detected(&pane, &HomebrewSettingsView::versionDetected);
        QCOMPARE(pane.versionText(), QString("…")); // the answer is not awaited
        QVERIFY(detected.wait(10000));
        QCOMPARE(pane.versionText(), version);
        QCOMPARE(pane.brewPathText(), m_brew->path());
        QCOMPARE(pane.prefixText(), m_brew->prefix());
        QCOMPARE(pane.noteText(),
                 refusedNote ? QString("That isn't a runnable file, so Quillmar is detecting brew "
                                       "automatically.")
                             : PlatformTexts::text("Leave empty to use /opt/homebrew (Apple "
                                                   "silicon) or /usr/local (Intel). Takes effect "
                                                   "on the next Homebrew scan."));
        if (!refusedNote && versionExit == 0) {
            QVERIFY(pane.noteText().contains("linuxbrew"));
            pane.resize(560, 440);
            saveShot(pane, "homebrew-settings");
        }
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeBrew> m_brew;
    std::unique_ptr<AppState> m_appState;
};

QTEST_MAIN(TestHomebrewView)
#include "tst_HomebrewView.moc"
