#include "platform/PathText.h"

#include <QTest>

// Paths written as text must come back as the same bytes: only bytes outside valid UTF-8
// are escaped, and only in the one reversible way.
class TestPathText : public QObject {
    Q_OBJECT

private slots:
    void json_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("plain") << QByteArray("/a b/c") << QByteArray("\"/a b/c\"");
        QTest::newRow("UTF-8 of every length")
            << QByteArray("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80")
            << QByteArray("\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\"");
        QTest::newRow("stray bytes")
            << QByteArray("a\xff\xfe") << QByteArray("\"a\\udcff\\udcfe\"");
        QTest::newRow("overlong slash")
            << QByteArray("\xc0\xaf") << QByteArray("\"\\udcc0\\udcaf\"");
        QTest::newRow("surrogate in UTF-8")
            << QByteArray("\xed\xa0\x80") << QByteArray("\"\\udced\\udca0\\udc80\"");
        QTest::newRow("above U+10FFFF")
            << QByteArray("\xf4\x90\x80\x80") << QByteArray("\"\\udcf4\\udc90\\udc80\\udc80\"");
        QTest::newRow("cut short at the end")
            << QByteArray("x\xe2\x82") << QByteArray("\"x\\udce2\\udc82\"");
        QTest::newRow("lead byte then ASCII") << QByteArray("\xc3(") << QByteArray("\"\\udcc3(\"");
        QTest::newRow("quote, backslash, controls")
            << QByteArray("\"\\\n\t\x01\x7f") << QByteArray("\"\\\"\\\\\\n\\t\\u0001\\u007f\"");
    }

    void json()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, text);
        QCOMPARE(PathText::json(path), text);
    }

    void escaped_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("backslash doubled") << QByteArray("a\\udcff") << QByteArray("a\\\\udcff");
        QTest::newRow("stray byte") << QByteArray("a\xff") << QByteArray("a\\udcff");
        QTest::newRow("line feed kept") << QByteArray("a\nb\xc3\xa9") << QByteArray("a\nb\xc3\xa9");
    }

    void escaped()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, text);
        QCOMPARE(PathText::escaped(path), text);
    }

    void csvField_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("plain") << QByteArray("/a b") << QByteArray("/a b");
        QTest::newRow("comma") << QByteArray("a,b") << QByteArray("\"a,b\"");
        QTest::newRow("quote") << QByteArray("say \"hi\"") << QByteArray("\"say \"\"hi\"\"\"");
        QTest::newRow("line feed") << QByteArray("a\nb") << QByteArray("\"a\nb\"");
        QTest::newRow("carriage return") << QByteArray("a\rb") << QByteArray("\"a\rb\"");
    }

    void csvField()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, field);
        QCOMPARE(PathText::csvField(text), field);
    }
};

QTEST_GUILESS_MAIN(TestPathText)
#include "tst_PathText.moc"
