#include "app/AppState.h"
#include "app/screens/MainWindow.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/TabHeader.h"
#include "app/widgets/Theme.h"
#include "applications/ApplicationsViewModel.h"
#include "applications/screens/AppScanSettingsView.h"
#include "applications/screens/ApplicationsView.h"
#include "applications/screens/LeftoversSheet.h"
#include "storage/StorageScanner.h"
#include "support/FakeTools.h"
#include "support/KeyboardWalk.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <memory>

namespace {

void write(const QString &path, qint64 size = 1)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
}

// A picture for a person to look at, next to the test binary.
void saveShot(QWidget &widget, const QString &name)
{
    const QPixmap shot = widget.grab();
    QVERIFY(!shot.isNull());
    shot.save(QDir::current().filePath(name + ".png"));
}

LeftoverReport reportOf(const QString &home, const QList<bool> &byName)
{
    LeftoverReport report{
        "Notepad", QString("org.example.Notepad"), home + "/Apps/Notepad.AppImage", {}};
    for (int i = 0; i < byName.size(); ++i) {
        const QString path = home + "/.config/notepad-" + QString::number(i);
        write(path, 5000);
        report.leftovers.append(
            {nativePath(path), 8192, ".config", byName[i], *FileIdentity::read(nativePath(path))});
    }
    return report;
}

} // namespace

