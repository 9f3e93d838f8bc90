#include "finders/Md5Lanes.h"

#include <QCryptographicHash>
#include <QTest>

class tst_Md5Lanes : public QObject {
    Q_OBJECT

private slots:
    // Each lane gives the plain MD5 of its own message, however many lanes are in use and
    // whether the padding takes one block or two.
    void lanesMatchPlainMd5_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<qint64>("length");
        QTest::newRow("one lane, empty") << 1 << qint64(0);
        QTest::newRow("three lanes, padding in the last block") << 3 << qint64(55);
        QTest::newRow("all lanes, padding in a block of its own") << Md5Lanes::kLanes << qint64(56);
        QTest::newRow("all lanes, whole blocks") << Md5Lanes::kLanes << qint64(128);
        QTest::newRow("five lanes, 1000 bytes") << 5 << qint64(1000);
        QTest::newRow("all lanes, 1 MiB") << Md5Lanes::kLanes << qint64(1 << 20);
    }
    void lanesMatchPlainMd5()
    {
        QFETCH(int, count);
        QFETCH(qint64, length);
        QList<QByteArray> messages;
        const char *pointers[Md5Lanes::kLanes];
        for (int k = 0; k < count; ++k) {
            QByteArray m(length, Qt::Uninitialized);
            quint32 x = 2654435761u * quint32(k + 1);
            for (qint64 i = 0; i < length; ++i) {
                x = x * 1664525u + 1013904223u;
                m[i] = char(x >> 24);
            }
            messages.append(m);
            pointers[k] = messages.back().constData();
        }
        QByteArray out(16 * count, '\0');
        Md5Lanes::digests(pointers, count, length, out.data());
        for (int k = 0; k < count; ++k)
            QCOMPARE(out.mid(16 * k, 16).toHex(),
                     QCryptographicHash::hash(messages[k], QCryptographicHash::Md5).toHex());
    }
};

QTEST_GUILESS_MAIN(tst_Md5Lanes)
#include "tst_Md5Lanes.moc"
