#include "exec/RecentlyRemovedViewModel.h"
#include "exec/RemovalJournal.h"
#include "exec/SafetyHelper.h"
#include "platform/FileProperties.h"
#include "platform/RemovalHub.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool writeBytes(const QByteArray &path, const QByteArray &data)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const bool written =
        fd >= 0 && ::write(fd, data.constData(), size_t(data.size())) == data.size();
    return fd >= 0 && ::close(fd) == 0 && written;
}

QByteArray readBytes(const QByteArray &path)
{
    QByteArray out(256, '\0');
    const int fd = ::open(path.constData(), O_RDONLY);
    const ssize_t n = fd >= 0 ? ::read(fd, out.data(), size_t(out.size())) : -1;
    if (fd >= 0)
        ::close(fd);
    out.resize(qMax<ssize_t>(n, 0));
    return out;
}

JournalEntry entryFor(const QString &key, const QByteArray &trashed, const FileIdentity &identity)
{
    JournalEntry e;
    e.key = key;
    e.when = QDateTime::currentDateTime();
    e.origin = QStringLiteral("junk");
    e.items.append({"/h/" + key.toUtf8(), {}, trashed, identity, 4096});
    return e;
}

} // namespace

class tst_RecentlyRemovedViewModel : public QObject {
    Q_OBJECT
private slots:
    void undoPutsBackTheSameItem_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<bool>("placeTaken");
        QTest::newRow("line feed") << QByteArray("a\nb") << false << false;
        QTest::newRow("leading dash") << QByteArray("-rf") << false << false;
        QTest::newRow("quote") << QByteArray("it's \"x\"") << false << false;
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9\xff") << false << false;
        QTest::newRow("folder") << QByteArray("%2Fdir\n") << true << false;
        QTest::newRow("place taken since") << QByteArray("report") << false << true;
    }
    // The notice's Undo renames the item back: the same bytes under the same identity
    // (device, inode, size, time), and the journal says it was put back. Something put at
    // its place meanwhile is never replaced.
    void undoPutsBackTheSameItem()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, isFolder);
        QFETCH(bool, placeTaken);
        TestEnvironment env;
        RecentlyRemovedViewModel model;
        const QByteArray path = nativePath(env.home()) + '/' + name;
        const QByteArray file = isFolder ? path + "/inner" : path;
        if (isFolder)
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
        QVERIFY(writeBytes(file, "contents of " + name));
        const std::optional<FileIdentity> before = FileIdentity::read(path);
        QVERIFY(before);
        {
            const RemovalHub::Batch batch(QStringLiteral("largeFiles"));
            const RemovalHub::Joined joined(batch);
            QVERIFY(SafetyHelper::moveNativeToTrash(path, *before).ok);
        }
        QTRY_VERIFY(model.notice());
        const QString text = RecentlyRemovedViewModel::noticeText(*model.notice());
        QVERIFY2(text.startsWith(QStringLiteral("Moved 1 item (")) &&
                     text.endsWith(QStringLiteral(" KB) to the Trash")),
                 qPrintable(text));
        const QByteArray trashed = model.notice()->items.at(0).trashedPath;
        if (placeTaken)
            QVERIFY(writeBytes(path, "newcomer"));

        QSignalSpy finished(&model, &RecentlyRemovedViewModel::putBackFinished);
        model.undoNotice();
        QTRY_COMPARE(finished.count(), 1);
        const auto failures =
            finished.at(0).at(1).value<QList<RecentlyRemovedViewModel::Failure>>();
        QCOMPARE(failures.size(), placeTaken ? 1 : 0);
        model.load();
        QTRY_VERIFY(!model.isLoading());
        QCOMPARE(model.entries().size(), 1);
        const JournalItem item = model.entries().at(0).items.at(0);
        if (placeTaken) {
            QVERIFY(failures.at(0).reason.startsWith(QStringLiteral("Something else is now at")));
            QCOMPARE(readBytes(path), QByteArray("newcomer"));
            QCOMPARE(FileIdentity::read(trashed), before);
            QCOMPARE(item.state, JournalItem::State::InTrash);
            return;
        }
        QCOMPARE(FileIdentity::read(path), before);
        QCOMPARE(readBytes(file), "contents of " + name);
        QVERIFY(!FileIdentity::read(trashed));
        QVERIFY(!model.notice());
        QCOMPARE(item.state, JournalItem::State::PutBack);
        QCOMPARE(item.path, path);
    }

    void damagedLineCostsOnlyThatLine_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("not JSON") << QByteArray("{\"removal\": \"x\", \"items\": [\n");
        QTest::newRow("cut short, no line feed") << QByteArray("{\"removal\":\"half");
        QTest::newRow("a field missing")
            << QByteArray("{\"removal\":\"m\",\"when\":\"2024-12-03T10:00:00.000Z\",\"items\":[{"
                          "\"path\":\"%2Fx\"}]}\n");
        QTest::newRow("a path not encoded")
            << QByteArray("{\"putBack\":\"k\",\"path\":\"/a b\"}\n");
    }
    void damagedLineCostsOnlyThatLine()
    {
        QFETCH(QByteArray, damage);
        TestEnvironment env;
        QVERIFY(
            RemovalJournal::append(entryFor("first", "/nowhere/1", {1, 2, 3, 4, false})).isEmpty());
        QFile journal(RemovalJournal::file());
        QVERIFY(journal.open(QIODevice::Append));
        journal.write(damage);
        journal.close();
        QVERIFY(
            RemovalJournal::append(entryFor("last", "/nowhere/2", {1, 5, 3, 4, false})).isEmpty());

        const RemovalJournal::Contents read = RemovalJournal::read();
        QCOMPARE(read.damagedLines, 1);
        QCOMPARE(read.entries.size(), 2);
        QCOMPARE(read.entries.at(0).key, QStringLiteral("last"));
        QCOMPARE(read.entries.at(1).key, QStringLiteral("first"));
        QCOMPARE(read.entries.at(1).items.at(0).identity, (FileIdentity{1, 2, 3, 4, false}));
        QVERIFY(env.log().last().second.startsWith(QStringLiteral("Skipped line 2 of")));
    }

    void itemStates_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("state");
        QTest::newRow("in the Trash") << "same" << int(JournalItem::State::InTrash);
        QTest::newRow("emptied") << "gone" << int(JournalItem::State::Emptied);
        QTest::newRow("another item there") << "other" << int(JournalItem::State::Emptied);
        QTest::newRow("put back") << "back" << int(JournalItem::State::PutBack);
    }
    void itemStates()
    {
        QFETCH(QString, what);
        QFETCH(int, state);
        TestEnvironment env;
        const QByteArray trashed = nativePath(env.root()) + "/in-trash";
        QVERIFY(writeBytes(trashed, "x"));
        FileIdentity identity = *FileIdentity::read(trashed);
        if (what == QLatin1String("gone"))
            QVERIFY(::unlink(trashed.constData()) == 0);
        if (what == QLatin1String("other"))
            ++identity.inode;
        const JournalEntry entry = entryFor(QStringLiteral("k"), trashed, identity);
        QVERIFY(RemovalJournal::append(entry).isEmpty());
        if (what == QLatin1String("back"))
            QVERIFY(RemovalJournal::appendPutBack(entry.key, entry.items.at(0).path).isEmpty());
        QCOMPARE(int(RemovalJournal::read().entries.at(0).items.at(0).state), state);
    }
};

QTEST_GUILESS_MAIN(tst_RecentlyRemovedViewModel)
#include "tst_RecentlyRemovedViewModel.moc"
