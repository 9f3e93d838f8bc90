#include "exec/screens/TerminalSheetView.h"

#include "support/KeyboardWalk.h"
#include "support/TestEnvironment.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestTerminalSheetView : public QObject {
    Q_OBJECT

private slots:
    void init() { m_env = std::make_unique<TestEnvironment>(); }
    void cleanup() { m_env.reset(); }

    void sheet_showsOutputAndStatus_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("status");
        QTest::newRow("both streams") << "echo out; echo err >&2"
                                      << "out\nerr\n"
                                      << 0;
        QTest::newRow("standard error only") << "echo only >&2"
                                             << "only\n"
                                             << 0;
        QTest::newRow("failure") << "echo trying; exit 3"
                                 << "trying\nExited with status 3\n"
                                 << 3;
        QTest::newRow("colour variable") << "printf 'colour=%s' \"$HOMEBREW_COLOR\""
                                         << "colour=1\nExited" << -1;
        // No terminal to prompt on, and a session of its own.
        QTest::newRow("no terminal") << "readlink /proc/self/fd/0; test \"$(cut -d' ' -f6 "
                                        "/proc/$$/stat)\" = \"$$\" && echo own"
                                     << "/dev/null\nown\n"
                                     << 0;
        QTest::newRow("carriage return") << "printf '10%%\\r50%%\\r100%%\\n'"
                                         << "10%\r50%\r100%\n"
                                         << 0;
    }
    void sheet_showsOutputAndStatus()
    {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        QFETCH(int, status);
        TerminalSheetView sheet("Title…", command, {});
        QSignalSpy finished(&sheet, &TerminalSheetView::runFinished);
        sheet.show();
        QVERIFY(finished.wait(10000));
        QVERIFY(!sheet.isRunning());
        if (status >= 0) {
            QCOMPARE(sheet.output(), expected);
            QCOMPARE(sheet.exitStatus(), std::optional<int>(status));
        } else {
            QVERIFY(sheet.output().startsWith("colour=1"));
        }
        QVERIFY(sheet.doneButton()->isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&sheet));
        const QStringList faults = keyboardFaults(&sheet, sheet.doneButton());
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        if (QTest::currentDataTag() == QByteArray("carriage return"))
            QCOMPARE(sheet.outputView()->toPlainText(), QString("100%\n"));
    }

    void sheet_missingProgramShowsShellMessage()
    {
        TerminalSheetView sheet("Title…", "/no/such/brew update", {});
        QSignalSpy finished(&sheet, &TerminalSheetView::runFinished);
        sheet.show();
        QVERIFY(finished.wait(10000));
        QVERIFY2(sheet.output().contains("/no/such/brew"), qPrintable(sheet.output()));
        QVERIFY(sheet.output().endsWith("Exited with status 127\n"));
    }

    void sheet_growsWhileRunningAndRefusesToClose()
    {
        bool done = false;
        TerminalSheetView sheet("Updating…", "for i in 1 2 3; do echo line$i; sleep 0.2; done",
                                [&] { done = true; });
        QSignalSpy finished(&sheet, &TerminalSheetView::runFinished);
        sheet.show();
        QTRY_VERIFY_WITH_TIMEOUT(sheet.output().contains("line1"), 5000);
        QVERIFY(sheet.isRunning());
        QVERIFY(!sheet.output().contains("line3"));
        QVERIFY(!sheet.doneButton()->isVisible());

        QTest::keyClick(&sheet, Qt::Key_Escape);
        QVERIFY(!sheet.close());
        QVERIFY(sheet.isVisible());
        QVERIFY(TerminalSheetView::anyRunning());

        QVERIFY(finished.wait(5000));
        QCOMPARE(sheet.output(), QString("line1\nline2\nline3\n"));
        QVERIFY(!TerminalSheetView::anyRunning());
        QTest::mouseClick(sheet.doneButton(), Qt::LeftButton);
        QVERIFY(done);
    }

    void sheet_keepsEveryByteOfLargeOutput()
    {
        // Three megabytes in lines of 100 (the last without a line feed): appended piece
        // by piece, nothing dropped.
        TerminalSheetView sheet("Big…", "head -c 3000000 /dev/zero | tr '\\0' x | fold -w 100", {});
        QSignalSpy finished(&sheet, &TerminalSheetView::runFinished);
        sheet.show();
        QVERIFY(finished.wait(60000));
        QCOMPARE(sheet.output().size(), 3029999);
        QCOMPARE(sheet.outputView()->document()->blockCount(), 30000);
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
};

QTEST_MAIN(TestTerminalSheetView)
#include "tst_TerminalSheetView.moc"
