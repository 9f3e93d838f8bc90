#include "app/AppState.h"
#include "app/screens/MainWindow.h"
#include "app/widgets/Theme.h"
#include "support/FakeDpkg.h"
#include "support/KeyboardWalk.h"
#include "support/LocalHttpServer.h"
#include "support/TestEnvironment.h"
#include "update/screens/UpdateDialogView.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

using Phase = UpdateDialogView::Phase;

namespace {

QStringList bodyTexts(const UpdateDialogView &dialog)
{
    QStringList texts;
    for (const QWidget *body : dialog.findChildren<QWidget *>("updateBody")) {
        if (body->parent() != &dialog || !body->isVisibleTo(&dialog))
            continue;
        for (const QLabel *label : body->findChildren<QLabel *>())
            texts.append(label->text());
    }
    return texts;
}

QList<QPushButton *> buttons(const UpdateDialogView &dialog)
{
    QList<QPushButton *> out;
    for (QPushButton *button : dialog.findChildren<QPushButton *>()) {
        if (button->isVisibleTo(&dialog))
            out.append(button);
    }
    std::sort(out.begin(), out.end(),
              [](QPushButton *a, QPushButton *b) { return a->x() < b->x(); });
    return out;
}

QStringList buttonTexts(const UpdateDialogView &dialog)
{
    QStringList texts;
    for (QPushButton *button : buttons(dialog))
        texts.append(button->text());
    return texts;
}

void click(const UpdateDialogView &dialog, const QString &text)
{
    for (QPushButton *button : buttons(dialog)) {
        if (button->text() == text)
            return QTest::mouseClick(button, Qt::LeftButton);
    }
    QFAIL(qPrintable("no button " + text));
}

// Extremes of lightness inside the widget's area of a picture of the dialog.
QPair<int, int> lightness(UpdateDialogView &dialog, QWidget *inside)
{
    const QImage image = dialog.grab().toImage();
    const QRect area(inside->mapTo(&dialog, QPoint(0, 0)), inside->size());
    int low = 255, high = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const int l = QColor(image.pixel(x, y)).lightness();
            low = qMin(low, l);
            high = qMax(high, l);
        }
    }
    return {low, high};
}

} // namespace

class tst_UpdateDialogView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_server = std::make_unique<LocalHttpServer>();
        Updater::setBase(m_server->base());
        Updater::setCurrentVersion("5");
        Updater::setRunningCopy(m_env->root() + "/not-a-release");
        Updater::setLauncher([](const QString &, const QStringList &) { return false; }, [] {});
    }
    void cleanup()
    {
        UpdateDialogView::setOpenUrl({});
        Updater::resetSeams();
        m_server.reset();
        m_env.reset();
    }

    void phases_data();
    void phases();
    void installingCannotBeClosed();
    void followsTheme();
    void openedByLaunchCheckAndMenu();

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<LocalHttpServer> m_server;
};

void tst_UpdateDialogView::phases_data()
{
    QTest::addColumn<QByteArray>("feed"); // empty: the server is gone
    QTest::addColumn<QString>("package"); // the package the running copy belongs to
    QTest::addColumn<int>("phase");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("buttons");
    const QStringList failed{"Download from Website", "Try Again", "Close"};
    QTest::newRow("same build") << QByteArray(R"({"version":"5.0"})") << "" << int(Phase::UpToDate)
                                << QStringList{"You're up to date"} << QStringList{"OK"};
    QTest::newRow("newer, with notes")
        << QByteArray(R"({"version":"7","notes":["Faster scans","Two\nlines"]})") << ""
        << int(Phase::Available)
        << QStringList{"Quillmar 7 is out", "• Faster scans\n• Two\n• lines"}
        << QStringList{"Later", "Install and Relaunch"};
    QTest::newRow("newer, no notes")
        << QByteArray(R"({"version":"7"})") << "" << int(Phase::Available)
        << QStringList{"Quillmar 7 is out"} << QStringList{"Later", "Install and Relaunch"};
    QTest::newRow("newer, copy of a package")
        << QByteArray(R"({"version":"7"})") << "quillmar" << int(Phase::Packaged)
        << QStringList{"Quillmar 7 is out",
                       "This copy belongs to the package quillmar, so the package manager "
                       "updates it: download the new package from the website and install it "
                       "with apt."}
        << QStringList{"Download from Website", "OK"};
    QTest::newRow("same build, copy of a package")
        << QByteArray(R"({"version":"5"})") << "quillmar" << int(Phase::UpToDate)
        << QStringList{"You're up to date"} << QStringList{"OK"};
    QTest::newRow("unreadable feed") << QByteArray(R"({"notes":[]})") << "" << int(Phase::Failed)
                                     << QStringList{"The update feed couldn't be read."} << failed;
}

void tst_UpdateDialogView::phases()
{
    QFETCH(QByteArray, feed);
    QFETCH(QString, package);
    QFETCH(int, phase);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, buttons);
    m_server->set("/version.json", feed);
    if (!package.isEmpty()) {
        const QString dpkg = makeFakeDpkg(m_env->root() + "/tools", package);
        m_env->editLocations([&](Locations &loc) { loc.dpkg = dpkg; });
    }
    UpdateDialogView dialog;
    dialog.show();
    QCOMPARE(dialog.phase(), Phase::Checking);
    QCOMPARE(bodyTexts(dialog), QStringList{"Checking for updates…"});
    QVERIFY(buttonTexts(dialog).isEmpty());

    QTRY_COMPARE(int(dialog.phase()), phase);
    QCOMPARE(dialog.findChild<QLabel *>("updateSubtitle")->text(), QString("Quillmar 5"));
    QCOMPARE(bodyTexts(dialog), texts);
    QCOMPARE(buttonTexts(dialog), buttons);
    QVERIFY(::buttons(dialog).last()->isDefault());
    QCOMPARE(m_server->requests(), QStringList{"/version.json"});
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    const QStringList faults = keyboardFaults(&dialog, ::buttons(dialog).first());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
}

