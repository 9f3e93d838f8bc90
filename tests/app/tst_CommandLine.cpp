#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

// Runs the built program with its own options, in a throw-away home with its own
// preferences, the way the README's commands run it.
class TestCommandLine : public QObject {
    Q_OBJECT

private:
    struct Run {
        int exitCode = -1;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QByteArray out;
        QByteArray err;
    };

    QProcessEnvironment environment(bool display)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (display)
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    static QString program()
    {
        // QUILLMAR_PROGRAM runs another build of the program (a sanitizer build, say).
        return qEnvironmentVariable("QUILLMAR_PROGRAM", QStringLiteral(QUILLMAR_PROGRAM));
    }

    Run run(const QStringList &args, bool display)
    {
        QProcess process;
        process.setProcessEnvironment(environment(display));
        process.start(program(), args);
        Run result;
        if (!process.waitForStarted(10000))
            return result;
        process.closeWriteChannel();
        if (!process.waitForFinished(150000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.exitCode = process.exitCode();
        result.status = process.exitStatus();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("home"))));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("config/ornk"))));
        // No scans of every tab at launch: the runs look only at what they are asked.
        QFile prefs(m_dir.filePath(QStringLiteral("config/ornk/Quillmar.conf")));
        QVERIFY(prefs.open(QIODevice::WriteOnly));
        prefs.write("[General]\nautoScanOnLaunch=false\n");
        prefs.close();
        // A small tree to map: two folders, so the largest one is opened as well.
        const QString tree = m_dir.filePath(QStringLiteral("tree"));
        for (const char *d : {"big/inner", "small"})
            QVERIFY(QDir().mkpath(tree + QLatin1Char('/') + QLatin1String(d)));
        for (const auto &[name, size] :
             {std::pair{"big/inner/a.bin", 3 << 20}, std::pair{"small/b.bin", 1 << 20}}) {
            QFile f(tree + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(size, 'q'));
        }
    }

    void answersWithoutADisplay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("--help") << QStringList{"--help"} << QByteArray("--screenshot <file>");
        QTest::newRow("-h") << QStringList{"-h"} << QByteArray("--map <folder>");
        QTest::newRow("--version") << QStringList{"--version"} << QByteArray("Quillmar ");
    }

    void answersWithoutADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, expected);
        const Run r = run(args, false);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.contains(expected), r.out.constData());
    }

    void screenshotOfAMap_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << QStringList{"--theme", "1"} << false;
        QTest::newRow("switched to dark while running")
            << QStringList{"--theme", "1", "--switch-theme", "2"} << true;
    }

    void screenshotOfAMap()
    {
        QFETCH(QStringList, extra);
        QFETCH(bool, dark);
        const QString shot = m_dir.filePath(QStringLiteral("shot.png"));
        QFile::remove(shot);
        const Run r =
            run(QStringList{"--map", m_dir.filePath(QStringLiteral("tree")), "--screenshot", shot} +
                    extra,
                true);
        QVERIFY2(r.status == QProcess::NormalExit && r.exitCode == 0, r.err.constData());
        const QImage image(shot);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 1000 && image.height() >= 700);
        // The window's background, just below the menu bar at the sidebar's bottom.
        const QColor background = image.pixelColor(20, image.height() - 10);
        QCOMPARE(background.lightness() < 100, dark);
    }

    void endsCalmlyWhenTheSystemAsks_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    // As a log-out does: the program quits as from its menu, even with an update check
    // waiting on a site that never answers, instead of dying and leaving its tools running.
    void endsCalmlyWhenTheSystemAsks()
    {
        QFETCH(int, signal);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QProcessEnvironment env = environment(true);
        env.insert(QStringLiteral("QUILLMAR_UPDATE_BASE"),
                   QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program(), {});
        QVERIFY(process.waitForStarted(10000));
        // Up and checking: the check has reached the silent site.
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 20000);
        QElapsedTimer sinceAsked;
        sinceAsked.start();
        QCOMPARE(::kill(pid_t(process.processId()), signal), 0);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(sinceAsked.elapsed() < 3000, qPrintable(QString::number(sinceAsked.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_CommandLine.moc"
