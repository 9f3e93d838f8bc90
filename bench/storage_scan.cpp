// Measures a generated tree with StorageScanner and with `du -s` in the same run.
//
//   bench/storage_scan.sh [--files N] [--folders N] [--seed N] [--runs N] [--dir PATH] [--keep]
//
// The tree is deterministic for a seed: log-normal file sizes (blocks allocated, no data
// written), hard links, symbolic links (to a file, to a folder, a loop, a dangling one),
// names that are not valid UTF-8, and, when not run as root, a few unreadable folders.
// du counts the blocks of folders and links themselves and the scanner does not, so the
// two totals are compared after adding those blocks (read with find) to the scanner's.

#include "platform/Locations.h"
#include "storage/StorageScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    int files = 200000;
    int folders = 20000;
    unsigned seed = 20261208;
    int runs = 5;
    QString dir;
    bool keep = false;
};

QTextStream out(stdout);

[[noreturn]] void fail(const QString &what)
{
    QTextStream(stderr) << "storage_scan: " << what << Qt::endl;
    std::exit(1);
}

qint64 procStatusKB(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

void makeFile(const std::string &path, qint64 bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(QStringLiteral("cannot create %1: %2")
                 .arg(QString::fromStdString(path), QString::fromUtf8(strerror(errno))));
    if (bytes > 0) {
        // Blocks are allocated, nothing is written: the tree builds fast and sizes stay real.
        if (::posix_fallocate(fd, 0, bytes) != 0 && ::ftruncate(fd, bytes) != 0)
            fail(QStringLiteral("cannot size %1").arg(QString::fromStdString(path)));
    }
    ::close(fd);
}

QString paramsText(const Options &o)
{
    return QStringLiteral("layout=2 files=%1 folders=%2 seed=%3 uid=%4\n")
        .arg(o.files)
        .arg(o.folders)
        .arg(o.seed)
        .arg(::geteuid() == 0 ? 0 : 1);
}

// The unreadable folders sit a few levels down; their paths relative to the tree are
// kept next to it so a reused tree can be locked and unlocked again.
std::vector<std::string> lockedFolders(const std::string &tree)
{
    std::vector<std::string> paths;
    QFile list(QFile::decodeName(QByteArray::fromStdString(tree)) + QStringLiteral(".locked"));
    if (list.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : list.readAll().split('\n')) {
            if (!line.isEmpty())
                paths.push_back(tree + line.toStdString());
        }
    }
    return paths;
}

void chmodUnreadable(const std::string &tree, int mode)
{
    for (const std::string &p : lockedFolders(tree))
        ::chmod(p.c_str(), mode);
}

