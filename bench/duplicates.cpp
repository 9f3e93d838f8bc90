// Duplicate scan against jdupes and rdfind on a generated home-like tree, and the
// large-files scan's cost per file.
//
//   duplicates generate <root> [seed]   writes <root>/home (duplicates) and <root>/large
//   duplicates run <root> [runs]        times the three finders, compares what they found
//   duplicates funnel <root> <threads>  times the funnel alone on the scan's listing
//
// bench/duplicates.sh does both and removes the tree afterwards.

#include "exec/ProcessRunner.h"
#include "finders/AdvancedToolsViewModel.h"
#include "finders/DuplicateFinder.h"
#include "platform/FileProperties.h"
#include "platform/Locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTextStream>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr qint64 MiB = 1048576;

QTextStream out(stdout);

struct Rng {
    quint64 state;
    quint64 next()
    {
        quint64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    quint64 below(quint64 n) { return next() % n; }
};

// Contents are a pure function of (seed, size); a mutation flips one byte.
bool writeFile(const QString &path, qint64 size, quint64 seed,
               std::optional<qint64> flipAt = std::nullopt)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    Rng rng{seed};
    QByteArray block(int(MiB), Qt::Uninitialized);
    for (qint64 offset = 0; offset < size; offset += MiB) {
        const qint64 n = std::min(MiB, size - offset);
        auto *words = reinterpret_cast<quint64 *>(block.data());
        for (qint64 i = 0; i < MiB / 8; ++i)
            words[i] = rng.next();
        if (flipAt && *flipAt >= offset && *flipAt < offset + n)
            block[int(*flipAt - offset)] = char(block[int(*flipAt - offset)] ^ 0x5A);
        if (f.write(block.constData(), n) != n)
            return false;
    }
    return true;
}

struct Tree {
    QString home;
    Rng rng;
    QStringList dirs;
    int mainFiles = 0; // regular files over 1 MiB that the scan is meant to see
    int counter = 0;

    QString pickDir() { return home + '/' + dirs[int(rng.below(quint64(dirs.size())))]; }
    QString newName(const char *stem, const char *ext)
    {
        return QString::asprintf("%s_%05d.%s", stem, ++counter, ext);
    }
    qint64 mainSize() { return MiB + 1 + qint64(rng.below(640 * 1024)); }
    QString put(const QString &dir, const char *stem, qint64 size, quint64 seed,
                std::optional<qint64> flipAt = std::nullopt, bool counts = true)
    {
        const QString path = dir + '/' + newName(stem, "bin");
        if (!writeFile(path, size, seed, flipAt))
            qFatal("cannot write %s", qPrintable(path));
        if (counts && size > MiB)
            ++mainFiles;
        return path;
    }
};

