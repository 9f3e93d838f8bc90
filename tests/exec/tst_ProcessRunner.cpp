#include "app/AppState.h"
#include "exec/ProcessRunner.h"
#include "exec/ThreadPriority.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Whether a process still runs (a zombie has ended).
bool running(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close > 0 && close + 2 < line.size() && line[close + 2] != 'Z';
}

} // namespace

class tst_ProcessRunner : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void commandCapturesBothStreamsAndStatus()
    {
        const RunResult r = ProcessRunner::runCommand("echo out; echo err >&2; exit 3");
        QCOMPARE(r.stdOut, QStringLiteral("out\n"));
        QCOMPARE(r.stdErr, QStringLiteral("err\n"));
        QCOMPARE(r.exitCode, 3);
    }

    // The log holds the command, its status and the end of its errors; never what it
    // listed. "E:" marks an error record.
    void logsStatusAndErrorTailNeverOutput_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("records");
        const QString lines = "echo listed-name; for i in 1 2 3 4 5 6 7; do echo e$i >&2; done";
        QTest::newRow("failure: the last lines of stderr")
            << lines + "; exit 3"
            << QStringList{"[input] $ " + lines + "; exit 3", "[exit] 3", "E:e3\ne4\ne5\ne6\ne7"};
        QTest::newRow("a long listing")
            << "seq 1 200000" << QStringList{"[input] $ seq 1 200000", "[exit] 0"};
        const QString wide = "head -c 5000 /dev/zero | tr '\\0' e >&2";
        QTest::newRow("one endless line of stderr")
            << wide
            << QStringList{"[input] $ " + wide, "[exit] 0", "E:\u2026" + QString(1000, 'e')};
        QTest::newRow("silent") << "true" << QStringList{"[input] $ true", "[exit] 0"};
        const QString longLine = "true " + QString(3000, 'x');
        QTest::newRow("a long command line")
            << longLine << QStringList{"[input] $ " + longLine.left(2000) + "\u2026", "[exit] 0"};
    }
    void logsStatusAndErrorTailNeverOutput()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, records);
        AppState state;
        m_env->clearLog();
        ProcessRunner::runCommand(command, &state);
        QStringList logged;
        for (const auto &[level, text] : m_env->log())
            logged << (level == SystemLog::Level::Error ? "E:" : "") + text;
        QCOMPARE(logged, records);
    }

    void runQuotesOnlyArgumentsWithBlanks()
    {
        AppState state;
        m_env->clearLog();
        QDir(m_env->root()).mkdir("my folder");
        const RunResult r =
            ProcessRunner::run("/bin/ls", {"-l", m_env->root() + "/my folder"}, &state);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(m_env->log().first().second,
                 "[input] $ /bin/ls -l \"" + m_env->root() + "/my folder\"");
    }

    void missingExecutableResumesWithMinusOne()
    {
        AppState state;
        m_env->clearLog();
        const RunResult r = ProcessRunner::run(m_env->root() + "/no-such-tool", {}, &state);
        QCOMPARE(r.exitCode, -1);
        QVERIFY(r.stdOut.isEmpty());
        QVERIFY(!r.stdErr.isEmpty());
        const auto log = m_env->log();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log[1].first, SystemLog::Level::Error);
        QVERIFY(log[1].second.startsWith("Failed to run process: "));
    }

    void noAppStateLogsNothing()
    {
        m_env->clearLog();
        QCOMPARE(ProcessRunner::runCommand("echo hi").stdOut, QStringLiteral("hi\n"));
        QVERIFY(m_env->log().isEmpty());
    }

    void largeStderrDoesNotStall()
    {
        // 8 MB to stderr, a line to stdout: reading one pipe first would deadlock.
        const RunResult r =
            ProcessRunner::runCommand("head -c 8000000 /dev/zero | tr '\\0' x >&2; echo done");
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.stdOut, QStringLiteral("done\n"));
        QCOMPARE(r.stdErr.size(), 8000000);
    }

    void invalidUtf8DecodesLeniently()
    {
        const RunResult r = ProcessRunner::runCommand("printf '12\\tbad\\377name\\n'");
        QCOMPARE(r.stdOut, QString("12\tbad") + QChar(0xFFFD) + "name\n");
        QCOMPARE(ProcessRunner::parseDuMB(r.stdOut), 12.0);
    }

    // A shell that runs the tool as its own child; the tool must end with it, soon.
    void stopEndsTheShellAndItsChild_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("tool");
        for (const char *how : {"cancel", "timeout", "stop all"}) {
            QTest::addRow("%s, plain child", how) << how << "sleep 30";
            // The shell ends on SIGTERM, the tool only on SIGKILL.
            QTest::addRow("%s, child deaf to SIGTERM", how)
                << how << "(trap '' TERM; exec sleep 30)";
            QTest::addRow("%s, shell and child deaf", how) << how << "trap '' TERM; sleep 30";
        }
    }
    void stopEndsTheShellAndItsChild()
    {
        QFETCH(QString, how);
        QFETCH(QString, tool);
        const QString pidFile = m_env->root() + "/child.pid";
        RunOptions options;
        if (how == "timeout")
            options.timeoutMs = 300;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (how == "cancel")
                options.cancel.cancel();
            else if (how == "stop all")
                ProcessRunner::stopAll();
        });
        QElapsedTimer clock;
        clock.start();
        const RunResult r = ProcessRunner::runCommand(
            QString("%1 & echo $! > '%2'; echo started; wait").arg(tool, pidFile), nullptr,
            options);
        const qint64 took = clock.elapsed();
        stopper.join();
        ProcessRunner::resetStopAll();

        QVERIFY2(took < 1300, qPrintable(QString::number(took)));
        QCOMPARE(r.exitCode, -1);
        QCOMPARE(r.timedOut, how == "timeout");
        QCOMPARE(r.cancelled, how != "timeout");
        QCOMPARE(r.stdOut, QStringLiteral("started\n")); // what came before the stop is kept
        QFile f(pidFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const qint64 child = f.readAll().trimmed().toLongLong();
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(!running(child), 200);
    }

    void stopAllRefusesNewRunsUntilReset()
    {
        const QString marker = m_env->root() + "/ran";
        ProcessRunner::stopAll();
        const RunResult r = ProcessRunner::runCommand("touch '" + marker + "'");
        ProcessRunner::resetStopAll();
        QVERIFY(r.cancelled);
        QCOMPARE(r.exitCode, -1);
        QVERIFY(!QFile::exists(marker));
        QCOMPARE(ProcessRunner::runCommand("touch '" + marker + "'").exitCode, 0);
        QVERIFY(QFile::exists(marker));
    }

    // Our own standard input is a pipe nobody writes to: a tool that reads it would wait.
    void runsReadTheNullDevice()
    {
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        const int saved = ::dup(0);
        ::dup2(fds[0], 0);
        RunOptions options;
        options.timeoutMs = 3000;
        const RunResult r = ProcessRunner::runCommand("cat; echo end", nullptr, options);
        ::dup2(saved, 0);
        ::close(saved);
        ::close(fds[0]);
        ::close(fds[1]);
        QVERIFY(!r.timedOut);
        QCOMPARE(r.stdOut, QStringLiteral("end\n"));
    }

    // A tool runs nice, in a process group of its own (stopping it reaches its children)
    // but in our session: the scheduler weighs a session of its own like the whole desktop,
    // whatever its niceness. Started from the window's thread it must still be nice.
    void toolsRunNiceInOurSession()
    {
        const RunResult r = ProcessRunner::run(
            "/bin/sh", {"-c", "nice; echo $$; read -r stat < /proc/$$/stat; echo \"$stat\""});
        const QStringList lines = r.stdOut.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].toInt(), ThreadPriority::kBackgroundNice);
        // After the name in brackets: state, parent, process group, session.
        const QStringList fields = lines[2].mid(lines[2].lastIndexOf(')') + 2).split(' ');
        QVERIFY(fields.size() > 3);
        QCOMPARE(fields[2], lines[1]);
        QCOMPARE(fields[3].toInt(), int(::getsid(0)));
    }

    // The window's thread asks for a short slice; what it starts in the background, a
    // tool or a lowered thread, must not keep it.
    void backgroundWorkDropsTheWindowsShortSlice()
    {
        auto sliceOf = [](const QByteArray &schedText) {
            for (const QByteArray &line : schedText.split('\n')) {
                if (line.startsWith("se.slice"))
                    return line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
            }
            return -1LL;
        };
        auto ownSlice = [&] {
            QFile f(QStringLiteral("/proc/thread-self/sched"));
            return f.open(QIODevice::ReadOnly) ? sliceOf(f.readAll()) : -1LL;
        };
        qint64 favoured = -1, tool = -1, lowered = -1;
        std::thread window([&] {
            ThreadPriority::favourCurrent();
            favoured = ownSlice();
            tool = sliceOf(
                ProcessRunner::run("/bin/sh", {"-c", "cat /proc/$$/sched"}).stdOut.toUtf8());
            ThreadPriority::lowerCurrent();
            lowered = ownSlice();
        });
        window.join();
        if (favoured != 500'000)
            QSKIP("this kernel keeps one slice for every thread");
        QVERIFY(tool > 0 && tool != favoured);
        QVERIFY(lowered > 0 && lowered != favoured);
    }

    void environmentIsAddedTo()
    {
        RunOptions options;
        options.environment = {"QM_PROBE=a=b c", "QM_EMPTY="};
        const RunResult r = ProcessRunner::run(
            "/bin/sh", {"-c", "printf '%s|%s|%s' \"$QM_PROBE\" \"${QM_EMPTY-unset}\" \"$PATH\""},
            nullptr, options);
        QCOMPARE(r.stdOut, "a=b c||" + qEnvironmentVariable("PATH"));
    }

    void sizeMBOfNothingRunsNothing()
    {
        // A du that would leave a mark if it ran.
        Locations loc = Locations::current();
        const QString marker = m_env->root() + "/ran";
        const QString fakeDu = m_env->root() + "/du";
        QFile f(fakeDu);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\ntouch " + marker + "\necho '5\t.'\n").toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        loc.du = fakeDu;
        Locations::setCurrent(loc);

        QCOMPARE(ProcessRunner::sizeMB({m_env->root() + "/missing", m_env->root() + "/gone"}), 0.0);
        QVERIFY(!QFile::exists(marker));
        QCOMPARE(ProcessRunner::sizeMB({m_env->root() + "/missing", m_env->home()}), 5.0);
        QVERIFY(QFile::exists(marker));
    }

    void sizeMBWithRealDu()
    {
        QFile f(m_env->home() + "/blob");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(3 * 1024 * 1024, 'a'));
        f.close();
        const double mb = ProcessRunner::sizeMB({m_env->home() + "/blob"});
        QVERIFY2(mb >= 3 && mb <= 4, qPrintable(QString::number(mb)));
    }

    void parseDuMB_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<double>("expected");
        QTest::newRow("two lines") << "12\t/a\n3\t/b\n" << 15.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("bare number") << "7" << 7.0;
        QTest::newRow("not a number") << "abc\t/x\n" << 0.0;
        QTest::newRow("blank lines and padding") << "\n  4\t/a\n\n" << 4.0;
        QTest::newRow("one bad line among good") << "2\t/a\nwhat\t/b\n5\t/c" << 7.0;
    }
    void parseDuMB()
    {
        QFETCH(QString, output);
        QFETCH(double, expected);
        QCOMPARE(ProcessRunner::parseDuMB(output), expected);
    }

    void formatSizeMB_data()
    {
        QTest::addColumn<double>("mb");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "0.00 MB";
        QTest::newRow("half GB") << 512.0 << "512.00 MB";
        QTest::newRow("just below") << 1023.999 << "1024.00 MB";
        QTest::newRow("boundary") << 1024.0 << "1.00 GB";
        QTest::newRow("one and a half") << 1536.0 << "1.50 GB";
        QTest::newRow("no TB step") << 2097152.0 << "2048.00 GB";
    }
    void formatSizeMB()
    {
        QFETCH(double, mb);
        QFETCH(QString, text);
        QCOMPARE(::formatSizeMB(mb), text);
    }

    void strippingANSI_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        QTest::newRow("colour and reset") << "\x1b[1;32mDone\x1b[0m"
                                          << "Done";
        QTest::newRow("cursor move") << "a\x1b[2Kb"
                                     << "ab";
        QTest::newRow("other escape kept") << "a\x1b]0;title\x07"
                                           << "a\x1b]0;title\x07";
        QTest::newRow("plain") << "plain text"
                               << "plain text";
    }
    void strippingANSI()
    {
        QFETCH(QString, input);
        QFETCH(QString, output);
        QCOMPARE(::strippingANSI(input), output);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_GUILESS_MAIN(tst_ProcessRunner)
#include "tst_ProcessRunner.moc"
