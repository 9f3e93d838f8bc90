#include "app/widgets/Contrast.h"
#include "app/widgets/FileIcons.h"
#include "platform/DisplayName.h"
#include "platform/Locations.h"
#include "storage/screens/BlockPreview.h"
#include "storage/screens/StorageBlockMap.h"
#include "storage/screens/StorageColumn.h"

#include <QAccessible>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QListView>
#include <QPainter>
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

        // A folder never asks, at any size; nor does a file in a block of 40 points, nor
        // one whose name says it is no picture.
        preview->request(StorageEntry::fromPath(folder, 5'000'000, true), 300);
        preview->request(StorageEntry::fromPath(tiny, 1000, false), 40);
        preview->request(StorageEntry::fromPath(m_dir->filePath("notes.txt"), 5'000'000, false),
                         300);
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

    // A paint past its time for making icons leaves a new one out and says so; the icon
    // is made in a later turn, without another paint, and from then on costs nothing new.
    void iconsLeftOutForTimeComeWithTheNextPaint()
    {
        const QString folder = m_dir->filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(folder));
        const StorageEntry entry = StorageEntry::fromPath(folder, 1000, true);
        const QPalette palette = QApplication::palette();
        // Three device pixels a point: an icon size no other test draws.
        auto paint = [&](QDeadlineTimer deadline, bool *drawn) {
            QImage canvas(120, 120, QImage::Format_ARGB32_Premultiplied);
            canvas.setDevicePixelRatio(3);
            canvas.fill(Qt::black);
            QPainter p(&canvas);
            *drawn = BlockPreview::instance()->paint(p, QRectF(0, 0, 40, 40), entry, 26, palette,
                                                     deadline);
            return canvas;
        };
        const QRgb around = BlockPreview::background(palette).rgb();
        auto onlyBackground = [around](const QImage &image) {
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    if (image.pixel(x, y) != around)
                        return false;
                }
            }
            return true;
        };
        QSignalSpy made(BlockPreview::instance(), &BlockPreview::iconsMade);
        bool drawn = true;
        QVERIFY(onlyBackground(paint(QDeadlineTimer(0), &drawn)));
        QVERIFY(!drawn);
        QVERIFY(made.wait());
        const QImage withIcon = paint(QDeadlineTimer(0), &drawn);
        QVERIFY(drawn);
        QVERIFY(!onlyBackground(withIcon));
    }

    // A thumbnail smaller than its block is shown at its own size, centred.
    void smallThumbnailIsNeverBlownUp()
    {
        QImage picture(256, 256, QImage::Format_RGB32);
        picture.fill(QColor(30, 160, 40));
        const QString photo = m_dir->filePath(QStringLiteral("icon256.png"));
        QVERIFY(picture.save(photo));
        const StorageEntry entry = StorageEntry::fromPath(photo, 70'000, false);
        BlockPreview *preview = BlockPreview::instance();
        preview->request(entry, 800);
        QTRY_VERIFY(preview->cached(photo));
        QCOMPARE(preview->cached(photo)->size(), QSize(256, 256));

        QImage canvas(800, 800, QImage::Format_RGB32);
        canvas.fill(Qt::black);
        const QPalette palette = QApplication::palette();
        {
            QPainter p(&canvas);
            preview->paint(p, QRectF(0, 0, 800, 800), entry, 800, palette);
        }
        const QColor green(30, 160, 40);
        QCOMPARE(canvas.pixel(400, 400), green.rgb());
        QCOMPARE(canvas.pixel(400 - 127, 400 + 127), green.rgb());
        const QRgb around = BlockPreview::background(palette).rgb();
        QCOMPARE(canvas.pixel(400 - 140, 400), around);
        QCOMPARE(canvas.pixel(10, 10), around);
    }

    void labelTitleWrapsBeforeEliding_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("fitting"); // the text the width is made for
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("rest tile on two lines")
            << "42 smaller items"
            << "42 smaller" << 2 << QStringList{"42 smaller", "items"};
        QTest::newRow("one line allowed") << "42 smaller items"
                                          << "42 smaller" << 1 << QStringList{"42 smaller…"};
        QTest::newRow("one long word") << "node_modules_cache"
                                       << "node_mod" << 2 << QStringList{"node_mo…"};
    }

    void labelTitleWrapsBeforeEliding()
    {
        QFETCH(QString, title);
        QFETCH(QString, fitting);
        QFETCH(int, maxLines);
        QFETCH(QStringList, lines);
        QFont font = QApplication::font();
        font.setPixelSize(11);
        const double width = QFontMetricsF(font).horizontalAdvance(fitting) + 1;
        const QStringList got = StorageBlockMap::labelLines(title, font, width, maxLines);
        QCOMPARE(got.size(), lines.size());
        for (int i = 0; i + 1 < lines.size(); ++i)
            QCOMPARE(got.at(i), lines.at(i));
        // The last line: the same text, or the same start elided.
        const QString last = lines.last();
        if (last.endsWith(QChar(0x2026)))
            QVERIFY2(got.last().endsWith(QChar(0x2026)) && last.startsWith(got.last().chopped(1)),
                     qPrintable(got.last()));
        else
            QCOMPARE(got.last(), last);
    }

    void iconsFollowTheMimeType_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("icon");
        QTest::newRow("index.theme is text") << "index.theme"
                                             << "text-x-generic";
        QTest::newRow("zip is an archive") << "backup.zip"
                                           << "package-x-generic";
        QTest::newRow("png is an image") << "photo.png"
                                         << "image-x-generic";
    }

    void iconsFollowTheMimeType()
    {
        QFETCH(QString, name);
        QFETCH(QString, icon);
        if (!QIcon::hasThemeIcon(icon))
            QSKIP("the icon theme lacks this icon");
        QCOMPARE(FileIcons::icon(m_dir->filePath(name), false).name(), icon);
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

    // Arrow keys reach every block, each step the way it says; Enter chooses, Delete asks;
    // a screen reader finds each block as an item of the map, named with its size.
    void keyboardAndScreenReaderReachEveryBlock()
    {
        QList<StorageEntry> entries;
        for (const char *name : {"big", "two\nlines", "c.bin", "d.bin", "e.bin"})
            entries << StorageEntry::fromPath(m_dir->filePath(QString::fromUtf8(name)),
                                              6000 - 1000 * entries.size());
        StorageBlockMap map;
        map.resize(400, 300);
        map.setEntries(entries);
        map.show();
        QVERIFY(QTest::qWaitForWindowActive(&map));
        const QImage unfocused = map.grab().toImage();
        map.setFocus();
        QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&map);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), entries.size());
        for (int i = 0; i < entries.size(); ++i) {
            const StorageEntry &entry = map.content().blocks.at(i).entry;
            QCOMPARE(list->child(i)->text(QAccessible::Name),
                     DisplayName::line(entry.name()) + ", " + sizeText(entry));
            QVERIFY(QRect(map.mapToGlobal(QPoint()), map.size()).contains(list->child(i)->rect()));
        }
        QCOMPARE(list->focusChild(), list->child(0));

        QSet<int> reached{0};
        for (int from = 0; from < entries.size(); ++from) {
            for (const auto &[key, way] : {std::pair{Qt::Key_Right, QPointF(1, 0)},
                                           {Qt::Key_Left, QPointF(-1, 0)},
                                           {Qt::Key_Down, QPointF(0, 1)},
                                           {Qt::Key_Up, QPointF(0, -1)}}) {
                map.setCurrentBlock(from);
                QTest::keyClick(&map, key);
                const QPointF moved = map.content().blocks.at(map.currentBlock()).rect.center() -
                                      map.content().blocks.at(from).rect.center();
                QVERIFY(moved.isNull() || QPointF::dotProduct(moved, way) > 0);
                reached << map.currentBlock();
            }
        }
        QCOMPARE(reached.size(), entries.size());

        // The ring stands out from what was drawn there.
        map.setCurrentBlock(1);
        const QRectF ring = TreemapLayout::blockRect(map.content().blocks.at(1).rect);
        const QPoint onRing(int(ring.left() + 4), int(ring.center().y()));
        QVERIFY(Contrast::ratio(map.grab().toImage().pixelColor(onRing),
                                unfocused.pixelColor(onRing)) >= Contrast::graphic);
        QSignalSpy chosen(&map, &StorageBlockMap::choose);
        QSignalSpy remove(&map, &StorageBlockMap::removeChosen);
        QTest::keyClick(&map, Qt::Key_Return);
        list->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(chosen.size(), 2);
        QCOMPARE(chosen.at(0).at(0).value<StorageEntry>(), map.content().blocks.at(1).entry);
        QTest::keyClick(&map, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(remove.size(), 1);
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