int generate(const QString &root, quint64 seed)
{
    Tree t{root + "/home", Rng{seed}, {}};
    for (int i = 0; i < 20; ++i)
        t.dirs << QString::asprintf("Documents/Projects/p%02d/src", i);
    for (int y = 0; y < 5; ++y)
        for (int q = 1; q <= 4; ++q)
            t.dirs << QString::asprintf("Documents/Reports/20%02d/q%d", 19 + y, q);
    for (int i = 0; i < 20; ++i)
        t.dirs << QString::asprintf("Downloads/batch%02d", i);
    for (int y = 0; y < 5; ++y)
        for (int m = 1; m <= 12; ++m)
            t.dirs << QString::asprintf("Pictures/20%02d/%02d", 19 + y, m);
    for (int a = 0; a < 10; ++a)
        for (int b = 1; b <= 3; ++b)
            t.dirs << QString::asprintf("Music/artist%02d/album%d", a, b);
    for (int i = 0; i < 10; ++i)
        t.dirs << QString::asprintf("Videos/clips%02d", i);
    t.dirs << "Desktop"
           << "Documents/Archive/old/box";

    struct Made {
        QString path;
        qint64 size;
        quint64 seed;
    };
    std::vector<Made> groupFirsts;
    std::vector<Made> uniques;

    // A third of the files in groups of two to five copies.
    int inGroups = 0;
    while (inGroups < 1000) {
        const int copies = 2 + int(t.rng.below(4));
        const qint64 size = t.mainSize();
        const quint64 s = t.rng.next();
        QString first;
        for (int c = 0; c < copies; ++c) {
            const QString p = t.put(t.pickDir(), "copy", size, s);
            if (c == 0)
                first = p;
        }
        groupFirsts.push_back({first, size, s});
        inGroups += copies;
    }
    // Same-size decoys of group members: one byte off at the head, the tail, the middle.
    for (int i = 0; i < 180; ++i) {
        const Made &g = groupFirsts[size_t(i)];
        const qint64 at = i < 60 ? 0 : i < 120 ? g.size - 1 : g.size / 2;
        t.put(t.pickDir(),
              i < 60    ? "headdecoy"
              : i < 120 ? "taildecoy"
                        : "middecoy",
              g.size, g.seed, at);
    }
    // Pairs alike in their first and last 512 KiB that are no copies at all.
    for (int i = 0; i < 40; ++i) {
        const qint64 size = t.mainSize() + 2 * MiB;
        const quint64 s = t.rng.next();
        t.put(t.pickDir(), "midpair", size, s);
        t.put(t.pickDir(), "midpair", size, s, size / 2 + qint64(t.rng.below(1000)));
    }
    // Forty different files of one size, as cameras and archivers produce.
    for (int i = 0; i < 40; ++i)
        t.put(t.pickDir(), "block", 2 * MiB, t.rng.next());
    // Larger files, three pairs of copies among them.
    for (int i = 0; i < 12; ++i) {
        const qint64 size = 8 * MiB + qint64(t.rng.below(16 * MiB));
        const quint64 s = t.rng.next();
        t.put(t.pickDir(), "large", size, s);
        if (i < 3)
            t.put(t.pickDir(), "large", size, s);
        else
            uniques.push_back({QString(), size, s});
    }
    // The rest: files of their own.
    while (t.mainFiles < 3000) {
        const qint64 size = t.mainSize();
        const quint64 s = t.rng.next();
        uniques.push_back({t.put(t.pickDir(), "file", size, s), size, s});
    }
    // Second names: of thirty unique files (no group) and of twenty copies.
    namespace fs = std::filesystem;
    int links = 0;
    for (int i = 0; i < 50; ++i) {
        const QString target =
            i < 30 ? uniques[size_t(i) * 7].path : groupFirsts[size_t(i) * 3].path;
        if (target.isEmpty())
            continue;
        const QString link = t.pickDir() + '/' + t.newName("hardlink", "bin");
        fs::create_hard_link(target.toStdString(), link.toStdString());
        ++links;
    }
    // Small files stay out of the scan by size.
    for (int i = 0; i < 200; ++i) {
        const qint64 size = 100 * 1024 + qint64(t.rng.below(900 * 1024));
        const quint64 s = t.rng.next();
        t.put(t.pickDir(), "small", size, s);
        if (i % 7 == 0)
            t.put(t.pickDir(), "small", size, s);
    }
    // Folders the scan prunes, and one level too deep: copies of files outside and
    // copies among themselves.
    const QStringList pruned = {"Documents/Projects/p03/node_modules/lib", ".cache/thumbs",
                                "Documents/.secret", "Library/Caches/app",
                                "Documents/Archive/old/box/deeper"};
    for (const QString &dir : pruned) {
        for (int i = 0; i < 10; ++i) {
            const Made &g = groupFirsts[size_t(200 + i * 5 + pruned.indexOf(dir))];
            t.put(t.home + '/' + dir, "outside", g.size, g.seed, std::nullopt, false);
            const Made &u = uniques[size_t(100 + i * 11 + pruned.indexOf(dir))];
            t.put(t.home + '/' + dir, "outside", u.size, u.seed, std::nullopt, false);
            const qint64 size = t.mainSize();
            const quint64 s = t.rng.next();
            t.put(t.home + '/' + dir, "inside", size, s, std::nullopt, false);
            t.put(t.home + '/' + dir, "inside", size, s, std::nullopt, false);
        }
    }

    // Large-files tree: sparse files over 50 MiB among small ones.
    const QString large = root + "/large/home";
    Rng lr{seed ^ 0xABCDEF};
    const QStringList places = {"Downloads", "Desktop", "Documents", "Documents/Movies/raw"};
    for (int i = 0; i < 120; ++i) {
        const QString dir = large + '/' + places[i % places.size()];
        QDir().mkpath(dir);
        QFile f(dir + QString::asprintf("/big_%03d.img", i));
        if (!f.open(QIODevice::WriteOnly) || !f.resize(51 * MiB + qint64(lr.below(4000)) * MiB))
            qFatal("cannot write large files");
        writeFile(dir + QString::asprintf("/note_%03d.txt", i), 4096, lr.next());
    }

    out << "generated " << t.mainFiles << " files over 1 MiB in the scanned area (" << inGroups
        << " in " << groupFirsts.size() << " groups, 180 decoys, 40 middle-only pairs, " << links
        << " hard links), 200+ small files, " << pruned.size() * 40
        << " files in pruned or too deep folders; 120 sparse large files\n";
    return 0;
}

