#include "exec/SafetyHelper.h"
#include "platform/RemovalHub.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <sys/stat.h>

#include <thread>

namespace {

bool write(const QByteArray &path, qint64 bytes)
{
    FILE *f = std::fopen(path.constData(), "wx");
    const bool ok =
        f && std::fwrite(QByteArray(bytes, 'x').constData(), 1, size_t(bytes), f) == size_t(bytes);
    return f && std::fclose(f) == 0 && ok;
}

} // namespace

class tst_RemovalHub : public QObject {
    Q_OBJECT
private slots:
    void covers_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<quint64>("rowInode"); // 0: the row has no identity
        QTest::addColumn<bool>("covered");
        // Removed: /h/a b (inode 7), also known as /real/h/a b.
        QTest::newRow("the item") << QByteArray("/h/a b") << quint64(7) << true;
        QTest::newRow("listed without identity") << QByteArray("/h/a b") << quint64(0) << true;
        QTest::newRow("another file there now") << QByteArray("/h/a b") << quint64(8) << false;
        QTest::newRow("inside") << QByteArray("/h/a b/-x\n\"y") << quint64(9) << true;
        QTest::newRow("name sharing the start") << QByteArray("/h/a bc") << quint64(7) << false;
        QTest::newRow("its folder") << QByteArray("/h") << quint64(0) << false;
        QTest::newRow("through the resolved spelling")
            << QByteArray("/real/h/a b/\xff") << quint64(3) << true;
    }
    void covers()
    {
        QFETCH(QByteArray, row);
        QFETCH(quint64, rowInode);
        QFETCH(bool, covered);
        RemovalBatch batch;
        batch.items.append({"/h/a b", "/real/h/a b", {1, 7, 0, 0, false}, 10, {}});
        batch.items.append({"/h/other", "/real/h/other", {1, 9, 0, 0, false}, 10, {}});
        const FileIdentity listed{1, rowInode, 0, 0, false};
        QCOMPARE(batch.covers(row, rowInode ? listed : FileIdentity()), covered);
        batch.index(); // as announced
        QCOMPARE(batch.covers(row, rowInode ? listed : FileIdentity()), covered);
    }

    // Moves on threads that joined one batch reach the hub as one announcement, with
    // where each item went; a move outside any batch is announced alone; a refused move
    // announces nothing.
    void movesAreAnnouncedOncePerBatch()
    {
        const TestEnvironment env;
        const QByteArray home = QFile::encodeName(env.home());
        const QByteArray file = home + "/-odd\n\xff", folder = home + "/cache";
        QVERIFY(write(file, 5000) && QDir().mkpath(QFile::decodeName(folder)));
        QVERIFY(write(folder + "/one", 10) && write(folder + "/two", 10));
        QVERIFY(write(home + "/alone", 1));
        struct stat st;
        QVERIFY(::lstat(file.constData(), &st) == 0);

        QSignalSpy spy(RemovalHub::instance(), &RemovalHub::removed);
        quint64 id = 0;
        {
            const RemovalHub::Batch batch(QStringLiteral("junk"));
            id = batch.id();
            std::thread first([&] {
                const RemovalHub::Joined joined(batch);
                SafetyHelper::moveNativeToTrash(file);
                SafetyHelper::moveNativeToTrash(home); // refused
            });
            std::thread second([&] {
                const RemovalHub::Joined joined(batch);
                SafetyHelper::trashContents(QFile::decodeName(folder));
            });
            first.join();
            second.join();
            QVERIFY(SafetyHelper::moveNativeToTrash(home + "/alone").ok);
        }
        QTRY_COMPARE(spy.count(), 2);
        QTest::qWait(20);
        QCOMPARE(spy.count(), 2);
        QVERIFY(spy.at(0).at(0).value<RemovalBatch>().origin.isEmpty());
        const auto batch = spy.at(1).at(0).value<RemovalBatch>();
        QCOMPARE(batch.id, id);
        QCOMPARE(batch.origin, QStringLiteral("junk"));
        QCOMPARE(batch.items.size(), 3);
        for (const RemovedItem &item : batch.items) {
            struct stat there;
            QVERIFY(::lstat(item.trashed.trashedNativePath.constData(), &there) == 0);
            QVERIFY(item.path == file || item.path.startsWith(folder + '/'));
            if (item.path == file) {
                QCOMPARE(item.identity.inode, quint64(st.st_ino));
                QCOMPARE(item.allocatedBytes, qint64(st.st_blocks) * 512);
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_RemovalHub)
#include "tst_RemovalHub.moc"
