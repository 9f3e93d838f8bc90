#include "exec/SafetyHelper.h"
#include "exec/ThreadPriority.h"
#include "platform/Locations.h"
#include "platform/RemovalHub.h"
#include "storage/StorageScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <thread>

#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

// Bytes are written for real so the blocks are really allocated.
void writeFile(const QByteArray &path, qint64 size)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY2(fd >= 0, path.constData());
    const QByteArray chunk(64 * 1024, 'q');
    qint64 left = size;
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, chunk.size());
        QCOMPARE(::write(fd, chunk.constData(), size_t(n)), ssize_t(n));
        left -= n;
    }
    ::close(fd);
}

void makeDir(const QByteArray &path)
{
    QVERIFY2(::mkdir(path.constData(), 0755) == 0, path.constData());
}

int removeOne(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

// QTemporaryDir skips names that are not UTF-8; this removes the test's own tree by bytes.
void removeTree(const QByteArray &path)
{
    ::nftw(path.constData(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
}

// A chain of single folders too deep for paths: removed through descriptors.
void removeDeep(const QByteArray &top)
{
    std::vector<int> fds{::open(top.constData(), O_RDONLY | O_DIRECTORY)};
    std::vector<std::string> names;
    for (;;) {
        DIR *d = ::fdopendir(::dup(fds.back()));
        std::string child;
        while (const struct dirent *e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == "..")
                continue;
            if (e->d_type == DT_DIR)
                child = n;
            else
                ::unlinkat(fds.back(), n.c_str(), 0);
        }
        ::closedir(d);
        if (child.empty())
            break;
        fds.push_back(::openat(fds.back(), child.c_str(), O_RDONLY | O_DIRECTORY));
        names.push_back(child);
    }
    while (!names.empty()) {
        ::close(fds.back());
        fds.pop_back();
        ::unlinkat(fds.back(), names.back().c_str(), AT_REMOVEDIR);
        names.pop_back();
    }
    ::close(fds.back());
    ::rmdir(top.constData());
}

qint64 allocated(const QByteArray &path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return -1;
    return qint64(st.st_blocks) * 512;
}

// What the system's own tool says a folder takes, on its device only.
qint64 du(const QByteArray &path)
{
    QProcess p;
    p.start(QStringLiteral("/usr/bin/du"), {"-s", "-B1", "-x", QFile::decodeName(path)});
    p.waitForFinished(60000);
    return p.readAllStandardOutput().split('\t').first().toLongLong();
}

void hardLink(const QByteArray &from, const QByteArray &to)
{
    QVERIFY2(::link(from.constData(), to.constData()) == 0, to.constData());
}

} // namespace

class TestStorageScanner : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QByteArray dir(const QTemporaryDir &d) { return native(d.path()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_home.path()));
    }
    void cleanupTestCase() { Locations::resetCurrent(); }

    void formatBytes_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "Zero KB";
        QTest::newRow("one") << qint64(1) << "1 byte";
        QTest::newRow("two") << qint64(2) << "2 bytes";
        QTest::newRow("999") << qint64(999) << "999 bytes";
        QTest::newRow("1000") << qint64(1000) << "1 KB";
        QTest::newRow("1499") << qint64(1499) << "1 KB";
        QTest::newRow("1500 rounds up") << qint64(1500) << "2 KB";
        QTest::newRow("999,499") << qint64(999'499) << "999 KB";
        QTest::newRow("999,500 moves up") << qint64(999'500) << "1 MB";
        QTest::newRow("1,000,000") << qint64(1'000'000) << "1 MB";
        QTest::newRow("1,500,000") << qint64(1'500'000) << "1.5 MB";
        QTest::newRow("1,049,999") << qint64(1'049'999) << "1 MB";
        QTest::newRow("1,050,000") << qint64(1'050'000) << "1.1 MB";
        QTest::newRow("999,949,999") << qint64(999'949'999) << "999.9 MB";
        QTest::newRow("999,950,000 moves up") << qint64(999'950'000) << "1 GB";
        QTest::newRow("2,340,000,000") << qint64(2'340'000'000) << "2.34 GB";
        QTest::newRow("2,300,000,000") << qint64(2'300'000'000) << "2.3 GB";
        QTest::newRow("2,345,000,000") << qint64(2'345'000'000) << "2.35 GB";
        QTest::newRow("999,995,000,000") << qint64(999'995'000'000) << "1 TB";
        QTest::newRow("1.23 TB") << qint64(1'234'567'890'123) << "1.23 TB";
        QTest::newRow("negative") << qint64(-1'500'000) << "-1.5 MB";
        QTest::newRow("largest") << std::numeric_limits<qint64>::max() << "9.22 EB";
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-9.22 EB";
    }
    void formatBytes()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(::formatBytes(bytes), text);
        QCOMPARE(sizeText(StorageEntry{"/x", bytes, true, false}), text);
        QCOMPARE(sizeText(StorageEntry{"/x", bytes, true, true}), text + QLatin1Char('+'));
    }

    void entryNames()
    {
        QCOMPARE(StorageEntry::fromPath("/").name(), Locations::current().rootDisplayName);
        QCOMPARE(StorageEntry::fromPath(m_home.path() + "/").name(),
                 QFileInfo(m_home.path()).fileName());
        QCOMPARE(StorageEntry::fromPath("/a/b").id(), QStringLiteral("/a/b"));
        QCOMPARE(StorageEntry::fromPath("/a/b").url(), QUrl::fromLocalFile("/a/b"));
        // Names that are not UTF-8 still show something.
        const StorageEntry odd{"/a/bad\xff", 0, false, false};
        QVERIFY(odd.name().startsWith("bad"));
        QCOMPARE(odd.name().size(), 4);
    }

    void standardized_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("root") << QByteArray("/") << QByteArray("/");
        QTest::newRow("double root") << QByteArray("//") << QByteArray("/");
        QTest::newRow("trailing") << QByteArray("/a/b/") << QByteArray("/a/b");
        QTest::newRow("repeated") << QByteArray("/a//b") << QByteArray("/a/b");
        QTest::newRow("dots") << QByteArray("/a/./b/../c") << QByteArray("/a/c");
        QTest::newRow("above root") << QByteArray("/../a") << QByteArray("/a");
        QTest::newRow("raw bytes") << QByteArray("/x/\xff\xfe/") << QByteArray("/x/\xff\xfe");
    }
    void standardized()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, expected);
        QCOMPARE(StorageScanner::standardized(path), expected);
    }

    void isSkipped_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("skipped");
        QTest::newRow("mount") << "/proc" << true;
        QTest::newRow("trailing slash") << "/proc/" << true;
        QTest::newRow("two trailing slashes") << "/proc//" << true;
        QTest::newRow("below a mount") << "/media/disk" << false;
        QTest::newRow("prefix only") << "/procx" << false;
        QTest::newRow("root") << "/" << false;
    }
    void isSkipped()
    {
        QFETCH(QString, path);
        QFETCH(bool, skipped);
        QCOMPARE(StorageScanner::isSkipped(path), skipped);
    }

    // A skipped mount is left out; where the table skips only what is mounted, a plain
    // folder by that name is measured as du -x measures it.
    void skippedFoldersAreNotEntered_data()
    {
        QTest::addColumn<bool>("onlyWhenMounted");
        QTest::newRow("always skipped") << false;
        QTest::newRow("plain folder by a skipped name") << true;
    }
    void skippedFoldersAreNotEntered()
    {
        QFETCH(bool, onlyWhenMounted);
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/mnt");
        makeDir(root + "/mnt/volume");
        writeFile(root + "/mnt/volume/data", 300'000);
        writeFile(root + "/kept", 5000);
        Locations loc = Locations::current();
        loc.skippedMounts = {tmp.path() + "/mnt"};
        loc.skippedOnlyWhenMounted = onlyWhenMounted;
        Locations::setCurrent(loc);

        StorageScanner scanner;
        const auto whole = scanner.entry(root);
        QVERIFY(whole);
        const auto mount = scanner.entry(root + "/mnt/");
        QVERIFY(mount);
        const auto children = scanner.children(root);
        const auto listed = std::find_if(children.begin(), children.end(), [](const auto &e) {
            return e.name() == QStringLiteral("mnt");
        });
        QVERIFY(listed != children.end());
        if (onlyWhenMounted) {
            QCOMPARE(whole->bytes, du(root));
            QCOMPARE(mount->bytes, du(root + "/mnt"));
            QCOMPARE(listed->bytes, du(root + "/mnt"));
        } else {
            QCOMPARE(whole->bytes, allocated(root) + allocated(root + "/kept"));
            QCOMPARE(mount->bytes, 0);
            QVERIFY(!mount->isDirectory);
            QCOMPARE(listed->bytes, 0);
        }
        // Below a skipped path is measured normally when asked for directly.
        const auto volume = scanner.entry(root + "/mnt/volume");
        QVERIFY(volume);
        QCOMPARE(volume->bytes, du(root + "/mnt/volume"));
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_home.path()));
    }

    // A file with several names is charged to one folder, the same one every time.
    void hardLinksCountOnce()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/a");
        makeDir(root + "/b");
        // Under the cache threshold, so every look measures again.
        writeFile(root + "/a/big", 500'000);
        hardLink(root + "/a/big", root + "/a/again");
        hardLink(root + "/a/big", root + "/b/third");
        writeFile(root + "/b/own", 10'000);
        const qint64 big = allocated(root + "/a/big");
        const qint64 bOwn = allocated(root + "/b") + allocated(root + "/b/own");

        StorageScanner scanner;
        QCOMPARE(scanner.entry(root + "/a")->bytes, du(root + "/a"));
        // The third name was charged to the first folder, on every look.
        QCOMPARE(scanner.entry(root + "/b")->bytes, bOwn);
        QCOMPARE(scanner.entry(root + "/a")->bytes, du(root + "/a"));
        QCOMPARE(scanner.entry(root + "/b")->bytes, bOwn);
        // Asked for by itself, a linked file still shows its full size.
        QCOMPARE(scanner.entry(root + "/b/third")->bytes, big);

        scanner.reset();
        QCOMPARE(scanner.entry(root + "/b")->bytes, bOwn + big);
        QCOMPARE(scanner.entry(root + "/a")->bytes, allocated(root + "/a"));
        scanner.reset();
        QCOMPARE(scanner.entry(root)->bytes, du(root));

        // A walk stopped half way charges nothing: "a" was read before the stop.
        scanner.reset();
        CancelToken token = makeCancelToken();
        int reads = 0;
        scanner.setReadHook([&](const QByteArray &) {
            if (++reads == 3)
                token.cancel();
        });
        QVERIFY(!scanner.entry(root, token));
        scanner.setReadHook({});
        QCOMPARE(scanner.entry(root + "/b")->bytes, bOwn + big);
    }

    // Within one measurement the folder whose path sorts first is charged, whichever
    // thread meets a name first, and the answer is the same on any number of threads.
    void hardLinksChargedByPath_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one thread") << 1;
        QTest::newRow("two threads") << 2;
        QTest::newRow("eight threads") << 8;
    }
    void hardLinksChargedByPath()
    {
        QFETCH(int, threads);
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        // Names spread over many folders; for each file, the folder that sorts first
        // among those holding it is listed first in its own group of three.
        QMap<QByteArray, qint64> expected;
        for (int g = 0; g < 12; ++g) {
            const QByteArray group = root + "/g" + QByteArray::number(g);
            makeDir(group);
            const QList<QByteArray> holders = {group + "/a", group + "/m", group + "/z"};
            for (const QByteArray &h : holders) {
                makeDir(h);
                makeDir(h + "/deeper");
                writeFile(h + "/deeper/own", 4096 * (g + 1));
                expected[h] = du(h);
            }
            writeFile(holders[2] + "/deeper/shared", 200'000 + 4096 * g);
            hardLink(holders[2] + "/deeper/shared", holders[1] + "/deeper/shared2");
            hardLink(holders[2] + "/deeper/shared", holders[0] + "/deeper/shared3");
            const qint64 shared = allocated(holders[0] + "/deeper/shared3");
            expected[holders[0]] += shared;
        }

        StorageScanner scanner(threads);
        QCOMPARE(scanner.threadCount(), threads);
        const auto whole = scanner.entry(root);
        QVERIFY(whole);
        QCOMPARE(whole->bytes, du(root));
        // Each holder measured on its own after the whole: the charge stays put.
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(scanner.entry(it.key())->bytes, it.value());
    }

    // The children of one folder are one measurement: a file with a name in several of
    // them is charged to the child whose path sorts first ("a" before "a-b"), as du given
    // the children in sorted order charges it, whatever order they are listed or read in.
    void childrenChargeTheFirstByPath_data()
    {
        QTest::addColumn<int>("threads");
        QTest::addColumn<QByteArray>("fileChild"); // a direct child that is one more name
        QTest::newRow("folders, one thread") << 1 << QByteArray();
        QTest::newRow("folders, eight threads") << 8 << QByteArray();
        QTest::newRow("a file child sorting first") << 8 << QByteArray("0-file");
        QTest::newRow("a file child sorting last") << 2 << QByteArray("zz-file");
    }
    void childrenChargeTheFirstByPath()
    {
        QFETCH(int, threads);
        QFETCH(QByteArray, fileChild);
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        QList<QByteArray> names{"h", "b", "f", "a-b", "g", "c", "a", "e"};
        writeFile(root + "/shared", 300'000);
        for (const QByteArray &n : names) {
            makeDir(root + "/" + n);
            makeDir(root + "/" + n + "/zz");
            writeFile(root + "/" + n + "/own", 4096);
            hardLink(root + "/shared", root + "/" + n + "/zz/name");
        }
        if (!fileChild.isEmpty()) {
            hardLink(root + "/shared", root + "/" + fileChild);
            names.append(fileChild);
        }
        QVERIFY(::unlink((root + "/shared").constData()) == 0);
        std::sort(names.begin(), names.end());
        QStringList args{"-s", "-B1", "-x"};
        for (const QByteArray &n : names)
            args << QFile::decodeName(root + "/" + n);
        QProcess du;
        du.start(QStringLiteral("/usr/bin/du"), args);
        QVERIFY(du.waitForFinished(60000));
        // du prints nothing for a file it already counted.
        QMap<QByteArray, qint64> expected;
        for (const QByteArray &n : names)
            expected[root + "/" + n] = 0;
        for (const QByteArray &line : du.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                expected[line.split('\t').value(1)] = line.split('\t').first().toLongLong();
        }

        StorageScanner scanner(threads);
        QMap<QByteArray, qint64> measured;
        for (const StorageEntry &e : scanner.children(root))
            measured[e.nativePath] = e.bytes;
        QCOMPARE(measured, expected);
        // Opened again, or after one of its children, the same answer.
        scanner.children(root + "/e");
        measured.clear();
        for (const StorageEntry &e : scanner.children(root))
            measured[e.nativePath] = e.bytes;
        QCOMPARE(measured, expected);
    }

    // In the background the scanner's own threads yield: they run at a lower priority
    // than the thread that asked, which keeps its own.
    void backgroundThreadsYield_data()
    {
        QTest::addColumn<bool>("background");
        QTest::newRow("background") << true;
        QTest::newRow("normal") << false;
    }
    void backgroundThreadsYield()
    {
        QFETCH(bool, background);
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        for (int i = 0; i < 64; ++i) {
            makeDir(root + "/d" + QByteArray::number(i));
            makeDir(root + "/d" + QByteArray::number(i) + "/e");
        }
        const int base = ::getpriority(PRIO_PROCESS, 0);
        StorageScanner scanner(8, background ? StorageScanner::Priority::Background
                                             : StorageScanner::Priority::Normal);
        const pid_t caller = ::gettid();
        QMap<pid_t, int> niceness;
        scanner.setReadHook([&](const QByteArray &) {
            niceness[::gettid()] = ::getpriority(PRIO_PROCESS, ::gettid());
            QThread::usleep(300); // long enough for the other threads to take folders
        });
        QVERIFY(scanner.entry(root));
        QVERIFY(niceness.size() >= 2);
        for (auto it = niceness.cbegin(); it != niceness.cend(); ++it) {
            const int expected = background && it.key() != caller
                                     ? std::max(base, ThreadPriority::kBackgroundNice)
                                     : base;
            QCOMPARE(it.value(), expected);
        }
    }

    void symbolicLinksAreNotFollowed()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/big");
        writeFile(root + "/big/data", 2'000'000);
        QCOMPARE(::symlink("..", (root + "/big/loop").constData()), 0);
        QCOMPARE(::symlink((root + "/big").constData(), (root + "/link").constData()), 0);
        QCOMPARE(::symlink("/nowhere", (root + "/dangling").constData()), 0);

        StorageScanner scanner;
        const qint64 data = du(root + "/big");
        QCOMPARE(scanner.entry(root)->bytes, du(root));
        const QList<StorageEntry> children = scanner.children(root);
        QCOMPARE(children.size(), 3);
        QCOMPARE(children.first(), (StorageEntry{root + "/big", data, true, false,
                                                 *FileIdentity::read(root + "/big")}));
        for (const StorageEntry &e : children.mid(1)) {
            QCOMPARE(e.bytes, 0);
            QVERIFY(!e.isDirectory);
        }
        QCOMPARE(scanner.entry(root + "/link")->bytes, 0);
    }

    void childrenLargestFirstStable()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        for (const char *name : {"e1", "e2", "e3", "e4"})
            writeFile(root + "/" + name, 8000);
        writeFile(root + "/large", 50'000);
        makeDir(root + "/empty");

        StorageScanner scanner;
        const QList<QByteArray> listed = scanner.listing(root);
        QCOMPARE(listed.size(), 6);
        const QList<StorageEntry> children = scanner.children(root);
        QCOMPARE(children.size(), 6);
        QCOMPARE(children.first().nativePath, root + "/large");
        QCOMPARE(children.last().nativePath, root + "/empty");
        QVERIFY(children.last().isDirectory);
        // Equal sizes keep the order the folder lists them in.
        QList<QByteArray> equalOrder, listedOrder;
        for (const StorageEntry &e : children.mid(1, 4))
            equalOrder.append(e.nativePath);
        for (const QByteArray &p : listed) {
            if (p.endsWith("/e1") || p.endsWith("/e2") || p.endsWith("/e3") || p.endsWith("/e4"))
                listedOrder.append(p);
        }
        QCOMPARE(equalOrder, listedOrder);
        QVERIFY(scanner.listing(root + "/missing").isEmpty());
        QVERIFY(!scanner.entry(root + "/missing"));
    }

    void namesThatAreNotUtf8Count()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        const QByteArray odd = root + "/sub\xff\xfe";
        makeDir(odd);
        writeFile(odd + "/caf\xe9", 40'000);
        writeFile(root + "/plain", 4000);

        StorageScanner scanner;
        QCOMPARE(scanner.entry(root)->bytes, du(root));
        const QList<StorageEntry> children = scanner.children(root);
        QCOMPARE(children.size(), 2);
        QCOMPARE(children.first().nativePath, odd);
        QCOMPARE(children.first().bytes, allocated(odd) + allocated(odd + "/caf\xe9"));
        removeTree(root);
    }

    // Folders of 1,000,000 bytes or more are served from the cache; smaller ones are
    // read again. Which side a file lands on depends on the file system's blocks.
    void cacheThreshold_data()
    {
        QTest::addColumn<qint64>("fileSize");
        QTest::newRow("just below") << qint64(990'000);
        QTest::newRow("just above") << qint64(1'000'001);
        QTest::newRow("small") << qint64(1000);
    }
    void cacheThreshold()
    {
        QFETCH(qint64, fileSize);
        QTemporaryDir tmp;
        const QByteArray folder = dir(tmp) + "/f";
        makeDir(folder);
        writeFile(folder + "/data", fileSize);
        const qint64 total = du(folder);

        StorageScanner scanner;
        QCOMPARE(scanner.entry(folder)->bytes, total);
        const quint64 reads = scanner.folderReads();
        QCOMPARE(scanner.entry(folder)->bytes, total);
        const bool cached = total >= 1'000'000;
        QCOMPARE(scanner.folderReads() - reads, cached ? 0u : 1u);
        QCOMPARE(scanner.cachedMeasure(folder).has_value(), cached);
    }

    void browsingDeeperUsesTheCache()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/top");
        for (const char *sub : {"/top/a", "/top/b", "/top/c"}) {
            makeDir(root + sub);
            makeDir(root + sub + "/deeper");
            writeFile(root + sub + "/deeper/data", 1'200'000);
        }
        writeFile(root + "/top/file", 3000);

        StorageScanner scanner;
        const qint64 whole = scanner.entry(root)->bytes;
        const quint64 reads = scanner.folderReads();
        const QList<StorageEntry> children = scanner.children(root + "/top");
        // Only "top" itself is listed; every folder below it comes from the cache.
        QCOMPARE(scanner.folderReads() - reads, 1u);
        QCOMPARE(children.size(), 4);
        qint64 sum = 0;
        for (const StorageEntry &e : children)
            sum += e.bytes;
        QCOMPARE(sum + allocated(root) + allocated(root + "/top"), whole);
        QCOMPARE(whole, du(root));
    }

    void forgetClampsAtZero()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/a");
        makeDir(root + "/a/b");
        makeDir(root + "/a/b/c");
        writeFile(root + "/a/b/c/data", 1'500'000);
        writeFile(root + "/a/other", 1'100'000);
        const qint64 data = allocated(root + "/a/b/c/data");
        const qint64 other = allocated(root + "/a/other");

        StorageScanner scanner;
        const qint64 whole = du(root);
        const qint64 a = du(root + "/a");
        QCOMPARE(scanner.entry(root)->bytes, whole);
        QVERIFY(scanner.cachedMeasure(root + "/a/b/c"));

        scanner.forget(root + "/a/b", data);
        QVERIFY(!scanner.cachedMeasure(root + "/a/b"));
        QVERIFY(!scanner.cachedMeasure(root + "/a/b/c"));
        QCOMPARE(scanner.cachedMeasure(root + "/a")->bytes, a - data);
        QCOMPARE(scanner.cachedMeasure(root)->bytes, whole - data);

        scanner.forget(root + "/a/other", 5'000'000'000);
        QCOMPARE(scanner.cachedMeasure(root + "/a")->bytes, 0);
        QCOMPARE(scanner.cachedMeasure(root)->bytes, 0);
        // The cache keeps answering until reset, whatever the disk says.
        QCOMPARE(scanner.entry(root + "/a")->bytes, 0);
        scanner.reset();
        QCOMPARE(scanner.cachedFolderCount(), 0);
        QCOMPARE(scanner.entry(root)->bytes, whole);
        Q_UNUSED(other);
    }

    void cancellation()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/p");
        makeDir(root + "/p/c");
        for (const char *sub : {"/p/c/s1", "/p/c/s2", "/p/c/s3"}) {
            makeDir(root + sub);
            writeFile(root + sub + "/data", 1'100'000);
        }

        StorageScanner scanner;
        CancelToken token = makeCancelToken();
        token.cancel();
        QVERIFY(!scanner.entry(root + "/p", token));
        QCOMPARE(scanner.folderReads(), 0u);

        // Cancel half way: nothing short may be cached, and a stopped walk settles
        // nothing, so not even the folders it finished are kept.
        token = makeCancelToken();
        int seen = 0;
        scanner.setReadHook([&](const QByteArray &) {
            if (++seen == 4)
                token.cancel();
        });
        QVERIFY(!scanner.entry(root + "/p", token));
        scanner.setReadHook({});
        QCOMPARE(scanner.cachedFolderCount(), 0);
        QCOMPARE(scanner.entry(root + "/p")->bytes, du(root + "/p"));
    }

    // A token set from another thread half way through a long walk stops it at once, on
    // the caller's thread as on the scanner's own. Each read is slowed down, so finishing
    // the walk instead of stopping takes seconds.
    void cancellationIsPrompt_data()
    {
        QTest::addColumn<int>("threads");
        QTest::newRow("one thread") << 1;
        QTest::newRow("four threads") << 4;
    }
    void cancellationIsPrompt()
    {
        QFETCH(int, threads);
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        constexpr int wide = 20;
        for (int i = 0; i < wide; ++i) {
            const QByteArray top = root + "/t" + QByteArray::number(i);
            makeDir(top);
            for (int k = 0; k < wide; ++k) {
                makeDir(top + "/s" + QByteArray::number(k));
                writeFile(top + "/s" + QByteArray::number(k) + "/data", 5000);
            }
        }
        constexpr quint64 folders = 1 + wide + wide * wide;

        StorageScanner scanner(threads);
        scanner.setReadHook(
            [](const QByteArray &) { std::this_thread::sleep_for(std::chrono::milliseconds(10)); });
        const CancelToken token = makeCancelToken();
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> cancelledAt{-1};
        std::thread canceller([&] {
            while (scanner.folderReads() < 40 && clock.elapsed() < 30'000)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            cancelledAt = clock.nsecsElapsed();
            token.cancel();
        });
        const std::optional<StorageEntry> e = scanner.entry(root, token);
        const qint64 returnedAt = clock.nsecsElapsed();
        canceller.join();
        scanner.setReadHook({});

        QVERIFY(!e);
        QVERIFY2(scanner.folderReads() < folders / 2,
                 QByteArray::number(scanner.folderReads()).constData());
        const qint64 latencyMs = (returnedAt - cancelledAt) / 1'000'000;
        QVERIFY2(latencyMs < 200, QByteArray::number(latencyMs).constData());
        // The stopped walk's threads are gone from the next measurement's way.
        QCOMPARE(scanner.entry(root)->bytes, du(root));
    }

    // Folders that cannot be read whole leave a lower bound, marked so the "+" shows.
    void unreadableFolderIsPartial_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("cannot be listed") << 0;
        QTest::newRow("listed, not entered") << 0444;
    }
    void unreadableFolderIsPartial()
    {
        QFETCH(int, mode);
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/tree");
        makeDir(root + "/tree/open");
        writeFile(root + "/tree/open/data", 1'200'000);
        makeDir(root + "/tree/deep");
        makeDir(root + "/tree/deep/inner");
        makeDir(root + "/tree/deep/inner/locked");
        writeFile(root + "/tree/deep/inner/locked/hidden", 400'000);
        writeFile(root + "/tree/deep/file", 20'000);
        const qint64 readable =
            du(root + "/tree") - allocated(root + "/tree/deep/inner/locked/hidden");
        QCOMPARE(::chmod((root + "/tree/deep/inner/locked").constData(), mode_t(mode)), 0);

        qint64 bytes = -1;
        bool partial = false;
        if (::geteuid() != 0) {
            StorageScanner scanner;
            const auto e = scanner.entry(root + "/tree");
            QVERIFY(e);
            bytes = e->bytes;
            partial = e->isPartial;
            QVERIFY(sizeText(*e).endsWith('+'));
            // The flag is cached with the total.
            QVERIFY(scanner.entry(root + "/tree")->isPartial);
            const QList<StorageEntry> children = scanner.children(root + "/tree");
            QCOMPARE(children.size(), 2);
            QVERIFY(!children[0].isPartial); // open
            QVERIFY(children[1].isPartial);  // deep
        } else {
            // Root reads everything: measure as an unprivileged user instead.
            const QString setpriv = QStandardPaths::findExecutable("setpriv");
            if (setpriv.isEmpty())
                QSKIP("needs setpriv to measure as an unprivileged user");
            QFile::setPermissions(tmp.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther | QFileDevice::ReadGroup |
                                                  QFileDevice::ExeGroup);
            const QString helper = tmp.path() + "/helper";
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), helper));
            QVERIFY(QFile::setPermissions(helper, QFile::permissions(helper) |
                                                      QFileDevice::ExeOther |
                                                      QFileDevice::ReadOther));
            QProcess p;
            p.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", helper,
                              "--measure", tmp.path() + "/tree"});
            QVERIFY(p.waitForFinished(30000));
            const QList<QByteArray> words = p.readAllStandardOutput().trimmed().split(' ');
            QCOMPARE(words.size(), 2);
            bytes = words[0].toLongLong();
            partial = words[1] == "1";
        }
        ::chmod((root + "/tree/deep/inner/locked").constData(), 0755);
        QCOMPARE(bytes, readable);
        QVERIFY(partial);
    }

    // A tree deeper than the descriptors the process may hold, with paths longer than
    // the system accepts in one call: the file at the bottom still counts.
    void deepTree()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp) + "/deep";
        makeDir(root);
        const QByteArray name(12, 'd');
        int fd = ::open(root.constData(), O_RDONLY | O_DIRECTORY);
        qint64 expected = allocated(root);
        for (int level = 0; level < 600; ++level) {
            QCOMPARE(::mkdirat(fd, name.constData(), 0755), 0);
            const int next = ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            QVERIFY(next >= 0);
            fd = next;
            struct stat st;
            ::fstat(fd, &st);
            expected += qint64(st.st_blocks) * 512;
        }
        const int file = ::openat(fd, "bottom", O_WRONLY | O_CREAT, 0644);
        const QByteArray mib(1 << 20, 'q');
        QCOMPARE(::write(file, mib.constData(), size_t(mib.size())), ssize_t(mib.size()));
        struct stat st;
        ::fstat(file, &st);
        expected += qint64(st.st_blocks) * 512;
        ::close(file);
        ::close(fd);

        struct rlimit saved;
        ::getrlimit(RLIMIT_NOFILE, &saved);
        struct rlimit low = saved;
        low.rlim_cur = 64;
        ::setrlimit(RLIMIT_NOFILE, &low);
        StorageScanner scanner;
        const auto e = scanner.entry(root);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QVERIFY(e);
        QCOMPARE(e->bytes, expected);
        QVERIFY(!e->isPartial);
        removeDeep(root);
    }

    // Mounts below the measured folder are listed, can be opened on their own, and add
    // nothing to it: not another file system, not the folder mounted inside itself.
    void mountsBelowAreNotAdded()
    {
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp) + "/m";
        makeDir(root);
        makeDir(root + "/data");
        writeFile(root + "/data/file", 1'200'000);
        makeDir(root + "/inner");
        makeDir(root + "/other");
        const qint64 expected = du(root) - allocated(root + "/inner") - allocated(root + "/other");
        if (::mount(root.constData(), (root + "/inner").constData(), nullptr, MS_BIND, nullptr) !=
            0)
            QSKIP("bind mounts are not allowed here");
        struct Unmount {
            QList<QByteArray> points;
            ~Unmount()
            {
                for (const QByteArray &p : points)
                    ::umount2(p.constData(), MNT_DETACH);
            }
        } unmount{{root + "/inner"}};
        QCOMPARE(::mount("none", (root + "/other").constData(), "tmpfs", 0, "size=8m"), 0);
        unmount.points.prepend(root + "/other");
        writeFile(root + "/other/elsewhere", 2'000'000);

        StorageScanner scanner;
        QCOMPARE(scanner.entry(root)->bytes, expected);
        const QList<StorageEntry> children = scanner.children(root);
        QCOMPARE(children.size(), 3);
        for (const StorageEntry &e : children.mid(1)) {
            QVERIFY(e.isDirectory);
            QCOMPARE(e.bytes, 0);
            QVERIFY(e.isOtherDisk);
        }
        // Another disk shows its own file system's used space, added to nothing above.
        const StorageEntry tmpfs = *scanner.entry(root + "/other");
        QVERIFY(tmpfs.otherDiskUsed >= 2'000'000);
        QVERIFY(sizeText(tmpfs).startsWith("Another disk · "));
        const QList<StorageEntry> other = scanner.children(root + "/other");
        QCOMPARE(other.size(), 1);
        QCOMPARE(other.first().bytes, allocated(root + "/other/elsewhere"));
        // Opened on its own, the folder mounted inside itself shows what it holds once.
        const QList<StorageEntry> inner = scanner.children(root + "/inner");
        QCOMPARE(inner.size(), 3);
        QCOMPARE(inner.first().nativePath, root + "/inner/data");
    }

    // The folder the user chose may be a link: its own link is followed, none inside.
    void chosenFolderThatIsALink()
    {
        QTemporaryDir tmp;
        const QByteArray root = dir(tmp);
        makeDir(root + "/real");
        makeDir(root + "/real/sub");
        writeFile(root + "/real/sub/data", 300'000);
        QCOMPARE(::symlink("real", (root + "/chosen").constData()), 0);
        QCOMPARE(::symlink("..", (root + "/real/up").constData()), 0);

        StorageScanner scanner;
        QCOMPARE(scanner.listing(root + "/chosen").size(), 2);
        const QList<StorageEntry> children = scanner.children(root + "/chosen");
        QCOMPARE(children.size(), 2);
        QCOMPARE(children.first().nativePath, root + "/chosen/sub");
        QCOMPARE(children.first().bytes, du(root + "/real/sub"));
        QCOMPARE(children.last().bytes, 0);
        // As an item inside a folder, a link is still just a link.
        QCOMPARE(scanner.entry(root + "/chosen")->bytes, 0);
    }

    // After a move to the Trash inside the measured home, every cached total agrees with
    // the disk again: the bytes left their folders and arrived in the Trash's.
    void movedToTrashAgreesWithDu_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        // Folders whose totals du sees alike (no name of a linked file charged elsewhere).
        QTest::addColumn<QByteArrayList>("alike");
        QTest::newRow("a file, then a folder")
            << QByteArray("Big/Deeper/movie") << QByteArray("Old") << QByteArrayList{"Big"};
        QTest::newRow("a folder holding a linked file")
            << QByteArray("Old") << QByteArray("Big/Deeper") << QByteArrayList{"Big", ".local"};
    }
    void movedToTrashAgreesWithDu()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QByteArrayList, alike);
        QTemporaryDir tmp;
        const QByteArray home = dir(tmp) + "/home";
        makeDir(home);
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, tmp.path() + "/home"));
        makeDir(home + "/.local");
        makeDir(home + "/.local/share");
        writeFile(home + "/.local/share/state", 30'000);
        makeDir(home + "/Big");
        makeDir(home + "/Big/Deeper");
        writeFile(home + "/Big/Deeper/movie", 1'600'000);
        writeFile(home + "/Big/Deeper/notes", 20'000);
        writeFile(home + "/Big/kept", 1'100'000);
        makeDir(home + "/Old");
        writeFile(home + "/Old/archive", 1'300'000);
        hardLink(home + "/Old/archive", home + "/Big/Deeper/archive-link");

        StorageScanner scanner;
        QCOMPARE(scanner.entry(home)->bytes, du(home));
        QVERIFY(!scanner.children(home).isEmpty());
        for (const QByteArray &item : {first, second}) {
            const QByteArray path = home + "/" + item;
            const std::optional<StorageEntry> moving = scanner.entry(path);
            QVERIFY(moving);
            QVERIFY2(SafetyHelper::moveNativeToTrash(path).ok, path.constData());
            scanner.movedToTrash(path, moving->bytes);
            QCOMPARE(scanner.cachedMeasure(home)->bytes, du(home));
            qint64 shown = allocated(home);
            for (const StorageEntry &e : scanner.children(home))
                shown += e.bytes;
            QCOMPARE(shown, du(home));
        }
        for (const QByteArray &folder : alike)
            QCOMPARE(scanner.entry(home + "/" + folder)->bytes, du(home + "/" + folder));
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_home.path()));
    }

    // Another tab's move reaches the map after the map measured again: a total measured
    // after the move already lacks the item, and one measured while it moved may or may
    // not count it, so it is measured afresh rather than corrected twice.
    void aMoveCorrectsOnlyTotalsThatCountedIt_data()
    {
        QTest::addColumn<QString>("measured");
        QTest::newRow("before the move") << "before";
        QTest::newRow("while it moved") << "during";
        QTest::newRow("after the move") << "after";
    }
    void aMoveCorrectsOnlyTotalsThatCountedIt()
    {
        QFETCH(QString, measured);
        QTemporaryDir tmp;
        const QByteArray home = dir(tmp) + "/home";
        makeDir(home);
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, tmp.path() + "/home"));
        const QByteArray docs = home + "/Documents";
        makeDir(docs);
        writeFile(docs + "/copy", 2'000'000);
        writeFile(docs + "/kept", 1'500'000);

        StorageScanner scanner;
        const qint64 copyBytes = scanner.entry(docs + "/copy")->bytes;
        if (measured == "before")
            QVERIFY(scanner.entry(home));
        const qint64 since = RemovedItem::now();
        if (measured == "during")
            QVERIFY(scanner.entry(home));
        QVERIFY(SafetyHelper::moveNativeToTrash(docs + "/copy").ok);
        const qint64 by = RemovedItem::now();
        if (measured == "after")
            QVERIFY(scanner.entry(home));
        scanner.movedToTrash(docs + "/copy", copyBytes, since, by);

        const std::optional<StorageScanner::Measure> cached = scanner.cachedMeasure(docs);
        QCOMPARE(cached.has_value(), measured != "during");
        QCOMPARE(scanner.entry(docs)->bytes, du(docs));
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, m_home.path()));
    }
};

// With "--measure <folder>" the program prints the folder's bytes and partial flag:
// the unreadable-folder test runs it as an unprivileged user.
int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--measure") == 0) {
        StorageScanner scanner;
        const auto e = scanner.entry(QByteArray(argv[2]));
        if (!e)
            return 1;
        std::printf("%lld %d\n", static_cast<long long>(e->bytes), e->isPartial ? 1 : 0);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestStorageScanner test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_StorageScanner.moc"