void tst_UpdateDialogView::installingCannotBeClosed()
{
    m_server->set("/version.json", R"({"version":"7","notes":["Faster scans"]})");
    UpdateDialogView dialog;
    dialog.show();
    QTRY_COMPARE(dialog.phase(), Phase::Available);

    click(dialog, "Install and Relaunch");
    QCOMPARE(dialog.phase(), Phase::Installing);
    QVERIFY(buttonTexts(dialog).isEmpty());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());

    // This copy carries no keyring, so the install ends in a failure the dialog shows.
    QTRY_COMPARE(dialog.phase(), Phase::Failed);
    QCOMPARE(bodyTexts(dialog), QStringList{"This copy has no signature to compare with; "
                                            "download the update from the website."});
    QList<QUrl> opened;
    UpdateDialogView::setOpenUrl([&](const QUrl &url) { opened.append(url); });
    click(dialog, "Download from Website");
    QCOMPARE(opened, QList<QUrl>{QUrl(m_server->base() + "/api/download")});
    click(dialog, "Try Again");
    QCOMPARE(dialog.phase(), Phase::Checking);
    QTRY_COMPARE(dialog.phase(), Phase::Available);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
}

void tst_UpdateDialogView::followsTheme()
{
    // Pictures of every phase in both appearances, for a person to look at.
    m_server->set("/version.json", R"({"version":"7","notes":["Faster scans","Fewer clicks"]})");
    Theme theme;
    UpdateDialogView dialog;
    dialog.show();
    auto *title = dialog.findChild<QLabel *>("updateTitle");
    QString name;
    auto shot = [&](const char *phase) {
        dialog.grab().save(QDir::current().filePath("update-" + QString(phase) + name + ".png"));
    };
    for (const Theme::Appearance appearance : {Theme::Light, Theme::Dark}) {
        theme.apply(appearance);
        name = appearance == Theme::Dark ? "-dark" : "-light";
        dialog.check();
        shot("checking");
        QTRY_COMPARE(dialog.phase(), Phase::Available);
        shot("available");
        // The title is drawn in the appearance's text colour, not one fixed at build time.
        const auto [low, high] = lightness(dialog, title);
        QVERIFY2(appearance == Theme::Dark ? high > 200 : low < 60,
                 qPrintable(QString("%1 %2").arg(low).arg(high)));
        dialog.install(*dialog.release());
        shot("installing");
        QTRY_COMPARE(dialog.phase(), Phase::Failed);
        shot("failed");
    }
    // The feed read a moment ago is reused: this copy is now its version.
    Updater::setCurrentVersion("7");
    dialog.check();
    QTRY_COMPARE(dialog.phase(), Phase::UpToDate);
    shot("uptodate");
}

void tst_UpdateDialogView::openedByLaunchCheckAndMenu()
{
    Preferences::setValue(PrefKey::autoScanOnLaunch, false);
    m_server->set("/version.json", R"({"version":"7"})");
    AppState state;
    MainWindow window(&state);
    auto openDialogs = [&window] {
        QList<UpdateDialogView *> open;
        for (UpdateDialogView *dialog : window.findChildren<UpdateDialogView *>()) {
            if (dialog->isVisible())
                open.append(dialog);
        }
        return open;
    };

    state.startUpdateCheck();
    QTRY_VERIFY(state.showUpdate());
    QCOMPARE(openDialogs().size(), 1);
    UpdateDialogView *first = openDialogs().first();
    QTRY_COMPARE(first->phase(), Phase::Available); // the launch check's answer, reused
    QCOMPARE(m_server->requests().size(), 1);
    QTest::keyClick(first, Qt::Key_Escape);
    QVERIFY(!state.showUpdate());
    QVERIFY(openDialogs().isEmpty());

    QAction *menuItem = nullptr;
    for (QAction *action : window.menuBar()->actions().at(0)->menu()->actions()) {
        if (action->text() == "Check for Updates...")
            menuItem = action;
    }
    QVERIFY(menuItem);
    window.setGeometry(300, 200, 1100, 760);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    menuItem->trigger();
    QVERIFY(state.showUpdate());
    QCOMPARE(openDialogs().size(), 1);
    // Over the middle of the window it belongs to, not at a corner of the screen.
    const QPoint off =
        openDialogs().first()->frameGeometry().center() - window.frameGeometry().center();
    QVERIFY2(off.manhattanLength() <= 8,
             qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
    QTRY_COMPARE(openDialogs().first()->phase(), Phase::Available);
    QCOMPARE(m_server->requests().size(), 1);
    // A second request while one is open brings that one forward.
    menuItem->trigger();
    QCOMPARE(openDialogs().size(), 1);
}

QTEST_MAIN(tst_UpdateDialogView)
#include "tst_UpdateDialogView.moc"