void generate(const Options &o, const std::string &tree)
{
    std::mt19937_64 rng(o.seed);
    std::vector<std::string> folders;
    folders.reserve(size_t(o.folders));
    folders.push_back(tree);
    if (::mkdir(tree.c_str(), 0755) != 0 && errno != EEXIST)
        fail(QStringLiteral("cannot create the tree folder"));
    // Each new folder hangs below a random earlier one, which gives a bushy tree about
    // ten levels deep.
    for (int k = 1; k < o.folders; ++k) {
        const size_t parent = size_t(rng() % folders.size());
        std::string p = folders[parent] + "/d" + std::to_string(k);
        if (::mkdir(p.c_str(), 0755) != 0)
            fail(QStringLiteral("cannot create %1").arg(QString::fromStdString(p)));
        folders.push_back(std::move(p));
    }

    std::lognormal_distribution<double> size(std::log(4096.0), 1.8);
    std::vector<std::string> files;
    files.reserve(size_t(o.files));
    for (int i = 0; i < o.files; ++i) {
        const std::string &folder = folders[size_t(rng() % folders.size())];
        std::string name("f");
        name += std::to_string(i);
        if (i % 5000 == 17)
            name += "\xff\xfe-latin1-\xe9"; // not valid UTF-8
        std::string p = folder + "/" + name;
        const bool empty = rng() % 20 == 0;
        const qint64 bytes = empty ? 0 : std::min<qint64>(qint64(size(rng)), 256LL << 20);
        makeFile(p, bytes);
        files.push_back(std::move(p));
    }

    // 2% of the files get a second name in another folder, a few a third.
    for (int i = 0; i < o.files / 50; ++i) {
        const std::string &target = files[size_t(rng() % files.size())];
        const std::string &folder = folders[size_t(rng() % folders.size())];
        const std::string link = folder + "/hl" + std::to_string(i);
        if (::link(target.c_str(), link.c_str()) != 0)
            fail(QStringLiteral("cannot link %1").arg(QString::fromStdString(link)));
        if (i % 10 == 0)
            ::link(target.c_str(), (folder + "/hl" + std::to_string(i) + "b").c_str());
    }

    auto symlinkTo = [](const std::string &target, const std::string &at) {
        if (::symlink(target.c_str(), at.c_str()) != 0)
            fail(QStringLiteral("cannot make link %1").arg(QString::fromStdString(at)));
    };
    symlinkTo(folders[1], tree + "/link-to-folder");
    symlinkTo(".", folders[2] + "/loop");
    symlinkTo("..", folders[3] + "/up-loop");
    symlinkTo(tree + "/does-not-exist", tree + "/dangling");
    for (int i = 0; i < 200; ++i)
        symlinkTo(files[size_t(rng() % files.size())],
                  folders[size_t(rng() % folders.size())] + "/sl" + std::to_string(i));

    // Folders the scanner cannot list (only meaningful when not root).
    QFile list(QFile::decodeName(QByteArray::fromStdString(tree)) + QStringLiteral(".locked"));
    if (!list.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write the list of locked folders"));
    for (size_t k : {size_t(7), size_t(130), size_t(999)}) {
        const std::string dir = folders[k] + "/locked";
        if (::mkdir(dir.c_str(), 0755) != 0)
            fail(QStringLiteral("cannot create %1").arg(QString::fromStdString(dir)));
        makeFile(dir + "/hidden-a", 3 << 20);
        makeFile(dir + "/hidden-b", 5000);
        list.write(QByteArray::fromStdString(dir.substr(tree.size())) + '\n');
    }
}

int removeOne(const char *path, const struct stat *, int, struct FTW *)
{
    return ::remove(path);
}

// Removes the bench's own generated tree (a folder it created under --dir), byte names
// included.
void removeTree(const QString &dir)
{
    const QByteArray native = QFile::encodeName(dir);
    chmodUnreadable(native.toStdString() + "/tree", 0755);
    ::nftw(native.constData(), removeOne, 64, FTW_DEPTH | FTW_PHYS);
}

struct DuResult {
    double ms = 0;
    qint64 bytes = -1;
};

DuResult runDu(const QString &du, const QString &tree)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer t;
    t.start();
    p.start(du, {QStringLiteral("-s"), QStringLiteral("-B1"), tree});
    p.waitForFinished(-1);
    DuResult r;
    r.ms = double(t.nsecsElapsed()) / 1e6;
    const QByteArray text = p.readAllStandardOutput();
    r.bytes = text.split('\t').first().trimmed().toLongLong();
    return r;
}

