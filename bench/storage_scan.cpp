// Measures a generated tree, and real trees such as /usr and /, with StorageScanner and
// with `du -s -B1 -x`, ncdu and gdu, each timed as a process of its own on the same tree
// (the scanner through this program's --scan-once driver), in an order rotated every
// round. Reports the median of the per-round ratios, their spread, CPU time (user +
// system) and peak memory of each process, and whether the totals agree. Run with --help
// for the options.
//
// The tree is deterministic for a seed: log-normal file sizes (blocks allocated, no data
// written), hard links spread over many folders, symbolic links (to a file, to a folder, a
// loop, a dangling one), names that are not valid UTF-8, and, when not run as root, a few
// unreadable folders.

#include "platform/Locations.h"
#include "storage/StorageScanner.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>
#include <QThread>

#include <chrono>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

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
    bool cold = false;
    QList<int> threads; // scanner variants to time; empty: the scanner's default
    QStringList paths;  // real trees measured as they are
    bool generated = true;
    bool peers = true;
};

const char *const usage =
    "usage: bench/storage_scan.sh [options]\n"
    "  --files N        files in the generated tree (default 200000)\n"
    "  --folders N      folders in the generated tree (default 20000, at least 1000)\n"
    "  --large          the larger tree: 522000 files in 40600 folders\n"
    "  --seed N         seed of the tree (default 20261208)\n"
    "  --runs N         rounds; each round times every tool once, order rotated (default 5)\n"
    "  --threads LIST   scanner thread counts to time, e.g. 1,2,8 (default: the scanner's own)\n"
    "  --cold           drop the page cache before every timed run (needs root; skipped "
    "otherwise)\n"
    "  --dir PATH       keep the tree in PATH and reuse it when it matches (default: a new\n"
    "                   folder of its own under $TMPDIR, removed afterwards)\n"
    "  --keep           do not remove the tree afterwards\n"
    "  --paths LIST     also real trees as they are, e.g. /usr,/ (each on its own file system)\n"
    "  --no-generated   only the real trees\n"
    "  --no-peers       without ncdu and gdu\n"
    "  --help           this text\n"
    "Driver: storage_scan --scan-once PATH [THREADS] prints the scanner's total and partial "
    "flag.\n";

QTextStream out(stdout);

