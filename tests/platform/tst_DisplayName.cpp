#include "platform/DisplayName.h"

#include <QTest>

class TestDisplayName : public QObject {
    Q_OBJECT

private slots:
    void oneLineWithEveryCharacterVisible_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain, dash and quote as they are")
            << QByteArray("-rf \"it's\" été") << QString::fromUtf8("-rf \"it's\" été");
        QTest::newRow("line feed") << QByteArray("two\nlines") << QString::fromUtf8("two⏎lines");
        QTest::newRow("other breaks") << QByteArray("a\xe2\x80\xa8"
                                                    "b\xc2\x85"
                                                    "c")
                                      << QString::fromUtf8("a⏎b⏎c");
        QTest::newRow("tab, return, escape, delete")
            << QByteArray("\t\r\x1b\x7f") << QString::fromUtf8("␉␍␛␡");
        QTest::newRow("C1 control") << QByteArray("x\xc2\x9by") << QString::fromUtf8("x␦y");
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9.txt") << QString::fromUtf8("caf�.txt");
    }

    void oneLineWithEveryCharacterVisible()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        QCOMPARE(DisplayName::line(bytes), shown);
        QCOMPARE(DisplayName::line(QString::fromUtf8(bytes)), shown);
    }
};

QTEST_MAIN(TestDisplayName)
#include "tst_DisplayName.moc"
