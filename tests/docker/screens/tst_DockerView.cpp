#include "app/AppState.h"
#include "app/widgets/Dialogs.h"
#include "app/widgets/EmptyStateView.h"
#include "app/widgets/Theme.h"
#include "docker/screens/CategoryRow.h"
#include "docker/screens/DockerView.h"
#include "support/FakeDocker.h"
#include "support/KeyboardWalk.h"
#include "support/TestEnvironment.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Mean lightness of a picture, 0 (black) to 1 (white).
double lightness(const QImage &image)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4, ++n)
            sum += QColor(image.pixel(x, y)).lightnessF();
    return n ? sum / n : 0;
}

} // namespace

class tst_DockerView : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeDocker> m_docker;

    static void settle(DockerViewModel *model)
    {
        model->waitForTasks();
        QCoreApplication::processEvents();
    }
    static CategoryRow *row(DockerView &view, const QString &title)
    {
        for (CategoryRow *r : view.categoryRows())
            if (r->title() == title)
                return r;
        return nullptr;
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_docker = std::make_unique<FakeDocker>(m_env->root() + "/bin");
        m_env->editLocations([this](Locations &loc) { loc.docker = m_docker->path(); });
        DockerViewModel::setStatusTimeoutMs(10000);
        m_docker->write("images",
                        "{\"Repository\":\"nginx\",\"Tag\":\"latest\",\"ID\":\"4f1\",\"Size\":"
                        "\"187MB\"}\n{\"Repository\":\"<none>\",\"Tag\":\"<none>\",\"ID\":"
                        "\"9ab\",\"Size\":\"1.1GB\"}\n");
        m_docker->write("containers",
                        "{\"Names\":\"web\",\"Status\":\"Up 2 hours\",\"Size\":\"2kB\"}\n"
                        "{\"Names\":\"migrate\",\"Status\":\"Exited (0) 3 days ago\"}\n");
        Dialogs::resetSeams();
    }
    void cleanup()
    {
        Dialogs::resetSeams();
        m_docker.reset();
        m_env.reset();
    }

    void notDetectedWhateverTheListsHeld()
    {
        AppState state;
        DockerView view(&state, state.dockerVM());
        view.resize(900, 600);
        view.show();
        settle(state.dockerVM());
        QVERIFY(view.list()->isVisible());
        m_docker->touch("down");
        // Each show asks again.
        view.hide();
        view.show();
        settle(state.dockerVM());
        QCOMPARE(view.pages()->currentWidget(), view.notDetected());
        QCOMPARE(view.notDetected()->title(), QStringLiteral("Docker Not Detected"));
        QCOMPARE(view.notDetected()->message(),
                 QStringLiteral("Docker isn't installed or isn't running. Start Docker to use "
                                "this tab."));
        QCOMPARE(state.dockerVM()->images().size(), 2);
    }

    void categoriesCountsAndSelection()
    {
        AppState state;
        DockerView view(&state, state.dockerVM());
        view.resize(900, 600);
        view.show();
        settle(state.dockerVM());
        QCOMPARE(row(view, "Images")->count(), 2);
        QVERIFY(row(view, "Images")->isSelected());
        QCOMPARE(view.list()->topLevelItemCount(), 2);
        QCOMPARE(view.list()->topLevelItem(1)->text(1), QStringLiteral("dangling"));
        QCOMPARE(view.pruneButton()->text(), QStringLiteral("Prune Images"));
        // Named for a screen reader, reached by Tab; Delete asks for Docker's prune.
        QVERIFY(QTest::qWaitForWindowActive(&view));
        const QStringList faults = keyboardFaults(&view, view.findChild<QWidget *>("tabRescan"));
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        QCOMPARE(row(view, "Images")->accessibleName(), QStringLiteral("Images, 2 items"));
        Dialogs::pushConfirmAnswer(false);
        view.list()->setFocus();
        QTest::keyClick(view.list(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(Dialogs::lastConfirmation()->title, QStringLiteral("Prune Docker images?"));

        QTest::mouseClick(row(view, "Volumes"), Qt::LeftButton);
        QCOMPARE(view.selectedCategory(), QStringLiteral("Volumes"));
        QCOMPARE(row(view, "Volumes")->count(), 0);
        QVERIFY(view.emptyLabel()->isVisible());
        QCOMPARE(view.emptyLabel()->text(), QStringLiteral("No items found."));
        QVERIFY(view.itemsForCategory("Networks").isEmpty());

        QTest::mouseClick(row(view, "Containers"), Qt::LeftButton);
        state.dockerVM()->scanDocker(&state);
        settle(state.dockerVM());
        QCOMPARE(view.selectedCategory(), QStringLiteral("Containers"));
        QVERIFY(row(view, "Containers")->isSelected() && !row(view, "Images")->isSelected());
        QCOMPARE(view.list()->topLevelItem(0)->text(0), QStringLiteral("web"));

        // Pictures for a person to look at, and a theme switch that really recolours.
        Theme theme;
        theme.apply(Theme::Light);
        QCoreApplication::processEvents();
        const QImage light = view.grab().toImage();
        light.save(QDir::current().filePath("docker-light.png"));
        theme.apply(Theme::Dark);
        QCoreApplication::processEvents();
        const QImage dark = view.grab().toImage();
        dark.save(QDir::current().filePath("docker-dark.png"));
        theme.apply(Theme::Light);
        QVERIFY2(lightness(light) > 0.6 && lightness(dark) < 0.4,
                 qPrintable(QString("%1 %2").arg(lightness(light)).arg(lightness(dark))));
    }

    void pruneConfirmsThenRunsAndRescans_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QByteArray>("endpoint");
        QTest::addColumn<QString>("detail");
        const QString gone = " Docker removes them permanently; they do not go to the Trash.";
        QTest::newRow("containers pruned")
            << "Containers" << true << QByteArray() << "Every stopped container is removed." + gone;
        QTest::newRow("cancelled") << "Containers" << false << QByteArray()
                                   << "Every stopped container is removed." + gone;
        QTest::newRow("images: tagged ones too")
            << "Images" << true << QByteArray()
            << "Every image no container uses is removed, tagged images included, not only the "
               "untagged ones." +
                   gone;
        QTest::newRow("remote daemon named")
            << "Volumes" << true << QByteArray("tcp://10.1.2.3:2376")
            << "Every volume no container uses is removed, with the data in it." + gone +
                   "\n\nThe Docker client talks to tcp://10.1.2.3:2376: the prune runs on that "
                   "machine.";
    }
    void pruneConfirmsThenRunsAndRescans()
    {
        QFETCH(QString, category);
        QFETCH(bool, answer);
        QFETCH(QByteArray, endpoint);
        QFETCH(QString, detail);
        if (!endpoint.isEmpty())
            m_docker->write("endpoint", endpoint);
        m_docker->touch("slowprune");
        AppState state;
        QWidget window;
        auto *view = new DockerView(&state, state.dockerVM());
        (new QVBoxLayout(&window))->addWidget(view);
        window.resize(900, 600);
        window.show();
        settle(state.dockerVM());
        QTest::mouseClick(row(*view, category), Qt::LeftButton);
        m_docker->clearCalls();

        Dialogs::pushConfirmAnswer(answer);
        QTest::mouseClick(view->pruneButton(), Qt::LeftButton);
        const auto asked = Dialogs::lastConfirmation();
        QVERIFY(asked);
        QCOMPARE(asked->title, "Prune Docker " + category.toLower() + "?");
        QCOMPARE(asked->text, detail);
        QCOMPARE(asked->confirmLabel, QStringLiteral("Prune"));
        QCOMPARE(asked->cancelLabel, QStringLiteral("Cancel"));
        if (!answer) {
            settle(state.dockerVM());
            QVERIFY(m_docker->calls().isEmpty());
            QVERIFY(!Dialogs::lastAlert());
            return;
        }
        // While it runs: no second prune, and the window stays open.
        QVERIFY(!view->pruneButton()->isEnabled());
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        settle(state.dockerVM());
        QVERIFY(view->pruneButton()->isEnabled());
        const QStringList calls = m_docker->calls();
        QCOMPARE(calls.at(1), QStringLiteral("info"));
        QCOMPARE(calls.count("info"), 1);
        // What Docker says it freed is told once the lists are read again.
        QCOMPARE(Dialogs::lastAlert(),
                 std::optional(qMakePair(QStringLiteral("The prune has finished."),
                                         QStringLiteral("Docker reports 0B reclaimed."))));
        QVERIFY(window.close());
    }

    // A scan stopped at the time limit while the tab was hidden is told when it shows.
    void hungListIsToldWhenShown()
    {
        DockerViewModel::setStatusTimeoutMs(600);
        m_docker->touch("hang-images");
        AppState state;
        DockerView view(&state, state.dockerVM());
        view.resize(900, 600);
        state.dockerVM()->scanDocker(&state);
        QTRY_VERIFY_WITH_TIMEOUT(!state.dockerVM()->isBusy(), 5000);
        QVERIFY(!Dialogs::lastAlert());
        m_docker->remove("hang-images");
        view.show();
        const auto told = Dialogs::lastAlert();
        QVERIFY(told);
        QCOMPARE(told->first, QStringLiteral("Docker stopped responding."));
        QCOMPARE(told->second, QStringLiteral("\u201Cdocker image ls\u201D got no answer within 1 "
                                              "second and was stopped."));
        settle(state.dockerVM());
        QVERIFY(view.pruneButton()->isEnabled());
        QCOMPARE(view.list()->topLevelItemCount(), 2);
    }
};

QTEST_MAIN(tst_DockerView)
#include "tst_DockerView.moc"
