#include "platform/Locations.h"
#include "storage/BlockPreview.h"
#include "storage/StorageBlockMap.h"
#include "storage/StorageColumn.h"

#include <QApplication>
#include <QImage>
#include <QListView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestStorageBlockMap : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_dir->path()));
    }

    void cleanup() { Locations::resetCurrent(); }

    // Only file blocks larger than 40 points ask for a thumbnail; an image gets one.
    void thumbnailsOnlyForLargeFileBlocks()
    {
        QImage picture(640, 480, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 30));
        const QString photo = m_dir->filePath(QStringLiteral("photo.png"));
        QVERIFY(picture.save(photo));
        const QString folder = m_dir->filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(folder));
        const QString tiny = m_dir->filePath(QStringLiteral("tiny.png"));
        QVERIFY(picture.save(tiny));

        BlockPreview *preview = BlockPreview::instance();
        const int before = preview->requestsStarted();
        QSignalSpy ready(preview, &BlockPreview::ready);

        // A folder never asks, at any size; nor does a file in a block of 40 points.
        preview->request(StorageEntry::fromPath(folder, 5'000'000, true), 300);
        preview->request(StorageEntry::fromPath(tiny, 1000, false), 40);
        QCOMPARE(preview->requestsStarted(), before);

        StorageBlockMap map;
        map.resize(400, 300);
        map.setEntries({StorageEntry::fromPath(photo, 9000, false),
                        StorageEntry::fromPath(folder, 1000, true)});
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        QTRY_COMPARE(ready.count(), 1);
        QCOMPARE(ready.first().first().toString(), photo);
        QCOMPARE(preview->requestsStarted(), before + 1);
        QVERIFY(preview->cached(photo));
        QVERIFY(!preview->cached(folder));
        // Asking again is served from the cache.
        map.resize(401, 300);
        QCOMPARE(preview->requestsStarted(), before + 1);

        // The thumbnail fills the photo's block.
        const QRectF block = TreemapLayout::blockRect(map.content().blocks.first().rect);
        const QImage shot = map.grab().toImage();
        const QColor middle =
            shot.pixelColor(block.center().toPoint() + QPoint(0, -block.height() / 4));
        QVERIFY2(middle.red() > 150 && middle.green() < 90, qPrintable(middle.name()));
    }

    void chosenBlockHasTheAccentBorder()
    {
        const QList<StorageEntry> entries = {
            StorageEntry::fromPath(m_dir->filePath(QStringLiteral("a.bin")), 6000),
            StorageEntry::fromPath(m_dir->filePath(QStringLiteral("b.bin")), 4000),
        };
        StorageBlockMap map;
        map.resize(400, 300);
        map.setEntries(entries);
        map.setChosen(entries.at(1));
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        const QImage shot = map.grab().toImage();
        const QColor accent = map.palette().color(QPalette::Highlight);
        auto edgeOf = [&](int k) {
            const QRectF r = TreemapLayout::blockRect(map.content().blocks.at(k).rect);
            return shot.pixelColor(QPoint(int(r.left() + 2), int(r.center().y())));
        };
        QCOMPARE(edgeOf(1).name(), accent.name());
        QVERIFY(edgeOf(0).name() != accent.name());
    }

    void restTileIsNotABlock()
    {
        QList<StorageEntry> entries;
        for (int i = 0; i < 120; ++i)
            entries << StorageEntry::fromPath(m_dir->filePath(QStringLiteral("f%1").arg(i)),
                                              100'000 - i);
        StorageBlockMap map;
        map.resize(800, 600);
        map.setEntries(entries);
        map.show();
        QCOMPARE(map.content().blocks.size(), 80);
        QVERIFY(map.content().rest);
        QCOMPARE(map.content().rest->title(), QStringLiteral("40 smaller items"));
        QSignalSpy chosen(&map, &StorageBlockMap::choose);
        const QPointF inRest = TreemapLayout::blockRect(map.content().rest->rect).center();
        QTest::mouseClick(&map, Qt::LeftButton, {}, inRest.toPoint());
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(map.toolTipAt(inRest), QString());

        const QPointF inFirst = map.content().blocks.first().rect.center();
        QTest::mouseClick(&map, Qt::LeftButton, {}, inFirst.toPoint());
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().value<StorageEntry>(), entries.first());
    }

    void folderTooltipInvitesAClick()
    {
        const StorageEntry folder =
            StorageEntry::fromPath(m_dir->filePath(QStringLiteral("Projects")), 2'500'000, true);
        StorageBlockMap map;
        map.resize(300, 200);
        map.setEntries({folder});
        QCOMPARE(map.toolTipAt(QPointF(150, 100)), QStringLiteral("Projects · ") +
                                                       sizeText(folder) +
                                                       QStringLiteral(" · click to open"));
    }

    void columnRowsAndEmptyText()
    {
        StorageColumn column;
        column.resize(StorageColumn::width, 250);
        column.show();
        column.setEntries({});
        QVERIFY(column.showsEmptyText());
        const QList<StorageEntry> entries = {
            StorageEntry::fromPath(m_dir->filePath(QStringLiteral("big")), 9000, true),
            StorageEntry::fromPath(m_dir->filePath(QStringLiteral("small")), 1000, false),
        };
        column.setEntries(entries);
        QVERIFY(!column.showsEmptyText());
        QCOMPARE(column.list()->model()->rowCount(), 2);
        QSignalSpy chosen(&column, &StorageColumn::choose);
        QTest::mouseClick(column.list()->viewport(), Qt::LeftButton, {},
                          column.rowRect(1).center());
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().value<StorageEntry>(), entries.at(1));
        // The chosen row is drawn on the accent colour.
        column.setChosen(entries.at(1));
        const QImage shot = column.list()->viewport()->grab().toImage();
        const QRect row = column.rowRect(1);
        QCOMPARE(shot.pixelColor(row.left() + 8, row.top() + 4).name(),
                 column.palette().color(QPalette::Highlight).name());
        QVERIFY(shot.pixelColor(column.rowRect(0).left() + 8, column.rowRect(0).top() + 4).name() !=
                column.palette().color(QPalette::Highlight).name());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(TestStorageBlockMap)
#include "tst_StorageBlockMap.moc"
