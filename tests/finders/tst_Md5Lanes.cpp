#include "finders/Md5Lanes.h"

#include <QCryptographicHash>
#include <QTest>

#include <cstring>

class tst_Md5Lanes : public QObject {
    Q_OBJECT

private slots:
    // Each lane gives the plain MD5 of its own message, however many lanes are in use and
    // whether the padding takes one block or two; read whole or a piece at a time, when a
    // lane whose read fails (the last) gets no digest and spoils none of the others.
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
        QTest::newRow("six lanes, 1 MiB and a bit") << 6 << qint64((1 << 20) + 61);
        // Read a piece at a time, two sets of lanes go side by side.
        QTest::newRow("one lane past a set, a piece and a bit")
            << Md5Lanes::kLanes + 1 << Md5Lanes::kPiece + 70;
        QTest::newRow("two full sets, whole pieces") << Md5Lanes::kMessages << 3 * Md5Lanes::kPiece;
    }
    void lanesMatchPlainMd5()
    {
        QFETCH(int, count);
        QFETCH(qint64, length);
        QList<QByteArray> messages;
        const char *pointers[Md5Lanes::kMessages];
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
        for (int k = 0; k < count; ++k)
            out.replace(16 * k, 16, QCryptographicHash::hash(messages[k], QCryptographicHash::Md5));
        if (count <= Md5Lanes::kLanes) {
            QByteArray whole(16 * count, '\0');
            Md5Lanes::digests(pointers, count, length, whole.data());
            QCOMPARE(whole.toHex(), out.toHex());
        }

        QByteArray streamed(16 * count, '\0');
        bool ok[Md5Lanes::kMessages];
        const int failing = count > 1 ? count - 1 : -1;
        Md5Lanes::digests(
            count, length,
            [&](int lane, qint64 offset, qint64 n, char *into) {
                std::memcpy(into, messages[lane].constData() + offset, size_t(n));
                return lane != failing || offset + n < length;
            },
            streamed.data(), ok);
        for (int k = 0; k < count; ++k) {
            QCOMPARE(ok[k], k != failing);
            if (k != failing)
                QCOMPARE(streamed.mid(16 * k, 16).toHex(), out.mid(16 * k, 16).toHex());
        }
    }
};

QTEST_GUILESS_MAIN(tst_Md5Lanes)
#include "tst_Md5Lanes.moc"