[[noreturn]] void fail(const QString &what)
{
    QTextStream(stderr) << "storage_scan: " << what << Qt::endl;
    std::exit(1);
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

// One timed process: wall time, CPU time of it and its children, peak resident size.
struct Run {
    double wallMs = 0;
    double cpuMs = 0;
    double peakMiB = 0;
    QByteArray out;
    int status = -1;
};

// Under /usr/bin/time, which reports the largest resident set of that one process: a
// child spawned from here would start from this process's own.
Run runProcess(const QStringList &command)
{
    char peakFile[] = "/tmp/quillmar-storage-peak-XXXXXX";
    const int peakFd = ::mkstemp(peakFile);
    if (peakFd >= 0)
        ::close(peakFd);
    QStringList argv{QStringLiteral("/usr/bin/time"), QStringLiteral("-f"), QStringLiteral("%M"),
                     QStringLiteral("-o"), QString::fromLatin1(peakFile)};
    argv << command;
    std::vector<QByteArray> bytes;
    for (const QString &a : argv)
        bytes.push_back(QFile::encodeName(a));
    std::vector<char *> args;
    for (QByteArray &b : bytes)
        args.push_back(b.data());
    args.push_back(nullptr);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        fail(QStringLiteral("pipe failed"));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
        fail(QStringLiteral("cannot start ") + argv.first());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    Run r;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        r.out.append(buffer, n);
    ::close(pipeFds[0]);
    struct rusage usage {};
    int status = 0;
    ::wait4(pid, &status, 0, &usage);
    r.wallMs = double(t.nsecsElapsed()) / 1e6;
    auto ms = [](const timeval &tv) { return tv.tv_sec * 1e3 + tv.tv_usec / 1e3; };
    r.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    r.status = status;
    QFile peak(QString::fromLatin1(peakFile));
    if (peak.open(QIODevice::ReadOnly))
        r.peakMiB = peak.readAll().trimmed().split('\n').last().toDouble() / 1024.0;
    ::unlink(peakFile);
    return r;
}

void dropPageCache()
{
    ::sync();
    QFile f(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (f.open(QIODevice::WriteOnly))
        f.write("3\n");
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("?");
    const QList<QByteArray> parts = f.readAll().split(' ');
    return QString::fromLatin1(parts.mid(0, 3).join(' '));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return 0;
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One tree's figures: every tool once a round, order rotated.
struct Tool {
    QString label;
    QStringList argv;
    bool ours = false;
    std::vector<Run> runs;
};

// Times every tool on `tree` and prints the figures; false when a total differs from du's.
bool measureTree(const QString &title, const QString &tree, const Options &o, bool withStop)
{
    std::vector<Tool> tools;
    tools.push_back({QStringLiteral("du -s -B1 -x"),
                     {Locations::current().du, QStringLiteral("-s"), QStringLiteral("-B1"),
                      QStringLiteral("-x"), tree},
                     false,
                     {}});
    if (o.peers) {
        tools.push_back(
            {QStringLiteral("ncdu -x"),
             {QStringLiteral("/usr/bin/ncdu"), QStringLiteral("-x"), QStringLiteral("-0"),
              QStringLiteral("-o"), QStringLiteral("/dev/null"), tree},
             false,
             {}});
        tools.push_back(
            {QStringLiteral("gdu -x"),
             {QStringLiteral("/usr/bin/gdu"), QStringLiteral("-n"), QStringLiteral("-p"),
              QStringLiteral("-s"), QStringLiteral("-x"), QStringLiteral("--no-prefix"), tree},
             false,
             {}});
    }
    for (int t : o.threads)
        tools.push_back({QStringLiteral("scanner, %1 thread%2").arg(t).arg(t == 1 ? "" : "s"),
                         {QCoreApplication::applicationFilePath(), QStringLiteral("--scan-once"),
                          tree, QString::number(t)},
                         true,
                         {}});

    const QString loadBefore = loadAverage();
    if (!o.cold) {
        for (Tool &tool : tools)
            runProcess(tool.argv); // warms the page cache, untimed
    }
    for (int r = 0; r < o.runs; ++r) {
        for (size_t k = 0; k < tools.size(); ++k) {
            Tool &tool = tools[(k + size_t(r)) % tools.size()];
            if (o.cold)
                dropPageCache();
            tool.runs.push_back(runProcess(tool.argv));
        }
    }
    // How soon a measurement stops once its token is set, 300 ms into the tree.
    std::vector<double> stopMs;
    for (int trial = 0; withStop && trial < 3; ++trial) {
        StorageScanner scanner(o.threads.last());
        const CancelToken token = makeCancelToken();
        std::atomic<qint64> setAt{0};
        QElapsedTimer clock;
        clock.start();
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            setAt = clock.nsecsElapsed();
            token.cancel();
        });
        const bool stopped = !scanner.entry(QFile::encodeName(tree), token);
        const qint64 returnedAt = clock.nsecsElapsed();
        stopper.join();
        if (stopped)
            stopMs.push_back(double(returnedAt - setAt) / 1e6);
    }
    const QString loadAfter = loadAverage();

    out << Qt::endl << title << Qt::endl;
    out << "Rounds: " << o.runs << ", every tool once per round as a process, order rotated, "
        << (o.cold ? "page cache dropped before every run" : "warm page cache") << Qt::endl;
    out << "Load average: " << loadBefore << " before, " << loadAfter << " after" << Qt::endl;

    const Tool &du = tools.front();
    // The scanner never enters the table's skipped folders, mounted or not (on Linux
    // /run, /mnt, /media may be plain folders of the root's file system): du's total to
    // compare with leaves them out too.
    QStringList checkArgs = du.argv;
    QStringList skipped;
    const QString base = tree.endsWith('/') ? tree : tree + '/';
    for (const QString &s : Locations::current().skippedMounts) {
        if (s.startsWith(base) && QFileInfo::exists(s))
            skipped << s;
    }
    for (const QString &s : std::as_const(skipped))
        checkArgs.insert(checkArgs.size() - 1, QStringLiteral("--exclude=") + s);
    const qint64 duBytes = (skipped.isEmpty() ? du.runs.front() : runProcess(checkArgs))
                               .out.split('\t')
                               .first()
                               .trimmed()
                               .toLongLong();
    if (!skipped.isEmpty())
        out << "Totals compared with du leaving out " << skipped.join(", ")
            << ", which the scanner skips" << Qt::endl;
    bool agree = true;
    QSet<QByteArray> scannerAnswers;
    auto spread = [](std::vector<double> v) {
        const auto [low, high] = std::minmax_element(v.begin(), v.end());
        return QStringLiteral("%1 (%2-%3)")
            .arg(median(v), 0, 'f', 3)
            .arg(*low, 0, 'f', 3)
            .arg(*high, 0, 'f', 3);
    };
    for (const Tool &tool : tools) {
        std::vector<double> wall, cpu, peak;
        for (const Run &run : tool.runs) {
            wall.push_back(run.wallMs);
            cpu.push_back(run.cpuMs);
            peak.push_back(run.peakMiB);
        }
        out << QStringLiteral("%1  wall median %2 ms  CPU median %3 ms  peak memory %4 MiB")
                   .arg(tool.label, -22)
                   .arg(median(wall), 8, 'f', 1)
                   .arg(median(cpu), 8, 'f', 1)
                   .arg(median(peak), 0, 'f', 1)
            << Qt::endl;
        if (&tool == &du)
            continue;
        for (const Tool &peer : tools) {
            if (peer.ours || (&peer != &du && tool.ours == false))
                continue;
            std::vector<double> wallRatio, cpuRatio;
            for (size_t r = 0; r < tool.runs.size(); ++r) {
                wallRatio.push_back(tool.runs[r].wallMs / peer.runs[r].wallMs);
                cpuRatio.push_back(tool.runs[r].cpuMs / std::max(0.001, peer.runs[r].cpuMs));
            }
            out << QStringLiteral("    / %1: wall %2   CPU %3")
                       .arg(peer.label, -13)
                       .arg(spread(wallRatio), -20)
                       .arg(spread(cpuRatio))
                << Qt::endl;
        }
        if (!tool.ours)
            continue;
        QSet<QByteArray> answers; // bytes and partial flag of every run
        for (const Run &run : tool.runs)
            answers.insert(run.out.trimmed().split(' ').mid(0, 2).join(' '));
        scannerAnswers.unite(answers);
        const QList<QByteArray> words = tool.runs.front().out.trimmed().split(' ');
        const qint64 bytes = words.value(0).toLongLong();
        const bool same = answers.size() == 1 && bytes == duBytes;
        agree = agree && same;
        out << "    total " << bytes << " B" << (words.value(1) == "1" ? " (partial)" : "")
            << ", du " << duBytes << " B -> " << (same ? "AGREE" : "DIFFER")
            << (answers.size() == 1 ? "" : " (answers vary between runs)") << " ("
            << formatBytes(bytes) << ", " << words.value(2) << " folders cached)" << Qt::endl;
    }
    if (!stopMs.empty())
        out << "Cancellation (" << o.threads.last() << " threads): returned "
            << QString::number(*std::max_element(stopMs.begin(), stopMs.end()), 'f', 2)
            << " ms after the token was set at worst, " << stopMs.size() << " of 3 trials stopped"
            << Qt::endl;
    if (o.threads.size() > 1)
        out << "Scanner answers (bytes, partial) across thread counts and runs: "
            << (scannerAnswers.size() == 1 ? "identical" : "DIFFERENT") << Qt::endl;
    return agree && scannerAnswers.size() == 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--scan-once") == 0) {
        // The driver timed as a process: prints bytes, partial flag and cached folders.
        const int threads = argc >= 4 ? std::atoi(argv[3]) : StorageScanner::defaultThreadCount();
        StorageScanner scanner(threads);
        const auto e = scanner.entry(QByteArray(argv[2]));
        if (!e)
            return 1;
        std::printf("%lld %d %d\n", static_cast<long long>(e->bytes), e->isPartial ? 1 : 0,
                    scanner.cachedFolderCount());
        return 0;
    }
    QCoreApplication app(argc, argv);
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
        else if (a == QLatin1String("--large")) {
            o.files = 522000;
            o.folders = 40600;
        } else if (a == QLatin1String("--seed"))
            o.seed = value().toUInt();
        else if (a == QLatin1String("--runs"))
            o.runs = std::max(1, value().toInt());
        else if (a == QLatin1String("--threads")) {
            for (const QString &t : value().split(QLatin1Char(','), Qt::SkipEmptyParts))
                o.threads.append(std::max(1, t.toInt()));
        } else if (a == QLatin1String("--cold"))
            o.cold = true;
        else if (a == QLatin1String("--dir"))
            o.dir = value();
        else if (a == QLatin1String("--keep"))
            o.keep = true;
        else if (a == QLatin1String("--paths"))
            o.paths = value().split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (a == QLatin1String("--no-generated"))
            o.generated = false;
        else if (a == QLatin1String("--no-peers"))
            o.peers = false;
        else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            out << usage;
            return 0;
        } else {
            QTextStream(stderr) << usage;
            fail(QStringLiteral("unknown argument ") + a);
        }
    }
    if (o.folders < 1000 || o.files < 1)
        fail(QStringLiteral("use at least 1000 folders and one file"));
    const bool root = ::geteuid() == 0;
    if (o.cold && !root) {
        out << "Cold mode needs root to drop the page cache: timing with a warm cache." << Qt::endl;
        o.cold = false;
    }
    if (o.threads.isEmpty())
        o.threads.append(StorageScanner::defaultThreadCount());
    out << "Cores: " << QThread::idealThreadCount() << ", the scanner's default "
        << StorageScanner::defaultThreadCount() << " threads" << Qt::endl;

    bool agree = true;
    for (const QString &path : std::as_const(o.paths))
        agree =
            measureTree(QStringLiteral("Tree: %1 (as it is)").arg(path), path, o, false) && agree;
    if (!o.generated)
        return agree ? 0 : 2;

    // A folder of its own unless one was named, so two runs never share or remove a tree.
    const bool ownFolder = o.dir.isEmpty();
    if (ownFolder) {
        QByteArray pattern =
            QFile::encodeName(QDir::tempPath() + QStringLiteral("/quillmar-storage-bench-XXXXXX"));
        if (!::mkdtemp(pattern.data()))
            fail(QStringLiteral("cannot make a folder for the tree"));
        o.dir = QFile::decodeName(pattern);
    }

    const QString tree = o.dir + QStringLiteral("/tree");
    const std::string treeNative = QFile::encodeName(tree).toStdString();
    QFile params(o.dir + QStringLiteral("/params"));
    bool reuse = false;
    if (params.open(QIODevice::ReadOnly)) {
        reuse = QString::fromUtf8(params.readAll()) == paramsText(o);
        params.close();
    }
    if (!reuse) {
        if (!ownFolder && QFile::exists(tree))
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
    agree = measureTree(QStringLiteral("Tree: %1 files, %2 folders, seed %3%4")
                            .arg(o.files)
                            .arg(o.folders)
                            .arg(o.seed)
                            .arg(root ? " (run as root: no unreadable folders)"
                                      : " (3 unreadable folders)"),
                        tree, o, true) &&
            agree;

    if (o.keep || !ownFolder) {
        chmodUnreadable(treeNative, 0755);
        if (o.keep)
            out << "Tree kept under " << tree << Qt::endl;
    }
    if (!o.keep)
        removeTree(o.dir);
    return agree ? 0 : 2;
}
