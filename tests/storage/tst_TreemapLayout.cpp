#include "storage/TreemapLayout.h"

#include <QTest>

#include <cmath>

using namespace TreemapLayout;

namespace {

double area(const QRectF &r)
{
    return r.width() * r.height();
}

QList<StorageEntry> entriesOfSizes(const QList<qint64> &sizes)
{
    QList<StorageEntry> entries;
    for (qsizetype i = 0; i < sizes.size(); ++i)
        entries.append(StorageEntry{"/t/e" + QByteArray::number(i), sizes[i], i % 2 == 0, false});
    return entries;
}

} // namespace

class TestTreemapLayout : public QObject {
    Q_OBJECT

private slots:
    void degenerateInputs_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("no values") << QList<double>{} << QRectF(0, 0, 10, 10);
        QTest::newRow("zeros") << QList<double>{0, 0} << QRectF(0, 0, 10, 10);
        QTest::newRow("zero width") << QList<double>{3, 2, 1} << QRectF(5, 5, 0, 10);
        QTest::newRow("zero height") << QList<double>{3, 2, 1} << QRectF(5, 5, 10, 0);
        QTest::newRow("all negative") << QList<double>{-3, -1} << QRectF(0, 0, 10, 10);
    }
    void degenerateInputs()
    {
        QFETCH(QList<double>, values);
        QFETCH(QRectF, rect);
        const QList<QRectF> rects = squarify(values, rect);
        QCOMPARE(rects.size(), values.size());
        for (const QRectF &r : rects)
            QCOMPARE(r, QRectF());
    }

    void oneValueFillsTheRectangle()
    {
        QCOMPARE(squarify({42}, QRectF(0, 0, 100, 50)), (QList<QRectF>{QRectF(0, 0, 100, 50)}));
        QCOMPARE(squarify({7}, QRectF(10, 20, 30, 40)), (QList<QRectF>{QRectF(10, 20, 30, 40)}));
        // A negative value takes nothing away from the others.
        const QList<QRectF> withNegative = squarify({-3, 1}, QRectF(0, 0, 10, 10));
        QCOMPARE(area(withNegative[0]), 0.0);
        QCOMPARE(withNegative[1], QRectF(0, 0, 10, 10));
    }

    void areasMatchWithoutOverlap_data()
    {
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("classic") << QList<double>{6, 6, 4, 3, 2, 2, 1} << QRectF(0, 0, 6, 4);
        QTest::newRow("tall") << QList<double>{6, 6, 4, 3, 2, 2, 1} << QRectF(3, 7, 4, 6);
        QTest::newRow("negative in the middle")
            << QList<double>{50, -10, 30, 20} << QRectF(0, 0, 100, 60);
        QTest::newRow("zeros at the end") << QList<double>{5, 3, 0, 0} << QRectF(0, 0, 16, 9);
        QTest::newRow("skewed") << QList<double>{1000, 1, 1, 1, 0.5} << QRectF(0, 0, 800, 500);
    }
    void areasMatchWithoutOverlap()
    {
        QFETCH(QList<double>, values);
        QFETCH(QRectF, rect);
        const QList<QRectF> rects = squarify(values, rect);
        QCOMPARE(rects.size(), values.size());
        double sum = 0;
        for (double v : values)
            sum += std::max(v, 0.0);
        const double scale = area(rect) / sum;
        const double eps = 1e-9 * area(rect);
        for (qsizetype k = 0; k < rects.size(); ++k) {
            QVERIFY2(std::abs(area(rects[k]) - std::max(values[k], 0.0) * scale) < eps,
                     qPrintable(QString::number(k)));
            if (area(rects[k]) > 0) {
                QVERIFY(rects[k].left() >= rect.left() - 1e-9);
                QVERIFY(rects[k].top() >= rect.top() - 1e-9);
                QVERIFY(rects[k].right() <= rect.right() + 1e-9);
                QVERIFY(rects[k].bottom() <= rect.bottom() + 1e-9);
            }
            for (qsizetype j = 0; j < k; ++j)
                QVERIFY(area(rects[j].intersected(rects[k])) < eps);
        }
    }

    void classicFirstRowIsAColumnAlongTheLeft()
    {
        const QList<QRectF> rects = squarify({6, 6, 4, 3, 2, 2, 1}, QRectF(0, 0, 6, 4));
        QCOMPARE(rects[0], QRectF(0, 0, 3, 2));
        QCOMPARE(rects[1], QRectF(0, 2, 3, 2));
        // The rest (3 × 4 left, taller than wide) continues as strips along the top.
        QCOMPARE(rects[2].top(), 0.0);
        QCOMPARE(rects[2].left(), 3.0);
    }

    void blockMapContent_data()
    {
        QTest::addColumn<QList<qint64>>("sizes");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<int>("restCount"); // -1: no rest tile
        QTest::addColumn<bool>("emptyText");

        QList<qint64> hundredTwenty;
        for (int i = 0; i < 120; ++i)
            hundredTwenty.append(10'000 - i * 10);
        QTest::newRow("120 children") << hundredTwenty << 80 << 40 << false;
        QList<qint64> tenAndFiveEmpty;
        for (int i = 0; i < 10; ++i)
            tenAndFiveEmpty.append(500 - i);
        tenAndFiveEmpty << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("10 and 5 empty") << tenAndFiveEmpty << 10 << -1 << false;
        QTest::newRow("all empty") << QList<qint64>{0, 0, 0} << 0 << -1 << false;
        QTest::newRow("no children") << QList<qint64>{} << 0 << -1 << true;
        QList<qint64> exactly80(80, 7);
        QTest::newRow("exactly 80") << exactly80 << 80 << -1 << false;
    }
    void blockMapContent()
    {
        QFETCH(QList<qint64>, sizes);
        QFETCH(int, blocks);
        QFETCH(int, restCount);
        QFETCH(bool, emptyText);
        const QList<StorageEntry> entries = entriesOfSizes(sizes);
        const QSizeF size(900, 600);
        const BlockMapContent content = TreemapLayout::blockMapContent(entries, size);

        QCOMPARE(content.showsEmptyText, emptyText);
        QCOMPARE(content.blocks.size(), blocks);
        for (int k = 0; k < blocks; ++k)
            QCOMPARE(content.blocks[k].entry, entries[k]);
        QCOMPARE(content.rest.has_value(), restCount >= 0);
        double covered = 0;
        for (const Block &b : content.blocks)
            covered += area(b.rect);
        if (content.rest) {
            QCOMPARE(content.rest->count, restCount);
            QCOMPARE(content.rest->title(), QString::number(restCount) + " smaller items");
            qint64 restBytes = 0;
            for (qsizetype k = blocks; k < sizes.size(); ++k)
                restBytes += sizes[k];
            QCOMPARE(content.rest->bytes, restBytes);
            covered += area(content.rest->rect);
        }
        if (blocks > 0)
            QVERIFY(std::abs(covered - size.width() * size.height()) < 1e-6);
    }

    void labelsAndPreviews()
    {
        QVERIFY(!showsLabel(QRectF(0, 0, 50, 25)));
        QVERIFY(showsLabel(QRectF(0, 0, 65, 31)));
        QVERIFY(!showsLabel(QRectF(0, 0, 64, 31)));
        QVERIFY(!showsLabel(QRectF(0, 0, 65, 30)));

        QCOMPARE(blockRect(QRectF(10, 20, 30, 40)), QRectF(11, 21, 28, 38));
        QCOMPARE(blockRect(QRectF(10, 20, 1, 40)), QRectF(11, 21, 0, 38));

        const StorageEntry file{"/t/photo.jpg", 3'000'000, false, false};
        const StorageEntry folder{"/t/Pictures", 3'000'000, true, true};
        QCOMPARE(previewSide(QRectF(0, 0, 30, 20)), 30.0);
        QVERIFY(!wantsThumbnail(file, 30));
        QVERIFY(!wantsThumbnail(file, 40));
        QVERIFY(wantsThumbnail(file, 41));
        QVERIFY(!wantsThumbnail(folder, 500));
        QCOMPARE(thumbnailPixelSize(100), QSize(200, 200));
        QCOMPARE(thumbnailPixelSize(1000), QSize(800, 800));
        QCOMPARE(iconSize(100), 50.0);
        QCOMPARE(iconSize(1000), 96.0);

        QCOMPARE(blockToolTip(file), QStringLiteral("photo.jpg · 3 MB"));
        QCOMPARE(blockToolTip(folder), QStringLiteral("Pictures · 3 MB+ · click to open"));
    }

    void columnBars()
    {
        QCOMPARE(columnTotal({}), 1);
        QCOMPARE(columnTotal(entriesOfSizes({0, 1})), 1);
        QCOMPARE(columnTotal(entriesOfSizes({300, 100})), 400);
        QCOMPARE(columnBarWidth(300, 400, 200), 150.0);
        QCOMPARE(columnBarWidth(1, 400, 200), 2.0);
        QCOMPARE(columnBarWidth(0, 1, 200), 2.0);
    }
};

QTEST_GUILESS_MAIN(TestTreemapLayout)
#include "tst_TreemapLayout.moc"
