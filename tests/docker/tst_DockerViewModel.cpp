#include "app/AppState.h"
#include "docker/DockerViewModel.h"
#include "support/FakeDocker.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

// Gone, or a zombie waiting for a reaper that is not this process.
bool running(pid_t pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

} // namespace

class tst_DockerViewModel : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeDocker> m_docker;

    static void settle(DockerViewModel &model)
    {
        model.waitForTasks();
        QCoreApplication::processEvents();
    }
    static QStringList rows(const QList<DockerResource> &list)
    {
        QStringList out;
        for (const DockerResource &r : list)
            out << QStringList{r.name, r.description, r.size, r.type, r.status}.join('|');
        return out;
    }
    void writeLists()
    {
        m_docker->write("images", "{\"Repository\":\"web\",\"Tag\":\"1.0\",\"ID\":\"a1\","
                                  "\"Size\":\"1.2GB\"}\n\n{\"Repository\":\"<none>\"}\n");
        m_docker->write("containers", "{\"Names\":\"db\",\"Status\":\"Up 1 hour\"}\n");
        m_docker->write("volumes", "");
    }

private slots:
    void init()
    {
        m_env = std::make_unique<TestEnvironment>();
        m_docker = std::make_unique<FakeDocker>(m_env->root() + "/it's docker");
        m_env->editLocations([this](Locations &loc) { loc.docker = m_docker->path(); });
        qunsetenv("DOCKER_HOST");
        DockerViewModel::setStatusTimeoutMs(10000);
    }
    void cleanup()
    {
        m_docker.reset();
        m_env.reset();
    }

    void parse_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("images")
            << "images"
            << QByteArray("{\"Repository\":\"<none>\",\"Tag\":\"<none>\",\"ID\":\"sha1\","
                          "\"Size\":\"12MB\"}\n\n"
                          "{\"Repository\":\"web\",\"Tag\":\"<none>\",\"ID\":\"ab\","
                          "\"Size\":\"1.2GB\"}\nnot json\n[1,2]\n"
                          "{\"Repository\":\"api\",\"Tag\":\"1.0\",\"Size\":5}\n{\"Tag\":\"x\"}")
            << QStringList{"Dangling Image|ID: sha1|12MB|image|dangling",
                           "web:<none>|ID: ab|1.2GB|image|active", "api:1.0|ID: ||image|active",
                           "Dangling Image|ID: ||image|dangling"};
        QTest::newRow("containers")
            << "containers"
            << QByteArray("{\"Names\":\"web-1\",\"Status\":\"Up 3 hours\",\"Size\":\"2B\"}\n"
                          "{\"Names\":\"paused\",\"Status\":\"Up 2 minutes (Paused)\"}\n"
                          "{\"Names\":\"old\",\"Status\":\"Exited (0) 2 days ago\"}\n"
                          "{\"Names\":\"new\",\"Status\":\"Created\"}\n"
                          "{\"Names\":7,\"Status\":null}\n")
            << QStringList{"web-1|Up 3 hours|2B|container|active",
                           "paused|Up 2 minutes (Paused)|0B|container|active",
                           "old|Exited (0) 2 days ago|0B|container|exited",
                           "new|Created|0B|container|exited", "||0B|container|exited"};
        QTest::newRow("volumes") << "volumes" << QByteArray("{\"Name\":\"data\"}\n{}\n")
                                 << QStringList{"data|Volume|Unknown|volume|active",
                                                "|Volume|Unknown|volume|active"};
        QTest::newRow("empty") << "volumes" << QByteArray("\n\n") << QStringList();
    }
    void parse()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, output);
        QFETCH(QStringList, expected);
        const QString text = QString::fromUtf8(output);
        const QList<DockerResource> list = kind == "images" ? DockerViewModel::parseImages(text)
                                           : kind == "containers"
                                               ? DockerViewModel::parseContainers(text)
                                               : DockerViewModel::parseVolumes(text);
        QCOMPARE(rows(list), expected);
    }

    // The lists come through the real shell and the quoted client path; a daemon that
    // stops answering later leaves them in place.
    void scanThenDaemonGone()
    {
        writeLists();
        AppState state;
        DockerViewModel model;
        model.scanDocker(&state);
        settle(model);
        QVERIFY(model.isDockerRunning());
        QCOMPARE(rows(model.images()), QStringList({"web:1.0|ID: a1|1.2GB|image|active",
                                                    "Dangling Image|ID: ||image|dangling"}));
        QCOMPARE(model.containers().size(), 1);
        QVERIFY(model.volumes().isEmpty());
        QCOMPARE(m_docker->calls().mid(0, 4),
                 QStringList({"info", "image ls --format {{json .}}", "ps -a --format {{json .}}",
                              "volume ls --format {{json .}}"}));
        QVERIFY(!state.isScanning());

        m_docker->touch("down");
        model.scanDocker(&state);
        settle(model);
        QVERIFY(!model.isDockerRunning());
        QCOMPARE(model.images().size(), 2);
        QCOMPARE(model.containers().size(), 1);
        QVERIFY(!state.isScanning());
    }

    void refusedDaemonIsNotDetected()
    {
        m_docker->touch("denied");
        AppState state;
        DockerViewModel model;
        model.scanDocker(&state);
        settle(model);
        QVERIFY(!model.isDockerRunning());
        bool logged = false;
        for (const auto &[level, text] : m_env->log())
            logged = logged || (level == SystemLog::Level::Error &&
                                text.startsWith("permission denied while trying to connect"));
        QVERIFY(logged);
    }

    void prune_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("command");
        QTest::newRow("images") << "images"
                                << "image prune -a -f";
        QTest::newRow("containers") << "containers"
                                    << "container prune -f";
        QTest::newRow("volumes") << "volumes"
                                 << "volume prune -f";
        QTest::newRow("not lower-cased") << "Images" << QString();
        QTest::newRow("other") << "networks" << QString();
    }
    void prune()
    {
        QFETCH(QString, type);
        QFETCH(QString, command);
        writeLists();
        AppState state;
        DockerViewModel model;
        QSignalSpy banner(&state, &AppState::scanStatusMessageChanged);
        model.prune(type, &state);
        QCOMPARE(model.isBusy(), !command.isEmpty());
        // Only one job at a time: neither a second prune nor a scan starts meanwhile.
        model.prune(type, &state);
        model.scanDocker(&state);
        settle(model);
        if (command.isEmpty()) {
            QCOMPARE(m_docker->calls(),
                     QStringList({"info", "image ls --format {{json .}}",
                                  "ps -a --format {{json .}}", "volume ls --format {{json .}}",
                                  "context inspect --format "
                                  "{{.Endpoints.docker.Host}}"}));
            return;
        }
        const QStringList calls = m_docker->calls();
        QCOMPARE(calls.first(), command);
        QCOMPARE(calls.count(command), 1);
        QCOMPARE(calls.count("info"), 1);
        QVERIFY(calls.indexOf("info") > 0);
        QCOMPARE(banner.at(0).at(0).toString(), "Pruning " + type + "...");
        QVERIFY(model.isDockerRunning());
        QCOMPARE(model.images().size(), 2);
        QVERIFY(!model.isBusy());
    }

    // A daemon that stops answering: the client is stopped at the limit with everything
    // it started, a second scan meanwhile starts nothing, and the scan ends with an error.
    void hungClientEndsAtTheLimit_data()
    {
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("detected");
        QTest::newRow("status") << "hang" << QStringList{"info"} << false;
        QTest::newRow("image list")
            << "hang-images" << QStringList{"info", "image ls --format {{json .}}"} << true;
    }
    void hungClientEndsAtTheLimit()
    {
        QFETCH(QString, marker);
        QFETCH(QStringList, calls);
        QFETCH(bool, detected);
        m_docker->touch(marker);
        DockerViewModel::setStatusTimeoutMs(600);
        AppState state;
        DockerViewModel model;
        QSignalSpy busy(&model, &DockerViewModel::busyChanged);
        model.scanDocker(&state);
        QTRY_VERIFY(QFile::exists(m_docker->folder() + "/sleep.pid"));
        model.scanDocker(&state);
        QTRY_COMPARE_WITH_TIMEOUT(busy.count(), 2, 5000);
        settle(model);
        QVERIFY(!model.isBusy());
        QCOMPARE(model.isDockerRunning(), detected);
        QCOMPARE(model.errorMessage(), "\u201Cdocker " + calls.last().section(' ', 0, 1) +
                                           "\u201D got no answer within 1 second and was stopped.");
        QCOMPARE(m_docker->calls(), calls);
        QFile pidFile(m_docker->folder() + "/sleep.pid");
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const pid_t pid = pidFile.readAll().trimmed().toInt();
        QVERIFY(pid > 0);
        QTRY_VERIFY(!running(pid));
        QVERIFY(!state.isScanning());

        // The next scan starts afresh.
        m_docker->remove(marker);
        model.scanDocker(&state);
        settle(model);
        QVERIFY(model.isDockerRunning());
        QVERIFY(model.errorMessage().isEmpty());
    }

    void quittingStopsAHungStatus()
    {
        m_docker->touch("hang");
        auto state = std::make_unique<AppState>();
        state->dockerVM()->scanDocker(state.get());
        QTRY_VERIFY(QFile::exists(m_docker->folder() + "/sleep.pid"));
        QElapsedTimer clock;
        clock.start();
        state.reset();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    void remoteHost_data()
    {
        QTest::addColumn<QString>("dockerHost");
        QTest::addColumn<QByteArray>("context");
        QTest::addColumn<QString>("expected");
        QTest::newRow("local socket") << "" << QByteArray() << "";
        QTest::newRow("context on another machine")
            << "" << QByteArray("tcp://10.0.0.5:2376\n") << "tcp://10.0.0.5:2376";
        QTest::newRow("DOCKER_HOST wins")
            << "ssh://me@build-box" << QByteArray("unix:///var/run/docker.sock")
            << "ssh://me@build-box";
        QTest::newRow("DOCKER_HOST socket")
            << "unix:///run/user/1000/docker.sock" << QByteArray("tcp://elsewhere:2376") << "";
    }
    void remoteHost()
    {
        QFETCH(QString, dockerHost);
        QFETCH(QByteArray, context);
        QFETCH(QString, expected);
        if (!context.isEmpty())
            m_docker->write("endpoint", context);
        if (!dockerHost.isEmpty())
            qputenv("DOCKER_HOST", dockerHost.toUtf8());
        AppState state;
        DockerViewModel model;
        model.scanDocker(&state);
        settle(model);
        qunsetenv("DOCKER_HOST");
        QCOMPARE(model.remoteHost(), expected);
    }
};

QTEST_MAIN(tst_DockerViewModel)
#include "tst_DockerViewModel.moc"
