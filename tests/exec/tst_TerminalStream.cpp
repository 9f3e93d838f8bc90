#include "exec/TerminalStream.h"

#include <QTest>

// Every input is fed cut in two at each byte position, and once a byte at a time: what
// shows must not depend on where the reads end.
class tst_TerminalStream : public QObject {
    Q_OBJECT

private slots:
    void showsTheSameWhereverReadsEnd_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("characters") << QByteArray("\xc3\xa9 caf\xc3\xa9 a\xf0\x9f\x8d\xba")
                                    << QString::fromUtf8("é café a🍺");
        // Half a character, then a byte that cannot continue it: the byte survives.
        QTest::newRow("broken character") << QByteArray("a\xc3(b") << QString("a\uFFFD(b");
        QTest::newRow("character unfinished at the end")
            << QByteArray("ok\xe2\x82") << QString("ok\uFFFD");
        QTest::newRow("colours") << QByteArray("\x1b[32mgreen\x1b[0m done")
                                 << QString("green done");
        QTest::newRow("cursor modes")
            << QByteArray("\x1b[?25lhidden\x1b[?25h") << QString("hidden");
        // What `tput sgr0` writes: a character-set pick, then the attributes off.
        QTest::newRow("tput sgr0") << QByteArray("red\x1b(B\x1b[mplain") << QString("redplain");
        QTest::newRow("keypad and cursor saves") << QByteArray("\x1b=\x1b"
                                                               "7a\x1b"
                                                               "8\x1b>")
                                                 << QString("a");
        QTest::newRow("title ended by BEL") << QByteArray("a\x1b]0;title\x07"
                                                          "b")
                                            << QString("ab");
        QTest::newRow("title ended by ESC \\")
            << QByteArray("a\x1b]2;t\xc3\xaftle\x1b\\b") << QString("ab");
        QTest::newRow("long title") << QByteArray("a\x1b]0;" + QByteArray(300, 'x') +
                                                  "\x07"
                                                  "b")
                                    << QString("ab");
        QTest::newRow("device control string")
            << QByteArray("a\x1bPq#0;2;0;0;0#0~~\x07~\x1b\\b") << QString("ab");
        QTest::newRow("application command")
            << QByteArray("a\x1b_Gf=100;AAAA\x1b\\b") << QString("ab");
        QTest::newRow("title unfinished at the end") << QByteArray("a\x1b]0;tit") << QString("a");
    }
    void showsTheSameWhereverReadsEnd()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, expected);
        for (qsizetype cut = 0; cut <= input.size(); ++cut) {
            TerminalStream stream;
            QString text = stream.feed(input.left(cut));
            text += stream.feed(input.mid(cut));
            text += stream.finish();
            QVERIFY2(text == expected, qPrintable(QString("cut at %1: %2").arg(cut).arg(text)));
        }
        TerminalStream stream;
        QString text;
        for (const char byte : input)
            text += stream.feed(QByteArray(1, byte));
        text += stream.finish();
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(tst_TerminalStream)
#include "tst_TerminalStream.moc"