class tst_ApplicationsView : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        Dialogs::resetSeams();
        m_apps = m_env->root() + "/Apps";
        m_env->editLocations([&](Locations &l) {
            l.applicationFolders = {m_apps, m_env->home() + "/Applications"};
            l.flatpakUserApps.clear();
            l.flatpakSystemApps.clear();
        });
        Preferences::setValue(AppState::watchTrashKey, false);
    }
    void cleanup() { m_env.reset(); }

    // A package goes through its package manager, in the terminal, after a question that
    // names it, what goes with it and that it is permanent; one the system needs is never
    // offered.
    void packageRemovalAsksThenRunsInTheTerminal_data()
    {
        QTest::addColumn<QByteArray>("essential");
        QTest::newRow("offered") << QByteArray("no");
        QTest::newRow("essential") << QByteArray("yes");
    }
    void packageRemovalAsksThenRunsInTheTerminal()
    {
        QFETCH(QByteArray, essential);
        FakeTools tools(m_env->root() + "/tools");
        const QString entries = m_env->root() + "/share/applications";
        write(entries + "/vim.desktop");
        QFile entry(entries + "/vim.desktop");
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=Vim\nExec=vim %F\n");
        entry.close();
        write(m_env->root() + "/dpkg-status");
        m_env->editLocations([&](Locations &l) {
            l.menuEntryFolders = {entries};
            l.dpkgSystem = m_env->root() + "/dpkg-status";
            l.dpkg = tools.tool("dpkg");
            l.dpkgQuery = tools.tool("dpkg-query");
            l.aptGet = tools.tool("apt-get");
            l.pkexec = tools.tool("pkexec");
        });
        tools.answer("dpkg", "vim: " + entries.toUtf8() + "/vim.desktop\n");
        tools.answer("dpkg-query", "vim\tii \t" + essential + "\t3072\t\t\n");
        tools.answer("apt-get", "Remv vim [2:9.0]\nRemv vim-gtk3 [2:9.0]\n");

        AppState state;
        ApplicationsView view(&state, state.applicationsVM());
        view.show();
        QTRY_COMPARE(view.shownNames(), QStringList{"Vim"});
        Dialogs::pushConfirmAnswer(true);
        view.confirmUninstall(entries + "/vim.desktop");
        if (essential == "yes") {
            QTest::qWait(100);
            QVERIFY(!Dialogs::lastConfirmation());
            QCOMPARE(tools.calls().size(), 2); // the listing's dpkg and dpkg-query only
            return;
        }
        QTRY_VERIFY(view.sheet());
        const QString asked = Dialogs::lastConfirmation()->text;
        QVERIFY2(asked.contains("package vim (Vim)") && asked.contains("vim-gtk3") &&
                     asked.contains("permanently"),
                 qPrintable(asked));
        QTRY_VERIFY(!view.sheet() || !view.sheet()->isRunning());
        QCOMPARE(tools.calls().last(),
                 QStringList({"pkexec", Locations::current().aptGet, "remove", "-y", "--", "vim"}));
    }

    void tableFiltersSortsAndUninstalls()
    {
        write(m_apps + "/Zed-1.AppImage", 300000);
        write(m_apps + "/Notepad-2.AppImage", 100000);
        write(m_apps + "/Atlas.AppImage", 200000);
        m_env->editLocations([&](Locations &l) { l.flatpakUserApps = m_env->root() + "/flatpak"; });
        write(m_env->root() + "/flatpak/org.example.Paint/current/x", 10);
        AppState state;
        ApplicationsView view(&state, state.applicationsVM());
        view.resize(900, 400);
        view.show();
        QTRY_COMPARE(view.shownNames().size(), 4);
        QCOMPARE(view.shownNames(),
                 QStringList({"Zed-1.AppImage", "Atlas.AppImage", "Notepad-2.AppImage", "Paint"}));
        // Icons are drawn once and kept; a theme switch draws them again in its colours.
        const QModelIndex paint = view.table()->model()->index(3, ApplicationsView::IconColumn);
        auto icon = [&paint] { return paint.data(Qt::DecorationRole).value<QPixmap>().toImage(); };
        QTRY_VERIFY(!icon().isNull());
        const QImage light = icon();
        saveShot(view, "applications-light");
        Theme theme;
        theme.apply(Theme::Dark);
        QTRY_VERIFY(!icon().isNull() && icon() != light);
        saveShot(view, "applications-dark");
        theme.apply(Theme::Light);
        QTRY_COMPARE(icon(), light);

        // Size chosen again: smallest first.
        QTest::mouseClick(view.table()->horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(view.table()->horizontalHeader()->sectionViewportPosition(
                                     ApplicationsView::SizeColumn) +
                                     10,
                                 5));
        QCOMPARE(view.shownNames().first(), QStringLiteral("Paint"));

        state.setGlobalSearchText("NOTE");
        QCOMPARE(view.shownNames(), QStringList({"Notepad-2.AppImage"}));
        state.setGlobalSearchText("nothing like it");
        QVERIFY(view.shownNames().isEmpty());
        QCOMPARE(view.header()->subtitleText().endsWith(" · 4 installed"), true);
        state.setGlobalSearchText(QString());

        // The row's own button asks; a Flatpak app is uninstalled, not trashed.
        Dialogs::pushConfirmAnswer(false);
        const QRect cell = view.table()->visualRect(
            view.table()->model()->index(0, ApplicationsView::ActionsColumn));
        QTest::mouseClick(view.table()->viewport(), Qt::LeftButton, {},
                          cell.topLeft() + QPoint(20, cell.height() / 2));
        QVERIFY(Dialogs::lastConfirmation());
        QCOMPARE(Dialogs::lastConfirmation()->text,
                 QStringLiteral("This will uninstall Paint with Flatpak."));

        // Cancelled: nothing happens; confirmed: the row goes.
        Dialogs::pushConfirmAnswer(false);
        view.confirmUninstall(m_apps + "/Atlas.AppImage");
        QCOMPARE(Dialogs::lastConfirmation()->text,
                 QStringLiteral("This will move Atlas.AppImage to the Trash."));
        QCOMPARE(Dialogs::lastConfirmation()->confirmLabel,
                 QStringLiteral("Uninstall Atlas.AppImage"));
        QTest::qWait(50);
        QCOMPARE(view.shownNames().size(), 4);
        Dialogs::pushConfirmAnswer(true);
        view.confirmUninstall(m_apps + "/Atlas.AppImage");
        QTRY_COMPARE(view.shownNames().size(), 3);
        QVERIFY(!QFile::exists(m_apps + "/Atlas.AppImage"));

        // Refused: the row stays and the reason is said.
        m_env->editLocations(
            [&](Locations &l) { l.protectedItself << m_apps + "/Zed-1.AppImage"; });
        Dialogs::pushConfirmAnswer(true);
        view.confirmUninstall(m_apps + "/Zed-1.AppImage");
        QTRY_VERIFY(view.findChild<QMessageBox *>("uninstallFailure"));
        QCOMPARE(view.findChild<QMessageBox *>("uninstallFailure")->text(),
                 QStringLiteral("This location is protected."));
        QCOMPARE(view.shownNames().size(), 3);
    }

    void mainWindowShowsReportsOneAfterAnother()
    {
        Preferences::setValue("autoScanOnLaunch", false);
        write(m_env->home() + "/.config/alpha/settings");
        write(m_env->home() + "/.config/beta/settings");
        AppState state;
        MainWindow window(&state);
        state.showLeftovers("alpha", std::nullopt, m_apps + "/alpha.AppImage");
        state.showLeftovers("beta", std::nullopt, m_apps + "/beta.AppImage");
        QTRY_VERIFY(window.leftoversSheet() && window.leftoversSheet()->isVisible());
        QTRY_COMPARE(state.waitingReports(), 1);
        QCOMPARE(window.leftoversSheet()->report().appName, QStringLiteral("alpha"));
        window.leftoversSheet()->closeButton()->click();
        QVERIFY(window.leftoversSheet()->isVisible());
        QCOMPARE(window.leftoversSheet()->report().appName, QStringLiteral("beta"));
        window.leftoversSheet()->closeButton()->click();
        QVERIFY(!window.leftoversSheet()->isVisible());
        QVERIFY(!state.leftoverReport());
    }

    void sheetTicksFooterAndClosing_data()
    {
        QTest::addColumn<QList<bool>>("byName");
        QTest::addColumn<QString>("footer");
        QTest::addColumn<bool>("canTrash");
        QTest::newRow("identifier matches ticked")
            << QList<bool>{false, true} << "1 of 2 · " + formatBytes(8192) << true;
        QTest::newRow("all by name") << QList<bool>{true, true} << "0 of 2 · Zero KB" << false;
    }
    void sheetTicksFooterAndClosing()
    {
        QFETCH(QList<bool>, byName);
        QFETCH(QString, footer);
        QFETCH(bool, canTrash);
        AppState state;
        LeftoversSheet sheet(&state);
        sheet.setReport(reportOf(m_env->home(), byName));
        sheet.show();
        QCOMPARE(sheet.footerText(), footer);
        QCOMPARE(sheet.trashButton()->isEnabled(), canTrash);
        QCOMPARE(sheet.closeButton()->text(), QStringLiteral("Keep Them"));
        QVERIFY(QTest::qWaitForWindowActive(&sheet));
        const QStringList faults = keyboardFaults(&sheet, sheet.checkBoxes().first());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        if (!canTrash) {
            saveShot(sheet, "leftovers-by-name");
            return;
        }
        sheet.checkBoxes().at(1)->setChecked(true);
        QCOMPARE(sheet.footerText(), "2 of 2 · " + formatBytes(16384));

        sheet.trashButton()->click();
        QVERIFY(sheet.isWorking());
        QTest::keyClick(&sheet, Qt::Key_Escape);
        sheet.close();
        QVERIFY(sheet.isVisible());
        QTRY_VERIFY(!sheet.isWorking());
        QCOMPARE(*sheet.result(), "Moved 2 items (" + formatBytes(16384) + ") to the Trash.");
        QCOMPARE(sheet.closeButton()->text(), QStringLiteral("Done"));
        QVERIFY(sheet.trashButton()->isHidden());
        QCOMPARE(sheet.checkBoxes().size(), 2);
        saveShot(sheet, "leftovers-done-light");
        Theme theme;
        theme.apply(Theme::Dark);
        QCoreApplication::processEvents();
        saveShot(sheet, "leftovers-done-dark");
        theme.apply(Theme::Light);

        // The next report starts afresh.
        LeftoverReport next = reportOf(m_env->home(), {false});
        next.appName = "Other";
        sheet.setReport(next);
        QVERIFY(!sheet.result());
        QCOMPARE(sheet.footerText(), "1 of 1 · " + formatBytes(8192));
        QVERIFY(!sheet.trashButton()->isHidden());
        QTest::keyClick(&sheet, Qt::Key_Escape);
        QVERIFY(!sheet.isVisible());
    }

    void settingsPaneKeepsOneEntryPerFolder()
    {
        AppScanSettingsView pane;
        pane.resize(560, 440);
        pane.show();
        Dialogs::pushFolderAnswer(QString("/srv/apps"));
        pane.addButton()->click();
        Dialogs::pushFolderAnswer(QString("/srv/apps"));
        pane.addButton()->click();
        Dialogs::pushFolderAnswer(m_env->home() + "/Tools");
        pane.addButton()->click();
        Dialogs::pushFolderAnswer(std::nullopt);
        pane.addButton()->click();
        QCOMPARE(AppScanSettingsView::customDirs(),
                 QStringList({"/srv/apps", m_env->home() + "/Tools"}));
        QCOMPARE(ApplicationsViewModel::scannedFolders().mid(2),
                 QStringList({"/srv/apps", m_env->home() + "/Tools"}));
        pane.systemSwitch()->setChecked(false);
        QCOMPARE(ApplicationsViewModel::scannedFolders().first(), m_env->home() + "/Applications");
        saveShot(pane, "applications-settings");
        pane.removeFolder(0);
        QCOMPARE(AppScanSettingsView::customDirs(), QStringList({m_env->home() + "/Tools"}));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    QString m_apps;
};

QTEST_MAIN(tst_ApplicationsView)
#include "tst_ApplicationsView.moc"