// ---------------------------------------------------------------------------------------

using Groups = std::set<std::set<std::pair<quint64, quint64>>>;

// What our scan leaves out by design: pruned folders, more than five levels deep, 1 MiB
// or less.
bool outOfScope(const QString &home, const QString &path)
{
    if (!path.startsWith(home + '/'))
        return true;
    const QStringList parts = path.mid(home.size() + 1).split('/');
    if (parts.size() > 5)
        return true;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        const QString &d = parts[i];
        if (d == "Library" || d == "node_modules" || d.startsWith('.'))
            return true;
    }
    const auto p = FileProperties::read(path);
    return !p || p->fileSize <= MiB;
}

// Groups as sets of files (device, inode); names of one file count once.
Groups normalise(const QList<QStringList> &groups, const QString &home, bool filter)
{
    Groups result;
    for (const QStringList &g : groups) {
        std::set<std::pair<quint64, quint64>> files;
        for (const QString &path : g) {
            if (filter && outOfScope(home, path))
                continue;
            if (const auto p = FileProperties::read(path))
                files.insert({p->id.device, p->id.inode});
        }
        if (files.size() >= 2)
            result.insert(files);
    }
    return result;
}

QList<QStringList> parseJdupes(const QString &text)
{
    QList<QStringList> groups;
    QStringList current;
    for (const QString &line : text.split('\n')) {
        if (line.isEmpty()) {
            if (!current.isEmpty())
                groups.append(current);
            current.clear();
        } else {
            current.append(line);
        }
    }
    if (!current.isEmpty())
        groups.append(current);
    return groups;
}

QList<QStringList> parseRdfind(const QString &file)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    QMap<qint64, QStringList> byId;
    for (const QString &line : QString::fromUtf8(f.readAll()).split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // duptype id depth size device inode priority name (the name may hold blanks)
        const QStringList fields = line.split(' ');
        if (fields.size() < 8)
            continue;
        byId[std::llabs(fields[1].toLongLong())].append(fields.mid(7).join(' '));
    }
    return byId.values();
}

