#include "app/AppState.h"
#include "exec/RecentlyRemovedViewModel.h"
#include "exec/SafetyHelper.h"
#include "platform/Locations.h"
#include "platform/Preferences.h"
#include "platform/RemovalHub.h"
#include "platform/SystemLog.h"
#include "storage/StorageViewModel.h"

#include <QFile>
#include <QMutex>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const QString &path, qint64 size)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(QByteArray(size, 'q')), size);
}

qint64 allocated(const QString &path)
{
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_blocks) * 512;
}

qint64 total(const QList<StorageEntry> &column)
{
    qint64 sum = 0;
    for (const StorageEntry &e : column)
        sum += e.bytes;
    return sum;
}

std::optional<StorageEntry> find(const QList<StorageEntry> &column, const QString &name)
{
    for (const StorageEntry &e : column) {
        if (e.name() == name)
            return e;
    }
    return std::nullopt;
}

} // namespace

class TestStorageViewModel : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_data;
    QMutex m_logMutex; // records arrive from pool threads
    QStringList m_log;

    QString logText()
    {
        QMutexLocker lock(&m_logMutex);
        return m_log.join('\n');
    }

    // data/A/{X/{x1, xa/xa1}, W/w1, Y/{Z/z1, f}, g}, data/B/b1, data/top: every folder
    // below "data" holds 1,000,000 bytes or more.
    void buildTree()
    {
        m_data = m_home->path() + "/data";
        for (const char *d : {"", "/A", "/A/X", "/A/X/xa", "/A/W", "/A/Y", "/A/Y/Z", "/B"})
            QVERIFY(QDir().mkpath(m_data + d));
        writeFile(m_data + "/A/X/x1", 1'200'000);
        writeFile(m_data + "/A/X/xa/xa1", 1'100'000);
        writeFile(m_data + "/A/W/w1", 1'100'000);
        writeFile(m_data + "/A/Y/Z/z1", 1'050'000);
        writeFile(m_data + "/A/Y/f", 20'000);
        writeFile(m_data + "/A/g", 10'000);
        writeFile(m_data + "/B/b1", 1'300'000);
        writeFile(m_data + "/top", 5000);
    }

    void waitIdle(StorageViewModel &vm)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!vm.loadingFolder().has_value(), 10000);
    }

    // Opens data, then A, Y and Z: four columns.
    void openFourColumns(StorageViewModel &vm)
    {
        vm.open(m_data);
        waitIdle(vm);
        for (const char *name : {"A", "Y", "Z"}) {
            const int column = int(vm.columns().size()) - 1;
            const auto e = find(vm.columns().last(), name);
            QVERIFY(e);
            vm.choose(*e, column);
            waitIdle(vm);
        }
        QCOMPARE(vm.columns().size(), 4);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_home->path()));
        Preferences::useStoreFile(m_home->path() + "/prefs.ini");
        m_log.clear();
        SystemLog::setCapture([this](SystemLog::Level, const QString &text) {
            QMutexLocker lock(&m_logMutex);
            m_log.append(text);
        });
        buildTree();
    }
    void cleanup()
    {
        SystemLog::setCapture({});
        Preferences::useStoreFile(QString());
        Locations::resetCurrent();
        m_home.reset();
    }

    void rootFromPreference()
    {
        {
            StorageViewModel vm;
            QCOMPARE(vm.root(), QStringLiteral("/"));
            QCOMPARE(vm.rootName(), Locations::current().rootDisplayName);
            QVERIFY(!vm.headerDetail());
        }
        Preferences::setValue(StorageViewModel::rootKey, m_data + "/");
        StorageViewModel vm;
        QCOMPARE(vm.root(), m_data);
        QCOMPARE(vm.rootName(), QStringLiteral("data"));

        AppState app;
        StorageViewModel *created = app.storageVM();
        QCOMPARE(app.storageVM(), created);
        QCOMPARE(created->root(), m_data);
    }

    // While the children are measured the label names the one begun last.
    void openPublishesOneColumnWithProgress()
    {
        StorageViewModel vm;
        QStringList labels;
        connect(&vm, &StorageViewModel::loadingFolderChanged, &vm,
                [&] { labels.append(vm.loadingFolder().value_or(QStringLiteral("<idle>"))); });
        vm.scanner().setReadHook([](const QByteArray &folder) {
            if (folder.endsWith("/A") || folder.endsWith("/B"))
                QThread::msleep(150);
        });
        vm.open(m_data);
        waitIdle(vm);
        vm.scanner().setReadHook({});

        QVERIFY2(labels.size() >= 3, qPrintable(labels.join(", ")));
        QCOMPARE(labels.first(), QStringLiteral("data"));
        QCOMPARE(labels.last(), QStringLiteral("<idle>"));
        for (const QString &label : labels.mid(1, labels.size() - 2))
            QVERIFY2(label == "data › A" || label == "data › B", qPrintable(label));

        QCOMPARE(vm.columns().size(), 1);
        QVERIFY(vm.selection().isEmpty());
        const QList<StorageEntry> column = vm.columns().first();
        QCOMPARE(column.size(), 3);
        QCOMPARE(column[0].name(), QStringLiteral("A"));
        QCOMPARE(column[1].name(), QStringLiteral("B"));
        QCOMPARE(column[2].name(), QStringLiteral("top"));
        QCOMPARE(column[2].bytes, allocated(m_data + "/top"));
        QCOMPARE(vm.headerDetail(), formatBytes(total(column)) + " in data");
        QCOMPARE(vm.lastColumn(), column);
    }

    void chooseFileInColumnTwoOfFour()
    {
        StorageViewModel vm;
        openFourColumns(vm);
        const auto f = find(vm.columns()[2], "f");
        QVERIFY(f);
        const quint64 reads = vm.scanner().folderReads();
        vm.choose(*f, 2);
        QCOMPARE(vm.columns().size(), 3);
        QCOMPARE(vm.selection().size(), 3);
        QCOMPARE(vm.selection()[2], f);
        QCOMPARE(vm.chosen(), f);
        QVERIFY(!vm.loadingFolder());
        QTest::qWait(50);
        QCOMPARE(vm.scanner().folderReads(), reads);
        QCOMPARE(vm.columns().size(), 3);

        // Out of range does nothing.
        vm.choose(*f, 3);
        QCOMPARE(vm.columns().size(), 3);
        QCOMPARE(vm.selection()[2], f);
    }

    void secondChooseCancelsFirstLoad()
    {
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        const auto a = find(vm.columns().first(), "A");
        const auto b = find(vm.columns().first(), "B");
        QVERIFY(a && b);

        // Hold the load of A while it lists A.
        QSemaphore reached, release;
        const QByteArray aPath = a->nativePath;
        vm.scanner().setReadHook([&](const QByteArray &folder) {
            if (folder == aPath) {
                reached.release();
                release.tryAcquire(1, 10000);
            }
        });
        QList<QList<StorageViewModel::Column>> published;
        connect(&vm, &StorageViewModel::columnsChanged, &vm,
                [&] { published.append(vm.columns()); });
        QStringList labels;
        connect(&vm, &StorageViewModel::loadingFolderChanged, &vm,
                [&] { labels.append(vm.loadingFolder().value_or(QString())); });

        vm.choose(*a, 0);
        QVERIFY(reached.tryAcquire(1, 10000));
        labels.clear();
        vm.choose(*b, 0);
        release.release();
        waitIdle(vm);
        QTest::qWait(50); // anything the first load still had queued
        vm.scanner().setReadHook({});

        QCOMPARE(vm.columns().size(), 2);
        QCOMPARE(vm.columns()[1].size(), 1);
        QCOMPARE(vm.columns()[1].first().name(), QStringLiteral("b1"));
        QCOMPARE(vm.selection(), (QList<std::optional<StorageEntry>>{b}));
        for (const QList<StorageViewModel::Column> &columns : published)
            QVERIFY(columns.size() < 2 || !find(columns[1], "X"));
        for (const QString &label : labels)
            QVERIFY2(!label.startsWith("A"), qPrintable(label));
    }

    void choosingAFileDropsARunningLoad()
    {
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        const auto a = find(vm.columns().first(), "A");
        const auto top = find(vm.columns().first(), "top");
        QSemaphore reached, release;
        const QByteArray aPath = a->nativePath;
        vm.scanner().setReadHook([&](const QByteArray &folder) {
            if (folder == aPath) {
                reached.release();
                release.tryAcquire(1, 10000);
            }
        });
        vm.choose(*a, 0);
        QVERIFY(reached.tryAcquire(1, 10000));
        vm.choose(*top, 0);
        QVERIFY(!vm.loadingFolder());
        release.release();
        QTest::qWait(200);
        vm.scanner().setReadHook({});
        // A's children never show up next to the chosen file.
        QCOMPARE(vm.columns().size(), 1);
        QCOMPARE(vm.selection(), (QList<std::optional<StorageEntry>>{top}));
        QVERIFY(!vm.loadingFolder());
    }

    void chooseInMap()
    {
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        const auto top = find(vm.columns().first(), "top");
        QVERIFY(top);
        StorageEntry stranger = *top;
        stranger.bytes += 1;
        vm.chooseInMap(stranger);
        QVERIFY(vm.selection().isEmpty());
        vm.chooseInMap(*top);
        QCOMPARE(vm.selection(), (QList<std::optional<StorageEntry>>{top}));
        QVERIFY(!vm.loadingFolder());
    }

    // Only the folder looked at is measured again; the totals above it follow, and what
    // was measured elsewhere stays as it was.
    void rescanThisFolder()
    {
        StorageViewModel vm;
        vm.open(m_home->path());
        waitIdle(vm);
        const qint64 dataBefore = find(vm.columns().first(), "data")->bytes;
        vm.choose(*find(vm.columns().first(), "data"), 0);
        waitIdle(vm);
        const auto a = find(vm.columns()[1], "A");
        const qint64 bBefore = find(vm.columns()[1], "B")->bytes;
        vm.choose(*a, 1);
        waitIdle(vm);
        writeFile(m_data + "/A/W/w2", 1'500'000);
        writeFile(m_data + "/B/b2", 1'500'000);
        const qint64 added = allocated(m_data + "/A/W/w2");

        vm.rescanFolder();
        QTRY_VERIFY_WITH_TIMEOUT(find(vm.columns()[1], "A")->bytes == a->bytes + added, 10000);
        QCOMPARE(vm.columns().size(), 3);
        QCOMPARE(find(vm.columns()[2], "W")->bytes,
                 allocated(m_data + "/A/W") + allocated(m_data + "/A/W/w1") + added);
        QCOMPARE(find(vm.columns().first(), "data")->bytes, dataBefore + added);
        QCOMPARE(find(vm.columns()[1], "B")->bytes, bBefore);
    }

    // Stopped from the banner, a measurement shows the children it measured, marked as
    // incomplete until the folder is measured whole.
    void stoppedMeasurementShowsWhatItGotTo()
    {
        AppState state;
        StorageViewModel vm;
        vm.setHost(&state);
        QSemaphore reached, release;
        const QByteArray held = QFile::encodeName(m_data + "/A/Y");
        vm.scanner().setReadHook([&](const QByteArray &folder) {
            if (folder == held) {
                reached.release();
                release.tryAcquire(1, 10000);
            }
        });
        vm.open(m_data + "/A");
        QVERIFY(reached.tryAcquire(1, 10000));
        QTRY_VERIFY(state.canStopScan());
        state.stopScan();
        release.release();
        waitIdle(vm);
        vm.scanner().setReadHook({});
        QVERIFY(vm.isIncomplete());
        QCOMPARE(vm.columns().size(), 1);
        QVERIFY(!find(vm.columns().first(), "Y"));
        QVERIFY(vm.columns().first().size() < 4);
        QTRY_VERIFY(!state.isScanning());

        vm.open(m_data + "/A");
        waitIdle(vm);
        QCOMPARE(vm.columns().first().size(), 4);
        QVERIFY(!vm.isIncomplete());
    }

    void trashRebuildsFromTheCache()
    {
        AppState app;
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        const qint64 headerBefore = total(vm.columns().first());
        vm.choose(*find(vm.columns().first(), "A"), 0);
        waitIdle(vm);
        const auto x = find(vm.columns()[1], "X");
        QVERIFY(x);
        vm.choose(*x, 1);
        waitIdle(vm);
        QCOMPARE(vm.columns().size(), 3);

        QMutex readMutex;
        QList<QByteArray> reads;
        vm.scanner().setReadHook([&](const QByteArray &folder) {
            QMutexLocker lock(&readMutex);
            reads.append(folder);
        });
        auto done = vm.trash(*x, &app);
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
        QVERIFY(done.result().ok);
        QVERIFY(!QFile::exists(m_data + "/A/X"));

        // The trashed folder's column is gone, and so is the folder from column 1.
        QCOMPARE(vm.columns().size(), 2);
        QVERIFY(!find(vm.columns()[1], "X"));
        QCOMPARE(vm.selection().size(), 1);
        QCOMPARE(vm.selection().first()->name(), QStringLiteral("A"));
        QCOMPARE(vm.selection().first(), find(vm.columns().first(), "A"));
        QCOMPARE(total(vm.columns().first()), headerBefore - x->bytes);
        QCOMPARE(vm.headerDetail(), formatBytes(headerBefore - x->bytes) + " in data");
        // Only "data" and "A" were listed again (and the Trash measured where the item
        // went): everything below came from the cache.
        vm.scanner().setReadHook({});
        const QByteArray trash = QFile::encodeName(Locations::current().trashMeasureRoot);
        reads.removeIf(
            [&](const QByteArray &r) { return r == trash || r.startsWith(trash + '/'); });
        QCOMPARE(reads,
                 (QList<QByteArray>{QFile::encodeName(m_data), QFile::encodeName(m_data + "/A")}));
        QVERIFY(logText().contains("Trashed: "));
    }

    // Another tab's removal undone: the folder is back in the map with what it held, and
    // the column's total is what it was.
    void undoPutsTheFolderBackInTheMap()
    {
        AppState app;
        StorageViewModel &vm = *app.storageVM();
        vm.open(m_data);
        waitIdle(vm);
        const QList<StorageEntry> before = vm.columns().first();
        const std::optional<StorageEntry> a = find(before, "A");
        QVERIFY(a);
        {
            const RemovalHub::Batch batch;
            const RemovalHub::Joined joined(batch);
            QVERIFY(SafetyHelper::moveNativeToTrash(a->nativePath, a->identity).ok);
        }
        QTRY_VERIFY(!find(vm.columns().first(), "A"));
        QTRY_VERIFY(app.recentlyRemovedVM()->notice());

        app.recentlyRemovedVM()->undoNotice();
        QTRY_VERIFY(find(vm.columns().first(), "A"));
        QCOMPARE(find(vm.columns().first(), "A")->bytes, a->bytes);
        QCOMPARE(total(vm.columns().first()), total(before));
    }

    void trashingAnOpenFolderDropsTheColumnsInsideIt()
    {
        AppState app;
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        for (const char *name : {"A", "X", "xa"}) {
            const int column = int(vm.columns().size()) - 1;
            vm.choose(*find(vm.columns().last(), name), column);
            waitIdle(vm);
        }
        QCOMPARE(vm.columns().size(), 4);
        const StorageEntry x = *vm.selection()[1];
        auto done = vm.trash(x, &app);
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
        QVERIFY(done.result().ok);
        // "xa" went with "X": no column for a folder that is no longer there.
        QCOMPARE(vm.columns().size(), 2);
        QCOMPARE(vm.selection().size(), 1);
        QVERIFY(vm.selection().first());
        QCOMPARE(vm.selection().first()->name(), QStringLiteral("A"));
    }

    void nameThatIsNotUtf8IsTrashedAsItself()
    {
        // Two names that decode to the same text: trashing one must not move the other.
        const QByteArray base = QFile::encodeName(m_data);
        QCOMPARE(::mkdir((base + "/odd\xff").constData(), 0755), 0);
        QCOMPARE(::mkdir((base + "/odd\xef\xbf\xbd").constData(), 0755), 0);
        AppState app;
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        std::optional<StorageEntry> odd;
        const QList<QList<StorageEntry>> columns = vm.columns();
        for (const StorageEntry &e : columns.first()) {
            if (e.nativePath.endsWith("\xff"))
                odd = e;
        }
        QVERIFY(odd);
        auto done = vm.trash(*odd, &app);
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
        QVERIFY(done.result().ok);
        struct stat st;
        QCOMPARE(::lstat((base + "/odd\xff").constData(), &st), -1);
        QCOMPARE(::lstat((base + "/odd\xef\xbf\xbd").constData(), &st), 0);
        const QByteArray trashed = QFile::encodeName(Locations::current().trashFiles) + "/odd\xff";
        QCOMPARE(::lstat(trashed.constData(), &st), 0);
        ::rmdir(trashed.constData()); // QTemporaryDir cannot remove it
    }

    void rebuildAfterAMoveNeverOutlivesItsRootOrModel()
    {
        AppState app;
        {
            // A new root opened while the move runs: the old root's columns stay away.
            StorageViewModel vm;
            vm.open(m_data + "/A");
            waitIdle(vm);
            const StorageEntry w = *find(vm.columns().first(), "W");
            auto done = vm.trash(w, &app);
            vm.open(m_data + "/B");
            QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
            QVERIFY(done.result().ok);
            waitIdle(vm);
            QTest::qWait(50);
            QCOMPARE(vm.root(), m_data + "/B");
            QCOMPARE(vm.columns().size(), 1);
            QVERIFY(find(vm.columns().first(), "b1"));
        }
        // The model goes while its move runs: the move completes, nothing runs on the
        // model afterwards.
        auto *vm = new StorageViewModel;
        vm->open(m_data);
        waitIdle(*vm);
        auto done = vm->trash(*find(vm->columns().first(), "top"), &app);
        delete vm;
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
        QVERIFY(!QFile::exists(m_data + "/top"));
    }

    // A file replaced at an entry's path since it was listed is refused; nothing moves.
    void trashRefusesAnEntryReplacedSinceListed()
    {
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        const auto listed = find(vm.columns().first(), "top");
        QVERIFY(listed);
        QVERIFY(QFile::rename(m_data + "/top", m_data + "/top.listed"));
        writeFile(m_data + "/top", 10);

        AppState app;
        auto done = vm.trash(*listed, &app);
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
        QCOMPARE(done.result().reason, "top changed since it was listed. Rescan and try again.");
        QVERIFY(QFile::exists(m_data + "/top") && QFile::exists(m_data + "/top.listed"));
    }

    void refusedTrashChangesNothing()
    {
        StorageViewModel vm;
        vm.open(m_data);
        waitIdle(vm);
        const auto a = find(vm.columns().first(), "A");
        vm.choose(*a, 0);
        waitIdle(vm);
        Locations loc = Locations::current();
        loc.protectedItself.append(m_data + "/A");
        Locations::setCurrent(loc);

        AppState app;
        const auto columns = vm.columns();
        const auto selection = vm.selection();
        const auto cached = vm.scanner().cachedMeasure(a->nativePath);
        QVERIFY(cached);
        QSignalSpy changed(&vm, &StorageViewModel::changed);
        auto done = vm.trash(*a, &app);
        QTRY_VERIFY_WITH_TIMEOUT(done.isFinished(), 10000);
        QVERIFY(!done.result().ok);
        QVERIFY(QFile::exists(m_data + "/A"));
        QCOMPARE(vm.columns(), columns);
        QCOMPARE(vm.selection(), selection);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(vm.scanner().cachedMeasure(a->nativePath)->bytes, cached->bytes);
        QVERIFY(logText().contains("Safety Check Failed"));
    }
};

QTEST_MAIN(TestStorageViewModel)
#include "tst_StorageViewModel.moc"
