#include "app/AppState.h"
#include "exec/ProcessRunner.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTest>

class tst_ProcessRunner : public QObject {
    Q_OBJECT
private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void commandCapturesBothStreamsAndStatus()
    {
        AppState state;
        m_env->clearLog();
        const RunResult r = ProcessRunner::runCommand("echo out; echo err >&2; exit 3", &state);
        QCOMPARE(r.stdOut, QStringLiteral("out\n"));
        QCOMPARE(r.stdErr, QStringLiteral("err\n"));
        QCOMPARE(r.exitCode, 3);
        const auto log = m_env->log();
        QCOMPARE(log.size(), 3);
        QCOMPARE(log[0].second, QStringLiteral("[input] $ echo out; echo err >&2; exit 3"));
        QCOMPARE(log[1].second, QStringLiteral("[stdout] out\n"));
        QCOMPARE(log[1].first, SystemLog::Level::Info);
        QCOMPARE(log[2].second, QStringLiteral("err\n"));
        QCOMPARE(log[2].first, SystemLog::Level::Error);
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

    void silentProgramLogsOnlyInput()
    {
        AppState state;
        m_env->clearLog();
        const RunResult r = ProcessRunner::runCommand("true", &state);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(m_env->log().size(), 1);
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