qint64 peakRssKiB()
{
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// CPU seconds (user + system) of this process and of its ended children.
double cpuSeconds(int who)
{
    struct rusage u;
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double cpuAll()
{
    return cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int run(const QString &root, int runs)
{
    const QString home = root + "/home";
    const QString rdfindOut = root + "/rdfind-results.txt";
    const qint64 rssBefore = peakRssKiB();

    std::vector<double> ours, jd, rd, oursCpu, jdCpu, rdCpu;
    QList<FileItem> found;
    QString jdupesText;
    qint64 rssAfterOurs = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        Locations::setCurrent(Locations::forOs(Locations::Os::Linux, home));
        double cpu = cpuAll();
        timer.start();
        found = AdvancedToolsViewModel::findDuplicates(nullptr);
        ours.push_back(timer.nsecsElapsed() / 1e9);
        oursCpu.push_back(cpuAll() - cpu);
        if (r == 0)
            rssAfterOurs = peakRssKiB();

        cpu = cpuSeconds(RUSAGE_CHILDREN);
        timer.start();
        jdupesText = ProcessRunner::run("/usr/bin/jdupes", {"-r", "-q", home}).stdOut;
        jd.push_back(timer.nsecsElapsed() / 1e9);
        jdCpu.push_back(cpuSeconds(RUSAGE_CHILDREN) - cpu);

        cpu = cpuSeconds(RUSAGE_CHILDREN);
        timer.start();
        ProcessRunner::run("/usr/bin/rdfind", {"-dryrun", "true", "-outputname", rdfindOut, home});
        rd.push_back(timer.nsecsElapsed() / 1e9);
        rdCpu.push_back(cpuSeconds(RUSAGE_CHILDREN) - cpu);
        out << QString::asprintf("run %d: ours %.3f s, jdupes -r %.3f s, rdfind %.3f s\n", r + 1,
                                 ours.back(), jd.back(), rd.back());
        out.flush();
    }

    QMap<QString, QStringList> byKey;
    for (const FileItem &item : found)
        byKey[item.md5Hash].append(item.path);
    const Groups oursG = normalise(byKey.values(), home, false);
    const Groups oursAll = normalise(byKey.values(), home, true);
    const Groups jdG = normalise(parseJdupes(jdupesText), home, true);
    const Groups rdG = normalise(parseRdfind(rdfindOut), home, true);
    auto files = [](const Groups &g) {
        std::set<std::pair<quint64, quint64>> s;
        for (const auto &x : g)
            s.insert(x.begin(), x.end());
        return s;
    };

    const double o = median(ours), j = median(jd), d = median(rd);
    out << QString::asprintf("\nmedian of %d warm runs: ours %.3f s, jdupes -r %.3f s, rdfind "
                             "-dryrun true %.3f s\n",
                             runs, o, j, d);
    out << QString::asprintf("ratio ours/jdupes %.2f, ours/rdfind %.2f\n", o / j, o / d);
    out << QString::asprintf("median CPU time (user + system, all threads and child processes): "
                             "ours %.3f s, jdupes %.3f s, rdfind %.3f s\n",
                             median(oursCpu), median(jdCpu), median(rdCpu));
    out << QString::asprintf("our peak memory (VmHWM): %.1f MiB before the scan, %.1f MiB after "
                             "it\n",
                             rssBefore / 1024.0, rssAfterOurs / 1024.0);
    out << "groups: ours " << oursG.size() << ", jdupes " << jdG.size() << ", rdfind " << rdG.size()
        << " (tools' groups cut to what our scan looks at)\n";
    out << "duplicate files: ours " << files(oursG).size() << ", jdupes " << files(jdG).size()
        << ", rdfind " << files(rdG).size() << '\n';
    const bool agree = oursG == oursAll && oursG == jdG && oursG == rdG;
    out << "same duplicate files and groups in all three: " << (agree ? "yes" : "NO") << '\n';

    // The funnel alone on one and on two threads: same records, and what the second
    // thread buys.
    {
        const QStringList listed =
            ProcessRunner::run("/usr/bin/find",
                               {home,    "-maxdepth",    "5",   "-type",  "d",  "(",
                                "-name", "Library",      "-o",  "-name",  ".*", "-o",
                                "-name", "node_modules", ")",   "-prune", "-o", "-type",
                                "f",     "-size",        "+1M", "-print"})
                .stdOut.split('\n', Qt::SkipEmptyParts);
        QElapsedTimer timer;
        timer.start();
        const auto one = DuplicateFinder::groups(listed, 1);
        const double t1 = timer.nsecsElapsed() / 1e9;
        timer.start();
        const auto two = DuplicateFinder::groups(listed, 2);
        const double t2 = timer.nsecsElapsed() / 1e9;
        out << QString::asprintf("funnel alone on %lld paths: one thread %.3f s, two threads "
                                 "%.3f s, identical records: %s\n",
                                 qint64(listed.size()), t1, t2, one == two ? "yes" : "NO");
    }

    // Large files: one du per file found.
    Locations lf = Locations::forOs(Locations::Os::Linux, root + "/large/home");
    Locations::setCurrent(lf);
    QElapsedTimer timer;
    timer.start();
    const QList<FileItem> large = AdvancedToolsViewModel::findLargeFiles(nullptr);
    const double secs = timer.nsecsElapsed() / 1e9;
    out << QString::asprintf("\nlarge files: %lld found in %.3f s, %.2f ms per file\n",
                             qint64(large.size()), secs,
                             large.isEmpty() ? 0.0 : secs * 1000 / large.size());
    return agree ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == "generate")
        return generate(args[2], args.size() > 3 ? args[3].toULongLong() : 20261208);
    if (args.size() >= 4 && args[1] == "funnel") {
        const QString home = args[2] + "/home";
        const QStringList listed =
            ProcessRunner::run("/usr/bin/find",
                               {home,    "-maxdepth",    "5",   "-type",  "d",  "(",
                                "-name", "Library",      "-o",  "-name",  ".*", "-o",
                                "-name", "node_modules", ")",   "-prune", "-o", "-type",
                                "f",     "-size",        "+1M", "-print"})
                .stdOut.split('\n', Qt::SkipEmptyParts);
        for (int r = 0; r < 3; ++r) {
            const double cpu = cpuAll();
            QElapsedTimer timer;
            timer.start();
            const auto groups = DuplicateFinder::groups(listed, args[3].toInt());
            out << QString::asprintf("threads %d: %.3f s wall, %.3f s CPU, %lld groups\n",
                                     args[3].toInt(), timer.nsecsElapsed() / 1e9, cpuAll() - cpu,
                                     qint64(groups.size()));
        }
        return 0;
    }
    if (args.size() >= 3 && args[1] == "run")
        return run(args[2], args.size() > 3 ? args[3].toInt() : 3);
    std::fprintf(stderr, "usage: duplicates generate <root> [seed] | run <root> [runs] | "
                         "funnel <root> <threads>\n");
    return 2;
}