// du sees the blocks of the folders and the links themselves; the scanner does not.
qint64 folderAndLinkBlocks(const QString &find, const QString &tree)
{
    QProcess p;
    p.start(find, {tree, QStringLiteral("("), QStringLiteral("-type"), QStringLiteral("d"),
                   QStringLiteral("-o"), QStringLiteral("-type"), QStringLiteral("l"),
                   QStringLiteral(")"), QStringLiteral("-printf"), QStringLiteral("%b\\n")});
    p.waitForFinished(-1);
    qint64 blocks = 0;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
        blocks += line.trimmed().toLongLong();
    return blocks * 512;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--scan-once") == 0) {
        // Prints the resident size before, the peak after, and the cached folder count.
        const qint64 before = procStatusKB("VmRSS");
        StorageScanner scanner;
        scanner.entry(QByteArray(argv[2]));
        out << before << ' ' << procStatusKB("VmHWM") << ' ' << scanner.cachedFolderCount()
            << Qt::endl;
        return 0;
    }
    Options o;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                fail(a + QStringLiteral(" needs a value"));
            return args[++i];
        };
        if (a == QLatin1String("--files"))
            o.files = value().toInt();
        else if (a == QLatin1String("--folders"))
            o.folders = value().toInt();
        else if (a == QLatin1String("--seed"))
            o.seed = value().toUInt();
        else if (a == QLatin1String("--runs"))
            o.runs = std::max(1, value().toInt());
        else if (a == QLatin1String("--dir"))
            o.dir = value();
        else if (a == QLatin1String("--keep"))
            o.keep = true;
        else
            fail(QStringLiteral("unknown argument ") + a);
    }
    if (o.folders < 1000 || o.files < 1)
        fail(QStringLiteral("use at least 1000 folders and one file"));
    if (o.dir.isEmpty())
        o.dir =
            QDir::tempPath() + QStringLiteral("/quillmar-storage-bench-") + QString::number(o.seed);

    const QString tree = o.dir + QStringLiteral("/tree");
    const std::string treeNative = QFile::encodeName(tree).toStdString();
    QFile params(o.dir + QStringLiteral("/params"));
    bool reuse = false;
    if (params.open(QIODevice::ReadOnly)) {
        reuse = QString::fromUtf8(params.readAll()) == paramsText(o);
        params.close();
    }
    if (!reuse) {
        if (QFile::exists(o.dir))
            removeTree(o.dir);
        QDir().mkpath(o.dir);
        out << "Generating " << o.files << " files in " << o.folders << " folders (seed " << o.seed
            << ") under " << tree << " ..." << Qt::endl;
        QElapsedTimer t;
        t.start();
        generate(o, treeNative);
        if (params.open(QIODevice::WriteOnly))
            params.write(paramsText(o).toUtf8());
        params.close();
        out << "  generated in " << QString::number(t.elapsed() / 1000.0, 'f', 1) << " s"
            << Qt::endl;
    } else {
        out << "Reusing the tree under " << tree << Qt::endl;
    }
    chmodUnreadable(treeNative, 0);
    const bool root = ::geteuid() == 0;

    const Locations &loc = Locations::current();
    const QByteArray native = QFile::encodeName(tree);

    // Warm the OS caches with one untimed pass of each.
    runDu(loc.du, tree);
    {
        StorageScanner warm;
        warm.entry(native);
    }

    std::vector<double> duTimes, scanTimes;
    qint64 duBytes = -1;
    std::optional<StorageEntry> scanned;
    for (int r = 0; r < o.runs; ++r) {
        const DuResult d = runDu(loc.du, tree);
        duTimes.push_back(d.ms);
        duBytes = d.bytes;

        StorageScanner scanner; // a cold cache of our own every run
        QElapsedTimer t;
        t.start();
        scanned = scanner.entry(native);
        scanTimes.push_back(double(t.nsecsElapsed()) / 1e6);
    }

    // Peak memory of one more measurement, in a fresh process of its own so nothing the
    // generation or the timed runs left behind counts.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--scan-once"), tree});
    child.waitForFinished(-1);
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 3)
        fail(QStringLiteral("the memory run failed"));
    const qint64 rssBefore = figures[0].toLongLong();
    const qint64 hwm = figures[1].toLongLong();
    const qint64 cachedFolders = figures[2].toLongLong();

    const qint64 extra = folderAndLinkBlocks(loc.find, tree);
    if (!scanned)
        fail(QStringLiteral("the scanner could not read the tree"));

    const double duMed = median(duTimes), scanMed = median(scanTimes);
    const double duMin = *std::min_element(duTimes.begin(), duTimes.end());
    const double scanMin = *std::min_element(scanTimes.begin(), scanTimes.end());
    out << Qt::endl
        << "Tree: " << o.files << " files, " << o.folders << " folders, seed " << o.seed
        << (root ? " (run as root: no unreadable folders)" : " (3 unreadable folders)") << Qt::endl;
    out << "Runs: " << o.runs << " of each, alternating, warm OS cache" << Qt::endl;
    out << QStringLiteral(
               "du -s -B1     median %1 ms   best %2 ms   (includes starting the process)")
               .arg(duMed, 0, 'f', 1)
               .arg(duMin, 0, 'f', 1)
        << Qt::endl;
    out << QStringLiteral(
               "StorageScanner median %1 ms   best %2 ms   (entry of the root, cold cache)")
               .arg(scanMed, 0, 'f', 1)
               .arg(scanMin, 0, 'f', 1)
        << Qt::endl;
    out << QStringLiteral("Ratio scanner/du: median %1   best %2")
               .arg(scanMed / duMed, 0, 'f', 3)
               .arg(scanMin / duMin, 0, 'f', 3)
        << Qt::endl;
    out << QStringLiteral("Peak memory of one measurement in a fresh process: VmHWM %1 MB "
                          "(%2 MB before measuring, %3 folders cached)")
               .arg(hwm / 1024.0, 0, 'f', 1)
               .arg(rssBefore / 1024.0, 0, 'f', 1)
               .arg(cachedFolders)
        << Qt::endl;
    out << "Totals: du " << duBytes << " B; scanner " << scanned->bytes << " B"
        << (scanned->isPartial ? " (partial)" : "") << " + blocks of folders and links " << extra
        << " B = " << (scanned->bytes + extra) << " B -> "
        << (scanned->bytes + extra == duBytes ? "AGREE" : "DIFFER") << " ("
        << formatBytes(scanned->bytes) << ")" << Qt::endl;

    if (o.keep)
        chmodUnreadable(treeNative, 0755);
    else
        removeTree(o.dir);
    return scanned->bytes + extra == duBytes ? 0 : 2;
}
